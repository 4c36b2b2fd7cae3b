#pragma once
#include <cstdint>

// A colour as skins store it; fills and text ignore alpha.
struct SkinColor {
    uint8_t red = 0;
    uint8_t green = 0;
    uint8_t blue = 0;
    uint8_t alpha = 255;

    bool operator==(const SkinColor&) const = default;
};
