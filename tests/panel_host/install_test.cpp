// Installing over an installed program: new program files replace the old ones, but the files
// that the programs rewrite as the user works stay as the user left them.
#include "panel_host/Boot.h"
#include "tests/support/DeviceRoot.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

namespace fs = std::filesystem;

namespace {

void write(const fs::path& file, const std::string& text)
{
    fs::create_directories(file.parent_path());
    std::ofstream(file, std::ios::binary) << text;
}

TEST(Install, ReinstallingKeepsTheUsersLayoutListAndSettings)
{
    TempDeviceRoot device;
    fs::path tree = fs::path(device.hostRoot()) / "tree";
    fs::path product = tree / "Maker" / "Product";
    write(product / "layouts" / "layouts.ini", "layout_0=english\n");
    write(product / "settings.txt", "board_style simple\n");
    write(product / "layouts" / "english.txt", "v1");

    std::string report;
    ASSERT_TRUE(pocketsim::InstallTree(tree.string(), report)) << report;
    EXPECT_EQ(device.readFile(u"\\Program Files\\Maker\\Product\\layouts\\layouts.ini"), "layout_0=english\n");

    // The user works: the keyboard rewrites its list and settings.
    device.writeFile(u"\\Program Files\\Maker\\Product\\layouts\\layouts.ini", "layout_0=russian\nlayout_1=english\n");
    device.writeFile(u"\\Program Files\\Maker\\Product\\settings.txt", "board_style glass_zoom\n");
    // A user's own change alone is no reason to install again at boot.
    report.clear();
    ASSERT_TRUE(pocketsim::InstallTree(tree.string(), report, true)) << report;
    EXPECT_EQ(report, "");

    // A newer build of the program arrives, at boot and by hand.
    for (bool atBoot : { true, false }) {
        std::string build = atBoot ? "v2" : "v3";
        write(product / "layouts" / "english.txt", build);
        report.clear();
        ASSERT_TRUE(pocketsim::InstallTree(tree.string(), report, atBoot)) << report;
        EXPECT_EQ(device.readFile(u"\\Program Files\\Maker\\Product\\layouts\\english.txt"), build);
        EXPECT_EQ(device.readFile(u"\\Program Files\\Maker\\Product\\layouts\\layouts.ini"), "layout_0=russian\nlayout_1=english\n");
        EXPECT_EQ(device.readFile(u"\\Program Files\\Maker\\Product\\settings.txt"), "board_style glass_zoom\n");
        EXPECT_NE(report.find("kept \\Program Files\\Maker\\Product\\layouts\\layouts.ini"), std::string::npos) << report;
    }
}

}
