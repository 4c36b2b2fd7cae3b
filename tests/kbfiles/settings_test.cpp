#include "kbfiles/KeyValueFile.h"
#include "kbfiles/kbSettings.h"
#include "tests/support/DeviceRoot.h"

#include <gtest/gtest.h>

#include <filesystem>

#include <sys/wait.h>
#include <unistd.h>

namespace {

const std::u16string kFile = u"\\Program Files\\Tarn\\Magnikeys\\settings.txt";

std::string utf16File(std::u16string_view text)
{
    std::string bytes = "\xFF\xFE";
    for (char16_t c : text) {
        bytes.push_back(char(c & 0xFF));
        bytes.push_back(char(c >> 8));
    }
    return bytes;
}

const char16_t kDefaultLines[] = u"zoom_scale 2.000000\n"
                                 u"zoom_show_delay 0.325000\n"
                                 u"animation_time 0.125000\n"
                                 u"zoom_power 0.300000\n"
                                 u"smart_zoom true\n"
                                 u"zooms_count_to_disable_delay 5\n"
                                 u"print_pause_to_enable_delay 3.000000\n"
                                 u"min_time_for_press 0.200000\n"
                                 u"double_click_delay 0.500000\n"
                                 u"repeat_delay 0.900000\n"
                                 u"repeat_interval 0.150000\n"
                                 u"settings_id 32\n"
                                 u"last_movement_ignore 0.065000\n"
                                 u"board_style simple\n"
                                 u"glass_zoom_window_size 90 90\n"
                                 u"glass_radius 50.000000\n"
                                 u"stroke_speed 600 300\n"
                                 u"stroke_distance 30 20\n";

struct Settings : DeviceRootTest {
    void SetUp() override
    {
        kbSettings::last_board_style_name().clear();
        std::filesystem::create_directories(device.hostPath(u"\\Program Files\\Tarn\\Magnikeys")); // installed
    }
    void writeSettings(std::u16string_view lines) { device.writeFile(kFile, utf16File(lines)); }
    std::string fileWith(std::u16string_view from, std::u16string_view to) const
    {
        std::u16string text = kDefaultLines;
        text.replace(text.find(from), from.size(), to);
        return utf16File(text);
    }
};

TEST_F(Settings, MissingOrEmptyFileIsWrittenWithTheDefaults)
{
    kbSettings settings;
    const std::string expected = utf16File(kDefaultLines);
    EXPECT_EQ(expected.size(), 2 + 2 * std::u16string_view(kDefaultLines).size());
    EXPECT_EQ(device.readFile(kFile), expected);
    EXPECT_EQ(settings.board_style, 0);
    EXPECT_EQ(settings.glass_zoom_window_size, (kbIntPair { 90, 90 }));

    device.writeFile(kFile, "");
    EXPECT_FALSE(settings.read());
    EXPECT_EQ(device.readFile(kFile), expected);
    // A complete file is taken as it is and not written again.
    EXPECT_TRUE(settings.read());
}

TEST_F(Settings, CompleteFileIsReadAndWrittenBackUnchanged)
{
    std::u16string text = kDefaultLines;
    auto set = [&](std::u16string_view line, std::u16string_view to) { text.replace(text.find(line), line.size(), to); };
    set(u"zoom_scale 2.000000", u"zoom_scale 2.5");
    set(u"smart_zoom true", u"smart_zoom FALSE");
    set(u"board_style simple", u"board_style glass_zoom");
    set(u"stroke_speed 600 300", u"stroke_speed -1 \t 7");
    set(u"settings_id 32", u"settings_id 12abc");
    writeSettings(text);

    kbSettings settings;
    EXPECT_DOUBLE_EQ(settings.zoom_scale, 2.5);
    EXPECT_FALSE(settings.smart_zoom);
    EXPECT_EQ(settings.board_style, 2);
    EXPECT_EQ(settings.stroke_speed, (kbIntPair { -1, 7 }));
    EXPECT_EQ(settings.settings_id, 12);
    ASSERT_TRUE(settings.write());
    auto written = device.readFile(kFile);
    std::u16string expected = kDefaultLines;
    for (auto [from, to] : { std::pair<std::u16string_view, std::u16string_view> { u"zoom_scale 2.000000", u"zoom_scale 2.500000" },
             { u"smart_zoom true", u"smart_zoom false" }, { u"board_style simple", u"board_style glass_zoom" },
             { u"stroke_speed 600 300", u"stroke_speed -1 7" }, { u"settings_id 32", u"settings_id 12" } })
        expected.replace(expected.find(from), from.size(), to);
    EXPECT_EQ(written, utf16File(expected));
}

TEST_F(Settings, MalformedValueKeepsItAndEveryLaterKeyAndRepairs)
{
    writeSettings(u"zoom_scale 3\nzoom_show_delay 0.5\nanimation_time 0.25\nzoom_power 0.5\nsmart_zoom yes\n"
                  u"zooms_count_to_disable_delay 9\nsettings_id 40\nboard_style i_zoom\n");
    kbSettings settings;
    EXPECT_DOUBLE_EQ(settings.zoom_scale, 3.0);
    EXPECT_DOUBLE_EQ(settings.zoom_show_delay, 0.5);
    EXPECT_DOUBLE_EQ(settings.animation_time, 0.25);
    EXPECT_DOUBLE_EQ(settings.zoom_power, 0.5);
    EXPECT_TRUE(settings.smart_zoom);
    EXPECT_EQ(settings.zooms_count_to_disable_delay, 5);
    EXPECT_EQ(settings.settings_id, 32);
    EXPECT_EQ(settings.board_style, 0) << "board_style comes last and was never reached";
    std::u16string expected = kDefaultLines;
    for (auto [from, to] : { std::pair<std::u16string_view, std::u16string_view> { u"zoom_scale 2.000000", u"zoom_scale 3.000000" },
             { u"zoom_show_delay 0.325000", u"zoom_show_delay 0.500000" }, { u"animation_time 0.125000", u"animation_time 0.250000" },
             { u"zoom_power 0.300000", u"zoom_power 0.500000" } })
        expected.replace(expected.find(from), from.size(), to);
    EXPECT_EQ(device.readFile(kFile), utf16File(expected));
}

TEST_F(Settings, LaterReadsKeepTheValuesInForce)
{
    kbSettings settings;
    settings.zoom_scale = 4;
    settings.repeat_delay = 1.5;
    settings.board_style = 3;
    ASSERT_TRUE(settings.write());
    ASSERT_TRUE(settings.read());
    EXPECT_EQ(settings.board_style, 3);
    // The file loses its tail: keys from the missing one on keep what the record holds.
    writeSettings(u"zoom_scale 1.5\n");
    settings.repeat_delay = 2.5;
    EXPECT_FALSE(settings.read());
    EXPECT_DOUBLE_EQ(settings.zoom_scale, 1.5);
    EXPECT_DOUBLE_EQ(settings.repeat_delay, 2.5);
    EXPECT_EQ(settings.board_style, 3) << "the name read last time still names the style";
    EXPECT_NE(device.readFile(kFile)->find(utf16File(u"board_style i_zoom\n").substr(2)), std::string::npos);
}

TEST_F(Settings, GlassWindowSizeIsKeptEven)
{
    device.writeFile(kFile, fileWith(u"glass_zoom_window_size 90 90", u"glass_zoom_window_size 91 90"));
    kbSettings a;
    EXPECT_EQ(a.glass_zoom_window_size, (kbIntPair { 92, 90 }));
    device.writeFile(kFile, fileWith(u"glass_zoom_window_size 90 90", u"glass_zoom_window_size -3 5"));
    kbSettings b;
    EXPECT_EQ(b.glass_zoom_window_size, (kbIntPair { -2, 6 }));
    // Evened also when the lookup stopped before the size: the value in force is evened.
    b.glass_zoom_window_size = { 7, 9 };
    writeSettings(u"");
    b.read();
    EXPECT_EQ(b.glass_zoom_window_size, (kbIntPair { 8, 10 }));
    // Raising the largest odd number would overflow.
    device.writeFile(kFile, fileWith(u"glass_zoom_window_size 90 90", u"glass_zoom_window_size 2147483647 -2147483647"));
    kbSettings c;
    EXPECT_EQ(c.glass_zoom_window_size, (kbIntPair { 2147483646, -2147483646 }));
}

TEST_F(Settings, UnknownStyleNameMeansSimple)
{
    device.writeFile(kFile, fileWith(u"board_style simple", u"board_style glass_zoom"));
    kbSettings known;
    EXPECT_EQ(known.board_style, 2);
    ASSERT_TRUE(known.write());
    EXPECT_EQ(device.readFile(kFile), fileWith(u"board_style simple", u"board_style glass_zoom"));

    device.writeFile(kFile, fileWith(u"board_style simple", u"board_style Glass_Zoom"));
    kbSettings unknown;
    EXPECT_EQ(unknown.board_style, 0);
    EXPECT_EQ(unknown.style_names.at(u"Glass_Zoom"), 0);

    device.writeFile(kFile, fileWith(u"board_style simple", u"board_style "));
    kbSettings empty;
    EXPECT_EQ(empty.board_style, 0);
    ASSERT_TRUE(empty.write());
    EXPECT_EQ(device.readFile(kFile), utf16File(kDefaultLines)) << "the empty name is never written";
}

TEST_F(Settings, PlainEightBitFileIsRead)
{
    std::string narrow;
    for (char16_t c : std::u16string(kDefaultLines))
        narrow.push_back(char(c));
    narrow.replace(narrow.find("zoom_scale 2.000000"), 19, "zoom_scale=2.75");
    device.writeFile(kFile, narrow);
    kbSettings settings;
    EXPECT_DOUBLE_EQ(settings.zoom_scale, 2.75);
    EXPECT_EQ(device.readFile(kFile), narrow) << "a complete file is not rewritten";
}

TEST_F(Settings, AReaderNeverSeesAHalfWrittenFile)
{
    kbSettings settings;
    pid_t writer = fork();
    if (writer == 0) {
        for (int i = 0; i < 300; ++i) {
            settings.zoom_scale = 1 + i % 5;
            settings.write();
        }
        _exit(0);
    }
    // Each read of a torn file would rewrite it with defaults; a whole file reads completely.
    int incomplete = 0;
    for (int i = 0; i < 300; ++i) {
        kbSettings reader;
        if (!reader.read())
            ++incomplete;
    }
    int status = 0;
    waitpid(writer, &status, 0);
    EXPECT_EQ(incomplete, 0);
}

}
