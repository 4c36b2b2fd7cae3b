// A keyboard whose skin does not load, on the device: its "NoSkins" box comes while the device
// boots, before any script runs; the boot still ends, and the inert keyboard leaves no empty
// panel on the screen.
#include "RunHost.h"
#include "tests/support/DeviceRoot.h"
#include "tests/support/Shot.h"

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>

namespace {

const std::string kPlatformKeyboard = "{42429667-ae04-11d0-a4f8-00aa00a749b9}";
const std::string kMagnikeys = "{E2452E3B-2823-4309-90CB-8787C4BA3AF7}";
const std::u16string kSkin = u"\\Program Files\\Tarn\\Magnikeys\\skins\\bin\\default.skin";

struct BrokenSkin : DeviceRootTest {
    // A first boot installs the keyboard; the runs after it keep what the test broke.
    void SetUp() override
    {
        HostRun first = run("wait 10\n", false);
        ASSERT_EQ(first.exitCode, 0) << first.err;
        ASSERT_TRUE(device.exists(kSkin));
    }
    HostRun run(const std::string& script, bool noInstall = true)
    {
        std::vector<std::string> args { "--root", device.hostRoot(), "--script", "-", "--shots", device.hostRoot() + "/Temp", "--events" };
        if (noInstall)
            args.push_back("--no-install");
        auto start = std::chrono::steady_clock::now();
        // A boot that waits for an answer nobody can give is ended here, as a failure.
        HostRun r = RunPocketsim(args, {}, script, 20);
        seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        return r;
    }
    std::string shot(const std::string& name) const { return device.hostRoot() + "/Temp/" + name + ".png"; }
    double seconds = 0;
};

TEST_F(BrokenSkin, TheBootEndsWithTheBoxLoggedForAnEmptyADamagedAndAMissingSkin)
{
    for (const char* damage : { "empty", "damaged", "missing" }) {
        SCOPED_TRACE(damage);
        const std::string path = device.hostPath(kSkin);
        if (std::string(damage) == "empty")
            device.writeFile(kSkin, "");
        else if (std::string(damage) == "damaged")
            device.writeFile(kSkin, std::string("MKSK\x01\x00\xff\xff\xff\x7f", 10) + std::string(300, '\x55'));
        else
            std::filesystem::remove(path);
        // The method made current again later shows its box again, answered the same way.
        HostRun r = run("wait 10\nsip show\nim " + kPlatformKeyboard + "\nim " + kMagnikeys + "\nwait 10\n");
        ASSERT_EQ(r.exitCode, 0) << "after " << seconds << " s: " << r.err;
        size_t first = r.err.find("MessageBox [magniKeys] NoSkins -> IDOK\n");
        EXPECT_NE(first, std::string::npos) << r.err;
        EXPECT_NE(r.err.find("MessageBox [magniKeys] NoSkins -> IDOK\n", first + 1), std::string::npos) << r.err;
        std::printf("boot with the skin %s, and a script of five lines: %.2f s\n", damage, seconds);
    }
}

TEST_F(BrokenSkin, AnInertKeyboardShowsNoPanelAndTheButtonStillListsTheMethods)
{
    device.writeFile(kSkin, "");
    HostRun r = run("sip hide\nshot hidden\nsip show\nshot shown\ntap 147 306\nshot chooser\n");
    ASSERT_EQ(r.exitCode, 0) << r.err;
    Shot hidden(shot("hidden")), shown(shot("shown")), chooser(shot("chooser"));
    ASSERT_TRUE(hidden.ok() && shown.ok() && chooser.ok());
    // Above the menu bar the note pad shows as it does without the panel: no empty grey area.
    EXPECT_EQ(shown.differences(hidden, 0, 0, shown.width, 294), 0);
    // The arrow beside the panel button still opens the list of input methods.
    EXPECT_GT(chooser.differences(shown, 0, 0, shown.width, 294), 1000);
}

} // namespace
