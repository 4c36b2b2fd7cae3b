// The window layer's demonstration program on the device host: shown full screen, a popup over
// the darkened form, and a second start handing its command line to the first.
#include "RunHost.h"
#include "tests/support/DeviceRoot.h"

#include <simhost.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>

namespace {

struct UiDemoOnDevice : DeviceRootTest {
    void SetUp() override
    {
        device.writeFile(u"\\Program Files\\UiDemo\\ui_demo.exe", std::string("#!/bin/sh\nexec '") + UI_DEMO_BINARY + "' \"$@\"\n");
        std::filesystem::permissions(device.hostPath(u"\\Program Files\\UiDemo\\ui_demo.exe"), std::filesystem::perms::owner_exec,
            std::filesystem::perm_options::add);
        std::ifstream skin(UI_DEMO_SKIN, std::ios::binary);
        std::stringstream bytes;
        bytes << skin.rdbuf();
        device.writeFile(u"\\Program Files\\UiDemo\\demo.skin", bytes.str());
        // Started programs keep the real clock: a program that sleeps lets their animations end.
        device.writeFile(u"\\Temp\\pause.exe", "#!/bin/sh\nsleep 0.6\n");
        std::filesystem::permissions(device.hostPath(u"\\Temp\\pause.exe"), std::filesystem::perms::owner_exec,
            std::filesystem::perm_options::add);
    }
    std::string shots() const { return device.hostRoot() + "/Temp"; }
    uint16_t pixel(const std::string& name, int x, int y) const
    {
        uint16_t* pixels = nullptr;
        int w = 0, h = 0;
        if (!SimReadPng565((shots() + "/" + name + ".png").c_str(), &pixels, &w, &h))
            return 0xDEAD;
        uint16_t p = x < w && y < h ? pixels[y * w + x] : 0xDEAD;
        SimFreePng(pixels);
        return p;
    }
};

} // namespace

TEST_F(UiDemoOnDevice, PopupDarkensTheFormAndASecondStartHandsOver)
{
    HostRun r = RunPocketsim({"--root", device.hostRoot(), "--script", "-", "--shots", shots()}, {},
        // The program's own rows under the panel that the note pad raised: the panel goes down.
        "sip hide\n"
        "start \"\\Program Files\\UiDemo\\ui_demo.exe\"\n"
        "start \"\\Temp\\pause.exe\"\n"
        "shot main\n"
        "tap 120 185\n"
        "start \"\\Temp\\pause.exe\"\n"
        "shot popup\n"
        "tap 165 191\n"
        "start \"\\Program Files\\UiDemo\\ui_demo.exe\" hello\n"
        "start \"\\Temp\\pause.exe\"\n"
        "shot handover\n"
        "tap 120 223\n"
        "start \"\\Temp\\pause.exe\"\n"
        "shot after\n");
    ASSERT_EQ(r.exitCode, 0) << r.err;
    // Full screen from the top: the header's blue where the taskbar would be.
    EXPECT_EQ(pixel("main", 120, 5), 0x1B7D);
    // Under the popup the same blue at half brightness; the popup's white card in the middle.
    EXPECT_EQ(pixel("popup", 120, 5), 0x09AE);
    EXPECT_EQ(pixel("popup", 120, 160), 0xFFFF);
    // The second start ended; the first shows what it handed over, then quits to the note pad.
    EXPECT_EQ(pixel("handover", 120, 5), 0x1B7D);
    EXPECT_NE(pixel("after", 120, 5), 0x1B7D);
    EXPECT_EQ(SimSharedPictureCount(), 0);
}
