// Text at the file boundary: the program's strings are UTF-8, its files are 8-bit
// Windows-1252 (Western systems' ANSI code page, "ä" = E4 hex).
#pragma once
#include <string>
#include <string_view>

namespace platform {

// Characters without a Windows-1252 code, and bytes that are not valid UTF-8, become "?"
// (the control characters 81, 8D, 8F, 90, 9D hex go back to their byte).
std::string utf8ToCp1252(std::string_view utf8);

// Every byte has a character: the five bytes that Windows-1252 leaves unassigned (81, 8D, 8F,
// 90, 9D hex) become the control characters of the same number, as Windows maps them.
std::string cp1252ToUtf8(std::string_view cp1252);

} // namespace platform
