// The zoom views on the device, end to end: scripts hold keys in every zoom style and their
// shots of the whole screen are compared with the goldens; dragging above the keyboard in
// i_zoom; a new board_style written by the settings program shows at the next touch.
#include "RunHost.h"
#include "tests/support/DeviceRoot.h"
#include "tests/support/Golden.h"
#include "tests/support/Shot.h"

#include <simhost.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

namespace {

const std::u16string kSettings = u"\\Program Files\\Tarn\\Magnikeys\\settings.txt";

std::string settings_text(const std::string& style)
{
    return "zoom_scale 2.000000\nzoom_show_delay 0.325000\nanimation_time 0.125000\nzoom_power 0.300000\n"
           "smart_zoom true\nzooms_count_to_disable_delay 5\nprint_pause_to_enable_delay 3.000000\n"
           "min_time_for_press 0.200000\ndouble_click_delay 0.500000\nrepeat_delay 0.900000\n"
           "repeat_interval 0.150000\nsettings_id 32\nlast_movement_ignore 0.065000\nboard_style "
        + style + "\nglass_zoom_window_size 90 90\nglass_radius 50.000000\nstroke_speed 600 300\nstroke_distance 30 20\n";
}

std::string script_file(const std::string& name)
{
    return std::string(MK_SOURCE_DIR) + "/tests/pocketsim/zoom/" + name;
}

struct ZoomScripts : DeviceRootTest {
    std::string shots() const { return device.hostRoot() + "/Temp"; }
    std::string shot(const std::string& name) const { return shots() + "/" + name + ".png"; }

