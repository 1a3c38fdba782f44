// Statement-by-statement error skipping and the boundary where unhandled handler errors end up.
#pragma once
#include <functional>
#include <string>

#include "platform/error.h"

namespace forms {

using platform::VbError;

// Runs one statement; an error skips it and is noted in Err (as "On Error Resume Next" does).
// Returns false when the statement failed.
bool tryStmt(const std::function<void()>& statement);

// Notes error number in Err as a statement skipped by tryStmt would, without raising it: for a
// failure known beforehand on a path that runs many times a second.
void noteSkipped(int number);

// The classic rule for a condition that fails while errors are skipped: the Then branch runs.
// Use it where the program relies on that; elsewhere write the condition plainly.
bool condOrTrue(const std::function<bool()>& condition);

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
