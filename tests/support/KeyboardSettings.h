#pragma once
// The keyboard's settings file as tests write it into a device, for the pictures and checks of
// the glass lens: the defaults but the board style (a file lacking a key is the defaults).
inline constexpr char16_t kKeyboardSettingsPath[] = u"\\Program Files\\Tarn\\Magnikeys\\settings.txt";
inline constexpr char kGlassLensSettings[] =
    "zoom_scale 2.0\nzoom_show_delay 0.325\nanimation_time 0.125\nzoom_power 0.3\nsmart_zoom true\n"
    "zooms_count_to_disable_delay 5\nprint_pause_to_enable_delay 3.0\nmin_time_for_press 0.2\n"
    "double_click_delay 0.5\nrepeat_delay 0.9\nrepeat_interval 0.15\nsettings_id 32\nlast_movement_ignore 0.065\n"
    "board_style glass_zoom\nglass_zoom_window_size 90 90\nglass_radius 50.0\nstroke_speed 600 300\n"
    "stroke_distance 30 20\n";
