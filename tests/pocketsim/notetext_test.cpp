#include "pocketsim/NoteText.h"

#include <gtest/gtest.h>

using pocketsim::NoteText;

TEST(NoteText, EditsAroundTheCaretAcrossLines)
{
    NoteText t;
    t.insert(u"first line\nsecond\nthird one");
    EXPECT_EQ(t.line_count(), 3u);
    EXPECT_EQ(t.line_of_caret(), 2u);
    EXPECT_EQ(t.column_of_caret(), 9u);

    // Up keeps the column where the line allows, else goes to its end.
    t.up();
    EXPECT_EQ(t.line_of_caret(), 1u);
    EXPECT_EQ(t.column_of_caret(), 6u);
    t.up();
    EXPECT_EQ(t.column_of_caret(), 6u);
    t.insert(u"!");
    EXPECT_EQ(t.text(), u"first !line\nsecond\nthird one");
    t.end();
    t.delete_forward(); // joins the lines
    EXPECT_EQ(t.text(), u"first !linesecond\nthird one");
    t.home();
    t.backspace(); // nothing before the text
    EXPECT_EQ(t.caret(), 0u);
    t.text_end();
    t.down();
    EXPECT_EQ(t.caret(), t.text().size());
    t.delete_forward();
    EXPECT_EQ(t.text(), u"first !linesecond\nthird one");
}

TEST(NoteText, WordsAndSurrogatePairsMoveAndDeleteAsUnits)
{
    NoteText t;
    t.insert(u"alpha  beta\xD83D\xDE00 gamma");
    t.word_left();
    EXPECT_EQ(t.text().substr(t.caret()), u"gamma");
    t.word_left();
    t.delete_word_forward();
    EXPECT_EQ(t.text(), u"alpha  gamma");
    t.text_end();
    t.delete_word_back();
    EXPECT_EQ(t.text(), u"alpha  ");

    NoteText smile;
    smile.insert(u"a\xD83D\xDE00");
    smile.left();
    EXPECT_EQ(smile.caret(), 1u);
    smile.right();
    EXPECT_EQ(smile.caret(), 3u);
    smile.backspace();
    EXPECT_EQ(smile.text(), u"a");
    EXPECT_EQ(t.index_of(5, 2), t.text().size()) << "a line past the end is the end";
}
