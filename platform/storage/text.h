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

// Whether Windows-1252 holds every character of the text, so that it comes back unchanged.
bool cp1252Holds(std::string_view utf8);

// The longest start of a UTF-8 text that holds whole characters only and at most maxUnits
// UTF-16 units (a character outside the Basic Multilingual Plane counts 2, a byte that is not
// valid UTF-8 counts 1): its length in bytes, and in units through `units`.
std::size_t utf8PrefixBytes(std::string_view utf8, std::size_t maxUnits, std::size_t& units);

} // namespace platform
