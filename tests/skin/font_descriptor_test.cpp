#include "skin/text/FontDescriptor.h"

#include "skin/text/FontDesc.h"

#include <gtest/gtest.h>

#include <climits>

namespace {

FontDesc Parse(std::u16string_view text)
{
    FontDesc desc;
    desc.scale = 2;
    ParseFontDescriptor(text, desc);
    EXPECT_EQ(desc.scale, 2) << "the scale is the loader's, never the descriptor's";
    return desc;
}

} // namespace

TEST(FontDescriptor, AllFieldsAndTheRestAsFace)
{
    FontDesc d = Parse(u"14 1 0 1 Courier New");
    EXPECT_EQ(d.size, 14);
    EXPECT_TRUE(d.bold);
    EXPECT_FALSE(d.italic);
    EXPECT_TRUE(d.underline);
    EXPECT_EQ(d.face, u"Courier New");

    d = Parse(u"  +9\t7 -1 0   Lucida  Sans ");
    EXPECT_EQ(d.size, 9);
    EXPECT_TRUE(d.bold); // any non-zero value
    EXPECT_TRUE(d.italic);
    EXPECT_FALSE(d.underline);
    EXPECT_EQ(d.face, u"Lucida  Sans ");
}

TEST(FontDescriptor, AnEarlyStopKeepsTheDefaultsForTheRest)
{
    FontDesc d = Parse(u"-3x 1 1 1 Arial");
    EXPECT_EQ(d.size, -3);
    EXPECT_FALSE(d.bold);
    EXPECT_FALSE(d.italic);
    EXPECT_FALSE(d.underline);
    EXPECT_EQ(d.face, u"Tahoma");

    d = Parse(u"10");
    EXPECT_EQ(d.size, 10);
    EXPECT_FALSE(d.bold);
    EXPECT_EQ(d.face, u"Tahoma");

    d = Parse(u"12 1 0 0   ");
    EXPECT_TRUE(d.bold);
    EXPECT_EQ(d.face, u"Tahoma");

    d = Parse(u"12 1 - 0 Arial"); // a sign without digits stops the parse
    EXPECT_TRUE(d.bold);
    EXPECT_FALSE(d.italic);
    EXPECT_EQ(d.face, u"Tahoma");
}

TEST(FontDescriptor, SizeWithoutDigitsIsZeroButBlankKeepsTheDefault)
{
    EXPECT_EQ(Parse(u"Tahoma").size, 0);
    EXPECT_EQ(Parse(u" -").size, 0);
    EXPECT_EQ(Parse(u"").size, 12);
    EXPECT_EQ(Parse(u" \t ").size, 12);
    EXPECT_EQ(Parse(u"99999999999999").size, INT_MAX);
}

TEST(FontDescriptor, AbsurdSizesGiveAbsurdHeightsNotWrappedOnes)
{
    // A wrapped product would make a small, drawable font out of nonsense.
    EXPECT_EQ(Parse(u"99999999").logical_height(), -266666664);
    EXPECT_EQ(Parse(u"99999999999999").logical_height(), INT_MIN);
    EXPECT_EQ(Parse(u"-99999999999999").logical_height(), INT_MAX);
    EXPECT_EQ(Parse(u"-3").logical_height(), 8);
}
