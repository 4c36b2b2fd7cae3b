// The input panel end to end through the pocketsim binary: the platform's keyboard typing with
// the callback's event stream, switching methods from a script, installing and removing a
// program, and the startup folder at boot.
#include "RunHost.h"
#include "tests/support/DeviceRoot.h"
#include "tests/support/Golden.h"

#include <simhost.h>
#include <windows.h>

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <thread>

namespace fs = std::filesystem;

namespace {

const char kTestIm[] = "{D1A5E0C2-7B3F-4C1E-9A2D-5E6F7A8B9C0D}";
const char kKeyboard[] = "{42429667-ae04-11d0-a4f8-00aa00a749b9}";

struct SipScripts : DeviceRootTest {
    std::string shots() const { return device.hostRoot() + "/Temp"; }
    HostRun run(const std::string& script, std::vector<std::string> extra = {})
    {
        // Only what a test installs itself: the build's own programs stay off these devices.
        std::vector<std::string> args { "--root", device.hostRoot(), "--no-install", "--script", "-", "--shots", shots(),
            "--print-text" };
        args.insert(args.end(), extra.begin(), extra.end());
        return RunPocketsim(args, {}, script);
    }
    HostRun install(const std::string& tree) { return RunPocketsim({ "--root", device.hostRoot(), "--install", tree }); }
    void expectShot(const std::string& file, const std::string& golden)
    {
        uint16_t* pixels = nullptr;
        int width = 0, height = 0;
        ASSERT_TRUE(SimReadPng565((shots() + "/" + file).c_str(), &pixels, &width, &height));
        ExpectMatchesGolden(pixels, width, height, width, golden);
        SimFreePng(pixels);
    }
    bool classRegistered(const char16_t* clsid)
    {
        HKEY key;
        if (RegOpenKeyEx(HKEY_CLASSES_ROOT, (std::u16string(u"CLSID\\") + clsid).c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS)
            return false;
        RegCloseKey(key);
        return true;
    }
};

// Key centres of the platform's keyboard on a QVGA screen (rows of 20 pixels from y 214).
const char kHello[] = "tap 144 244\ntap 60 224\ntap 216 244\ntap 216 244\ntap 204 224\n";

TEST_F(SipScripts, ThePlatformsKeyboardTypesIntoTheNotePad)
{
    HostRun r = run(std::string("sip show\n") + kHello + "wait 100\nshot keyboard\nexpect-text hello\n"
            + "tap 228 264\ntap 228 284\nexpect-text hell\\n\n",
        { "--events" });
    ASSERT_EQ(r.exitCode, 0) << r.err;
    std::string expected;
    for (const char* c : { "0x48 U+0068", "0x45 U+0065", "0x4C U+006C", "0x4C U+006C", "0x4F U+006F" }) {
        std::string vk(c, 4), ch(c + 5);
        expected += "SendCharEvents vk=" + vk + " keystate=0x80 count=1 shift=0x80 char=" + ch + "\n";
        expected += "SendCharEvents vk=" + vk + " keystate=0x40 count=1 shift=0x10000 char=" + ch + "\n";
    }
    expected += "SendVirtualKey vk=0x8 flags=0x4\nSendVirtualKey vk=0x8 flags=0x6\n";
    expected += "SendVirtualKey vk=0xD flags=0x4\nSendVirtualKey vk=0xD flags=0x6\n";
    EXPECT_EQ(r.out, expected + "hell\n\n");
    expectShot("keyboard.png", "pocketsim_sip_keyboard_qvga");
}

TEST_F(SipScripts, ImSwitchesBetweenInstalledMethodsAndRefusesUnknownOnes)
{
    HostRun i = install(TESTIM_TREE);
    ASSERT_EQ(i.exitCode, 0) << i.err;
    EXPECT_NE(i.out.find("DllRegisterServer \\Program Files\\Tests\\TestIM\\testim.dll"), std::string::npos) << i.out;

    // The test method types "t" from its right half, the platform's keyboard "h".
    HostRun r = run(std::string("im ") + kTestIm + "\nsip show\nwait 50\nshot testim\ntap 200 260\nim " + kKeyboard
            + "\ntap 144 244\nim " + kTestIm + "\nexpect-text th\n",
        { "--events" });
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(r.out,
        "SendCharEvents vk=0x54 keystate=0x80 count=1 shift=0x80 char=U+0074\n"
        "SendCharEvents vk=0x54 keystate=0x40 count=1 shift=0x10000 char=U+0074\n"
        "SendCharEvents vk=0x48 keystate=0x80 count=1 shift=0x80 char=U+0068\n"
        "SendCharEvents vk=0x48 keystate=0x40 count=1 shift=0x10000 char=U+0068\n"
        "th\n");
    // The panel shows the method's own panel and, on the menu bar's button, its wide bitmap.
    expectShot("testim.png", "pocketsim_sip_testim_qvga");

    // The choice stays for the next boot: the device comes up with the test method.
    r = run("sip show\ntap 200 260\nexpect-text t\n");
    EXPECT_EQ(r.exitCode, 0) << r.err;

    r = run("im {00000000-0000-0000-0000-000000000001}\n");
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_NE(r.err.find("the input method {00000000-0000-0000-0000-000000000001} was refused"), std::string::npos) << r.err;
    r = run("im keyboard\n");
    EXPECT_NE(r.err.find("im needs a class identifier"), std::string::npos) << r.err;
}

TEST_F(SipScripts, SetImInfoMovesThePanelOnTheScreen)
{
    ASSERT_EQ(install(TESTIM_TREE).exitCode, 0);
    // A tap on the test method's left half makes it 100 pixels high, the next one 60 again.
    HostRun r = run(std::string("im ") + kTestIm + "\nsip show\ntap 20 260\nwait 50\nshot grown\n", { "--events" });
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(r.out, "SetImInfo flags=0x3 rect=0,194,240,294\n\n");
    uint16_t* pixels = nullptr;
    int width = 0, height = 0;
    ASSERT_TRUE(SimReadPng565((shots() + "/grown.png").c_str(), &pixels, &width, &height));
    auto blue = [&](int y) { return (pixels[y * width + 120] & 0x1F) > 20 && (pixels[y * width + 120] >> 11) < 8; };
    EXPECT_TRUE(blue(200)); // the panel reaches up to 194 now
    EXPECT_FALSE(blue(190));
    SimFreePng(pixels);
}

TEST_F(SipScripts, UninstallUnregistersAndRemovesTheProgram)
{
    // An install tree of one product: the test library and a program.
    fs::path tree = device.hostRoot() + "/../" + fs::path(device.hostRoot()).filename().string() + "-tree";
    fs::create_directories(tree / "Tests" / "TestIM");
    fs::copy_file(TESTIM_LIBRARY, tree / "Tests" / "TestIM" / "testim.dll");
    std::ofstream(tree / "Tests" / "TestIM" / "tool.exe") << "#!/bin/sh\n";
    fs::permissions(tree / "Tests" / "TestIM" / "tool.exe", fs::perms::owner_all);
    HostRun r = install(tree.string());
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_TRUE(device.exists(u"\\Program Files\\Tests\\TestIM\\tool.exe"));
    EXPECT_EQ(device.readFile(u"\\Windows\\Start Menu\\Programs\\tool.lnk").value_or(""),
        "38#\"\\Program Files\\Tests\\TestIM\\tool.exe\"\n");
    EXPECT_TRUE(classRegistered(u"{D1A5E0C2-7B3F-4C1E-9A2D-5E6F7A8B9C0D}"));

    r = RunPocketsim({ "--root", device.hostRoot(), "--uninstall", "TestIM" });
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_NE(r.out.find("uninstalled Tests TestIM"), std::string::npos) << r.out;
    EXPECT_FALSE(classRegistered(u"{D1A5E0C2-7B3F-4C1E-9A2D-5E6F7A8B9C0D}"));
    EXPECT_FALSE(device.exists(u"\\Program Files\\Tests"));
    EXPECT_FALSE(device.exists(u"\\Windows\\Start Menu\\Programs\\tool.lnk"));
    EXPECT_NE(device.readFile(u"\\Temp\\testim.log").value_or("").find("DllUnregisterServer"), std::string::npos);

    r = RunPocketsim({ "--root", device.hostRoot(), "--uninstall", "TestIM" });
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_NE(r.err.find("no installed program is called TestIM"), std::string::npos) << r.err;
    r = RunPocketsim({ "--root", device.hostRoot(), "--install", (tree / "missing").string() });
    EXPECT_EQ(r.exitCode, 1);
    fs::remove_all(tree);
}

TEST_F(SipScripts, BootRunsTheStartupFolder)
{
    // A program put straight into the startup folder, and a shortcut to an installed one.
    device.writeFile(u"\\Windows\\StartUp\\hello.exe",
        "#!/bin/sh\nprintf '%s' \"$POCKETSIM_MODULE\" > \"$POCKETSIM_ROOT/My Documents/started.txt.part\" && mv \"$POCKETSIM_ROOT/My Documents/started.txt.part\" \"$POCKETSIM_ROOT/My Documents/started.txt\"\n");
    device.writeFile(u"\\Program Files\\Tool\\tool.exe",
        "#!/bin/sh\nprintf 'tool' > \"$POCKETSIM_ROOT/My Documents/tool.txt.part\" && mv \"$POCKETSIM_ROOT/My Documents/tool.txt.part\" \"$POCKETSIM_ROOT/My Documents/tool.txt\"\n");
    fs::permissions(device.hostPath(u"\\Windows\\StartUp\\hello.exe"), fs::perms::owner_all);
    fs::permissions(device.hostPath(u"\\Program Files\\Tool\\tool.exe"), fs::perms::owner_all);
    device.writeFile(u"\\Windows\\StartUp\\tool.lnk", "24#\"\\Program Files\\Tool\\tool.exe\"\n");
    HostRun r = run("wait 10\n");
    ASSERT_EQ(r.exitCode, 0) << r.err;
    // The programs run as processes of their own; give them a moment.
    for (int i = 0; i < 100 && !(device.exists(u"\\My Documents\\started.txt") && device.exists(u"\\My Documents\\tool.txt")); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    EXPECT_EQ(device.readFile(u"\\My Documents\\started.txt").value_or(""), "\\Windows\\StartUp\\hello.exe");
    EXPECT_EQ(device.readFile(u"\\My Documents\\tool.txt").value_or(""), "tool");
}

}

namespace {

TEST_F(SipScripts, TheArrowBesideThePanelButtonListsTheMethodsWithTheirIcons)
{
    ASSERT_EQ(install(TESTIM_TREE).exitCode, 0);
    // The arrow right of the panel button opens the list; its second row is the test method.
    // (The panel that the note pad raised goes down first: the list alone on the note pad.)
    HostRun r = run("sip hide\ntap 147 306\nwait 20\nshot imlist\ntap 60 284\nsip show\ntap 200 260\nexpect-text t\n"
                    "tap 147 306\ntap 100 100\ntap 147 306\ntap 60 261\ntap 144 244\nexpect-text th\n");
    ASSERT_EQ(r.exitCode, 0) << r.err;
    expectShot("imlist.png", "pocketsim_im_list_qvga");
    // The choice is kept as the default.
    r = run("sip show\ntap 144 244\nexpect-text h\n");
    EXPECT_EQ(r.exitCode, 0) << r.err;
}

}

namespace {

TEST_F(SipScripts, ThePlatformsKeyboardAtVgaAndSideways)
{
    // The symbol layer on a VGA screen, then the letters on the screen turned sideways.
    HostRun r = run("sip show\ntap 40 580\ntap 24 460\nshot vga_symbols\ntap 40 580\nrotate\nshot vga_landscape\nexpect-text 1\n",
        { "--geometry", "vga" });
    ASSERT_EQ(r.exitCode, 0) << r.err;
    expectShot("vga_symbols.png", "pocketsim_sip_keyboard_symbols_vga");
    expectShot("vga_landscape.png", "pocketsim_sip_keyboard_vga_landscape");
}

}