    HostRun run(const std::vector<std::string>& more, const std::string& input = "")
    {
        std::vector<std::string> args { "--root", device.hostRoot(), "--shots", shots() };
        args.insert(args.end(), more.begin(), more.end());
        return RunPocketsim(args, {}, input);
    }
    // Boots once so the programs are installed, then names the style.
    void install(const std::string& style, const std::string& geometry)
    {
        HostRun first = run({ "--geometry", geometry, "--script", "-" }, "sip show\n");
        ASSERT_EQ(first.exitCode, 0) << first.err;
        device.writeFile(kSettings, settings_text(style));
    }
};

struct Case {
    const char* style;
    const char* name;
    const char* geometry;
};

class ZoomHold : public ZoomScripts, public testing::WithParamInterface<Case> { };

TEST_P(ZoomHold, ShotsMatchTheGoldens)
{
    const Case& c = GetParam();
    install(c.style, c.geometry);
    HostRun r = run({ "--geometry", c.geometry, "--script", script_file(std::string("hold_") + c.geometry + ".txt") });
    ASSERT_EQ(r.exitCode, 0) << r.err;
    const int scale = std::string(c.geometry) == "vga" ? 2 : 1;
    const int keyboard_top = 208 * scale;
    for (const char* where : { "left", "centre", "top" })
        for (const char* when : { "mid", "full" }) {
            Shot before(shot(std::string(where) + "_before"));
            ASSERT_TRUE(before.ok());
            std::string name = std::string(where) + "_" + when;
            Shot s(shot(name));
            ASSERT_TRUE(s.ok()) << name;
            ExpectMatchesGolden(s.pixels, s.width, s.height, s.width,
                                std::string("zoom_device/") + c.name + "_" + c.geometry + "_" + name);
            for (int i = 0; i < s.width * s.height; ++i)
                ASSERT_NE(s.pixels[i], 0xF81F) << name << ": the colour key on the screen at " << i % s.width << ","
                                               << i / s.width;
            // Above the keyboard: untouched in "simple", the zoom in every other style.
            int changed = s.differences(before, 0, keyboard_top - 30 * scale, s.width, keyboard_top);
            if (std::string(c.style) == "simple")
                EXPECT_EQ(changed, 0) << name;
            else
                EXPECT_GT(changed, 100) << name;
        }
}

INSTANTIATE_TEST_SUITE_P(Styles, ZoomHold,
                         testing::Values(Case { "simple", "simple", "qvga" }, Case { "simple", "simple", "vga" },
                                         Case { "flat_zoom", "flat", "qvga" }, Case { "flat_zoom", "flat", "vga" },
                                         Case { "glass_zoom", "glass", "qvga" }, Case { "glass_zoom", "glass", "vga" },
                                         Case { "i_zoom", "izoom", "qvga" }, Case { "i_zoom", "izoom", "vga" }),
                         [](const auto& info) { return std::string(info.param.name) + "_" + info.param.geometry; });

TEST_F(ZoomScripts, IZoomAboveTheKeyboardDrawsAtItsTopEdge)
{
    for (const char* geometry : { "qvga", "vga" }) {
        install("i_zoom", geometry);
        HostRun r = run({ "--geometry", geometry, "--script", script_file(std::string("drag_above_") + geometry + ".txt") });
        ASSERT_EQ(r.exitCode, 0) << r.err;
        Shot above(shot("above")), edge(shot("edge")), below(shot("below"));
        ASSERT_TRUE(above.ok() && edge.ok() && below.ok());
        // The keyboard's top edge: 88 rows (176 at VGA) stand on the menu bar.
        const int keyboard_top = std::string(geometry) == "vga" ? 412 : 206;
        EXPECT_EQ(above.differences(edge, 0, 0, above.width, keyboard_top), 0) << geometry;
        // A few rows lower the lens moves, so the comparison above can tell.
        EXPECT_GT(below.differences(edge, 0, 0, above.width, keyboard_top), 50) << geometry;
    }
}

TEST_F(ZoomScripts, ANewStyleShowsAtTheTouchAfterTheSettingsProgram)
{
    install("simple", "qvga");
    // A stand-in for the settings program: it writes the glass style, then leaves a mark.
    const std::string settings_path = device.hostPath(kSettings);
    const std::string mark = device.hostRoot() + "/Temp/written";
    std::ofstream(device.hostRoot() + "/Temp/glass.txt") << settings_text("glass_zoom");
    device.writeFile(u"\\Program Files\\Tarn\\Magnikeys\\optarix.exe",
                     "#!/bin/sh\ncp \"$POCKETSIM_ROOT/Temp/glass.txt\" \"$POCKETSIM_ROOT/Program Files/Tarn/Magnikeys/settings.txt\"\n"
                     "touch \"$POCKETSIM_ROOT/Temp/written\"\n");
    chmod(device.hostPath(u"\\Program Files\\Tarn\\Magnikeys\\optarix.exe").c_str(), 0755);

    // The script goes in as it is written, so the second half starts only once the settings
    // program has written the file, as a person would wait for it.
    std::string command = std::string("'") + POCKETSIM_BINARY + "' --no-install --root '" + device.hostRoot() + "' --shots '"
        + shots() + "' --script -";
    FILE* host = popen(command.c_str(), "w");
    ASSERT_NE(host, nullptr);
    std::fputs("sip show\nshot before_simple\ndown 119 239\nwait 700\nshot simple\nup\nwait 100\nkey extra\nkey settings\nwait 200\n",
               host);
    std::fflush(host);
    for (int i = 0; i < 500 && access(mark.c_str(), F_OK) != 0; ++i)
        usleep(10000);
    std::fputs("shot before_glass\ndown 119 239\nwait 700\nshot glass\nup\n", host);
    ASSERT_EQ(pclose(host), 0);
    ASSERT_EQ(access(mark.c_str(), F_OK), 0) << "the settings program never ran";

    Shot before_simple(shot("before_simple")), simple(shot("simple")), before_glass(shot("before_glass")), glass(shot("glass"));
    ASSERT_TRUE(before_simple.ok() && simple.ok() && before_glass.ok() && glass.ok());
    // The glass window stands centred on the keyboard (88 pixels high over a 26-pixel menu
    // bar): 90x90 from (75, 116).
    EXPECT_EQ(simple.differences(before_simple, 0, 0, 240, 206), 0);
    EXPECT_GT(glass.differences(before_glass, 75, 116, 165, 206), 1000);
    EXPECT_EQ(glass.differences(before_glass, 0, 0, 240, 116), 0);
    EXPECT_EQ(glass.differences(before_glass, 0, 116, 75, 206), 0);
    EXPECT_EQ(glass.differences(before_glass, 165, 116, 240, 206), 0);
}

} // namespace
