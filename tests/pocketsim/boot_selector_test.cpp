// The startup selector at the device's boot: in the startup folder it makes Magnikeys the
// current input method 5 s (script time) after each boot, and gives the platform's keyboard back
// when Magnikeys is not there; without it the platform's keyboard stays.
#include "RunHost.h"
#include "tests/support/DeviceRoot.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <filesystem>

namespace {

const char16_t kPlatformKeyboard[] = u"{42429667-AE04-11D0-A4F8-00AA00A749B9}";

struct BootSelector : DeviceRootTest {
    HostRun run(const std::string& script, std::vector<std::string> extra = {})
    {
        std::vector<std::string> args { "--root", device.hostRoot(), "--script", "-" };
        args.insert(args.end(), extra.begin(), extra.end());
        return RunPocketsim(args, {}, script);
    }
    // A device with Magnikeys installed, the selector in its startup folder (as the settings
    // program puts it there), and the platform's keyboard as the default input method.
    void prepare(bool withSelector)
    {
        HostRun first = run("sip show\n");
        ASSERT_EQ(first.exitCode, 0) << first.err;
        if (withSelector) {
            std::filesystem::copy_file(device.hostPath(u"\\Program Files\\Tarn\\Magnikeys\\mk_select.exe"),
                device.hostPath(u"\\Windows\\StartUp") + "/mk_select.exe");
        }
        HKEY key;
        ASSERT_EQ(RegCreateKeyEx(HKEY_CURRENT_USER, u"ControlPanel\\SIP", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr), ERROR_SUCCESS);
        RegSetValueEx(key, u"DefaultIM", 0, REG_SZ, reinterpret_cast<const BYTE*>(kPlatformKeyboard), sizeof kPlatformKeyboard);
        RegCloseKey(key);
    }
};

TEST_F(BootSelector, MagnikeysTakesThePanelFiveSecondsAfterEveryBoot)
{
    prepare(true);
    // Not before 5 s: the platform's keyboard is in the panel, Magnikeys has no keys to tap.
    HostRun early = run("sip show\nwait 4900\nkey q\n");
    EXPECT_NE(early.exitCode, 0);
    EXPECT_NE(early.err.find("stdin:3: no keyboard is showing"), std::string::npos) << early.err;
    // After it, and again after a reboot that started with the platform's keyboard.
    HostRun r = run("sip show\nwait 5100\nkey q\nexpect-text q\n"
                    "im {42429667-AE04-11D0-A4F8-00AA00A749B9}\nreboot\nsip show\nwait 5100\nkey w\nexpect-text w\n");
    EXPECT_EQ(r.exitCode, 0) << r.err;
}

TEST_F(BootSelector, WithoutTheSelectorThePlatformKeyboardStays)
{
    prepare(false);
    HostRun r = run("sip show\nwait 6000\nreboot\nsip show\nwait 6000\nkey q\n");
    EXPECT_NE(r.exitCode, 0);
    EXPECT_NE(r.err.find("stdin:6: no keyboard is showing"), std::string::npos) << r.err;
}

TEST_F(BootSelector, AnUnregisteredKeyboardLeavesThePlatformKeyboard)
{
    prepare(true);
    // Magnikeys removed from the device: the selector's switch cannot take.
    HostRun removed = RunPocketsim({ "--root", device.hostRoot(), "--uninstall", "Magnikeys" });
    ASSERT_EQ(removed.exitCode, 0) << removed.err;
    HostRun r = run("sip show\nwait 6000\nkey q\n", { "--no-install" });
    EXPECT_NE(r.exitCode, 0);
    EXPECT_NE(r.err.find("stdin:3: no keyboard is showing"), std::string::npos) << r.err;
}

// The whole loop as a person goes through it: the settings program's default-keyboard switch,
// Close, a reboot; then the switch off again.
TEST_F(BootSelector, TheSettingsProgramsSwitchDecidesTheKeyboardAfterAReboot)
{
    prepare(false);
    // Rows of the settings program's main menu at QVGA: "Start as default keyboard", "Close".
    const std::string toggleAndClose = "start \"\\Program Files\\Tarn\\Magnikeys\\optarix.exe\"\nwait 500\n"
                                       "tap 120 158\nwait 300\ntap 120 242\nwait 500\n";
    HostRun on = run(toggleAndClose + "im {42429667-AE04-11D0-A4F8-00AA00A749B9}\nreboot\nsip show\nwait 5100\nkey q\nexpect-text q\n");
    EXPECT_EQ(on.exitCode, 0) << on.err;
    EXPECT_TRUE(device.exists(u"\\Windows\\StartUp\\mk_select.exe"));

    HostRun off = run(toggleAndClose + "im {42429667-AE04-11D0-A4F8-00AA00A749B9}\nreboot\nsip show\nwait 6000\nkey q\n");
    EXPECT_NE(off.exitCode, 0);
    EXPECT_NE(off.err.find("stdin:11: no keyboard is showing"), std::string::npos) << off.err;
    EXPECT_FALSE(device.exists(u"\\Windows\\StartUp\\mk_select.exe"));
}

}
