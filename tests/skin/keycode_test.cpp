#include <gtest/gtest.h>

#include <cstring>

#include "skin/elements/Align.h"
#include "skin/elements/KeyCode.h"

TEST(KeyCode, NamesRoundTripAndUnknownNamesBindNothing)
{
    for (int code = 0; code < kKeyCodeCount; ++code) {
        const char* name = key_code_name(code);
        ASSERT_NE(name, nullptr) << code;
        std::u16string wide(name, name + std::strlen(name));
        EXPECT_EQ(static_cast<int>(key_code_from_name(wide)), code) << name;
    }
    EXPECT_EQ(key_code_from_name(u"Q"), KeyCode(36));
    EXPECT_EQ(key_code_from_name(u"7"), KeyCode(53));
    EXPECT_EQ(key_code_from_name(u"#"), KeyCode::Hash);
    EXPECT_EQ(key_code_from_name(u"enter"), KeyCode::None);
    EXPECT_EQ(key_code_from_name(u"Enter "), KeyCode::None);
    EXPECT_EQ(key_code_from_name(u""), KeyCode::None);
    EXPECT_EQ(key_code_name(65), nullptr);
    EXPECT_EQ(key_code_name(-1), nullptr);
}

TEST(Align, UnknownNamesFallBackToCentre)
{
    EXPECT_EQ(halign_from_name(u"RIGHT"), HAlign::RIGHT);
    EXPECT_EQ(halign_from_name(u"JUSTIFY"), HAlign::JUSTIFY);
    EXPECT_EQ(halign_from_name(u"left"), HAlign::CENTER);
    EXPECT_EQ(valign_from_name(u"BOTTOM"), VAlign::BOTTOM);
    EXPECT_EQ(valign_from_name(u""), VAlign::VCENTER);
}
