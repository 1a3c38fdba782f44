#include "platform/error.h"

namespace platform {

namespace {
const char* const kDefaultSource = "Korvella";
}

VbError::VbError(int number, std::string description, std::string source)
    : number_(number),
      description_(description.empty() ? standardErrorText(number) : std::move(description)),
      source_(source.empty() ? kDefaultSource : std::move(source)) {}

std::string standardErrorText(int number) {
    switch (number) {
    case 5: return "Invalid procedure call or argument";
    case 6: return "Overflow";
    case 7: return "Out of memory";
    case 9: return "Subscript out of range";
    case 11: return "Division by zero";
    case 13: return "Type mismatch";
    case 28: return "Out of stack space";
    case 52: return "Bad file name or number";
    case 53: return "File not found";
    case 55: return "File already open";
    case 57: return "Device I/O error";
    case 61: return "Disk full";
    case 62: return "Input past end of file";
    case 70: return "Permission denied";
    case 75: return "Path/File access error";
    case 76: return "Path not found";
    case 91: return "Object variable or With block variable not set";
    case 380: return "Invalid property value";
    case 381: return "Invalid property array index";
    case 382: return "Set not supported at runtime";
    case 383: return "Set not supported (read-only property)";
    case 387: return "Set not permitted";
    case 424: return "Object required";
    case 429: return "ActiveX component can't create object";
    case 438: return "Object doesn't support this property or method";
    default: return "Application-defined or object-defined error";
    }
}

void raise(int number, const std::string& description, const std::string& source) {
    throw VbError(number, description, source);
}

ErrState& Err() {
    thread_local ErrState err;
    return err;
}

} // namespace platform
