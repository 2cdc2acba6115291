// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/CodePage.h"

#include <gtest/gtest.h>

namespace {

class CodePage : public ::testing::Test {
protected:
    void TearDown() override { codepage::SetSystemCodePageForTesting(""); }
};

TEST_F(CodePage, Cp1252RoundTripThroughUtf8) {
    codepage::SetSystemCodePageForTesting("CP1252");
    EXPECT_FALSE(codepage::SystemIsUtf8());
    auto utf8 = codepage::SystemToUtf8("M\xE4rz \x80");
    ASSERT_TRUE(utf8);
    EXPECT_EQ(*utf8, "M\xC3\xA4rz \xE2\x82\xAC");
    auto back = codepage::Utf8ToSystem(*utf8);
    ASSERT_TRUE(back);
    EXPECT_EQ(*back, "M\xE4rz \x80");
}

TEST_F(CodePage, UnrepresentableCharactersBecomeTheDefaultCharacter) {
    codepage::SetSystemCodePageForTesting("CP1252");
    // Korean has no place in windows-1252.
    auto text = codepage::Utf8ToSystem("a\xEC\x95\x88\xEB\x85\x95z");
    ASSERT_TRUE(text);
    EXPECT_EQ(*text, "a??z");
}

TEST_F(CodePage, MalformedInputFails) {
    codepage::SetSystemCodePageForTesting("CP1252");
    EXPECT_FALSE(codepage::Utf8ToSystem("bad \xC3 byte"));
    codepage::SetSystemCodePageForTesting("UTF-8");
    EXPECT_FALSE(codepage::Utf8ToSystem("bad \xFF byte"));
    EXPECT_TRUE(codepage::Utf8ToSystem("fine \xC3\xA4"));
}

TEST_F(CodePage, Utf16LittleEndian) {
    auto wide = codepage::Convert("A\xC3\xA4", "UTF-8", "UTF-16LE");
    ASSERT_TRUE(wide);
    EXPECT_EQ(*wide, std::string("A\0\xE4\0", 4));
    auto narrow = codepage::Convert(*wide, "UTF-16LE", "UTF-8");
    ASSERT_TRUE(narrow);
    EXPECT_EQ(*narrow, "A\xC3\xA4");
    EXPECT_FALSE(codepage::Convert("x", "NO-SUCH-CHARSET", "UTF-8"));
}

TEST_F(CodePage, LargeTextsRoundTripWhateverTheirOutputGrowsBy) {
    // Output many times the room made at once, up to four bytes for each one read (more than is
    // reserved), with characters of every length across the boundaries.
    std::string text;
    while (text.size() < (1u << 20)) {
        text += "a\xC3\xA4\xEC\x95\x88\xF0\x9F\x8E\xAC";
    }
    for (const char* wide : {"UTF-16LE", "UTF-32LE"}) {
        const auto there = codepage::Convert(text, "UTF-8", wide);
        ASSERT_TRUE(there) << wide;
        const auto back = codepage::Convert(*there, wide, "UTF-8");
        ASSERT_TRUE(back) << wide;
        EXPECT_TRUE(*back == text) << wide;
    }
}

TEST_F(CodePage, Utf8Validation) {
    EXPECT_TRUE(codepage::IsValidUtf8("plain"));
    EXPECT_TRUE(codepage::IsValidUtf8("\xF0\x9F\x8E\xAC"));
    EXPECT_FALSE(codepage::IsValidUtf8("\xC0\xAF")) << "overlong";
    EXPECT_FALSE(codepage::IsValidUtf8("\xED\xA0\x80")) << "surrogate";
    EXPECT_FALSE(codepage::IsValidUtf8("\xE2\x82")) << "truncated";
}

}  // namespace
