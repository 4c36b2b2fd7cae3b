// The settings program on the device host: started by a stylus script, shown on the device
// screen, driven by taps; what it writes is there after it closed.
#include <gtest/gtest.h>

#include <simhost.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "runtime/Registry.h"
#include "tests/settings_app/SettingsRun.h"
#include "tests/support/Golden.h"

namespace {

namespace fs = std::filesystem;

// Rows of the menu on a QVGA screen: the first entry's centre and the distance between them.
constexpr int kFirstRow = 74;
constexpr int kRow = 28;

std::string row(int index)
{
    return "tap 120 " + std::to_string(kFirstRow + index * kRow) + "\nwait 300\n";
}

struct OnTheDevice : DeviceRootTest {
    void SetUp() override
    {
        InstallSettingsData(device);
        shots = fs::path(device.hostRoot()).parent_path() / (fs::path(device.hostRoot()).filename().string() + "-shots");
        fs::create_directories(shots);
    }
    void TearDown() override { fs::remove_all(shots); }

    int run_script(const std::string& script)
    {
        fs::path file = shots / "script.txt";
        std::ofstream(file) << script;
        std::string command = "POCKETSIM_ROOT='" + device.hostRoot() + "' POCKETSIM_DISPLAY=headless POCKETSIM_INSTALL_TREE= '"
            + std::string(POCKETSIM_BINARY) + "' --script '" + file.string() + "' --shots '" + shots.string() + "' 2>&1";
        return std::system(command.c_str());
    }
    void expect_shot(const std::string& name)
    {
        uint16_t* pixels = nullptr;
        int width = 0;
        int height = 0;
        ASSERT_TRUE(SimReadPng565((shots / (name + ".png")).c_str(), &pixels, &width, &height)) << name;
        ExpectMatchesGolden(pixels, width, height, width, "settings/device_" + name);
        SimFreePng(pixels);
    }

    fs::path shots;
};

TEST_F(OnTheDevice, ChoicesOnTheScreenReachTheFilesAndTheRegistry)
{
    // The program alone on the screen: the panel that the note pad raises goes down first, and
    // again once the note pad is back in front.
    std::string script = "sip hide\nstart \"\\Program Files\\Tarn\\Magnikeys\\optarix.exe\"\nwait 500\nshot main\n";
    script += row(4) + "shot zoom_types\n"; // Zoom style
    script += row(1) + "shot glass_chosen\n"; // Glass lens: back on the main menu
    script += row(0) + row(2) + "shot russian\n"; // Language, russian
    script += row(6) + "wait 500\nsip hide\nshot closed\n"; // Close
    ASSERT_EQ(run_script(script), 0);
    expect_shot("main");
    expect_shot("zoom_types");
    expect_shot("glass_chosen");
    expect_shot("russian");
    expect_shot("closed");

    kbSettings settings;
    EXPECT_EQ(settings.board_style, 2);
    kbSettings::last_board_style_name().clear();
    std::u16string language;
    EXPECT_TRUE(RegReadText(u"HKEY_CURRENT_USER\\Software\\Tarn\\Magnikeys", u"Language", language));
    EXPECT_EQ(language, u"russian");
}

}
