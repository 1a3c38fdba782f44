// Statement-by-statement error skipping and the boundary where unhandled handler errors end up.
#pragma once
#include <functional>
#include <memory>
#include <string>
#include <type_traits>

#include "platform/error.h"

namespace forms {

using platform::VbError;

// A callable borrowed for the length of one call: the statements below run at once, so the
// lambdas handed to them (many a second) are neither copied nor allocated as std::function would.
template <typename Signature>
class FunctionRef;
template <typename R>
class FunctionRef<R()> {
public:
    template <typename F>
        requires(!std::is_same_v<std::remove_cvref_t<F>, FunctionRef> && std::is_invocable_r_v<R, F&>)
    FunctionRef(F&& f) noexcept  // NOLINT: converts implicitly, as std::function does
        : object_(const_cast<void*>(static_cast<const void*>(std::addressof(f)))),
          call_([](void* object) -> R {
              auto& callable = *static_cast<std::remove_reference_t<F>*>(object);
              if constexpr (std::is_void_v<R>)
                  static_cast<void>(callable());
              else
                  return callable();
          }) {}
    R operator()() const { return call_(object_); }

private:
    void* object_;
    R (*call_)(void*);
};

// Runs one statement; an error skips it and is noted in Err (as "On Error Resume Next" does).
// Returns false when the statement failed.
bool tryStmt(FunctionRef<void()> statement);

// Notes error number in Err as a statement skipped by tryStmt would, without raising it: for a
// failure known beforehand on a path that runs many times a second.
void noteSkipped(int number);

// The classic rule for a condition that fails while errors are skipped: the Then branch runs.
// Use it where the program relies on that; elsewhere write the condition plainly.
bool condOrTrue(FunctionRef<bool()> condition);

// What happens to an error that no handler catches (a tick, click or change handler).
enum class UnhandledPolicy {
    LogAndContinue,  // one line on stderr; the program goes on (the default: a show must not stop)
    ShowAndEnd,      // "Run-time error 'n':" box titled with the application title, then the program ends
};
void setUnhandledPolicy(UnhandledPolicy policy);
UnhandledPolicy unhandledPolicy();

// Runs a handler called by the loop or the view; an error escaping it goes to the policy.
void runHandler(const std::function<void()>& handler);
// The last unhandled error (number 0 when none), for tests and the scenario runner.
const platform::ErrState& lastUnhandled();

}  // namespace forms
