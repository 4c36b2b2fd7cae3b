#pragma once
// How the keyboard's own numbers follow its screen. The device's skin is drawn for 96 dpi and
// doubled on other screens: the zoom windows and the menu bar kept free below the keyboard
// double with it, while strokes and the lens radius stay as settings.txt gives them. A skin
// compiled and drawn for its screen at a scale S (a desktop's) carries every one of them at S,
// so that a stroke, the movement allowance and the glass window are the same gesture relative
// to the keys on every screen; settings.txt stays in design pixels.
class Properties;
struct DisplayInfo;

struct ScreenScale {
    double zoom = 1; // glass and strip windows: design pixels to screen pixels
    double gestures = 1; // stroke speeds and distances, the glass radius: design to screen pixels
    int bottom_offset = 26; // kept free below the keyboard: the menu bar

    static ScreenScale of(const Properties& skin, const DisplayInfo& display);
};
