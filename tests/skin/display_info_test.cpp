#include "skin/file/DisplayInfo.h"

#include <gtest/gtest.h>
#include <simhost.h>

TEST(DisplayInfo, ReadsSizeDensityAndOrientationFromThePlatform)
{
    ASSERT_TRUE(SimSetGeometry("vga"));
    DisplayInfo vga = DisplayInfo::query();
    EXPECT_EQ(vga.width, 480);
    EXPECT_EQ(vga.height, 640);
    EXPECT_EQ(vga.current_width, 480);
    EXPECT_EQ(vga.current_height, 640);
    EXPECT_EQ(vga.dpi, 192);
    EXPECT_EQ(vga.orientation, 0);

    ASSERT_TRUE(SimSetGeometry("qvga-landscape"));
    DisplayInfo side = DisplayInfo::query();
    EXPECT_EQ(side.width, 320);
    EXPECT_EQ(side.height, 240);
    EXPECT_EQ(side.dpi, 96);
    EXPECT_EQ(side.orientation, 1);

    // Turning the screen goes through the same platform call in set mode.
    EXPECT_TRUE(DisplayInfo::set_orientation(2));
    EXPECT_EQ(DisplayInfo::query().orientation, 2);
    EXPECT_FALSE(DisplayInfo::set_orientation(4));
    ASSERT_TRUE(SimSetGeometry("qvga"));
}
