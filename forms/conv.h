// Where numbers meet text: the forms runtime's conversion, formatting and string functions.
//
// Everything here uses one fixed number format whatever the user's locale says: "." as the
// decimal separator and no thousands separator. Texts are UTF-8; positions and lengths count
// UTF-16 units, as the original runtime's strings do.
// Failures throw platform::VbError with the runtime's numbers (5, 6, 9, 11, 13).
#pragma once
#include <concepts>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace vb {

// ---- Rounding and arithmetic ----------------------------------------------------------------

// Nearest whole number, ties to even (2.5 -> 2, 3.5 -> 4, -2.5 -> -2).
double roundHalfEven(double x);

double Int(double x);                          // floor: Int(-2.5) = -3
double Fix(double x);                          // toward zero: Fix(-2.5) = -2
double Round(double x, int digits = 0);        // ties to even; digits < 0 raises 5
double Int(std::string_view s);                // the text converted first (13)
double Fix(std::string_view s);
double Round(std::string_view s, int digits = 0);

// a \ b and a Mod b: both operands rounded ties-to-even to Long (6 when out of range), then
// divided truncating toward zero; the remainder has the dividend's sign. Divisor 0 raises 11.
std::int32_t IntDiv(double a, double b);
std::int32_t Mod(double a, double b);
// a / b as the runtime divides: x / 0 raises 11 "Division by zero", 0 / 0 raises 6 "Overflow".
double Divide(double a, double b);

// ---- Numbers from text ----------------------------------------------------------------------

// The leading number of s; blanks, tabs and line feeds anywhere are ignored first; "&H"/"&O"
// prefixes read hexadecimal/octal, values up to 16 bits as Integer (&HFFFF = -1), up to 32 bits
// as Long. Nothing numeric gives 0. Never raises (an exponent beyond Double gives +-infinity).
double Val(std::string_view s);

// True when CDbl(s) would succeed.
bool IsNumeric(std::string_view s);

// Whole-text conversions: blanks around, sign, digits, ".", exponent E/D, or &H/&O.
// Not numeric (or ""): 13. Beyond the type's range: 6. CInt/CLng round ties to even.
double CDbl(std::string_view s);
float CSng(std::string_view s);
float CSng(double x);                          // 6 beyond Single's range
std::int32_t CLng(double x);
std::int32_t CLng(std::string_view s);
std::int16_t CInt(double x);
std::int16_t CInt(std::string_view s);

// The number a text stands for in `Text1 + 1` style arithmetic: as CDbl, 13 when not numeric.
double toNumber(std::string_view s);

// ---- Numbers to text ------------------------------------------------------------------------

// Double: up to 15 significant digits; Single: up to 7. Exponent form ("1E+15", "1E-05",
// "1.234568E+07") from 10^15 (Single: 10^7) up and below 10^-4. Infinity and NaN, which only
// arrive from outside, read "1.#INF", "-1.#INF" and "-1.#IND" as the old C runtime wrote them.
std::string CStr(double x);
std::string CStr(float x);
std::string CStr(bool b);                      // "True" / "False"
template <std::integral T>
    requires(!std::same_as<T, bool>)
std::string CStr(T v) { return std::to_string(v); }

// As CStr, with a leading blank for non-negative numbers and no "0" before the point
// (Str(459) = " 459", Str(0.5) = " .5", Str(-0.5) = "-.5").
std::string Str(double x);
std::string Str(float x);
template <std::integral T>
    requires(!std::same_as<T, bool>)
std::string Str(T v) { return v < 0 ? std::to_string(v) : " " + std::to_string(v); }

// Numeric format patterns: "0" forces a digit, "#" an optional one, "." the decimal point,
// "," (in the whole part) groups thousands, "%" multiplies by 100; other characters before or
// after the digits are copied. Rounding is half away from zero on the 15-digit decimal value
// (Format(0.25, "0.0") = "0.3", Format(1.005, "0.00") = "1.01"). A negative number rounding
// to zero keeps its sign ("-0.0"). Named formats: "General Number", "Fixed", "Standard",
// "Percent". An empty pattern gives CStr.
std::string Format(double x, std::string_view pattern = {});

// ---- Colours --------------------------------------------------------------------------------

// r + 256 g + 65536 b; arguments above 255 count as 255, negative ones raise 5.
std::int32_t RGB(int r, int g, int b);

// ---- Text -----------------------------------------------------------------------------------

// Length in UTF-16 units (a character outside the Basic Multilingual Plane counts 2).
std::int32_t Len(std::string_view s);

// 1-based; start > Len gives "", start < 1 or length < 0 raise 5. Without length: to the end.
std::string Mid(std::string_view s, std::int32_t start);
std::string Mid(std::string_view s, std::int32_t start, std::int32_t length);
std::string Left(std::string_view s, std::int32_t n);   // n > Len gives s; n < 0 raises 5
std::string Right(std::string_view s, std::int32_t n);

// Position (1-based) of find in s from start, or 0; case-sensitive. start < 1 raises 5;
// start > Len(s) gives 0; otherwise an empty find gives start.
std::int32_t InStr(std::string_view s, std::string_view find);
std::int32_t InStr(std::int32_t start, std::string_view s, std::string_view find);

// Every non-overlapping occurrence, left to right; case-sensitive. start > 1 drops the text
// before it, start > Len gives "", start < 1 raises 5; count -1 replaces all, below -1 raises 5.
std::string Replace(std::string_view s, std::string_view find, std::string_view replacement,
                    std::int32_t start = 1, std::int32_t count = -1);

// Pieces between delimiters; adjacent delimiters give "" pieces; Split("") is empty (UBound -1);
// an empty delimiter gives the whole text as one piece.
std::vector<std::string> Split(std::string_view s, std::string_view delimiter = " ");

// Spaces only (not tabs).
std::string Trim(std::string_view s);
std::string LTrim(std::string_view s);
std::string RTrim(std::string_view s);

std::string LCase(std::string_view s);
std::string UCase(std::string_view s);

} // namespace vb
