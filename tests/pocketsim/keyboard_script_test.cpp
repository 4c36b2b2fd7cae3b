// The keyboard on the device, end to end: scripts tap its keys by label, and the callback's
// event stream and the note pad's text are checked.
#include "RunHost.h"
#include "tests/support/DeviceRoot.h"

#include <simhost.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <sstream>
#include <sys/stat.h>

namespace {

using Lines = std::vector<std::string>;

std::string hex(unsigned v)
{
    char buffer[16];
    std::snprintf(buffer, sizeof buffer, "0x%X", v);
    return buffer;
}

// The two callback calls that type one character.
Lines typed(unsigned vk, unsigned ch)
{
    char code[16];
    std::snprintf(code, sizeof code, "U+%04X", ch);
    return { "SendCharEvents vk=" + hex(vk) + " keystate=0x80 count=1 shift=0x80 char=" + code,
        "SendCharEvents vk=" + hex(vk) + " keystate=0x40 count=1 shift=0x10000 char=" + code };
}

Lines key(unsigned vk)
{
    return { "SendVirtualKey vk=" + hex(vk) + " flags=0x4", "SendVirtualKey vk=" + hex(vk) + " flags=0x6" };
}

Lines operator+(Lines a, const Lines& b)
{
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

struct KeyboardScripts : DeviceRootTest {
    HostRun run(const std::string& script, const std::vector<std::string>& more = {})
    {
        std::vector<std::string> args { "--root", device.hostRoot(), "--script", "-", "--shots", device.hostRoot() + "/Temp",
            "--events", "--print-text" };
        args.insert(args.end(), more.begin(), more.end());
        return RunPocketsim(args, {}, script);
    }
    // The callback's key and character calls, in order.
    static Lines sent(const HostRun& r)
    {
        Lines lines;
        std::istringstream in(r.out);
        for (std::string line; std::getline(in, line);)
            if (line.rfind("Send", 0) == 0)
                lines.push_back(line);
        return lines;
    }
    static std::string lastLine(const std::string& out)
    {
        std::string text = out;
        while (!text.empty() && text.back() == '\n')
            text.pop_back();
        return text.substr(text.rfind('\n') + 1);
    }
};

TEST_F(KeyboardScripts, HelloWorldWithShiftTheSymbolLayerAndASpaceStroke)
{
    HostRun r = run(R"(sip show
key shift
key H
key e
key l
key l
key o
key ,
stroke right
key shift
key W
key o
key r
key l
key d
key extra
key !
key extra
expect-text Hello, World!
)");
    ASSERT_EQ(r.exitCode, 0) << r.err;
    Lines expected = typed(0x48, 'H') + typed(0x45, 'e') + typed(0x4C, 'l') + typed(0x4C, 'l') + typed(0x4F, 'o')
        + typed(0xBC, ',') + key(0x20) + typed(0x57, 'W') + typed(0x4F, 'o') + typed(0x52, 'r') + typed(0x4C, 'l')
        + typed(0x44, 'd') + typed(0x31, '!');
    EXPECT_EQ(sent(r), expected);
}

TEST_F(KeyboardScripts, TheLayoutKeyBringsTheFourRowRussianLayout)
{
    HostRun r = run("sip show\nkey layout\nwait 100\nkey м\nkey и\nkey р\nexpect-text мир\n", { "--keymap" });
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(sent(r), typed(0x56, 0x43C) + typed(0x42, 0x438) + typed(0x48, 0x440));
    // the panel grew for the four rows: 44 letters and 7 function keys
    EXPECT_NE(r.out.find("\n50 layout layout "), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("\n43 10 ) "), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("SetImInfo flags=0x3 rect=0,"), std::string::npos) << r.out;
}

TEST_F(KeyboardScripts, BackspaceStrokeAndAHeldBackspaceThatRepeats)
{
    HostRun r = run(R"(sip show
type abcdefgh
stroke left
expect-text abcdefg
hold backspace
wait 1400
expect-text abcd
up
expect-text abc
)");
    ASSERT_EQ(r.exitCode, 0) << r.err;
    // the stroke, three repeats (at 1.05, 1.2 and 1.35 s) and the press on the lift
    EXPECT_EQ(sent(r), key(8) + key(8) + key(8) + key(8) + key(8));
}

TEST_F(KeyboardScripts, CtrlCAndArrowsWithCtrl)
{
    HostRun r = run(R"(sip show
type one two
key ctrl
key c
key extra
key ctrl
key left
key left
key extra
key x
)");
    ASSERT_EQ(r.exitCode, 0) << r.err;
    const Lines ctrlDown { "SendVirtualKey vk=0x11 flags=0x4" }, ctrlUp { "SendVirtualKey vk=0x11 flags=0x6" };
    EXPECT_EQ(sent(r), ctrlDown + key(0x43) + ctrlUp + ctrlDown + key(0x25) + ctrlUp + ctrlDown + key(0x25) + ctrlUp + typed(0x58, 'x'));
    // The note pad sees ctrl with each arrow: a word to the left each time.
    EXPECT_EQ(lastLine(r.out), "xone two");
}

TEST_F(KeyboardScripts, TheSettingsKeyStartsTheSettingsProgram)
{
    // A stand-in for the settings program that leaves a mark when it runs.
    device.writeFile(u"\\Program Files\\Tarn\\Magnikeys\\optarix.exe",
        "#!/bin/sh\necho \"started with [$1]\" > \"$POCKETSIM_ROOT/Temp/optarix-ran.txt.part\" && mv \"$POCKETSIM_ROOT/Temp/optarix-ran.txt.part\" \"$POCKETSIM_ROOT/Temp/optarix-ran.txt\"\n");
    // the install would replace an older program folder: install first, then put the stand-in
    HostRun first = run("sip show\n");
    ASSERT_EQ(first.exitCode, 0) << first.err;
    device.writeFile(u"\\Program Files\\Tarn\\Magnikeys\\optarix.exe",
        "#!/bin/sh\necho \"started with [$1]\" > \"$POCKETSIM_ROOT/Temp/optarix-ran.txt.part\" && mv \"$POCKETSIM_ROOT/Temp/optarix-ran.txt.part\" \"$POCKETSIM_ROOT/Temp/optarix-ran.txt\"\n");
    chmod(device.hostPath(u"\\Program Files\\Tarn\\Magnikeys\\optarix.exe").c_str(), 0755);

    // (the device has the keyboard now: no install, which would bring the real program back)
    HostRun r = run("sip show\nkey extra\nkey settings\nwait 500\n", { "--no-install" });
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_TRUE(sent(r).empty());
    for (int i = 0; i < 100 && !device.exists(u"\\Temp\\optarix-ran.txt"); ++i)
        usleep(20000);
    auto mark = device.readFile(u"\\Temp\\optarix-ran.txt");
    ASSERT_TRUE(mark.has_value());
    EXPECT_EQ(*mark, "started with []\n");
}

TEST_F(KeyboardScripts, SwitchingToThePlatformKeyboardAndBackKeepsTyping)
{
    const std::string platform = "im {42429667-ae04-11d0-a4f8-00aa00a749b9}\n";
    const std::string magnikeys = "im {E2452E3B-2823-4309-90CB-8787C4BA3AF7}\nsip show\n";
    HostRun r = run("sip show\nkey a\n" + platform + magnikeys + "key b\n" + platform + magnikeys + "key c\nexpect-text abc\n");
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(sent(r), typed(0x41, 'a') + typed(0x42, 'b') + typed(0x43, 'c'));
}

// The note pad raises the panel when its text has the focus, as the device's own programs do:
// a new user types at once. Back from another program, the note pad has the panel up again.
TEST_F(KeyboardScripts, TheNotePadRaisesTheKeyboardWhenItsTextHasTheFocus)
{
    HostRun r = run("key h\nkey i\nexpect-text hi\nsip hide\nkey extra\n");
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_NE(r.err.find("stdin:5: no keyboard is showing"), std::string::npos) << r.err;
    EXPECT_EQ(sent(r), typed('H', 'h') + typed('I', 'i'));

    // The settings program takes the focus and the panel goes down; it closes (its last row),
    // and the note pad, in front again with its text, has the panel up.
    HostRun back = run("key extra\nkey settings\nsip hide\ntap 120 242\nwait 300\nkey extra\nkey x\nexpect-text x\n");
    EXPECT_EQ(back.exitCode, 0) << back.err;
}

TEST_F(KeyboardScripts, KeyCommandsNeedAShowingKeyboardAndAKnownLabel)
{
    HostRun r = run("sip hide\nkey a\n");
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_NE(r.err.find("stdin:2: no keyboard is showing"), std::string::npos) << r.err;
    r = run("sip show\nkey tab\n");
    EXPECT_NE(r.err.find("stdin:2: no key shows tab"), std::string::npos) << r.err;
    r = run("sip show\nstroke sideways\n");
    EXPECT_NE(r.err.find("stroke needs left, right, up or down [LABEL]"), std::string::npos) << r.err;
    r = run("sip show\nhold a 100\n");
    EXPECT_NE(r.err.find("hold needs LABEL"), std::string::npos) << r.err;
    // a held key shows pressed until the stylus lifts; move and up follow hold
    r = run("sip show\nhold q\nwait 100\nmove 0 0\nwait 100\nup\n");
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_TRUE(sent(r).empty()); // the stylus left every key before the lift
}

TEST_F(KeyboardScripts, ANewDeviceGetsTheKeyboardAsItsInputMethod)
{
    HostRun r = run("sip show\nshot qvga\n", { "--keymap" });
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_TRUE(device.exists(u"\\Program Files\\Tarn\\Magnikeys\\magnikeys.dll"));
    EXPECT_TRUE(device.exists(u"\\Program Files\\Tarn\\Magnikeys\\skins\\bin\\default.skin"));
    EXPECT_NE(r.out.find("\n39 layout layout "), std::string::npos) << r.out;
    // the user's choice of another method stays across boots
    r = run("im {42429667-ae04-11d0-a4f8-00aa00a749b9}\n", { "--keymap" });
    ASSERT_EQ(r.exitCode, 0) << r.err;
    r = run("sip show\n", { "--keymap" });
    EXPECT_EQ(r.out.find("layout layout"), std::string::npos) << r.out;
}

}
