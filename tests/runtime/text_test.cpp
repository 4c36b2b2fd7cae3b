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
