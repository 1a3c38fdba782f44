#include "platform/storage/text.h"

#include <gtest/gtest.h>

namespace {

TEST(Cp1252, Utf8ToCp1252) {
    EXPECT_EQ(platform::utf8ToCp1252("plain ASCII\r\n"), "plain ASCII\r\n");
    EXPECT_EQ(platform::utf8ToCp1252("Bässe"), "B\xE4sse");
    EXPECT_EQ(platform::utf8ToCp1252("€ “x” – …"), "\x80 \x93x\x94 \x96 \x85");
    EXPECT_EQ(platform::utf8ToCp1252("ÿ"), "\xFF");
    EXPECT_EQ(platform::utf8ToCp1252(std::string("a\0b", 3)), std::string("a\0b", 3));
}

TEST(Cp1252, CharactersWithoutACodeBecomeQuestionMarks) {
    EXPECT_EQ(platform::utf8ToCp1252("ā"), "?");          // Latin a with macron
    EXPECT_EQ(platform::utf8ToCp1252("\xC2\x82"), "?");  // a control character whose byte means another one
    EXPECT_EQ(platform::utf8ToCp1252("x\xF0\x9F\x8E\xB5y"), "x?y");   // one "?" per character
    EXPECT_EQ(platform::utf8ToCp1252("日本ä"), "??\xE4");
    // Broken UTF-8: one "?" per bad byte, and the rest still converts.
    EXPECT_EQ(platform::utf8ToCp1252("a\xFF\xC3"), "a??");
    EXPECT_EQ(platform::utf8ToCp1252("\xC3x\xC3\xA4"), "?x\xE4");
    EXPECT_EQ(platform::utf8ToCp1252("\xE2\x82"), "??");  // cut off at the end
}

TEST(Cp1252, Cp1252ToUtf8) {
    EXPECT_EQ(platform::cp1252ToUtf8("B\xE4sse"), "Bässe");
    EXPECT_EQ(platform::cp1252ToUtf8("\x80\x93\x94\x9F"), "€“”Ÿ");
    // The unassigned bytes keep their number as a control character.
    EXPECT_EQ(platform::cp1252ToUtf8("a\x81" "b\x9D"), "a\xC2\x81" "b\xC2\x9D");
    EXPECT_EQ(platform::cp1252ToUtf8(""), "");
}

TEST(Cp1252, EveryByteSurvivesTheRoundTrip) {
    for (int b = 1; b < 256; ++b) {
        std::string one(1, static_cast<char>(b));
        EXPECT_EQ(platform::utf8ToCp1252(platform::cp1252ToUtf8(one)), one) << "byte " << b;
    }
}

} // namespace
