// The shipped skin holds every node the keyboard loads, sized for both densities, and a lens
// border whose pixels tell outside, rim and inside apart.
#include "skin/file/DisplayInfo.h"
#include "skin/file/Picture.h"
#include "skin/drawing/PixelBuffer.h"
#include "skin/file/Properties.h"
#include "tests/keyboard/KeyboardData.h"

#include <gtest/gtest.h>

namespace {

struct DefaultSkin : DeviceRootTest {
    void SetUp() override { InstallKeyboardData(device); }
    bool load(int dpi)
    {
        DisplayInfo display;
        display.dpi = dpi;
        return props.load_skin(kInstallDir + u"\\skins\\bin\\default.skin", display);
    }
    Properties props;
};

TEST_F(DefaultSkin, NodesAndSizesAtBothDensities)
{
    const std::pair<const char16_t*, POINT> forms[] = { { u"normal_portrait", { 240, 85 } },
        { u"extended_normal_portrait", { 240, 106 } }, { u"normal_landscape", { 320, 76 } },
        { u"extended_normal_landscape", { 320, 89 } } };
    for (int dpi : { 96, 192 }) {
        ASSERT_TRUE(load(dpi));
        int scale = dpi > 191 ? 2 : 1;
        for (auto [name, size] : forms) {
            const ElementRecord* form = props.find_node(name);
            ASSERT_TRUE(form);
            POINT got = props.get_point(*form, u"design_size", {});
            EXPECT_EQ(got.x, size.x * scale);
            EXPECT_EQ(got.y, size.y * scale);
        }
        for (const char16_t* special : { u"left", u"right", u"up", u"down", u"settings" }) {
            for (const char16_t* state : { u"_normal", u"_pressed" }) {
                const ElementRecord* node = props.find_node(std::u16string(special) + state);
                ASSERT_TRUE(node);
                PictureRef picture = props.get_picture(*node, u"src", {});
                ASSERT_TRUE(picture.image);
                EXPECT_EQ(picture.p3.x - picture.p0.x, 14 * scale);
            }
        }
        for (const char16_t* name : { u"image_delete", u"image_backspace", u"GlassBorder", u"background" }) {
            const ElementRecord* node = props.find_node(name);
            ASSERT_TRUE(node);
            EXPECT_TRUE(props.get_picture(*node, u"src", {}).image);
        }
    }
}

TEST_F(DefaultSkin, LensBorderMarksOutsideRimAndInside)
{
    ASSERT_TRUE(load(96));
    PictureRef border = props.get_picture(*props.find_node(u"GlassBorder"), u"src", {});
    ASSERT_TRUE(border.image);
    const PixelBuffer& pixels = border.image->pixels();
    ASSERT_EQ(pixels.width(), 90);
    ASSERT_EQ(pixels.height(), 90);
    EXPECT_EQ(pixels.row(0)[0], 0xF81F);     // corner: outside
    EXPECT_TRUE(pixels.row(45)[2] & 0x20);   // rim
    EXPECT_TRUE(pixels.row(1)[45] & 0x20);   // rim at the top
    EXPECT_NE(pixels.row(45)[2], 0xF81F);
    int rim = 0, inside = 0;
    for (int y = 0; y < 90; ++y) {
        for (int x = 0; x < 90; ++x) {
            uint16_t p = pixels.row(y)[x];
            double dx = x + 0.5 - 45, dy = y + 0.5 - 45;
            double d2 = dx * dx + dy * dy;
            if (d2 < 40 * 40) {
                EXPECT_FALSE(p & 0x20) << x << "," << y; // the lens itself is unmarked
                EXPECT_NE(p, 0xF81F);
                ++inside;
            } else if (d2 > 45 * 45) {
                EXPECT_EQ(p, 0xF81F) << x << "," << y;
            } else if (p != 0xF81F && (p & 0x20)) {
                ++rim;
            }
        }
    }
    EXPECT_GT(rim, 800);
    EXPECT_GT(inside, 4900);
}

} // namespace
