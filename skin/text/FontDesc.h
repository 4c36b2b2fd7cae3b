#pragma once
// How a skin describes a font; FontRep makes the platform font from it.
#include <algorithm>
#include <climits>
#include <string>

struct FontDesc {
    int size = 12; // points; 0 means no font at all
    int scale = 1; // 2^scale_shift of the skin
    bool bold = false;
    bool italic = false;
    bool underline = false;
    std::u16string face = u"Tahoma";

    // Negative: a character height in pixels at the device's 96 logical dots per inch,
    // multiplied out left to right as the device does (12 at scale 2 gives -32). Worked out
    // wide: a skin may hold any size, and an absurd one must stay absurd (the platform then
    // refuses it) rather than overflow.
    int logical_height() const
    {
        long long height = static_cast<long long>(size) * scale * -96 / 72;
        return static_cast<int>(std::clamp<long long>(height, INT_MIN, INT_MAX));
    }
};
