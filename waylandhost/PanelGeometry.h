#pragma once
// The device screen that the keyboard sees on a Wayland output. For now the keyboard is drawn at
// its design size for a QVGA (96 dpi) or VGA (192 dpi) device and magnified to the output's
// width, as magnikeys-x11 does; the device screen is the output divided by that magnification,
// plus the menu bar that the keyboard keeps free below itself, which falls off the bottom of
// the output so that the panel sits on its edge. All the sizing is this one function.
#include <string>

namespace waylandhost {

struct PanelGeometry {
    int width = 240; // device pixels
    int height = 320;
    int dpi = 96;
    double scale = 1; // logical output pixels per device pixel

    // "WxH@DPI" for SimSetGeometry.
    std::string name() const;
};

enum class SkinSize { Automatic, Qvga, Vga };

// An output of width x height logical pixels, heightMm millimetres high (0: unknown, taken as
// 96 dpi). keyboardWidth: logical pixels the keyboard spans (0: the output's width).
PanelGeometry ChoosePanelGeometry(int width, int height, int heightMm, SkinSize skin = SkinSize::Automatic, int keyboardWidth = 0);

}
