#pragma once
// The scale a skin is drawn and compiled at, as skinart, menuart and skinc take it: design
// pixels (those of a 96 dpi screen) to screen pixels, in thousandths, the step the compiled
// skin records it in. One reading for the three tools, so that a skin's rectangles fall on the
// pictures drawn for it.
#include <cmath>
#include <cstdlib>

namespace art {

// A design length at a scale, in whole pixels: floor(v * scale + 0.5). The art tools draw each
// piece of a picture onto the pixels its rounded edges cover, and skinc rounds the skin's
// rectangles and guides the same way, so that they fall on the pieces.
inline int Scaled(double v, double scale)
{
    return int(std::floor(v * scale + 0.5));
}

}

inline constexpr double kMinArtScale = 1.0;
inline constexpr double kMaxArtScale = 16.0;

inline bool ParseArtScale(const char* text, double& scale)
{
    char* end = nullptr;
    const double value = std::strtod(text, &end);
    if (end == text || *end || !(value >= kMinArtScale && value <= kMaxArtScale))
        return false;
    scale = std::round(value * 1000) / 1000;
    return true;
}
