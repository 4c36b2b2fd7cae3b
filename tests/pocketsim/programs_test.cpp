// Programs of the device on the one screen: started by the shell or a script, shown in the
// host's screenshots, taking the stylus and keys, showing message boxes, and leaving nothing
// behind when they end or crash.
#include "RunHost.h"
#include "tests/support/DeviceRoot.h"

#include <shellapi.h>
#include <simhost.h>
#include <winbase.h>
#include <windows.h>

#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <filesystem>
#include <thread>

namespace {

const char16_t kApp[] = u"\\Program Files\\Test\\testapp.exe";

struct Programs : DeviceRootTest {
    void SetUp() override
    {
        // The program at its device path: a script that runs the test program's binary.
        device.writeFile(kApp, std::string("#!/bin/sh\nexec '") + TESTAPP_BINARY + "' \"$@\"\n");
        std::filesystem::permissions(device.hostPath(kApp), std::filesystem::perms::owner_exec, std::filesystem::perm_options::add);
    }
    std::string shots() const { return device.hostRoot() + "/Temp"; }
    HostRun run(const std::string& script, std::vector<std::string> extra = {})
    {
        std::vector<std::string> args { "--root", device.hostRoot(), "--script", "-", "--shots", shots() };
        args.insert(args.end(), extra.begin(), extra.end());
        return RunPocketsim(args, {}, script);
    }
    std::string log() const { return device.readFile(u"\\Temp\\testapp.log").value_or(""); }

