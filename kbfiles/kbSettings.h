#pragma once
// The keyboard's tunable behaviour, kept in "settings.txt" beside the programs. Times are in
// seconds, sizes and distances in pixels. The input method and the settings program share
// this record, its reader and its writer.
#include <cstdint>
#include <map>
#include <string>

inline constexpr char16_t kSettingsPath[] = u"%program_files%/Tarn/Magnikeys/settings.txt";

struct kbIntPair {
    int32_t x;
    int32_t y;
    bool operator==(const kbIntPair&) const = default;
};

class kbSettings {
public:
    // Defaults, then the file (which is completed on disk when missing or damaged).
    kbSettings();

    // Fills the record from the file; true when every key was read. A missing, old or damaged
    // file is rewritten at once with the values then in force.
    bool read();
    // Replaces the file with the record.
    bool write() const;

    std::map<std::u16string, int32_t> style_names; // name -> style number, sorted by name
    int32_t settings_id = 32;
    double zoom_scale = 2.0;
    double zoom_show_delay = 0.325;
    double animation_time = 0.125;
    double zoom_power = 0.3;
    double double_click_delay = 0.5;
    double repeat_delay = 0.9;
    double repeat_interval = 0.15;
    double last_movement_ignore = 0.065;
    int32_t board_style = 0; // 0 "simple", 1 "flat_zoom", 2 "glass_zoom", 3 "i_zoom"
    double print_pause_to_enable_delay = 3.0;
    int32_t zooms_count_to_disable_delay = 5;
    bool smart_zoom = true;
    kbIntPair glass_zoom_window_size { 90, 90 }; // width, height; kept even
    double glass_radius = 50.0;
    kbIntPair stroke_speed { 600, 300 };
    kbIntPair stroke_distance { 30, 20 };
    double min_time_for_press = 0.2;

    // The board-style name most recently read from a file by any record of this process.
    static std::u16string& last_board_style_name();

    // The file's bytes for the record as it is.
    std::string file_bytes() const;
};
