// The library's error convention: a procedure that handles errors raises them again with the same
// number, source "Wavorix" and the description followed by a line break and a line naming the
// procedure ("Function InitX in clsVorix"), so that the description carries the call trail; the
// engine keeps the message text in its last-error text.
#pragma once
#include <exception>
#include <string>
#include <string_view>

#include "platform/error.h"

namespace wavorix {

inline constexpr const char* kSource = "Wavorix";
inline constexpr const char* kLineBreak = "\r\n";

// The error in flight as a VbError (out of memory 7, anything else 51 with its text).
platform::VbError currentError();

// Raises e again with the trail line appended, after noting its description as the last error.
[[noreturn]] void reraise(const platform::VbError& e, std::string_view procedure);

// Runs body; any error leaves it with the trail line of procedure.
template <class F>
auto withTrail(std::string_view procedure, F&& body) -> decltype(body()) {
    try {
        return body();
    } catch (...) {
        reraise(currentError(), procedure);
    }
}

// Runs one statement; error 91 (no lamp object, no timer object) skips it, others pass.
template <class F>
void skip91(F&& statement) {
    try {
        statement();
    } catch (const platform::VbError& e) {
        if (e.number() != 91) throw;
    }
}

}  // namespace wavorix
