// Run-time errors of the forms runtime: a number, a source and a description,
// thrown as an exception and caught statement by statement where the program skips errors.
#pragma once
#include <exception>
#include <string>

namespace platform {

class VbError : public std::exception {
public:
    VbError(int number, std::string description = {}, std::string source = {});
    int number() const noexcept { return number_; }
    const std::string& description() const noexcept { return description_; }
    const std::string& source() const noexcept { return source_; }
    const char* what() const noexcept override { return description_.c_str(); }

private:
    int number_;
    std::string description_;
    std::string source_;
};

// The runtime's own text for an error number ("Overflow" for 6, ...).
std::string standardErrorText(int number);

// Throws VbError(number) with the standard text (or the given description) and source.
[[noreturn]] void raise(int number, const std::string& description = {}, const std::string& source = {});

// The last error noted by a skipped statement (the runtime's Err object).
struct ErrState {
    int number = 0;
    std::string description;
    std::string source;
    void clear() { number = 0; description.clear(); source.clear(); }
};
ErrState& Err();

} // namespace platform