    struct Shot {
        uint16_t* pixels = nullptr;
        int width = 0;
        int height = 0;
        ~Shot() { SimFreePng(pixels); }
        uint16_t at(int x, int y) const { return pixels[y * width + x]; }
    };
    bool load(const std::string& name, Shot& shot) const
    {
        return SimReadPng565((shots() + "/" + name + ".png").c_str(), &shot.pixels, &shot.width, &shot.height);
    }
    bool waitFor(const std::string& text, int milliseconds = 10000) const
    {
        for (int waited = 0; waited < milliseconds; waited += 20) {
            if (log().find(text) != std::string::npos)
                return true;
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
        return false;
    }
};

uint16_t rgb565(int r, int g, int b)
{
    return static_cast<uint16_t>((r >> 3) << 11 | (g >> 2) << 5 | b >> 3);
}

struct TwoProcesses : Programs, ::testing::WithParamInterface<const char*> { };

TEST_P(TwoProcesses, AFullScreenProgramTakesTapKeyAndMessageBoxThenLeavesTheNotePadAsItWas)
{
    std::string mode = GetParam();
    uint16_t colour = mode == "direct" ? uint16_t(0x001F) : rgb565(200, 40, 40);
    HostRun r = run("type Notes before\n"
                    "shot before\n"
                    "start \"\\Program Files\\Test\\testapp.exe\" "
        + mode
        + "\n"
          "shot app\n"
          "tap 60 100\n"
          "press enter\n"
          "shot box\n"
          "tap 120 180\n"
          "shot after\n"
          "expect-text Notes before\n");
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(log(), "active\nstarted " + mode + "\ntap 60 100\nkey 13\nchar 13\ninactive\nactive\nbox 1\ninactive\nexit\n");

    Shot before, app, box, after;
    ASSERT_TRUE(load("before", before));
    ASSERT_TRUE(load("app", app));
    ASSERT_TRUE(load("box", box));
    ASSERT_TRUE(load("after", after));
    // Full screen: the taskbar and the shell's menu bar are hidden behind or for it.
    EXPECT_EQ(app.at(5, 5), colour) << "the taskbar hides for a full-screen program";
    EXPECT_EQ(app.at(120, 160), colour);
    EXPECT_EQ(app.at(120, 315), colour);
    // The tap's mark, drawn by the other process, is on the screen.
    EXPECT_EQ(box.at(60, 100), 0xFFFF);
    EXPECT_EQ(box.at(60, 120), colour);
    // The message box: a "Dialog" window in front, with its title bar.
    EXPECT_EQ(box.at(20, 125), rgb565(0, 40, 104)) << "the message box's title bar";
    EXPECT_EQ(box.at(5, 5), rgb565(0, 40, 104)) << "the shell shows its taskbar for the message box in front";
    // Nothing of the program is left: the screen is the note pad's again, pixel for pixel.
    ASSERT_EQ(after.width, before.width);
    int differ = 0;
    for (int i = 0; i < before.width * before.height; ++i)
        differ += before.pixels[i] != after.pixels[i];
    EXPECT_EQ(differ, 0);
    EXPECT_EQ(SimSharedPictureCount(), 0);
}

INSTANTIATE_TEST_SUITE_P(Drawing, TwoProcesses, ::testing::Values("window", "direct"));

TEST_F(Programs, TheStartMenuListsTheProgramsFolderAndATapStartsOne)
{
    // First in the menu (entries are sorted by name; the device installs its own ones too).
    device.writeFile(u"\\Windows\\Start Menu\\Programs\\A Test App.lnk", "21#\"\\Program Files\\Test\\testapp.exe\" leave");
    device.writeFile(u"\\Windows\\Start Menu\\Programs\\Broken.lnk", "no program here");
    HostRun r = run("tap 10 10\nshot menu\ntap 200 200\nshot outside\ntap 10 10\ntap 30 38\nshot closed\n");
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_TRUE(waitFor("started leave")) << "the menu's entry starts the program";
    Shot menu, outside, closed;
    ASSERT_TRUE(load("menu", menu));
    ASSERT_TRUE(load("outside", outside));
    ASSERT_TRUE(load("closed", closed));
    EXPECT_EQ(outside.at(0, 40), rgb565(255, 255, 255)) << "a tap outside the menu closes it";
    EXPECT_EQ(menu.at(0, 40), rgb565(0, 40, 104)) << "the menu's edge, below the taskbar";
    EXPECT_EQ(closed.at(0, 40), rgb565(255, 255, 255)) << "a tap on an entry closes the menu";
}

TEST_F(Programs, AnEditOfAnotherProgramRaisesThePanelThroughSipPrefAndThePlatformKeyboardTypesIntoIt)
{
    // "hello" on the platform's keyboard at QVGA (the device gets no Magnikeys, so the platform's
    // keyboard is the current input method).
    // The panel that the note pad raised goes down first: the program alone, its edit unfocused.
    HostRun r = run("sip hide\n"
                    "start \"\\Program Files\\Test\\testapp.exe\" edit\n"
                    "shot before\n"
                    "tap 100 52\n"
                    "tap 144 244\ntap 60 224\ntap 216 244\ntap 216 244\ntap 204 224\n"
                    "shot edit\n"
                    "type bye\n"
                    "shot after\n"
                    "# the note pad got nothing: the characters went to the program in front\n"
                    "expect-text \n", { "--no-install" });
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_NE(log().find("text h\ntext he\ntext hel\ntext hell\ntext hello\n"), std::string::npos) << log();
    EXPECT_NE(log().find("text hellobye\ninactive\nexit\n"), std::string::npos) << log();
    Shot before, edit, after;
    ASSERT_TRUE(load("before", before));
    ASSERT_TRUE(load("edit", edit));
    ASSERT_TRUE(load("after", after));
    EXPECT_EQ(edit.at(12, 42), rgb565(255, 255, 200)) << "the edit in its parent's colour";
    // SIPPREF raised the panel in front of the program while the edit had the focus; the
    // program's end lowered it, and the note pad, with the focus on its text again, raised it.
    EXPECT_EQ(before.at(120, 250), rgb565(200, 40, 40));
    EXPECT_NE(edit.at(120, 250), rgb565(200, 40, 40));
    EXPECT_EQ(after.at(120, 250), edit.at(120, 250)) << "the note pad, with the panel up";
    EXPECT_EQ(after.at(120, 100), rgb565(255, 255, 255)) << "the note pad above it";
}

// A program hears once of each time the panel comes up or goes down, and reads the panel as it
// now is.
TEST_F(Programs, AProgramHearsOnceOfEachChangeOfThePanel)
{
    HostRun r = run("sip hide\n"
                    "start \"\\Program Files\\Test\\testapp.exe\" panel\n"
                    "sip show\n"
                    "sip hide\n"
                    "sip show\n");
    ASSERT_EQ(r.exitCode, 0) << r.err;
    std::string heard;
    std::string text = log();
    for (size_t at = 0; (at = text.find("panel ", at)) != std::string::npos; at = text.find('\n', at))
        heard += text.substr(at, text.find('\n', at) - at) + ";";
    EXPECT_EQ(heard, "panel up;panel down;panel up;") << text;
}

TEST_F(Programs, ThePlatformTestAnswersTheDeviceKindTheHostRunsAs)
{
    HostRun r = run("start \"\\Program Files\\Test\\testapp.exe\" kind\n", { "--kind", "smartphone" });
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(log(), "kind SmartPhone\n");
    device.writeFile(u"\\Temp\\testapp.log", "");
    r = run("start \"\\Program Files\\Test\\testapp.exe\" kind\n");
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(log(), "kind PocketPC\n");
    r = run("", { "--kind", "tablet" });
    EXPECT_EQ(r.exitCode, 2);
}

TEST_F(Programs, AScriptThatStartsAMissingProgramFailsWithTheReason)
{
    HostRun r = run("start \\Windows\\nothing.exe\n");
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_NE(r.err.find("cannot start \\Windows\\nothing.exe"), std::string::npos) << r.err;
    r = run("start\n");
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_NE(r.err.find("start needs PATH"), std::string::npos) << r.err;
}

TEST_F(Programs, TwentyProgramsThatEndOrCrashWithWindowsOpenLeaveNothingBehind)
{
    for (int i = 0; i < 20; ++i) {
        SHELLEXECUTEINFO info {};
        info.cbSize = sizeof info;
        info.fMask = SEE_MASK_NOCLOSEPROCESS;
        info.lpFile = kApp;
        info.lpParameters = i % 2 ? u"crash" : u"leave";
        ASSERT_TRUE(ShellExecuteEx(&info));
        EXPECT_TRUE(SimWaitForProgramWindow(info.hProcess, 10000)) << "start " << i;
        EXPECT_EQ(WaitForSingleObject(info.hProcess, 10000), WAIT_OBJECT_0);
        CloseHandle(info.hProcess);
    }
    SimReapEndedPrograms();
    EXPECT_EQ(SimSharedPictureCount(), 0);
    int windows = 0;
    EnumWindows([](HWND, LPARAM count) { ++*reinterpret_cast<int*>(count); return TRUE; }, reinterpret_cast<LPARAM>(&windows));
    EXPECT_EQ(windows, 0) << "no window of an ended program is listed";
    EXPECT_EQ(WindowFromPoint(POINT { 100, 100 }), nullptr);
    const uint16_t* pixels;
    int width, height, pitch;
    pixels = SimScreenPixels(&width, &height, &pitch);
    EXPECT_EQ(pixels[100 * pitch + 100], 0x2945) << "the screen is empty again";
    std::error_code ignored;
    int left = 0;
    for (auto& e : std::filesystem::directory_iterator(device.hostRoot() + "/.pocketsim/windows", ignored)) {
        (void)e;
        ++left;
    }
    EXPECT_EQ(left, 0) << "window lists and sockets of ended programs are gone";
}

}
