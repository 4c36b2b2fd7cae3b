// The keyboard's own numbers on its screen: the device's at 96 and 192 dpi as they always
// were, a desktop's at the scale its skin was drawn at.
#include "keyboard/ScreenScale.h"
#include "skin/file/DisplayInfo.h"
#include "skin/file/Properties.h"
#include "tests/support/DeviceRoot.h"
#include "tools/skinc/SkinSource.h"

#include <gtest/gtest.h>

namespace {

DisplayInfo Screen(int dpi)
{
    DisplayInfo d;
    d.dpi = dpi;
    return d;
}

TEST(ScreenScale, TheDeviceKeepsItsNumbersAndADesktopFollowsItsSkin)
{
    const Properties device; // the device's skin records no scale of its own
    ScreenScale s = ScreenScale::of(device, Screen(96));
    EXPECT_DOUBLE_EQ(s.zoom, 1);
    EXPECT_DOUBLE_EQ(s.gestures, 1);
    EXPECT_EQ(s.bottom_offset, 26);
    // Any other density doubles the zoom windows and the menu bar, never the strokes.
    for (int dpi : { 131, 192 }) {
        s = ScreenScale::of(device, Screen(dpi));
        EXPECT_DOUBLE_EQ(s.zoom, 2);
        EXPECT_DOUBLE_EQ(s.gestures, 1);
        EXPECT_EQ(s.bottom_offset, 52);
    }

    TempDeviceRoot root;
    skinc::Skin source = skinc::ParseYaml("nodes:\n  form: {design_size: !point [240, 85]}\n", "t");
    skinc::ScaleSkin(source, 3.115);
    const std::vector<uint8_t> bytes = skinc::WriteSkin(source);
    root.writeFile(u"\\desktop.skin", std::string(bytes.begin(), bytes.end()));
    Properties desktop;
    ASSERT_TRUE(desktop.load_skin(u"\\desktop.skin", Screen(96)));
    for (int dpi : { 96, 160, 288 }) {
        s = ScreenScale::of(desktop, Screen(dpi));
        EXPECT_DOUBLE_EQ(s.zoom, 3.115);
        EXPECT_DOUBLE_EQ(s.gestures, 3.115);
        EXPECT_EQ(s.bottom_offset, 81);
    }
}

}
