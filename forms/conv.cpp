#include "forms/conv.h"

#include "platform/error.h"

#include <QList>
#include <QString>

#include <algorithm>
#include <charconv>
#include <cmath>
#include <limits>
#include <optional>

namespace vb {

using platform::raise;

namespace {

constexpr double kLongMin = -2147483648.0;
constexpr double kLongMax = 2147483647.0;

bool isDigit(char c) { return c >= '0' && c <= '9'; }
char lower(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

int hexValue(char c) {
    if (isDigit(c)) return c - '0';
    c = lower(c);
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return -1;
}

// &H/&O values: up to 16 bits read as an Integer, up to 32 bits as a Long.
double wrapPrefixed(std::uint64_t v) {
    if (v <= 0xFFFF) return static_cast<std::int16_t>(static_cast<std::uint16_t>(v));
    return static_cast<std::int32_t>(static_cast<std::uint32_t>(v));
}

// Reads the digits of an &H or &O number from s (after the prefix). Returns the number of
// digits taken; value keeps every bit read (callers decide about overflow).
std::size_t readRadixDigits(std::string_view s, int radix, std::uint64_t& value, bool& tooWide) {
    std::size_t i = 0;
    value = 0;
    tooWide = false;
    for (; i < s.size(); ++i) {
        int d = hexValue(s[i]);
        if (d < 0 || d >= radix) break;
        value = value * static_cast<unsigned>(radix) + static_cast<unsigned>(d);
        if (value > 0xFFFFFFFFull) {
            tooWide = true;
            value &= 0xFFFFFFFFull;
        }
    }
    return i;
}

// A decimal number split into its parts, as scanned from text.
struct DecimalText {
    bool negative = false;
    std::string intDigits;
    std::string fracDigits;
    long long exponent = 0;
};

// Converts scanned parts with from_chars (locale-independent). An exponent beyond Double
// gives +-infinity (overflowed is set) or a signed zero.
double decimalValue(const DecimalText& d, bool* overflowed = nullptr) {
    if (overflowed) *overflowed = false;
    std::string text = d.intDigits.empty() ? "0" : d.intDigits;
    if (!d.fracDigits.empty()) text += "." + d.fracDigits;
    long long exp = std::clamp(d.exponent, -100000LL, 100000LL);
    text += "e" + std::to_string(exp);
    double value = 0;
    auto [ptr, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    (void)ptr;
    if (ec == std::errc::result_out_of_range) {
        // Decide between overflow and underflow by the position of the first significant digit.
        std::string all = d.intDigits + d.fracDigits;
        auto first = all.find_first_not_of('0');
        if (first == std::string::npos) {
            value = 0;
        } else {
            long long magnitude = static_cast<long long>(d.intDigits.size()) - 1 -
                                  static_cast<long long>(first) + exp;
            if (magnitude > 0) {
                value = std::numeric_limits<double>::infinity();
                if (overflowed) *overflowed = true;
            } else {
                value = 0;
            }
        }
    }
    return d.negative ? -value : value;
}

// Scans [sign] digits [. digits] [E|D [sign] digits] from the start of s. Returns the number of
// characters consumed (0 when no digit was found). An exponent letter not followed by digits
// is not part of the number.
std::size_t scanDecimal(std::string_view s, DecimalText& out) {
    std::size_t i = 0;
    if (i < s.size() && (s[i] == '+' || s[i] == '-')) {
        out.negative = s[i] == '-';
        ++i;
    }
    while (i < s.size() && isDigit(s[i])) out.intDigits += s[i++];
    if (i < s.size() && s[i] == '.') {
        ++i;
        while (i < s.size() && isDigit(s[i])) out.fracDigits += s[i++];
    }
    if (out.intDigits.empty() && out.fracDigits.empty()) return 0;
    if (i < s.size() && (lower(s[i]) == 'e' || lower(s[i]) == 'd')) {
        std::size_t j = i + 1;
        bool negExp = false;
        if (j < s.size() && (s[j] == '+' || s[j] == '-')) {
            negExp = s[j] == '-';
            ++j;
        }
        if (j < s.size() && isDigit(s[j])) {
            long long e = 0;
            while (j < s.size() && isDigit(s[j])) {
                if (e < 1000000) e = e * 10 + (s[j] - '0');
                ++j;
            }
            out.exponent = negExp ? -e : e;
            i = j;
        }
    }
    return i;
}

// The common case without building text for from_chars: [sign] digits [. digits] with no exponent,
// at most 2^53 as a whole number of units of the last digit and at most 22 digits after the
// point. Both that number and the power of ten are exact doubles, so one division gives the
// correctly rounded value, the same as from_chars. Returns the characters read, or 0 when the
// text does not start with such a number (the general path then decides).
std::size_t scanSimpleDecimal(std::string_view s, double& value) {
    static constexpr double kPow10[] = {1e0,  1e1,  1e2,  1e3,  1e4,  1e5,  1e6,  1e7,  1e8,  1e9,  1e10, 1e11,
                                        1e12, 1e13, 1e14, 1e15, 1e16, 1e17, 1e18, 1e19, 1e20, 1e21, 1e22};
    constexpr std::uint64_t kExact = std::uint64_t{1} << 53;
    std::size_t i = 0;
    bool negative = false;
    if (i < s.size() && (s[i] == '+' || s[i] == '-')) {
        negative = s[i] == '-';
        ++i;
    }
    std::uint64_t m = 0;
    std::size_t digits = 0, fraction = 0;
    auto take = [&](bool afterPoint) {
        while (i < s.size() && isDigit(s[i])) {
            m = m * 10 + static_cast<unsigned>(s[i] - '0');
            if (m > kExact) return false;
            ++digits;
            if (afterPoint && ++fraction > 22) return false;
            ++i;
        }
        return true;
    };
    if (!take(false)) return 0;
    if (i < s.size() && s[i] == '.') {
        ++i;
        if (!take(true)) return 0;
    }
    if (digits == 0) return 0;
    // An exponent (or what may be one) is for the general path.
    if (i < s.size() && (lower(s[i]) == 'e' || lower(s[i]) == 'd')) return 0;
    const double v = static_cast<double>(m) / kPow10[fraction];
    value = negative ? -v : v;
    return i;
}

bool isBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\v' || c == '\f'; }

enum class ParseStatus { Ok, NotNumeric, Overflow };

// The whole-text parser behind CDbl, CLng, IsNumeric and toNumber.
ParseStatus parseNumber(std::string_view s, double& value) {
    // A short whole number and nothing else (a list index, a counter): at most nine digits, exact.
    if (!s.empty() && s.size() <= 9) {
        std::int32_t m = 0;
        std::size_t i = 0;
        while (i < s.size() && isDigit(s[i])) m = m * 10 + (s[i++] - '0');
        if (i == s.size()) {
            value = static_cast<double>(m);
            return ParseStatus::Ok;
        }
    }
    while (!s.empty() && isBlank(s.front())) s.remove_prefix(1);
    while (!s.empty() && isBlank(s.back())) s.remove_suffix(1);
    if (s.empty()) return ParseStatus::NotNumeric;
    if (s.size() >= 2 && s[0] == '&' && (lower(s[1]) == 'h' || lower(s[1]) == 'o')) {
        int radix = lower(s[1]) == 'h' ? 16 : 8;
        std::string_view digits = s.substr(2);
        std::uint64_t v = 0;
        bool tooWide = false;
        std::size_t n = readRadixDigits(digits, radix, v, tooWide);
        if (n == 0 || n != digits.size()) return ParseStatus::NotNumeric;
        if (tooWide) return ParseStatus::Overflow;
        value = wrapPrefixed(v);
        return ParseStatus::Ok;
    }
    if (scanSimpleDecimal(s, value) == s.size()) {
        value += 0.0;
        return ParseStatus::Ok;
    }
    DecimalText d;
    std::size_t n = scanDecimal(s, d);
    if (n == 0 || n != s.size()) return ParseStatus::NotNumeric;
    bool overflowed = false;
    value = decimalValue(d, &overflowed) + 0.0;
    return overflowed ? ParseStatus::Overflow : ParseStatus::Ok;
}

bool isAscii(std::string_view s) {
    return std::all_of(s.begin(), s.end(), [](char c) { return static_cast<unsigned char>(c) < 0x80; });
}

QString toQ(std::string_view s) { return QString::fromUtf8(s.data(), static_cast<qsizetype>(s.size())); }
std::string fromQ(const QString& q) { return q.toStdString(); }

// General-format digits through to_chars (locale-independent), with the runtime's capital E.
std::string generalDigits(double x, int precision, bool single) {
    if (std::isnan(x)) return "-1.#IND";
    if (std::isinf(x)) return x > 0 ? "1.#INF" : "-1.#INF";
    if (x == 0) return "0";
    char buf[64];
    auto r = single ? std::to_chars(buf, buf + sizeof buf, static_cast<float>(x), std::chars_format::general, precision)
                    : std::to_chars(buf, buf + sizeof buf, x, std::chars_format::general, precision);
    std::string out(buf, r.ptr);
    for (char& c : out)
        if (c == 'e') c = 'E';
    return out;
}

std::string strFromDigits(std::string digits) {
    bool negative = !digits.empty() && digits[0] == '-';
    std::string_view body(digits);
    if (negative) body.remove_prefix(1);
    if (body.size() > 1 && body[0] == '0' && body[1] == '.') body.remove_prefix(1);
    return (negative ? "-" : " ") + std::string(body);
}

} // namespace

// ---- Rounding and arithmetic ----------------------------------------------------------------

double roundHalfEven(double x) {
    if (!std::isfinite(x)) return x;
    double f = std::floor(x);
    double diff = x - f;
    if (diff < 0.5) return f + 0.0;
    if (diff > 0.5) return f + 1.0;
    // A tie: f is a whole number below 2^53 (larger doubles have no halves), even when half of it is.
    const double half = f * 0.5;
    return half == std::floor(half) ? f + 0.0 : f + 1.0;
}

double Int(double x) { return std::floor(x); }
double Fix(double x) { return std::trunc(x); }

double Round(double x, int digits) {
    if (digits < 0) raise(5);
    if (digits == 0) return roundHalfEven(x);
    double scale = std::pow(10.0, digits);
    double scaled = x * scale;
    if (!std::isfinite(scaled)) return x;
    return roundHalfEven(scaled) / scale;
}

double Int(std::string_view s) { return Int(CDbl(s)); }
double Fix(std::string_view s) { return Fix(CDbl(s)); }
double Round(std::string_view s, int digits) { return Round(CDbl(s), digits); }

std::int32_t IntDiv(double a, double b) {
    std::int64_t x = CLng(a);
    std::int64_t y = CLng(b);
    if (y == 0) raise(11);
    std::int64_t q = x / y;
    if (q > static_cast<std::int64_t>(kLongMax)) raise(6);
    return static_cast<std::int32_t>(q);
}

double Divide(double a, double b) {
    if (b == 0) raise(a == 0 ? 6 : 11);
    return a / b;
}

std::int32_t Mod(double a, double b) {
    std::int64_t x = CLng(a);
    std::int64_t y = CLng(b);
    if (y == 0) raise(11);
    return static_cast<std::int32_t>(x % y);
}

// ---- Numbers from text ----------------------------------------------------------------------

double Val(std::string_view input) {
    // The commonest text of all, a short whole number with nothing after it (a plot's point, a
    // level): at most ten digits are exact as a double, the value the path below would give.
    if (input.size() <= 10) {
        const bool negative = !input.empty() && input[0] == '-';
        std::size_t i = negative ? 1 : 0;
        if (i < input.size()) {
            std::int64_t m = 0;
            while (i < input.size() && isDigit(input[i])) m = m * 10 + (input[i++] - '0');
            if (i == input.size()) return (negative ? -static_cast<double>(m) : static_cast<double>(m)) + 0.0;
        }
    }
    // A plain number at the start, not followed by a blank (that the general path would drop,
    // perhaps joining more digits on): read in place.
    {
        double v = 0;
        const std::size_t n = scanSimpleDecimal(input, v);
        if (n != 0 && (n == input.size() || (input[n] != ' ' && input[n] != '\t' && input[n] != '\n'))) return v + 0.0;
    }
    std::string s;
    s.reserve(input.size());
    for (char c : input)
        if (c != ' ' && c != '\t' && c != '\n') s += c;
    if (s.size() >= 2 && s[0] == '&' && (lower(s[1]) == 'h' || lower(s[1]) == 'o')) {
        std::uint64_t v = 0;
        bool tooWide = false;
        if (readRadixDigits(std::string_view(s).substr(2), lower(s[1]) == 'h' ? 16 : 8, v, tooWide) == 0) return 0;
        return wrapPrefixed(v);
    }
    DecimalText d;
    if (scanDecimal(s, d) == 0) return 0;
    return decimalValue(d) + 0.0;
}

bool IsNumeric(std::string_view s) {
    double v = 0;
    return parseNumber(s, v) == ParseStatus::Ok;
}

double CDbl(std::string_view s) {
    double v = 0;
    switch (parseNumber(s, v)) {
    case ParseStatus::Ok: return v;
    case ParseStatus::Overflow: raise(6);
    case ParseStatus::NotNumeric: break;
    }
    raise(13);
}

float CSng(double x) {
    float f = static_cast<float>(x);
    if (std::isinf(f) && std::isfinite(x)) raise(6);
    return f;
}

float CSng(std::string_view s) { return CSng(CDbl(s)); }

std::int32_t CLng(double x) {
    // Inside the range (NaN is not) the whole part and the exact fraction decide, without the
    // floor calls of the general rounding: this runs for every point of every plot.
    if (x > kLongMin - 1.0 && x < kLongMax + 1.0) {
        const std::int64_t whole = static_cast<std::int64_t>(x);  // towards zero
        const double fraction = x - static_cast<double>(whole);  // exact: |x| < 2^32
        std::int64_t r = whole;
        if (fraction > 0.5 || (fraction == 0.5 && (whole & 1) != 0))
            ++r;
        else if (fraction < -0.5 || (fraction == -0.5 && (whole & 1) != 0))
            --r;
        if (r < static_cast<std::int64_t>(kLongMin) || r > static_cast<std::int64_t>(kLongMax)) raise(6);
        return static_cast<std::int32_t>(r);
    }
    double r = roundHalfEven(x);
    if (std::isnan(r) || r < kLongMin || r > kLongMax) raise(6);
    return static_cast<std::int32_t>(r);
}

std::int32_t CLng(std::string_view s) { return CLng(CDbl(s)); }

std::int16_t CInt(double x) {
    double r = roundHalfEven(x);
    if (std::isnan(r) || r < -32768.0 || r > 32767.0) raise(6);
    return static_cast<std::int16_t>(r);
}

std::int16_t CInt(std::string_view s) { return CInt(CDbl(s)); }

double toNumber(std::string_view s) { return CDbl(s); }

// ---- Numbers to text ------------------------------------------------------------------------

std::string CStr(double x) {
    // A whole number below 10^15 is its digits in the general format: no point, no exponent.
    if (x == std::trunc(x) && std::fabs(x) < 1e15 && x != 0) {
        char buf[24];
        const auto r = std::to_chars(buf, buf + sizeof buf, static_cast<long long>(x));
        return std::string(buf, r.ptr);
    }
    return generalDigits(x, 15, false);
}
std::string CStr(float x) { return generalDigits(x, 7, true); }
std::string CStr(bool b) { return b ? "True" : "False"; }

std::string Str(double x) { return strFromDigits(CStr(x)); }
std::string Str(float x) { return strFromDigits(CStr(x)); }

std::string Format(double x, std::string_view pattern) {
    if (pattern.empty()) return CStr(x);
    std::string named(pattern.size(), ' ');
    std::transform(pattern.begin(), pattern.end(), named.begin(), lower);
    if (named == "general number") return CStr(x);
    if (named == "fixed") pattern = "0.00";
    else if (named == "standard") pattern = "#,##0.00";
    else if (named == "percent") pattern = "0.00%";
    if (!std::isfinite(x)) return CStr(x);

    // Literal text around one run of digit placeholders, "." and ",".
    auto isCore = [](char c) { return c == '0' || c == '#' || c == '.' || c == ','; };
    std::size_t first = pattern.find_first_of("0#.");
    if (first == std::string_view::npos) return std::string(pattern);
    std::size_t last = first;
    while (last < pattern.size() && isCore(pattern[last])) ++last;
    std::string_view prefix = pattern.substr(0, first);
    std::string_view core = pattern.substr(first, last - first);
    std::string_view suffix = pattern.substr(last);
    bool percent = prefix.find('%') != std::string_view::npos || suffix.find('%') != std::string_view::npos;

    std::size_t point = core.find('.');
    std::string_view intPattern = core.substr(0, point);
    std::string_view fracPattern = point == std::string_view::npos ? std::string_view{} : core.substr(point + 1);
    int intZeros = static_cast<int>(std::count(intPattern.begin(), intPattern.end(), '0'));
    bool grouping = intPattern.find(',') != std::string_view::npos;
    int fracTotal = 0, fracRequired = 0;
    for (char c : fracPattern) {
        if (c == '0' || c == '#') ++fracTotal;
        if (c == '0') fracRequired = fracTotal;
    }

    double v = percent ? x * 100 : x;
    bool negative = v < 0;
    // The 15 significant digits the runtime works with, then half away from zero in decimal.
    std::string digits = "0";
    long long pointPos = 1;
    if (v != 0) {
        char buf[64];
        auto r = std::to_chars(buf, buf + sizeof buf, std::fabs(v), std::chars_format::scientific, 14);
        std::string sci(buf, r.ptr);
        auto e = sci.find('e');
        digits = sci.substr(0, 1) + sci.substr(2, e - 2);
        pointPos = std::stoll(sci.substr(e + 1)) + 1;
    }
    if (pointPos < 1) {
        digits.insert(0, static_cast<std::size_t>(1 - pointPos), '0');
        pointPos = 1;
    }
    std::size_t keep = static_cast<std::size_t>(pointPos) + static_cast<std::size_t>(fracTotal);
    if (digits.size() < keep + 1) digits.append(keep + 1 - digits.size(), '0');
    bool roundUp = digits[keep] >= '5';
    digits.resize(keep);
    if (roundUp) {
        std::size_t i = keep;
        while (i > 0) {
            --i;
            if (digits[i] == '9') {
                digits[i] = '0';
            } else {
                ++digits[i];
                break;
            }
            if (i == 0) {
                digits.insert(0, 1, '1');
                ++pointPos;
            }
        }
    }
    std::string whole = digits.substr(0, static_cast<std::size_t>(pointPos));
    std::string frac = digits.substr(static_cast<std::size_t>(pointPos));
    whole.erase(0, std::min(whole.find_first_not_of('0'), whole.size()));
    if (static_cast<int>(whole.size()) < intZeros) whole.insert(0, static_cast<std::size_t>(intZeros) - whole.size(), '0');
    while (static_cast<int>(frac.size()) > fracRequired && frac.back() == '0') frac.pop_back();
    if (grouping) {
        for (std::size_t i = whole.size(); i > 3; i -= 3) whole.insert(i - 3, ",");
    }

    std::string out = negative ? "-" : "";
    out += prefix;
    out += whole;
    if (point != std::string_view::npos) out += "." + frac;
    out += suffix;
    return out;
}

// ---- Colours --------------------------------------------------------------------------------

std::int32_t RGB(int r, int g, int b) {
    if (r < 0 || g < 0 || b < 0) raise(5);
    r = std::min(r, 255);
    g = std::min(g, 255);
    b = std::min(b, 255);
    return r + 256 * g + 65536 * b;
}

// ---- Text -----------------------------------------------------------------------------------

std::int32_t Len(std::string_view s) {
    if (isAscii(s)) return static_cast<std::int32_t>(s.size());
    return static_cast<std::int32_t>(toQ(s).size());
}

std::string Mid(std::string_view s, std::int32_t start) {
    if (start < 1) raise(5);
    if (isAscii(s)) return start > static_cast<std::int32_t>(s.size()) ? std::string{} : std::string(s.substr(start - 1));
    QString q = toQ(s);
    return start > q.size() ? std::string{} : fromQ(q.mid(start - 1));
}

std::string Mid(std::string_view s, std::int32_t start, std::int32_t length) {
    if (start < 1 || length < 0) raise(5);
    if (isAscii(s))
        return start > static_cast<std::int32_t>(s.size()) ? std::string{} : std::string(s.substr(start - 1, length));
    QString q = toQ(s);
    return start > q.size() ? std::string{} : fromQ(q.mid(start - 1, length));
}

std::string Left(std::string_view s, std::int32_t n) {
    if (n < 0) raise(5);
    if (isAscii(s)) return std::string(s.substr(0, n));
    return fromQ(toQ(s).left(n));
}

std::string Right(std::string_view s, std::int32_t n) {
    if (n < 0) raise(5);
    if (isAscii(s)) return std::string(s.substr(s.size() - std::min<std::size_t>(s.size(), n)));
    return fromQ(toQ(s).right(n));
}

std::int32_t InStr(std::string_view s, std::string_view find) { return InStr(1, s, find); }

std::int32_t InStr(std::int32_t start, std::string_view s, std::string_view find) {
    if (start < 1) raise(5);
    if (start > Len(s)) return 0;
    if (find.empty()) return start;
    if (isAscii(s)) {
        auto pos = s.find(find, static_cast<std::size_t>(start - 1));
        return pos == std::string_view::npos ? 0 : static_cast<std::int32_t>(pos) + 1;
    }
    auto pos = toQ(s).indexOf(toQ(find), start - 1, Qt::CaseSensitive);
    return pos < 0 ? 0 : static_cast<std::int32_t>(pos) + 1;
}

std::string Replace(std::string_view s, std::string_view find, std::string_view replacement, std::int32_t start,
                    std::int32_t count) {
    if (start < 1 || count < -1) raise(5);
    std::string rest = Mid(s, start);
    if (find.empty() || count == 0) return rest;
    std::string out;
    std::size_t pos = 0;
    for (std::int32_t done = 0; count == -1 || done < count; ++done) {
        auto hit = rest.find(find, pos);
        if (hit == std::string::npos) break;
        out.append(rest, pos, hit - pos);
        out += replacement;
        pos = hit + find.size();
    }
    out.append(rest, pos, std::string::npos);
    return out;
}

std::vector<std::string> Split(std::string_view s, std::string_view delimiter) {
    std::vector<std::string> pieces;
    if (s.empty()) return pieces;
    if (delimiter.empty()) {
        pieces.emplace_back(s);
        return pieces;
    }
    std::size_t pos = 0;
    while (true) {
        auto hit = s.find(delimiter, pos);
        if (hit == std::string_view::npos) {
            pieces.emplace_back(s.substr(pos));
            return pieces;
        }
        pieces.emplace_back(s.substr(pos, hit - pos));
        pos = hit + delimiter.size();
    }
}

std::string LTrim(std::string_view s) {
    auto i = s.find_first_not_of(' ');
    return i == std::string_view::npos ? std::string{} : std::string(s.substr(i));
}

std::string RTrim(std::string_view s) {
    auto i = s.find_last_not_of(' ');
    return i == std::string_view::npos ? std::string{} : std::string(s.substr(0, i + 1));
}

std::string Trim(std::string_view s) { return LTrim(RTrim(s)); }

namespace {
// Character by character (simple case mapping) so that lengths stay as they were, as the
// system's own case functions do ("ß" stays "ß").
template <typename Map>
std::string mapCase(std::string_view s, Map map) {
    QString q = toQ(s);
    QString out;
    out.reserve(q.size());
    for (char32_t c : q.toUcs4()) {
        char32_t m = map(c);
        if (m > 0xFFFF) {
            out += QChar(QChar::highSurrogate(m));
            out += QChar(QChar::lowSurrogate(m));
        } else {
            out += QChar(static_cast<char16_t>(m));
        }
    }
    return fromQ(out);
}
} // namespace

std::string LCase(std::string_view s) {
    if (isAscii(s)) {
        std::string out(s);
        std::transform(out.begin(), out.end(), out.begin(), lower);
        return out;
    }
    return mapCase(s, [](char32_t c) { return QChar::toLower(c); });
}

std::string UCase(std::string_view s) {
    if (isAscii(s)) {
        std::string out(s);
        std::transform(out.begin(), out.end(), out.begin(),
                       [](char c) { return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c; });
        return out;
    }
    return mapCase(s, [](char32_t c) { return QChar::toUpper(c); });
}

} // namespace vb
