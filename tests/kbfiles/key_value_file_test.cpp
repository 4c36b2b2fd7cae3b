#include "kbfiles/KeyValueFile.h"

#include <gtest/gtest.h>

namespace {

TEST(KeyValueLines, SeparatorsBlanksAndLineEnds)
{
    KeyValueFile file;
    file.parse(u"zoom_scale=2.5\n"
               u"  indented\t\tvalue with trailing  \r\n"
               u"blank = 2.5\n"
               u"equals= 7\n"
               u"empty   \n"
               u"bare\n"
               u"=novalue\n"
               u"   \n"
               u"\n"
               u"twice 1\rtwice 2\n"
               u"last no newline");
    auto value = [&](std::u16string_view key) { return file.find(key) ? *file.find(key) : u"<missing>"; };
    EXPECT_EQ(value(u"zoom_scale"), u"2.5");
    EXPECT_EQ(value(u"indented"), u"value with trailing  ");
    EXPECT_EQ(value(u"blank"), u"= 2.5");
    EXPECT_EQ(value(u"equals"), u" 7");
    EXPECT_EQ(value(u"empty"), u"");
    EXPECT_EQ(value(u"bare"), u"");
    EXPECT_EQ(value(u"twice"), u"2");
    EXPECT_EQ(value(u"last"), u"no newline");
    EXPECT_EQ(file.values().size(), 8u) << "lines without a key are ignored";

    double d = 0;
    EXPECT_TRUE(file.read_double(u"zoom_scale", d));
    EXPECT_DOUBLE_EQ(d, 2.5);
    d = -1;
    EXPECT_FALSE(file.read_double(u"blank", d)) << "a value may not start with =";
    EXPECT_EQ(d, -1);
    int32_t i = 0;
    EXPECT_TRUE(file.read_int(u"equals", i));
    EXPECT_EQ(i, 7);
    EXPECT_FALSE(file.read_int(u"missing", i));
}

TEST(KeyValueValues, NumberForms)
{
    struct Case {
        std::u16string_view text;
        bool ok;
        double value;
    };
    for (auto c : { Case { u"3abc", true, 3 }, Case { u"  -0.5", true, -0.5 }, Case { u"+.25", true, 0.25 }, Case { u"7.", true, 7 },
             Case { u"1e3", true, 1000 }, Case { u"2E-2x", true, 0.02 }, Case { u"4e", true, 4 }, Case { u"5e+", true, 5 },
             Case { u".", false, 0 }, Case { u"-", false, 0 }, Case { u"", false, 0 }, Case { u"x1", false, 0 },
             Case { u"1e999", false, 0 }, Case { u"0.325000", true, 0.325 } }) {
        double out = 99;
        EXPECT_EQ(ParseDouble(c.text, out), c.ok) << std::string(c.text.begin(), c.text.end());
        EXPECT_DOUBLE_EQ(out, c.ok ? c.value : 99);
    }

    int32_t n = 0;
    EXPECT_TRUE(ParseInt(u" -42px", n));
    EXPECT_EQ(n, -42);
    EXPECT_TRUE(ParseInt(u"+2147483647", n));
    EXPECT_EQ(n, 2147483647);
    n = 5;
    EXPECT_FALSE(ParseInt(u"2147483648", n)) << "beyond 32 bits is not a number of the file";
    EXPECT_FALSE(ParseInt(u"1.5e3", n) && n != 1);
    EXPECT_FALSE(ParseInt(u"- 1", n));

    int32_t a = 0, b = 0;
    EXPECT_TRUE(ParsePair(u"90 90", a, b));
    EXPECT_TRUE(ParsePair(u"-3\t5 rest", a, b));
    EXPECT_EQ(a, -3);
    EXPECT_EQ(b, 5);
    EXPECT_FALSE(ParsePair(u"90,90", a, b));
    EXPECT_FALSE(ParsePair(u"9090", a, b));
    EXPECT_EQ(a, -3) << "a failed pair changes nothing";

    bool flag = false;
    for (auto yes : { u"true", u"True", u"TRUE", u"1" }) {
        flag = false;
        EXPECT_TRUE(ParseBool(yes, flag));
        EXPECT_TRUE(flag);
    }
    for (auto no : { u"false", u"False", u"FALSE", u"0" }) {
        flag = true;
        EXPECT_TRUE(ParseBool(no, flag));
        EXPECT_FALSE(flag);
    }
    for (auto bad : { u"true ", u"tRue", u"yes", u"", u" 1" })
        EXPECT_FALSE(ParseBool(bad, flag));
}

}
