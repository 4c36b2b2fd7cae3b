// What a new user sees first without a display: pocketsim's demo types with the keyboard the
// note pad raised, then holds keys in the glass lens and in the flat zoom, chosen in the
// settings program, on a device of its own.
#include "RunHost.h"
#include "tests/support/DeviceRoot.h"
#include "tests/support/Shot.h"

#include <gtest/gtest.h>

#include <filesystem>

namespace {

namespace fs = std::filesystem;

struct HeadlessDemo : DeviceRootTest {
    std::string shots() const { return device.hostRoot() + "/Temp/demo"; }
    std::string shot(const std::string& name) const { return shots() + "/" + name + ".png"; }
};

TEST_F(HeadlessDemo, TypesThenHoldsKeysInTheGlassLensAndTheFlatZoomOnADeviceOfItsOwn)
{
    // No root named: the user's own device (under HOME) stays as it was.
    const std::string home = device.hostRoot() + "/Temp/home";
    fs::create_directories(home);
    HostRun r = RunPocketsim({ "--shots", shots() }, { "POCKETSIM_DISPLAY=headless", "POCKETSIM_ROOT", "HOME=" + home }, "", 120);
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_NE(r.out.find("the demo typed \"Hello, Pocket 2026!\nThe glass lens and flat zoom.\""), std::string::npos) << r.out;
    EXPECT_TRUE(fs::is_empty(home)) << "the demo's device is its own";

    Shot keyboard(shot("demo-1-keyboard")), typed(shot("demo-3-typed")), styles(shot("demo-4-zoom-styles")),
        glass(shot("demo-5-glass-lens")), flat(shot("demo-6-flat-zoom"));
    ASSERT_TRUE(keyboard.ok() && typed.ok() && styles.ok() && glass.ok() && flat.ok());
    // The keyboard is up from the start (88 pixels over the 26-pixel menu bar).
    const int keysTop = 206, menuTop = 294;
    EXPECT_EQ(keyboard.differences(typed, 0, keysTop, 240, menuTop), 0);
    // The settings program's zoom styles cover the screen.
    EXPECT_GT(styles.differences(typed, 0, 0, 240, 320), 240 * 320 / 2);
    // The glass lens stands on the keyboard around the held key, over the note pad's lines.
    EXPECT_GT(glass.differences(typed, 75, keysTop - 90, 165, keysTop), 1000);
    EXPECT_EQ(glass.differences(typed, 0, 60, 240, keysTop - 90), 0);
    // The flat zoom magnifies the whole keyboard: hardly a pixel of it stays as it was.
    EXPECT_GT(flat.differences(typed, 0, keysTop, 240, menuTop), 240 * (menuTop - keysTop) / 2);
}

} // namespace
