#pragma once
// The device screen that the keyboard sees on a desktop. The keyboard is drawn at its design size
// for a QVGA (96 dpi) or VGA (192 dpi) device and magnified to the X screen; the device screen is
// the X screen divided by that magnification, plus the menu bar that the keyboard keeps free
// below itself, which falls off the bottom of the X screen so that the panel sits on its edge.
#include <string>

namespace x11host {

struct DesktopGeometry {
    int width = 240; // device pixels
    int height = 320;
    int dpi = 96;
    double scale = 1; // X pixels per device pixel

    // "WxH@DPI" for SimSetGeometry.
    std::string name() const;
};

enum class SkinSize { Automatic, Qvga, Vga };

// screenWidth x screenHeight X pixels, screenHeightMm millimetres high (0: unknown, taken as
// 96 dpi). keyboardWidth: X pixels the keyboard spans (0: the screen's width).
DesktopGeometry ChooseGeometry(int screenWidth, int screenHeight, int screenHeightMm, SkinSize skin = SkinSize::Automatic,
    int keyboardWidth = 0);

}
