#include "waylandhost/PanelGeometry.h"

#include <algorithm>
#include <cmath>

namespace waylandhost {

namespace {

constexpr int kMenuBarQvga = 26; // device pixels the keyboard leaves below itself, at 96 dpi
constexpr double kVgaFromDpi = 150; // outputs this dense get the VGA skin

}

std::string PanelGeometry::name() const
{
    return std::to_string(width) + "x" + std::to_string(height) + "@" + std::to_string(dpi);
}

PanelGeometry ChoosePanelGeometry(int width, int height, int heightMm, SkinSize skin, int keyboardWidth)
{
    PanelGeometry g;
    width = std::max(width, 16);
    height = std::max(height, 16);
    const double dpi = heightMm > 0 ? height * 25.4 / heightMm : 96.0;
    const bool vga = skin == SkinSize::Vga || (skin == SkinSize::Automatic && dpi >= kVgaFromDpi);
    g.dpi = vga ? 192 : 96;
    const int design = vga ? 480 : 240;
    if (keyboardWidth <= 0 || keyboardWidth > width)
        keyboardWidth = width;
    g.scale = static_cast<double>(keyboardWidth) / design;
    // A keyboard narrower than the output sits in the middle of a wider device screen.
    g.width = std::clamp(static_cast<int>(std::lround(width / g.scale)), design, 4096);
    const int menuBar = vga ? 2 * kMenuBarQvga : kMenuBarQvga;
    g.height = std::clamp(static_cast<int>(std::ceil(height / g.scale)) + menuBar, 16, 4096);
    return g;
}

}
