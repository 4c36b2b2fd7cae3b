#include "kbfiles/kbSettings.h"
#include "kbfiles/KeyValueFile.h"
#include "runtime/TextFile.h"

#include <charconv>
#include <cstdint>
#include <functional>
#include <vector>

namespace {

std::u16string wide(const std::string& ascii)
{
    return std::u16string(ascii.begin(), ascii.end());
}

// Six decimals in fixed notation, whatever the process's locale.
std::u16string fixed6(double value)
{
    char buffer[400];
    auto [end, ec] = std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::fixed, 6);
    return ec == std::errc() ? wide(std::string(buffer, end)) : u"0.000000";
}

std::u16string decimal(int32_t value)
{
    return wide(std::to_string(value));
}

// Odd sizes are raised by one; the largest number has no even number above it and is lowered.
int32_t even(int32_t value)
{
    if (value % 2 == 0)
        return value;
    return value == INT32_MAX ? value - 1 : value + 1;
}

std::u16string pair(const kbIntPair& value)
{
    return decimal(value.x) + u" " + decimal(value.y);
}

}

std::u16string& kbSettings::last_board_style_name()
{
    static std::u16string name;
    return name;
}

kbSettings::kbSettings()
{
    style_names = { { u"simple", 0 }, { u"flat_zoom", 1 }, { u"glass_zoom", 2 }, { u"i_zoom", 3 } };
    read();
}

bool kbSettings::read()
{
    KeyValueFile file;
    file.load(kSettingsPath);

    // The fixed lookup order: the first key that is missing or malformed ends it, and it and
    // every later key keep the values in force.
    const std::vector<std::function<bool()>> lookups = {
        [&] { return file.read_double(u"zoom_scale", zoom_scale); },
        [&] { return file.read_double(u"zoom_show_delay", zoom_show_delay); },
        [&] { return file.read_double(u"animation_time", animation_time); },
        [&] { return file.read_double(u"zoom_power", zoom_power); },
        [&] { return file.read_bool(u"smart_zoom", smart_zoom); },
        [&] { return file.read_int(u"zooms_count_to_disable_delay", zooms_count_to_disable_delay); },
        [&] { return file.read_double(u"print_pause_to_enable_delay", print_pause_to_enable_delay); },
        [&] { return file.read_double(u"min_time_for_press", min_time_for_press); },
        [&] { return file.read_double(u"double_click_delay", double_click_delay); },
        [&] { return file.read_double(u"repeat_delay", repeat_delay); },
        [&] { return file.read_double(u"repeat_interval", repeat_interval); },
        [&] { return file.read_int(u"settings_id", settings_id); },
        [&] { return file.read_double(u"last_movement_ignore", last_movement_ignore); },
        [&] { return file.read_pair(u"glass_zoom_window_size", glass_zoom_window_size.x, glass_zoom_window_size.y); },
        [&] { return file.read_double(u"glass_radius", glass_radius); },
        [&] { return file.read_pair(u"stroke_speed", stroke_speed.x, stroke_speed.y); },
        [&] { return file.read_pair(u"stroke_distance", stroke_distance.x, stroke_distance.y); },
        [&] { return file.read_text(u"board_style", last_board_style_name()); },
    };
    bool complete = true;
    for (const auto& lookup : lookups) {
        if (!lookup()) {
            complete = false;
            break;
        }
    }

    // The zoom windows are centred on the stylus, so their sizes stay even.
    glass_zoom_window_size.x = even(glass_zoom_window_size.x);
    glass_zoom_window_size.y = even(glass_zoom_window_size.y);

    auto style = style_names.find(last_board_style_name());
    if (style == style_names.end())
        style = style_names.emplace(last_board_style_name(), 0).first;
    board_style = style->second;

    if (!complete)
        write();
    return complete;
}

std::string kbSettings::file_bytes() const
{
    std::u16string styleName = u"simple";
    for (const auto& [name, number] : style_names) {
        if (!name.empty() && number == board_style) {
            styleName = name;
            break;
        }
    }
    const std::pair<const char16_t*, std::u16string> lines[] = {
        { u"zoom_scale", fixed6(zoom_scale) },
        { u"zoom_show_delay", fixed6(zoom_show_delay) },
        { u"animation_time", fixed6(animation_time) },
        { u"zoom_power", fixed6(zoom_power) },
        { u"smart_zoom", smart_zoom ? u"true" : u"false" },
        { u"zooms_count_to_disable_delay", decimal(zooms_count_to_disable_delay) },
        { u"print_pause_to_enable_delay", fixed6(print_pause_to_enable_delay) },
        { u"min_time_for_press", fixed6(min_time_for_press) },
        { u"double_click_delay", fixed6(double_click_delay) },
        { u"repeat_delay", fixed6(repeat_delay) },
        { u"repeat_interval", fixed6(repeat_interval) },
        { u"settings_id", decimal(settings_id) },
        { u"last_movement_ignore", fixed6(last_movement_ignore) },
        { u"board_style", styleName },
        { u"glass_zoom_window_size", pair(glass_zoom_window_size) },
        { u"glass_radius", fixed6(glass_radius) },
        { u"stroke_speed", pair(stroke_speed) },
        { u"stroke_distance", pair(stroke_distance) },
    };
    std::u16string text;
    for (const auto& [key, value] : lines)
        text += std::u16string(key) + u" " + value + u"\n";
    return Utf16FileBytes(text);
}

bool kbSettings::write() const
{
    return WriteWholeFile(kSettingsPath, file_bytes());
}
