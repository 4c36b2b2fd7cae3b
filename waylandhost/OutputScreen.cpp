#include "waylandhost/OutputScreen.h"

#include <algorithm>
#include <cmath>

namespace waylandhost {

pocketsim::DesktopScreen DesktopScreenOf(const OutputSize& output)
{
    pocketsim::DesktopScreen screen;
    screen.width = std::max(0, output.width);
    screen.height = std::max(0, output.height);
    if (output.widthMm > 0 && output.heightMm > 0) {
        screen.width_mm = output.widthMm;
        screen.height_mm = output.heightMm;
        return screen;
    }
    const double dpi = 96.0 * std::clamp(output.scale, 1, 8);
    screen.width_mm = static_cast<int>(std::lround(screen.width * 25.4 / dpi));
    screen.height_mm = static_cast<int>(std::lround(screen.height * 25.4 / dpi));
    return screen;
}

}
