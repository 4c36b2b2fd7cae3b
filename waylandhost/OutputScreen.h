#pragma once
// The screen the keyboard is sized for on a Wayland output: the output's own pixels as programs
// see them, with its size in millimetres. An output that does not tell its size (headless and
// virtual ones, many projectors) is taken at 96 dpi times its scale, as its compositor draws
// programs at that density.
#include "panel_host/DesktopSize.h"

namespace waylandhost {

// What the output reports, in its own pixels as programs see them (its mode, turned by its
// transform): the pixels the keyboard is drawn in.
struct OutputSize {
    int width = 0;
    int height = 0;
    int widthMm = 0; // as programs see them; 0: unknown
    int heightMm = 0;
    int scale = 1; // output pixels per logical pixel
    bool operator==(const OutputSize&) const = default;
};

pocketsim::DesktopScreen DesktopScreenOf(const OutputSize& output);

}
