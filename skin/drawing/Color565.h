#pragma once
// Colour conversion: 8 bits per channel to the RGB565 pixel word, and to the platform's colour
// value for text. Alpha plays no part in either.
#include "skin/file/SkinColor.h"

#include <windef.h>

#include <cstdint>

constexpr uint16_t rgb565(uint8_t red, uint8_t green, uint8_t blue)
{
    return static_cast<uint16_t>((red >> 3) << 11 | (green >> 2) << 5 | (blue >> 3));
}

constexpr uint16_t rgb565(const SkinColor& c)
{
    return rgb565(c.red, c.green, c.blue);
}

constexpr COLORREF colorref(const SkinColor& c)
{
    return RGB(c.red, c.green, c.blue);
}
