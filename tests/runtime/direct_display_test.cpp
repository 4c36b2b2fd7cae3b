#include "runtime/DirectDisplay.h"
#include "tests/support/DeviceRoot.h"

#include <simhost.h>

#include <gtest/gtest.h>

namespace {

struct DirectDisplayTest : DeviceRootTest {
    HWND window = nullptr;
    void SetUp() override
    {
        WNDCLASS wc {};
        wc.lpfnWndProc = DefWindowProc;
        wc.lpszClassName = u"FullScreen";
        RegisterClass(&wc);
        window = CreateWindowEx(0, u"FullScreen", u"Full", WS_VISIBLE, 0, 0, 240, 320, nullptr, nullptr, nullptr, nullptr);
    }
    void TearDown() override
    {
        DestroyWindow(window);
        UnregisterClass(u"FullScreen", nullptr);
        SimSetGeometry("qvga");
    }
};

TEST_F(DirectDisplayTest, OpensForAWindowLocksFramesAndShowsThemAsTheWindow)
{
    DirectDisplay::Geometry g;
    auto display = DirectDisplay::open(window, g);
    ASSERT_NE(display, nullptr);
    EXPECT_EQ(g.width, 240);
    EXPECT_EQ(g.height, 320);
    EXPECT_EQ(g.orientation, 0);
    EXPECT_EQ(display->pitch(), 240);
    DirectDisplay::Geometry other;
    EXPECT_EQ(DirectDisplay::open(window, other), nullptr) << "one display object a process";

    uint16_t* pixels = display->lock();
    ASSERT_NE(pixels, nullptr);
    EXPECT_EQ(display->lock(), nullptr) << "locked already";
    pixels[10 * display->pitch() + 20] = 0x1234;
    display->unlock();
    const uint16_t* shown;
    int width, height;
    ASSERT_TRUE(SimWindowPixels(window, &shown, &width, &height));
    EXPECT_EQ(shown[10 * width + 20], 0x1234);
    // The next frame starts from what the last one left.
    pixels = display->lock();
    ASSERT_NE(pixels, nullptr);
    EXPECT_EQ(pixels[10 * display->pitch() + 20], 0x1234);
    display.reset(); // unlocks and closes
    EXPECT_NE(DirectDisplay::open(window, other), nullptr);
}

TEST_F(DirectDisplayTest, ReportsTheTurnedScreen)
{
    DEVMODE mode {};
    mode.dmSize = sizeof mode;
    mode.dmFields = DM_DISPLAYORIENTATION;
    mode.dmDisplayOrientation = DMDO_270;
    ASSERT_EQ(ChangeDisplaySettingsEx(nullptr, &mode, nullptr, 0, nullptr), DISP_CHANGE_SUCCESSFUL);
    DirectDisplay::Geometry g;
    auto display = DirectDisplay::open(window, g);
    ASSERT_NE(display, nullptr);
    EXPECT_EQ(g.width, 320);
    EXPECT_EQ(g.height, 240);
    EXPECT_EQ(g.orientation, 3);
    EXPECT_EQ(display->pitch(), 320);
    EXPECT_EQ(DirectDisplay::open(nullptr, g), nullptr);
}

}
