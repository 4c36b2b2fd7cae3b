// The keyboard and the settings program together on the device, as a person uses them: the
// keyboard's settings key starts the real settings program, and choices made there with the
// stylus reach the keyboard in the same session, without a reboot.
#include "RunHost.h"
#include "tests/support/DeviceRoot.h"
#include "tests/support/Golden.h"
#include "tests/support/Shot.h"

#include "runtime/Text.h"

#include <simhost.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <optional>
#include <string>

namespace {

const std::u16string kSettings = u"\\Program Files\\Tarn\\Magnikeys\\settings.txt";
const std::u16string kLayoutList = u"\\Program Files\\Tarn\\Magnikeys\\layouts\\layouts.ini";

// The settings key sits among the extra keys; the program then covers the screen under the
// input panel, which stays in front, so the panel goes away for the program's lower rows. The
// script taps the program's menu as soon as it shows, without waiting: every tap must count.
const std::string kOpenSettings = "sip show\nkey extra\nkey settings\n";

// A text file the programs keep in UTF-16, as lower-case UTF-8.
std::string lowered(const std::optional<std::string>& bytes)
{
    if (!bytes || bytes->size() < 2 || bytes->substr(0, 2) != "\xFF\xFE")
        return "(not a UTF-16 file)";
    std::u16string text;
    for (size_t i = 2; i + 1 < bytes->size(); i += 2)
        text += static_cast<char16_t>(static_cast<unsigned char>((*bytes)[i]) | static_cast<unsigned char>((*bytes)[i + 1]) << 8);
    std::string out = Utf8FromUtf16(text);
    std::transform(out.begin(), out.end(), out.begin(), [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return out;
}

class SettingsKey : public DeviceRootTest, public testing::WithParamInterface<const char*> {
protected:
    const std::string geometry = GetParam();
    const int scale = geometry == "vga" ? 2 : 1;

    std::string shot(const std::string& name) const { return device.hostRoot() + "/Temp/" + name + ".png"; }

    HostRun run(const std::string& script)
    {
        return RunPocketsim({ "--root", device.hostRoot(), "--geometry", geometry, "--script", "-", "--shots",
                              device.hostRoot() + "/Temp", "--print-text" },
                            {}, script);
    }
    // A first boot installs the keyboard and the settings program.
    void SetUp() override
    {
        HostRun first = run("sip show\n");
        ASSERT_EQ(first.exitCode, 0) << first.err;
    }
    void expect_golden(const std::string& name, const std::string& golden)
    {
        Shot s(shot(name));
        ASSERT_TRUE(s.ok()) << name;
        ExpectMatchesGolden(s.pixels, s.width, s.height, s.width, golden);
    }
    // A tap at a QVGA point, doubled at VGA, and the time for the program to answer it.
    std::string tap(int x, int y) const
    {
        return "tap " + std::to_string(x * scale) + " " + std::to_string(y * scale) + "\nwait 300\n";
    }
    // A row of the settings program's main menu and of its Zoom style screen.
    std::string row(int index) const { return tap(120, 74 + 28 * index); }
    // A row of the layout screen: they stand 5 pixels lower under its caption.
    std::string layout_row(int index) const { return tap(120, 79 + 28 * index); }
};

TEST_P(SettingsKey, OpensTheSettingsProgramOnTheScreen)
{
    HostRun r = run(kOpenSettings + "shot keyboard_over_menu\nsip hide\nshot menu\n" + row(6) + "shot closed\n");
    ASSERT_EQ(r.exitCode, 0) << r.err;
    expect_golden("keyboard_over_menu", "settings/keyboard_over_menu_" + geometry);
    // The program's main menu exactly as it looks when started on its own.
    expect_golden("menu", "settings/main_" + geometry);
    // Close gives the screen back to the note pad.
    Shot menu(shot("menu")), closed(shot("closed"));
    ASSERT_TRUE(menu.ok() && closed.ok());
    EXPECT_GT(menu.differences(closed, 0, 0, menu.width, menu.height), menu.width * menu.height / 4);
}

TEST_P(SettingsKey, GlassLensChosenThereShowsAtTheKeyboardsNextTouch)
{
    // A new device has no zoom.
    ASSERT_NE(lowered(device.readFile(kSettings)).find("board_style simple\n"), std::string::npos);

    const std::string hold = "down " + std::to_string(119 * scale) + " " + std::to_string(239 * scale) + "\nwait 700\n";
    HostRun r = run("sip show\nshot before_simple\n" + hold + "shot simple\nup\nwait 100\n" + kOpenSettings + "sip hide\n"
                    + row(4) + "shot zoom_types\n" + row(1) + row(6) + "sip show\nshot before_glass\n" + hold
                    + "shot glass\nup\n");
    ASSERT_EQ(r.exitCode, 0) << r.err;
    // "No zoom" checked, as a new device has it.
    expect_golden("zoom_types", geometry == "vga" ? "settings/device_zoom_types_vga" : "settings/device_zoom_types");
    EXPECT_NE(lowered(device.readFile(kSettings)).find("board_style glass_zoom\n"), std::string::npos);

    Shot before_simple(shot("before_simple")), simple(shot("simple")), before_glass(shot("before_glass")), glass(shot("glass"));
    ASSERT_TRUE(before_simple.ok() && simple.ok() && before_glass.ok() && glass.ok());
    // Nothing above the keyboard before; then the glass window (90x90 at QVGA) centred on the
    // key held, standing on the keyboard (88 pixels high over a 26-pixel menu bar).
    const int left = 75 * scale, top = 116 * scale, right = 165 * scale, bottom = 206 * scale, width = 240 * scale;
    EXPECT_EQ(simple.differences(before_simple, 0, 0, width, bottom), 0);
    EXPECT_GT(glass.differences(before_glass, left, top, right, bottom), 1000 * scale * scale);
    EXPECT_EQ(glass.differences(before_glass, 0, 0, width, top), 0);
    EXPECT_EQ(glass.differences(before_glass, 0, top, left, bottom), 0);
    EXPECT_EQ(glass.differences(before_glass, right, top, width, bottom), 0);
}

TEST_P(SettingsKey, RussianEnabledThereIsReachedByTheLayoutKey)
{
    device.writeFile(kLayoutList, "layout_0=english\n");
    // English alone: the layout key stays with the Latin letters.
    HostRun before = run("sip show\nkey layout\nwait 100\nkey м\n");
    EXPECT_NE(before.exitCode, 0);
    EXPECT_NE(before.err.find("stdin:4: no key shows м"), std::string::npos) << before.err;

    // Keyboard layouts, then Russian (the fourth: English, Deutch, French, Russian), Back, Close.
    HostRun r = run(kOpenSettings + "sip hide\n" + row(1) + "shot layouts_before\n" + layout_row(3) + "shot layouts_after\n"
                    + layout_row(4) + row(6) + "sip show\nkey layout\nwait 100\nkey м\nkey и\nkey р\nexpect-text мир\n");
    ASSERT_EQ(r.exitCode, 0) << r.err;
    expect_golden("layouts_before", "settings/layouts_english_only_" + geometry);
    expect_golden("layouts_after", "settings/layouts_russian_enabled_" + geometry);
    const std::string list = lowered(device.readFile(kLayoutList));
    EXPECT_NE(list.find("=english\n"), std::string::npos) << list;
    EXPECT_NE(list.find("=russian\n"), std::string::npos) << list;
}

INSTANTIATE_TEST_SUITE_P(Screens, SettingsKey, testing::Values("qvga", "vga"),
                         [](const auto& info) { return std::string(info.param); });

} // namespace
