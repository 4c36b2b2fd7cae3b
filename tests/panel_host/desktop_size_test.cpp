// The keyboard's size on desktop screens: the automatic choice from the screen's pixels and
// millimetres, the user's width, height and scale, the choice remembered in the keyboard's
// folder, and the skin drawn and compiled for the scale chosen.
#include "kbfiles/SkinChoice.h"
#include "panel_host/DesktopSetup.h"
#include "panel_host/DesktopSkin.h"
#include "runtime/Registry.h"
#include "skin/file/DisplayInfo.h"
#include "skin/file/Properties.h"
#include "tests/support/DeviceRoot.h"

#include <simhost.h>

#include <gtest/gtest.h>

#include <filesystem>

using namespace pocketsim;

namespace {

// Millimetres as an X server told its dots per inch reports them.
int mm(int pixels, double dpi)
{
    return static_cast<int>(pixels * 25.4 / dpi + 0.5);
}

double pitchMm(const DesktopPanel& p, const DesktopScreen& s)
{
    return p.width / double(kDesignKeysPerRow) / s.dpi() * 25.4;
}

PanelRequest request(const char* width, const char* height, double scale = 0)
{
    PanelRequest r;
    EXPECT_TRUE(r.width.parse(width));
    EXPECT_TRUE(r.height.parse(height));
    r.scale = scale;
    return r;
}

TEST(DesktopSize, PortraitAndPhoneScreensTakeTheFullWidth)
{
    // 720 pixels wide at 96 dpi: three times the design; the menu bar's strip falls off the
    // bottom; the settings program gets the room above the keyboard, at the same scale.
    const DesktopScreen portrait { 720, 960, mm(720, 96), mm(960, 96) };
    DesktopPanel p = ChooseDesktopPanel(portrait);
    EXPECT_DOUBLE_EQ(p.scale, 3.0);
    EXPECT_EQ(p.width, 720);
    EXPECT_EQ(p.height, 255);
    EXPECT_EQ(p.extended_height, 318);
    EXPECT_EQ(p.bottom_offset, 78);
    EXPECT_EQ(p.geometry(), "720x1038@96");
    EXPECT_EQ(p.program_geometry(), "720x705@96");
    EXPECT_TRUE(p.proportional());

    // A tall phone: 1080 pixels at 400 dpi.
    p = ChooseDesktopPanel({ 1080, 2340, mm(1080, 400), mm(2340, 400) });
    EXPECT_EQ(p.width, 1080);
    EXPECT_DOUBLE_EQ(p.scale, 4.5);
    EXPECT_NEAR(p.dpi, 400, 1);

    // The same phone on its side: full width still, no taller than 35 % of the screen; the
    // keys grow wider than the design's.
    const DesktopScreen side { 2340, 1080, mm(2340, 400), mm(1080, 400) };
    p = ChooseDesktopPanel(side);
    EXPECT_EQ(p.width, 2340);
    EXPECT_LE(p.height, 0.35 * 1080 + 1);
    EXPECT_GE(p.height, 0.33 * 1080);
    EXPECT_FALSE(p.proportional());
}

TEST(DesktopSize, DesktopsGetAHardwareKeyPitchCentredAndNoMoreThanAThirdOfTheHeight)
{
    for (auto [w, h, dpi] : { std::tuple { 1920, 1080, 96.0 }, { 3840, 2160, 160.0 }, { 2560, 1440, 109.0 }, { 1366, 768, 100.0 } }) {
        const DesktopScreen screen { w, h, mm(w, dpi), mm(h, dpi) };
        const DesktopPanel p = ChooseDesktopPanel(screen);
        SCOPED_TRACE(std::to_string(w) + "x" + std::to_string(h));
        EXPECT_GE(pitchMm(p, screen), 16.0);
        EXPECT_LE(pitchMm(p, screen), 19.0);
        EXPECT_LE(p.height, 0.35 * h + 1);
        EXPECT_TRUE(p.proportional());
        // Centred: the device screen is the whole desktop.
        EXPECT_EQ(p.device_width, w);
        EXPECT_EQ(p.device_height, h + p.bottom_offset);
        EXPECT_LT(p.width, w);
    }
    // 1920 x 1080 at 96 dpi exactly: 18 mm keys.
    const DesktopPanel p = ChooseDesktopPanel({ 1920, 1080, mm(1920, 96), mm(1080, 96) });
    EXPECT_EQ(p.width, 748);
    EXPECT_EQ(p.height, 265);

    // A low wide screen: the height rule wins over the pitch.
    const DesktopPanel low = ChooseDesktopPanel({ 1920, 400, mm(1920, 96), mm(400, 96) });
    EXPECT_LE(low.height, 140);
    EXPECT_TRUE(low.proportional());

    // Unknown millimetres count as 96 dpi.
    EXPECT_EQ(ChooseDesktopPanel({ 1920, 1080, 0, 0 }).dpi, 96);
    EXPECT_EQ(ChooseDesktopPanel({ 1920, 1080, 0, 0 }).width, ChooseDesktopPanel({ 1920, 1080, 508, 286 }).width);
}

TEST(DesktopSize, TheUsersWidthHeightAndScaleOverride)
{
    const DesktopScreen screen { 1280, 800, 0, 0 };
    // A narrower keyboard sits in the middle of the desktop.
    DesktopPanel p = ChooseDesktopPanel(screen, request("480", "auto"));
    EXPECT_DOUBLE_EQ(p.scale, 2.0);
    EXPECT_EQ(p.width, 480);
    EXPECT_EQ(p.height, 170);
    EXPECT_EQ(p.device_width, 1280);
    // Wider than the automatic keyboard: as wide as asked (never wider than the screen), as
    // tall as the automatic one.
    p = ChooseDesktopPanel(screen, request("5000", "auto"));
    EXPECT_EQ(p.width, 1280);
    EXPECT_EQ(p.height, ChooseDesktopPanel(screen).height);

    const DesktopScreen fullHd { 1920, 1080, mm(1920, 96), mm(1080, 96) };
    // Both sides: the keys take the smaller scale and stretch the other way.
    p = ChooseDesktopPanel(fullHd, request("100%", "30%"));
    EXPECT_EQ(p.width, 1920);
    EXPECT_EQ(p.height, 324);
    EXPECT_NEAR(p.scale, 324.0 / 85, 0.001);
    // A height alone sets the scale; the width follows.
    p = ChooseDesktopPanel(fullHd, request("auto", "40%"));
    EXPECT_EQ(p.height, 432);
    EXPECT_EQ(p.width, 1220);
    // A scale alone.
    p = ChooseDesktopPanel(fullHd, request("auto", "auto", 2.5));
    EXPECT_EQ(p.width, 600);
    EXPECT_EQ(p.height, 213);
    EXPECT_EQ(p.bottom_offset, 65);
    // A scale too large for the screen is cut to it: keys are never smaller than drawn.
    p = ChooseDesktopPanel(screen, request("auto", "auto", 16));
    EXPECT_EQ(p.width, 1280);
    EXPECT_LE(p.height, 800);
    EXPECT_LE(p.scale * kDesignWidth, p.width + 0.5);
    EXPECT_LE(p.scale * kDesignHeight, p.height + 0.5);

    // Absurd screens stay within the device's limits.
    p = ChooseDesktopPanel({ 100000, 5, 0, 0 });
    EXPECT_LE(p.device_width, 4096);
    EXPECT_GE(p.device_height, 16);
    EXPECT_GE(p.scale, kMinScale);
}

TEST(DesktopSize, LengthsAndScalesAsTheUserWritesThem)
{
    PanelLength l;
    EXPECT_TRUE(l.parse("720"));
    EXPECT_EQ(l.text(), "720");
    EXPECT_DOUBLE_EQ(l.pixels(1000), 720);
    EXPECT_TRUE(l.parse("80%"));
    EXPECT_EQ(l.text(), "80%");
    EXPECT_DOUBLE_EQ(l.pixels(1000), 800);
    EXPECT_TRUE(l.parse("12.5%"));
    EXPECT_DOUBLE_EQ(l.pixels(1000), 125);
    for (const char* bad : { "", "0", "-5", "abc", "101%", "12.5", "720px", "%", "15" }) {
        PanelLength kept;
        ASSERT_TRUE(kept.parse("300"));
        EXPECT_FALSE(kept.parse(bad)) << bad;
        EXPECT_EQ(kept.text(), "300") << bad;
    }
    EXPECT_TRUE(l.parse("auto"));
    EXPECT_TRUE(l.automatic());

    double scale = 7;
    EXPECT_TRUE(ParsePanelScale("2.5", scale));
    EXPECT_DOUBLE_EQ(scale, 2.5);
    EXPECT_TRUE(ParsePanelScale("auto", scale));
    EXPECT_DOUBLE_EQ(scale, 0);
    for (const char* bad : { "0.5", "17", "x", "2x", "" })
        EXPECT_FALSE(ParsePanelScale(bad, scale)) << bad;
}

TEST(DesktopSize, TheChoiceIsRememberedInTheKeyboardsFolder)
{
    TempDeviceRoot device;
    EXPECT_TRUE(RememberedPanelRequest().automatic());
    PanelRequest r = request("80%", "300", 2.25);
    ASSERT_TRUE(RememberPanelRequest(r));
    EXPECT_EQ(device.readFile(u"\\Program Files\\Tarn\\Magnikeys\\panel_size.txt"), "width 80%\nheight 300\nscale 2.25\n");
    PanelRequest back = RememberedPanelRequest();
    EXPECT_EQ(back.width.text(), "80%");
    EXPECT_EQ(back.height.text(), "300");
    EXPECT_DOUBLE_EQ(back.scale, 2.25);

    // A hand-edited file: what does not read stays automatic.
    device.writeFile(u"\\Program Files\\Tarn\\Magnikeys\\panel_size.txt", "width 120%\nheight\nscale 99\nnonsense here\nheight 40%\n");
    back = RememberedPanelRequest();
    EXPECT_TRUE(back.width.automatic());
    EXPECT_EQ(back.height.text(), "40%");
    EXPECT_DOUBLE_EQ(back.scale, 0);
}

TEST(DesktopSkin, IsDrawnForTheScaleOnceAndLoadsWithoutReplication)
{
    TempDeviceRoot device;
    const std::string kit = std::string(MK_BINARY_DIR) + "/skinkit";
    DesktopScreen screen { 1920, 1080, mm(1920, 96), mm(1080, 96) };
    PanelOptions options;
    DesktopSetupResult result;
    std::string report;
    ASSERT_TRUE(SetUpDesktop(screen, options, kit, result, report)) << report;
    ASSERT_FALSE(result.skin.empty()) << report;
    EXPECT_TRUE(result.skin_made);
    EXPECT_NE(report.find("drew the keyboard at scale 3.115"), std::string::npos) << report;
    std::u16string chosen;
    ASSERT_TRUE(RegReadText(kSkinChoiceKey, kSkinChoiceValue, chosen));
    EXPECT_EQ(chosen, result.skin);
    EXPECT_EQ(ChosenSkinPath(u"/elsewhere.skin"), result.skin);
    // Nothing was remembered: no option was given.
    EXPECT_FALSE(device.exists(u"\\Program Files\\Tarn\\Magnikeys\\panel_size.txt"));

    // The skin as the keyboard loads it: the desktop's pixels, its forms the panel's size, and
    // not doubled even on a dense screen.
    DisplayInfo dense;
    dense.dpi = 288;
    Properties skin;
    ASSERT_TRUE(skin.load_skin(chosen, dense));
    EXPECT_TRUE(skin.drawn_for_screen());
    EXPECT_EQ(skin.scale_shift(), 0);
    EXPECT_DOUBLE_EQ(skin.pixel_scale(), 3.115);
    EXPECT_EQ(skin.pixels(26), 81);
    const ElementRecord* form = skin.find_node(u"normal_portrait");
    ASSERT_NE(form, nullptr);
    const POINT size = skin.get_point(*form, u"design_size", POINT {});
    EXPECT_EQ(size.x, result.panel.width);
    EXPECT_EQ(size.y, result.panel.height);

    // Found again, not made again; a new size makes a new one and clears the old away.
    DesktopSetupResult again;
    report.clear();
    ASSERT_TRUE(SetUpDesktop(screen, options, kit, again, report));
    EXPECT_FALSE(again.skin_made);
    EXPECT_EQ(again.skin, result.skin);
    options.scale = 2.0;
    ASSERT_TRUE(SetUpDesktop(screen, options, kit, again, report));
    EXPECT_TRUE(again.skin_made);
    EXPECT_NE(again.skin, result.skin);
    EXPECT_FALSE(device.exists(result.skin));
    EXPECT_EQ(device.readFile(u"\\Program Files\\Tarn\\Magnikeys\\panel_size.txt"), "width auto\nheight auto\nscale 2\n");
    // The device screen: the desktop and the strip below; the programs' own screen is passed on.
    int w = 0, h = 0, dpi = 0;
    SimGetGeometry(&w, &h, &dpi, nullptr);
    EXPECT_EQ(w, 1920);
    EXPECT_EQ(h, 1080 + 52);
    EXPECT_EQ(dpi, 96);
    EXPECT_STREQ(std::getenv("POCKETSIM_PROGRAM_SCREEN"), "480x640");
}

TEST(DesktopSkin, WithoutItsToolsTheKeyboardKeepsTheSkinBesideIt)
{
    TempDeviceRoot device;
    ASSERT_TRUE(RegWriteText(kSkinChoiceKey, kSkinChoiceValue, u"\\old\\default.skin"));
    DesktopSetupResult result;
    std::string report;
    ASSERT_TRUE(SetUpDesktop({ 1920, 1080, 0, 0 }, {}, device.hostRoot() + "/no-kit-here", result, report));
    EXPECT_TRUE(result.skin.empty());
    EXPECT_NE(report.find("the skin kit lacks"), std::string::npos) << report;
    // The device's own skin and its numbers: nothing names a skin that is not there.
    EXPECT_DOUBLE_EQ(result.panel.scale, 1.0);
    EXPECT_EQ(result.panel.bottom_offset, 26);
    std::u16string chosen = u"x";
    ASSERT_TRUE(RegReadText(kSkinChoiceKey, kSkinChoiceValue, chosen));
    EXPECT_EQ(chosen, u"");
    EXPECT_EQ(ChosenSkinPath(u"%program_files%/Tarn/Magnikeys/skins/bin/default.skin"), u"\\Program Files\\Tarn\\Magnikeys\\skins\\bin\\default.skin");
}

}
