#include "forms/conv.h"
#include "platform/error.h"

#include <gtest/gtest.h>

#include <bit>
#include <charconv>
#include <clocale>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <random>
#include <string>
#include <vector>

namespace {

// The error number a call raises, or 0.
template <typename F>
int errorOf(F&& f) {
    try {
        f();
    } catch (const platform::VbError& e) {
        return e.number();
    }
    return 0;
}

TEST(Rounding, CLngAndCIntRoundTiesToEven) {
    EXPECT_EQ(vb::CLng(2.5), 2);
    EXPECT_EQ(vb::CLng(3.5), 4);
    EXPECT_EQ(vb::CLng(-2.5), -2);
    EXPECT_EQ(vb::CLng(0.5), 0);
    EXPECT_EQ(vb::CLng(1.5), 2);
    EXPECT_EQ(vb::CLng(97.5), 98);
    EXPECT_EQ(vb::CLng(102.565), 103);
    EXPECT_EQ(vb::CLng(2.4999999), 2);
    EXPECT_EQ(vb::CLng(-0.4), 0);
    EXPECT_EQ(vb::CInt(-3.5), -4);
    EXPECT_EQ(vb::CInt(32767.4), 32767);
    EXPECT_EQ(vb::CInt(-32768.5), -32768); // ties to even keep it in range
    EXPECT_EQ(vb::CLng(2147483647.4), 2147483647);
    EXPECT_EQ(vb::CLng(-2147483648.0), -2147483647 - 1);
}

// CLng reads numbers near the long range without the general rounding; both must agree on
// every value, overflow included: ties, near-ties, both signs, the range's ends.
TEST(Rounding, CLngMatchesTheGeneralRoundingAndRange) {
    auto general = [](double x) -> std::int64_t {
        const double r = vb::roundHalfEven(x);
        if (std::isnan(r) || r < -2147483648.0 || r > 2147483647.0) return INT64_MIN;  // overflow
        return static_cast<std::int64_t>(r);
    };
    auto fast = [](double x) -> std::int64_t {
        try {
            return vb::CLng(x);
        } catch (const platform::VbError& e) {
            EXPECT_EQ(e.number(), 6);
            return INT64_MIN;
        }
    };
    std::vector<double> values = {0.0, -0.0, 0.5, -0.5, 1.5, -1.5, 2.5, -2.5, 0.49999999999999994, -0.49999999999999994,
                                  2147483647.0, 2147483647.4, 2147483647.5, 2147483647.6, 2147483648.0, 2147483648.5,
                                  -2147483648.0, -2147483648.4, -2147483648.5, -2147483648.6, -2147483649.0,
                                  4294967296.5, -4294967296.5, 1e300, -1e300,
                                  std::numeric_limits<double>::infinity(), -std::numeric_limits<double>::infinity(),
                                  std::numeric_limits<double>::quiet_NaN(), std::numeric_limits<double>::denorm_min()};
    std::mt19937_64 rng(11);
    for (int i = 0; i < 200000; ++i) {
        const double whole = static_cast<double>(static_cast<std::int64_t>(rng() % 4400000000ULL) - 2200000000LL);
        switch (i % 4) {
        case 0: values.push_back(whole + 0.5); break;
        case 1: values.push_back(std::nextafter(whole + 0.5, i % 8 == 1 ? 1e10 : -1e10)); break;
        case 2: values.push_back(whole / 1024.0 + std::ldexp(static_cast<double>(rng() % 1024), -10)); break;
        default: values.push_back(std::ldexp(static_cast<double>(static_cast<std::int64_t>(rng())), -static_cast<int>(rng() % 64))); break;
        }
    }
    for (double x : values) ASSERT_EQ(fast(x), general(x)) << std::hexfloat << x;
}

TEST(Rounding, OutOfRangeRaisesOverflow) {
    EXPECT_EQ(errorOf([] { vb::CLng(3e9); }), 6);
    EXPECT_EQ(errorOf([] { vb::CLng(2147483647.5); }), 6);
    EXPECT_EQ(errorOf([] { vb::CLng(-2147483649.0); }), 6);
    EXPECT_EQ(errorOf([] { vb::CInt(40000); }), 6);
    EXPECT_EQ(errorOf([] { vb::CInt(32767.5); }), 6);
    EXPECT_EQ(errorOf([] { vb::CLng(std::numeric_limits<double>::quiet_NaN()); }), 6);
    EXPECT_EQ(errorOf([] { vb::CLng(std::numeric_limits<double>::infinity()); }), 6);
    EXPECT_EQ(errorOf([] { vb::CSng(1e300); }), 6);
}

TEST(Rounding, IntFixRound) {
    EXPECT_EQ(vb::Int(-2.5), -3);
    EXPECT_EQ(vb::Int(2.9), 2);
    EXPECT_EQ(vb::Fix(-2.5), -2);
    EXPECT_EQ(vb::Fix(2.9), 2);
    EXPECT_EQ(vb::Round(2.5), 2);
    EXPECT_EQ(vb::Round(-3.5), -4);
    EXPECT_DOUBLE_EQ(vb::Round(1.25, 1), 1.2);
    EXPECT_DOUBLE_EQ(vb::Round(1.35, 1), 1.4);
    EXPECT_EQ(vb::Int("-2.5"), -3);
    EXPECT_EQ(vb::Fix(" 7.9 "), 7);
    EXPECT_EQ(errorOf([] { vb::Int("x"); }), 13);
    EXPECT_EQ(errorOf([] { vb::Round(1.0, -1); }), 5);
}

TEST(Arithmetic, IntegerDivisionAndMod) {
    EXPECT_EQ(vb::IntDiv(7, 2), 3);
    EXPECT_EQ(vb::IntDiv(-7, 2), -3);
    EXPECT_EQ(vb::IntDiv(5.5, 2), 3);  // 5.5 rounds to 6 first
    EXPECT_EQ(vb::IntDiv(4.5, 2), 2);  // 4.5 rounds to 4
    EXPECT_EQ(vb::IntDiv(7, 1.5), 3);  // divisor 1.5 rounds to 2
    EXPECT_EQ(vb::Mod(-7, 3), -1);
    EXPECT_EQ(vb::Mod(7, -3), 1);
    EXPECT_EQ(vb::Mod(10, 3), 1);
    EXPECT_EQ(vb::Mod(5.5, 4), 2);
    EXPECT_EQ(errorOf([] { vb::IntDiv(1, 0); }), 11);
    EXPECT_EQ(errorOf([] { vb::Mod(1, 0.4); }), 11); // 0.4 rounds to 0
    EXPECT_EQ(errorOf([] { vb::IntDiv(-2147483648.0, -1); }), 6);
    EXPECT_EQ(vb::Mod(-2147483648.0, -1), 0);
    EXPECT_EQ(errorOf([] { vb::IntDiv(3e9, 2); }), 6);
}

// Short whole numbers are read on their own path: the same doubles, bit for bit, as the
// general reading of the same number with text after it, and sign-less zero for "-0".
TEST(Val, ShortWholeNumbersReadAsTheGeneralPathReadsThem) {
    const char* texts[] = {"0",          "-0",       "7",         "-7",         "235",       "-1",
                           "0000000009", "999999999", "9999999999", "-999999999", "4294967296", "2147483648",
                           "-2147483649", "12345678901", "1.5",     "-",          "",          "+5",
                           "00",         "-00000000", "1e3",       "12 ",        "&H10"};
    for (const char* t : texts) {
        SCOPED_TRACE(t);
        const std::string text = t;
        const double got = vb::Val(text);
        const double general = vb::Val(text + "x");
        EXPECT_EQ(std::memcmp(&got, &general, sizeof got), 0) << got << " " << general;
    }
    EXPECT_FALSE(std::signbit(vb::Val("-0")));
    EXPECT_EQ(vb::Val("9999999999"), 9999999999.0);
    EXPECT_EQ(vb::Val("-999999999"), -999999999.0);
}

TEST(Val, ReadsTheLeadingNumber) {
    EXPECT_EQ(vb::Val("4.5abc"), 4.5);
    EXPECT_EQ(vb::Val(" 2 45 7"), 2457);
    EXPECT_EQ(vb::Val("24 and 57"), 24);
    EXPECT_EQ(vb::Val("1,5"), 1);
    EXPECT_EQ(vb::Val("1.2.3"), 1.2);
    EXPECT_EQ(vb::Val("1e3"), 1000);
    EXPECT_EQ(vb::Val("1D3"), 1000);
    EXPECT_EQ(vb::Val("2.5E-1"), 0.25);
    EXPECT_EQ(vb::Val("1e"), 1);   // exponent letter without digits is not part of it
    EXPECT_EQ(vb::Val("1e+x"), 1);
    EXPECT_EQ(vb::Val("-12"), -12);
    EXPECT_EQ(vb::Val("+12"), 12);
    EXPECT_EQ(vb::Val("- 12"), -12); // blanks go first
    EXPECT_EQ(vb::Val(".5"), 0.5);
    EXPECT_EQ(vb::Val("5."), 5);
    EXPECT_EQ(vb::Val("\t7\n8"), 78);
    EXPECT_EQ(vb::Val("7\r8"), 7);  // only blanks, tabs and line feeds are skipped
    EXPECT_EQ(vb::Val("0.1"), 0.1);
}

TEST(Val, NothingNumericIsZero) {
    EXPECT_EQ(vb::Val(""), 0);
    EXPECT_EQ(vb::Val("abc"), 0);
    EXPECT_EQ(vb::Val("."), 0);
    EXPECT_EQ(vb::Val("-"), 0);
    EXPECT_EQ(vb::Val("--5"), 0);
    EXPECT_FALSE(std::signbit(vb::Val("-0")));
    EXPECT_EQ(vb::Val("1e-400"), 0);
    EXPECT_EQ(vb::Val("1e400"), std::numeric_limits<double>::infinity()); // never raises
    EXPECT_EQ(vb::Val("-1e99999999999"), -std::numeric_limits<double>::infinity());
}

TEST(Val, HexAndOctalWrapLikeIntegerAndLong) {
    EXPECT_EQ(vb::Val("&HFF"), 255);
    EXPECT_EQ(vb::Val("&hff"), 255);
    EXPECT_EQ(vb::Val("&HFFFF"), -1);
    EXPECT_EQ(vb::Val("&H8000"), -32768);
    EXPECT_EQ(vb::Val("&HFF00"), -256);
    EXPECT_EQ(vb::Val("&H10000"), 65536);
    EXPECT_EQ(vb::Val("&HFFFFFFFF"), -1);
    EXPECT_EQ(vb::Val("&H1FFFFFFFF"), -1); // more than 32 bits: the low 32 count
    EXPECT_EQ(vb::Val("&O17"), 15);
    EXPECT_EQ(vb::Val("&O178"), 15);
    EXPECT_EQ(vb::Val("&HFFxyz"), 255);
    EXPECT_EQ(vb::Val("&H"), 0);
    EXPECT_EQ(vb::Val("&HG"), 0);
    EXPECT_EQ(vb::Val("-&H10"), 0); // a prefix only counts at the start
}

TEST(TextToNumber, WholeTextConversions) {
    EXPECT_EQ(vb::CDbl(" 4.5 "), 4.5);
    EXPECT_EQ(vb::CDbl("-1.5e2"), -150);
    EXPECT_EQ(vb::CDbl("&HFFFF"), -1);
    EXPECT_EQ(vb::CLng("2.5"), 2);
    EXPECT_EQ(vb::CLng("3.5"), 4);
    EXPECT_EQ(vb::CLng("&H7FFFFFFF"), 2147483647);
    EXPECT_EQ(vb::CInt("\t12\r\n"), 12);
    EXPECT_EQ(vb::CSng("0.1"), 0.1f);
    EXPECT_EQ(vb::toNumber("41") + 1, 42);
}

TEST(TextToNumber, BadTextRaisesTypeMismatchOrOverflow) {
    for (const char* bad : {"abc", "", "   ", "4.5abc", "1,5", "1.2.3", "- 5", "&H", "&HXY", "1e", "e5", "$5"}) {
        SCOPED_TRACE(bad);
        EXPECT_EQ(errorOf([&] { vb::CDbl(bad); }), 13);
        EXPECT_EQ(errorOf([&] { vb::CLng(bad); }), 13);
        EXPECT_EQ(errorOf([&] { vb::toNumber(bad); }), 13);
        EXPECT_FALSE(vb::IsNumeric(bad));
    }
    EXPECT_EQ(errorOf([] { vb::CLng("3000000000"); }), 6);
    EXPECT_EQ(errorOf([] { vb::CInt("40000"); }), 6);
    EXPECT_EQ(errorOf([] { vb::CDbl("1e400"); }), 6);
    EXPECT_EQ(errorOf([] { vb::CDbl("&H100000000"); }), 6);
    EXPECT_EQ(errorOf([] { vb::CSng("1e39"); }), 6);
    EXPECT_EQ(vb::CDbl("1e-400"), 0);
    EXPECT_TRUE(vb::IsNumeric(" -3.5e2 "));
    EXPECT_TRUE(vb::IsNumeric("&HFF"));
    EXPECT_TRUE(vb::IsNumeric(".5"));
    EXPECT_FALSE(vb::IsNumeric("1e400"));
}

// Plain decimals (the values the windows write into their text boxes) are read without the
// general scanner; every one must still be the correctly rounded double, bit for bit, as
// from_chars reads it: short and long, with and without a point, halves, signed zeros, values
// around 2^53 and more than 22 digits after the point.
// Short whole numbers (list indexes, counters) are read on a path of their own: every length up to
// and past its limit, leading zeros, against from_chars and against the same text with a blank
// after it (which the general path reads).
TEST(TextToNumber, ShortWholeNumbersReadAsTheGeneralPathReadsThem) {
    std::mt19937_64 rng(77);
    auto bits = [](double v) { return std::bit_cast<std::uint64_t>(v); };
    std::vector<std::string> texts = {"0", "00", "000000000", "999999999", "1000000000", "0999999999", "2147483647"};
    for (int i = 0; i < 20000; ++i) {
        std::string t;
        const int digits = 1 + static_cast<int>(rng() % 11);
        for (int k = 0; k < digits; ++k) t += static_cast<char>('0' + rng() % 10);
        texts.push_back(t);
    }
    for (const auto& t : texts) {
        SCOPED_TRACE(t);
        double expected = 0;
        ASSERT_EQ(std::from_chars(t.data(), t.data() + t.size(), expected).ec, std::errc{});
        EXPECT_EQ(bits(vb::CDbl(t)), bits(expected));
        EXPECT_EQ(bits(vb::CDbl(t)), bits(vb::CDbl(t + " ")));
        EXPECT_EQ(bits(vb::toNumber(t)), bits(expected));
        if (expected <= 2147483647.0) {
            EXPECT_EQ(vb::CLng(t), static_cast<std::int32_t>(expected));
        }
        EXPECT_TRUE(vb::IsNumeric(t));
    }
}

TEST(TextToNumber, PlainDecimalsAreTheCorrectlyRoundedValue) {
    std::mt19937_64 rng(20240611);
    std::vector<std::pair<std::string, std::string>> cases;  // (whole part, fraction; "-" marks none)
    for (const char* fixed : {"0", "1", "5", "00", "0000000000000000000000001", "9007199254740992",
                              "9007199254740993", "9007199254740991", "18014398509481984", "123456789012345678901",
                              "4294967295", "2147483648", "32767", "65535"})
        cases.push_back({fixed, "-"});
    for (const auto& [w, f] : std::vector<std::pair<const char*, const char*>>{
             {"0", "5"}, {"2", "5"}, {"3", "5"}, {"", "5"}, {"5", ""}, {"0", "1"}, {"0", "0000000000000000000001"},
             {"0", "00000000000000000000001"}, {"1", "0000000000000000000000"}, {"0", "3333333333333333"},
             {"900719925474099", "3"}, {"900719925474099", "2"}, {"90071992547409", "93"}, {"123", "456789012345678901"},
             {"", "1234567890123456789012"}, {"", "12345678901234567890123"}, {"0", "0"}, {"", "0"}, {"102", "565"},
             {"97", "5"}, {"2", "4999999"}, {"1", "005"}})
        cases.push_back({w, f});
    for (int i = 0; i < 20000; ++i) {
        const int wholeDigits = static_cast<int>(rng() % 18), fracDigits = static_cast<int>(rng() % 25) - 1;
        std::string w, f = fracDigits < 0 ? "-" : "";
        for (int k = 0; k < wholeDigits; ++k) w += static_cast<char>('0' + rng() % 10);
        for (int k = 0; k < fracDigits; ++k) f += static_cast<char>('0' + rng() % 10);
        if (w.empty() && (f.empty() || f == "-")) w = "7";
        cases.push_back({w, f});
    }
    auto bits = [](double v) { return std::bit_cast<std::uint64_t>(v); };
    for (const auto& [w, f] : cases) {
        for (const char* sign : {"", "-", "+"}) {
            const std::string text = sign + w + (f == "-" ? "" : "." + f);
            const std::string plain = (w.empty() ? "0" : w) + (f.empty() || f == "-" ? "" : "." + f);
            double expected = 0;
            ASSERT_EQ(std::from_chars(plain.data(), plain.data() + plain.size(), expected).ec, std::errc{}) << plain;
            if (std::string_view(sign) == "-") expected = -expected;
            expected += 0.0;  // no negative zero comes out of a conversion
            SCOPED_TRACE(text);
            EXPECT_EQ(bits(vb::Val(text)), bits(expected));
            EXPECT_EQ(bits(vb::Val(text + "abc")), bits(expected));
            if (f != "-") {
                EXPECT_EQ(bits(vb::Val(text + ".9")), bits(expected));  // a second point ends it
            }
            EXPECT_EQ(bits(vb::CDbl(text)), bits(expected));
            EXPECT_EQ(bits(vb::CDbl(" " + text + "\t")), bits(expected));
            EXPECT_TRUE(vb::IsNumeric(text));
            // With an exponent the general path reads it; the point of the check is that the
            // fast path does not take the digits and drop the exponent.
            std::string withExp = plain + "e1";
            double scaled = 0;
            std::from_chars(withExp.data(), withExp.data() + withExp.size(), scaled);
            if (std::string_view(sign) == "-") scaled = -scaled;
            EXPECT_EQ(bits(vb::Val(text + "e1")), bits(scaled + 0.0));
            EXPECT_EQ(bits(vb::CDbl(text + "D1")), bits(scaled + 0.0));
        }
    }
    // Blanks inside or right after the digits still go first.
    EXPECT_EQ(vb::Val("12 34"), 1234);
    EXPECT_EQ(vb::Val("12\t3"), 123);
    EXPECT_EQ(vb::Val("1.5\n5"), 1.55);
    EXPECT_EQ(vb::Val("-3 .5"), -3.5);
    EXPECT_EQ(vb::Val("7 e2"), 700);
    EXPECT_EQ(vb::Val("7x 5"), 7);
    EXPECT_EQ(errorOf([] { vb::CDbl("12abc"); }), 13);
}

TEST(TextToNumber, IgnoresTheProcessLocale) {
    // A German system would read "4.5" as 45; we always use ".".
    const char* old = std::setlocale(LC_ALL, nullptr);
    std::string saved = old ? old : "C";
    if (!std::setlocale(LC_ALL, "de_DE.UTF-8")) GTEST_SKIP() << "de_DE locale not installed";
    EXPECT_EQ(vb::CDbl("4.5"), 4.5);
    EXPECT_EQ(vb::CStr(0.3), "0.3");
    EXPECT_EQ(vb::Format(75, "0.0"), "75.0");
    std::setlocale(LC_ALL, saved.c_str());
}

TEST(NumberToText, FifteenDigitsForDouble) {
    EXPECT_EQ(vb::CStr(4000 * 2.8), "11200");
    EXPECT_EQ(vb::CStr(5750 * 2.8), "16100");
    EXPECT_EQ(vb::CStr(0.1 + 0.2), "0.3");
    EXPECT_EQ(vb::CStr(static_cast<double>(0.1f) + 0.2), "0.300000001490116");
    EXPECT_EQ(vb::CStr(1.0 / 3), "0.333333333333333");
    EXPECT_EQ(vb::CStr(-2.0 / 3), "-0.666666666666667");
    EXPECT_EQ(vb::CStr(1e15), "1E+15");
    EXPECT_EQ(vb::CStr(999999999999999.0), "999999999999999");
    EXPECT_EQ(vb::CStr(1.5e300), "1.5E+300");
    EXPECT_EQ(vb::CStr(0.00001), "1E-05");
    EXPECT_EQ(vb::CStr(0.0001), "0.0001");
    EXPECT_EQ(vb::CStr(-1.25e-7), "-1.25E-07");
    EXPECT_EQ(vb::CStr(0.0), "0");
    EXPECT_EQ(vb::CStr(-0.0), "0");
    EXPECT_EQ(vb::CStr(100.0), "100");
}

// Whole numbers take a short way to text and ties a short way to the even neighbour; both must
// match the general rules: 15 significant digits in the general format, and rounding as the
// processor does it by default (ties to even), over many values, halves, signs and edges.
TEST(NumberToText, WholeNumbersAndTiesMatchTheGeneralRules) {
    auto general = [](double x) {
        char buf[64];
        const auto r = std::to_chars(buf, buf + sizeof buf, x, std::chars_format::general, 15);
        std::string out(buf, r.ptr);
        for (char& c : out)
            if (c == 'e') c = 'E';
        return out;
    };
    auto bits = [](double v) { return std::bit_cast<std::uint64_t>(v); };
    std::mt19937_64 rng(99);
    std::vector<double> values = {1, -1, 2, 0.5, -0.5, 1.5, -1.5, 2.5, -2.5, 3.5, 1e15 - 1, -(1e15 - 1), 1e15, 1e15 + 2,
                                  9007199254740991.0, 9007199254740992.0, 4503599627370495.5, -4503599627370495.5,
                                  4503599627370496.0, 2147483647.5, -2147483648.5, 1e300, -1e-300, 0.49999999999999994,
                                  -0.49999999999999994, 123456789012345.0, -99999999999999.0};
    for (int i = 0; i < 200000; ++i) {
        const int kind = static_cast<int>(rng() % 4);
        const double whole = static_cast<double>(static_cast<std::int64_t>(rng() >> (rng() % 64)) * (rng() % 2 ? 1 : -1));
        values.push_back(kind == 0   ? whole
                         : kind == 1 ? whole + 0.5
                         : kind == 2 ? std::ldexp(static_cast<double>(rng() >> 11), static_cast<int>(rng() % 80) - 60)
                                     : std::bit_cast<double>(rng()));
    }
    for (double x : values) {
        if (std::isnan(x) || std::isinf(x) || x == 0) continue;
        SCOPED_TRACE(general(x));
        ASSERT_EQ(vb::CStr(x), general(x));
        ASSERT_EQ(bits(vb::roundHalfEven(x)), bits(std::nearbyint(x) + 0.0));
    }
}

TEST(NumberToText, SevenDigitsForSingle) {
    EXPECT_EQ(vb::CStr(static_cast<float>(1.0 / 3)), "0.3333333");
    EXPECT_EQ(vb::CStr(0.1f), "0.1");
    EXPECT_EQ(vb::CStr(12345678.0f), "1.234568E+07");
    EXPECT_EQ(vb::CStr(1234567.0f), "1234567");
    EXPECT_EQ(vb::CStr(10.0f / 3.0f), "3.333333");
}

TEST(NumberToText, IntegersBooleansAndOddValues) {
    EXPECT_EQ(vb::CStr(42), "42");
    EXPECT_EQ(vb::CStr(std::int16_t{-7}), "-7");
    EXPECT_EQ(vb::CStr(std::int64_t{3000000000}), "3000000000");
    EXPECT_EQ(vb::CStr(true), "True");
    EXPECT_EQ(vb::CStr(false), "False");
    EXPECT_EQ(vb::CStr(std::numeric_limits<double>::infinity()), "1.#INF");
    EXPECT_EQ(vb::CStr(-std::numeric_limits<double>::infinity()), "-1.#INF");
    EXPECT_EQ(vb::CStr(std::numeric_limits<double>::quiet_NaN()), "-1.#IND");
}

TEST(NumberToText, StrHasSignPlaceAndNoLeadingZero) {
    EXPECT_EQ(vb::Str(459), " 459");
    EXPECT_EQ(vb::Str(-459), "-459");
    EXPECT_EQ(vb::Str(0), " 0");
    EXPECT_EQ(vb::Str(0.5), " .5");
    EXPECT_EQ(vb::Str(-0.5), "-.5");
    EXPECT_EQ(vb::Str(0.1 + 0.2), " .3");
    EXPECT_EQ(vb::Str(4000 * 2.8), " 11200");
    EXPECT_EQ(vb::Str(0.00001), " 1E-05");
    EXPECT_EQ(vb::Str(0.0), " 0");
    EXPECT_EQ(vb::Str(0.25f), " .25");
}

TEST(Format, DigitPlaceholdersRoundHalfAwayFromZero) {
    EXPECT_EQ(vb::Format(75, "0.0"), "75.0");
    EXPECT_EQ(vb::Format(0.25, "0.0"), "0.3");
    EXPECT_EQ(vb::Format(-0.25, "0.0"), "-0.3");
    EXPECT_EQ(vb::Format(0.35, "0.0"), "0.4");  // 0.34999... in binary, 0.35 in 15 digits
    EXPECT_EQ(vb::Format(1.005, "0.00"), "1.01");
    EXPECT_EQ(vb::Format(2.5, "0"), "3");
    EXPECT_EQ(vb::Format(-2.5, "0"), "-3");
    EXPECT_EQ(vb::Format(9.96, "0.0"), "10.0");
    EXPECT_EQ(vb::Format(99.5, "0"), "100");
    EXPECT_EQ(vb::Format(3.14159, "0.00"), "3.14");
    EXPECT_EQ(vb::Format(5, "00"), "05");
    EXPECT_EQ(vb::Format(1e20, "0"), "100000000000000000000");
    EXPECT_EQ(vb::Format(0.0004, "0.0"), "0.0");
    EXPECT_EQ(vb::Format(-0.01, "0.0"), "-0.0"); // sign of the unrounded value stays
}

TEST(Format, OptionalDigitsGroupingPercentAndLiterals) {
    EXPECT_EQ(vb::Format(5, "#"), "5");
    EXPECT_EQ(vb::Format(0, "#"), "");
    EXPECT_EQ(vb::Format(0.5, "#.#"), ".5");
    EXPECT_EQ(vb::Format(5, "#.#"), "5.");
    EXPECT_EQ(vb::Format(5.25, "#.##"), "5.25");
    EXPECT_EQ(vb::Format(5.2, "0.0#"), "5.2");
    EXPECT_EQ(vb::Format(5.256, "0.0#"), "5.26");
    EXPECT_EQ(vb::Format(1234567.891, "#,##0.00"), "1,234,567.89");
    EXPECT_EQ(vb::Format(123, "#,##0"), "123");
    EXPECT_EQ(vb::Format(0.256, "0.0%"), "25.6%");
    EXPECT_EQ(vb::Format(12, "0 ms"), "12 ms");
    EXPECT_EQ(vb::Format(-12, "$0"), "-$12");
    EXPECT_EQ(vb::Format(1.5, "Fixed"), "1.50");
    EXPECT_EQ(vb::Format(1234.5, "Standard"), "1,234.50");
    EXPECT_EQ(vb::Format(0.5, "Percent"), "50.00%");
    EXPECT_EQ(vb::Format(0.1 + 0.2, ""), "0.3");
    EXPECT_EQ(vb::Format(0.1 + 0.2, "General Number"), "0.3");
    EXPECT_EQ(vb::Format(7, "abc"), "abc");
    EXPECT_EQ(vb::Format(std::numeric_limits<double>::infinity(), "0.0"), "1.#INF");
}

TEST(Colours, RgbPacksBgrAndClamps) {
    EXPECT_EQ(vb::RGB(255, 0, 0), 0xFF);
    EXPECT_EQ(vb::RGB(0, 255, 0), 0xFF00);
    EXPECT_EQ(vb::RGB(0, 0, 255), 0xFF0000);
    EXPECT_EQ(vb::RGB(255, 255, 255), 0xFFFFFF);
    EXPECT_EQ(vb::RGB(127, 0, 0), 0x7F);
    EXPECT_EQ(vb::RGB(0, 175, 0), 0xAF00);
    EXPECT_EQ(vb::RGB(255, 128, 0), 0x80FF);
    EXPECT_EQ(vb::RGB(300, 1000, 256), 0xFFFFFF);
    EXPECT_EQ(errorOf([] { vb::RGB(-1, 0, 0); }), 5);
}

TEST(Text, LengthCountsUtf16Units) {
    EXPECT_EQ(vb::Len(""), 0);
    EXPECT_EQ(vb::Len("abc"), 3);
    EXPECT_EQ(vb::Len("Bässe"), 5);
    EXPECT_EQ(vb::Len("€"), 1);
    EXPECT_EQ(vb::Len("a\xF0\x9F\x8E\xB5"), 3); // a music note outside the BMP is two units
}

TEST(Text, MidLeftRight) {
    EXPECT_EQ(vb::Mid("Hello", 2, 3), "ell");
    EXPECT_EQ(vb::Mid("Hello", 2), "ello");
    EXPECT_EQ(vb::Mid("Hello", 6), "");
    EXPECT_EQ(vb::Mid("Hello", 4, 100), "lo");
    EXPECT_EQ(vb::Mid("Hello", 1, 0), "");
    EXPECT_EQ(vb::Mid("Bässe", 2, 2), "äs");
    EXPECT_EQ(vb::Mid("Bässe", 3), "sse");
    EXPECT_EQ(vb::Left("Hello", 2), "He");
    EXPECT_EQ(vb::Left("Hello", 99), "Hello");
    EXPECT_EQ(vb::Left("äöü", 2), "äö");
    EXPECT_EQ(vb::Right("Hello", 3), "llo");
    EXPECT_EQ(vb::Right("Hello", 99), "Hello");
    EXPECT_EQ(vb::Right("äöü", 1), "ü");
    EXPECT_EQ(vb::Right("", 0), "");
    EXPECT_EQ(errorOf([] { vb::Mid("abc", 0); }), 5);
    EXPECT_EQ(errorOf([] { vb::Mid("abc", 1, -1); }), 5);
    EXPECT_EQ(errorOf([] { vb::Left("abc", -1); }), 5);
    EXPECT_EQ(errorOf([] { vb::Right("abc", -1); }), 5);
}

TEST(Text, InStr) {
    EXPECT_EQ(vb::InStr("abcabc", "c"), 3);
    EXPECT_EQ(vb::InStr(4, "abcabc", "c"), 6);
    EXPECT_EQ(vb::InStr("abc", "C"), 0); // case-sensitive
    EXPECT_EQ(vb::InStr("abc", "x"), 0);
    EXPECT_EQ(vb::InStr(2, "abc", ""), 2);
    EXPECT_EQ(vb::InStr(4, "abc", ""), 0);
    EXPECT_EQ(vb::InStr(4, "abc", "c"), 0);
    EXPECT_EQ(vb::InStr("", ""), 0);
    EXPECT_EQ(vb::InStr("Bässe.swf", ".swf"), 6);
    EXPECT_EQ(vb::InStr(3, "äbäb", "ä"), 3);
    EXPECT_EQ(errorOf([] { vb::InStr(0, "abc", "a"); }), 5);
}

TEST(Text, Replace) {
    EXPECT_EQ(vb::Replace("a-b-c", "-", "+"), "a+b+c");
    EXPECT_EQ(vb::Replace("aaaa", "aa", "b"), "bb");
    EXPECT_EQ(vb::Replace("aaa", "a", "aa"), "aaaaaa"); // no rescanning of the replacement
    EXPECT_EQ(vb::Replace("abc", "", "x"), "abc");
    EXPECT_EQ(vb::Replace("abc", "B", "x"), "abc");
    EXPECT_EQ(vb::Replace("a-b-c", "-", "", 3), "bc");
    EXPECT_EQ(vb::Replace("a-b-c", "-", "+", 1, 1), "a+b-c");
    EXPECT_EQ(vb::Replace("a-b-c", "-", "+", 1, 0), "a-b-c");
    EXPECT_EQ(vb::Replace("abc", "a", "b", 4), "");
    EXPECT_EQ(vb::Replace("Größe", "ö", "oe"), "Groeße");
    EXPECT_EQ(errorOf([] { vb::Replace("abc", "a", "b", 0); }), 5);
    EXPECT_EQ(errorOf([] { vb::Replace("abc", "a", "b", 1, -2); }), 5);
}

TEST(Text, Split) {
    EXPECT_TRUE(vb::Split("").empty());
    EXPECT_TRUE(vb::Split("", ",").empty());
    EXPECT_EQ(vb::Split("a b c"), (std::vector<std::string>{"a", "b", "c"}));
    EXPECT_EQ(vb::Split("a,,b,", ","), (std::vector<std::string>{"a", "", "b", ""}));
    EXPECT_EQ(vb::Split("abc", ","), (std::vector<std::string>{"abc"}));
    EXPECT_EQ(vb::Split("a\r\nb", "\r\n"), (std::vector<std::string>{"a", "b"}));
    EXPECT_EQ(vb::Split("a b", ""), (std::vector<std::string>{"a b"}));
    EXPECT_EQ(vb::Split(",", ","), (std::vector<std::string>{"", ""}));
}

TEST(Text, TrimAndCase) {
    EXPECT_EQ(vb::Trim("  a b  "), "a b");
    EXPECT_EQ(vb::Trim("\ta\t"), "\ta\t"); // spaces only
    EXPECT_EQ(vb::Trim("   "), "");
    EXPECT_EQ(vb::LTrim("  a "), "a ");
    EXPECT_EQ(vb::RTrim("  a "), "  a");
    EXPECT_EQ(vb::LCase("MiXeD 1"), "mixed 1");
    EXPECT_EQ(vb::UCase("MiXeD 1"), "MIXED 1");
    EXPECT_EQ(vb::UCase("bässe"), "BÄSSE");
    EXPECT_EQ(vb::LCase("ÄÖÜ"), "äöü");
    EXPECT_EQ(vb::UCase("ß"), "ß"); // one character stays one character
    EXPECT_EQ(vb::UCase(""), "");
}

} // namespace
