#include "RunHost.h"
#include "tests/support/DeviceRoot.h"
#include "tests/support/Golden.h"

#include <simhost.h>

#include <gtest/gtest.h>

namespace {

struct Scripts : DeviceRootTest {
    std::string shots() const { return device.hostRoot() + "/Temp"; }
    HostRun run(const std::string& script, const std::string& geometry = "qvga")
    {
        return RunPocketsim({ "--root", device.hostRoot(), "--geometry", geometry, "--script", "-", "--shots", shots(),
                                "--print-text" },
            {}, script);
    }
    void expectShot(const std::string& file, const std::string& golden)
    {
        uint16_t* pixels = nullptr;
        int width = 0, height = 0;
        ASSERT_TRUE(SimReadPng565((shots() + "/" + file).c_str(), &pixels, &width, &height));
        ExpectMatchesGolden(pixels, width, height, width, golden);
        SimFreePng(pixels);
    }
};

TEST_F(Scripts, TapsIntoTheNotePadTypesAndWritesTheScreenshot)
{
    HostRun r = run(R"(# the note pad alone: its text's panel down
sip hide
# a tap places the caret; text goes where it is
tap 100 100
type Hello, pocket world!\nSecond line
wait 250
tap 5 60 120
type >
press end
press back
type E
expect-text Hello, pocket world!\n>Second linE
shot notes
)");
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(r.out, "Hello, pocket world!\n>Second linE\n");
    expectShot("notes.png", "pocketsim_notes_qvga");
}

TEST_F(Scripts, LandscapeVgaDeviceDrawsAtItsOwnScale)
{
    HostRun r = run("sip hide\ntype Landscape at 192 dpi\nshot wide\n", "vga-landscape");
    ASSERT_EQ(r.exitCode, 0) << r.err;
    uint16_t* pixels = nullptr;
    int width = 0, height = 0;
    ASSERT_TRUE(SimReadPng565((shots() + "/wide.png").c_str(), &pixels, &width, &height));
    EXPECT_EQ(width, 640);
    EXPECT_EQ(height, 480);
    SimFreePng(pixels);
    expectShot("wide.png", "pocketsim_notes_vga_landscape");
}

TEST_F(Scripts, RotatingTurnsTheScreenAndTheShellFollows)
{
    HostRun r = run("type upright\nrotate\ntap 300 40\ntype , sideways\nshot turned\nexpect-text upright, sideways\n");
    ASSERT_EQ(r.exitCode, 0) << r.err;
    uint16_t* pixels = nullptr;
    int width = 0, height = 0;
    ASSERT_TRUE(SimReadPng565((shots() + "/turned.png").c_str(), &pixels, &width, &height));
    EXPECT_EQ(width, 320);
    EXPECT_EQ(height, 240);
    // The menu bar moved to the new bottom edge: its grey fills the last row.
    EXPECT_EQ(pixels[(height - 1) * width + 5], 0xD699);
    SimFreePng(pixels);
}

TEST_F(Scripts, AFailingLineStopsTheScriptWithItsNumberAndReason)
{
    HostRun r = run("type abc\nexpect-text abd\nshot never\n");
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_NE(r.err.find("stdin:2: expected the text \"abd\", the note pad holds \"abc\""), std::string::npos) << r.err;
    EXPECT_FALSE(device.exists(u"\\Temp\\never.png"));

    r = run("tap 10\n");
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_NE(r.err.find("stdin:1: tap needs X Y [MS]"), std::string::npos) << r.err;

    r = run("jump 1 2\n");
    EXPECT_NE(r.err.find("unknown command 'jump'"), std::string::npos) << r.err;

    // Screenshot names stay inside the shots folder.
    r = run("shot ../escape\n");
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_NE(r.err.find("shot needs a plain file name"), std::string::npos) << r.err;

    // Every device has an input panel now (the platform's keyboard); a wrong word is still refused.
    r = run("sip sideways\n");
    EXPECT_NE(r.err.find("sip needs show or hide"), std::string::npos) << r.err;
}

TEST_F(Scripts, AStylusDragKeepsTheCaretWhereItWasPressed)
{
    // The note pad places the caret on the press; moves and the release elsewhere change nothing.
    HostRun r = run("type one two\ndown 5 40\nmove 200 200\nmove -30 400\nup\ntype >\nexpect-text >one two\n");
    EXPECT_EQ(r.exitCode, 0) << r.err;
}

}
