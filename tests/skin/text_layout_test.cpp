// Word layout with a monospace measure: every character is 5 wide, a space 5 as well.
#include <gtest/gtest.h>

#include "skin/text/TextLayout.h"

namespace {

int mono(std::u16string_view s) { return 5 * static_cast<int>(s.size()); }

std::vector<std::u16string> line_texts(const TextLayout& layout, std::u16string_view text)
{
    std::vector<std::u16string> out;
    for (const auto& line : layout.lines) {
        std::u16string s;
        for (const auto& w : line.words) {
            if (!s.empty())
                s += u'|';
            s += text.substr(w.start, w.length);
        }
        out.push_back(s);
    }
    return out;
}

TEST(TextLayout, WrapsGreedilyAndKeepsLineFeeds)
{
    std::u16string text = u"one two three\n\nfour";
    auto layout = layout_text(text, mono, 50, true, HAlign::LEFT);
    // "one two" is 35 wide; "three" would end at 65.
    EXPECT_EQ(line_texts(layout, text),
        (std::vector<std::u16string>{u"one|two", u"three", u"", u"four"}));
    EXPECT_EQ(layout.lines[0].words[1].x, 20);
    EXPECT_EQ(layout.width, 35);
}

TEST(TextLayout, SplitsAWordWiderThanTheLine)
{
    std::u16string text = u"ab abcdefghijkl";
    auto layout = layout_text(text, mono, 25, true, HAlign::LEFT);
    EXPECT_EQ(line_texts(layout, text),
        (std::vector<std::u16string>{u"ab", u"abcde", u"fghij", u"kl"}));
    // A line never stays empty, even when one character is wider than the box.
    layout = layout_text(u"xyz", mono, 3, true, HAlign::LEFT);
    EXPECT_EQ(layout.lines.size(), 3u);
}

TEST(TextLayout, NoBreakSpacesJoinAndPairsStayWhole)
{
    std::u16string text = u"go 10\u00A0km now";
    auto layout = layout_text(text, mono, 35, true, HAlign::LEFT);
    EXPECT_EQ(line_texts(layout, text), (std::vector<std::u16string>{u"go", u"10\u00A0km", u"now"}));
    // An ideographic space still separates words.
    text = u"ab\u3000cd";
    EXPECT_EQ(line_texts(layout_text(text, mono, 10, true, HAlign::LEFT), text),
        (std::vector<std::u16string>{u"ab", u"cd"}));

    // A word split over lines never splits a character outside the basic plane.
    text = u"ab\U0001F600cd";
    layout = layout_text(text, mono, 15, true, HAlign::LEFT);
    EXPECT_EQ(line_texts(layout, text), (std::vector<std::u16string>{u"ab", u"\U0001F600c", u"d"}));
    text = u"\U0001F600\U0001F601";
    layout = layout_text(text, mono, 5, true, HAlign::LEFT);
    EXPECT_EQ(line_texts(layout, text), (std::vector<std::u16string>{u"\U0001F600", u"\U0001F601"}))
        << "a line holds at least one whole character";
}

TEST(TextLayout, AlignsEachLine)
{
    std::u16string text = u"ab\nabcd";
    auto right = layout_text(text, mono, 40, true, HAlign::RIGHT);
    EXPECT_EQ(right.lines[0].words[0].x, 30);
    EXPECT_EQ(right.lines[1].words[0].x, 20);
    auto centre = layout_text(text, mono, 40, true, HAlign::CENTER);
    EXPECT_EQ(centre.lines[0].words[0].x, 15);
    auto justify = layout_text(text, mono, 40, true, HAlign::JUSTIFY);
    EXPECT_EQ(justify.lines[1].words[0].x, 0);
    // Without wrap a right-aligned line wider than the box runs out on the left.
    auto wide = layout_text(u"abcdefghij", mono, 20, false, HAlign::RIGHT);
    EXPECT_EQ(wide.lines[0].words[0].x, -30);
}

TEST(TextLayout, PreparationExpandsTabsAndFlattensLinesWithoutWrap)
{
    auto p = prepare_text(u"a\tb\nc", false);
    EXPECT_EQ(p.text, u"a    b c");
    EXPECT_EQ(p.source_index[5], 2);
    EXPECT_EQ(p.source_index.back(), 5);
    auto w = prepare_text(u"a\r\nb", true);
    EXPECT_EQ(w.text, u"a\r\nb");
    auto layout = layout_text(p.text, mono, 100, false, HAlign::LEFT);
    ASSERT_EQ(layout.lines.size(), 1u);
    EXPECT_EQ(layout.lines[0].words[1].x, 25);
}

TEST(TextLayout, EmptyAndBlankTextsGiveOneEmptyLine)
{
    EXPECT_EQ(layout_text(u"", mono, 50, true, HAlign::LEFT).lines.size(), 1u);
    auto blank = layout_text(u"   ", mono, 50, true, HAlign::LEFT);
    ASSERT_EQ(blank.lines.size(), 1u);
    EXPECT_TRUE(blank.lines[0].words.empty());
    EXPECT_EQ(layout_text(u"a\n", mono, 50, true, HAlign::LEFT).lines.size(), 2u);
}

} // namespace
