#include "runtime/Text.h"

#include <gtest/gtest.h>

TEST(TextConversion, RoundTripsLatinCyrillicAndAstralCharacters)
{
    std::string utf8 = "a\xc3\xa9\xd0\x96\xe2\x82\xac\xf0\x9f\x98\x80";
    std::u16string utf16 = Utf16FromUtf8(utf8);
    EXPECT_EQ(utf16, (std::u16string { u'a', 0x00E9, 0x0416, 0x20AC, 0xD83D, 0xDE00 }));
    EXPECT_EQ(Utf8FromUtf16(utf16), utf8);
}

TEST(TextConversion, BrokenInputBecomesReplacementCharacters)
{
    EXPECT_EQ(Utf16FromUtf8("a\xe2\x82"), (std::u16string { u'a', 0xFFFD }));
    EXPECT_EQ(Utf16FromUtf8("\xff" "b"), (std::u16string { 0xFFFD, u'b' }));
    EXPECT_EQ(Utf8FromUtf16(std::u16string { 0xD800, u'x' }), "\xef\xbf\xbdx");
}

TEST(TextConversion, RefusesForbiddenFormsOnePieceAtATime)
{
    const std::u16string bad(1, 0xFFFD);
    // Overlong forms, an encoded surrogate and a value beyond U+10FFFF never decode as characters.
    EXPECT_EQ(Utf16FromUtf8("\xc0\xaf"), bad + bad);
    EXPECT_EQ(Utf16FromUtf8("\xe0\x80\xaf"), bad + bad + bad);
    EXPECT_EQ(Utf16FromUtf8("\xed\xa0\x80"), bad + bad + bad);
    EXPECT_EQ(Utf16FromUtf8("\xf4\x90\x80\x80"), bad + bad + bad + bad);
    // A truncated four-byte character is one replacement, and the next character survives.
    EXPECT_EQ(Utf16FromUtf8("\xf0\x9f\x98" "a"), bad + u"a");
    // The edges of the ranges decode.
    EXPECT_EQ(Utf16FromUtf8("\xed\x9f\xbf\xee\x80\x80\xf4\x8f\xbf\xbf"), (std::u16string { 0xD7FF, 0xE000, 0xDBFF, 0xDFFF }));
    EXPECT_EQ(Utf8FromUtf16(std::u16string { u'a', 0xDC00 }), "a\xef\xbf\xbd");
    EXPECT_EQ(Utf8FromUtf16(std::u16string { u'a', 0xD83D }), "a\xef\xbf\xbd") << "a high surrogate at the end";
    EXPECT_EQ(Utf16FromUtf8(std::string("a\0b", 3)), std::u16string(u"a\0b", 3)) << "zeros are text too";
    EXPECT_TRUE(Utf16FromUtf8("").empty());
    EXPECT_TRUE(Utf8FromUtf16(u"").empty());
}
