#include "x11host/DesktopGeometry.h"

#include <algorithm>
#include <cmath>

namespace x11host {

namespace {

constexpr int kMenuBarQvga = 26; // device pixels the keyboard leaves below itself, at 96 dpi
constexpr double kVgaFromDpi = 150; // screens this dense get the VGA skin

}

std::string DesktopGeometry::name() const
{
    return std::to_string(width) + "x" + std::to_string(height) + "@" + std::to_string(dpi);
}

DesktopGeometry ChooseGeometry(int screenWidth, int screenHeight, int screenHeightMm, SkinSize skin, int keyboardWidth)
{
    DesktopGeometry g;
    screenWidth = std::max(screenWidth, 16);
    screenHeight = std::max(screenHeight, 16);
    const double dpi = screenHeightMm > 0 ? screenHeight * 25.4 / screenHeightMm : 96.0;
    const bool vga = skin == SkinSize::Vga || (skin == SkinSize::Automatic && dpi >= kVgaFromDpi);
    g.dpi = vga ? 192 : 96;
    const int design = vga ? 480 : 240;
    if (keyboardWidth <= 0 || keyboardWidth > screenWidth)
        keyboardWidth = screenWidth;
    g.scale = static_cast<double>(keyboardWidth) / design;
    // A keyboard narrower than the screen sits in the middle of a wider device screen.
    g.width = std::clamp(static_cast<int>(std::lround(screenWidth / g.scale)), design, 4096);
    const int menuBar = vga ? 2 * kMenuBarQvga : kMenuBarQvga;
    g.height = std::clamp(static_cast<int>(std::ceil(screenHeight / g.scale)) + menuBar, 16, 4096);
    return g;
}

}
