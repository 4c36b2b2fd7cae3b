#include "tests/support/Sharpness.h"

#include <cmath>

double LonePixelShare(const uint16_t* pixels, int pitch, RECT region)
{
    long edges = 0, lone = 0;
    // The region's border pixels lack neighbours inside it: only the inner ones count.
    for (LONG y = region.top + 1; y + 1 < region.bottom; ++y) {
        const uint16_t* row = pixels + static_cast<size_t>(y) * pitch;
        for (LONG x = region.left + 1; x + 1 < region.right; ++x) {
            const uint16_t p = row[x], left = row[x - 1], right = row[x + 1], up = row[x - pitch], down = row[x + pitch];
            if (p == left && p == right && p == up && p == down)
                continue;
            ++edges;
            if ((p != left && p != right) || (p != up && p != down))
                ++lone;
        }
    }
    return edges ? double(lone) / double(edges) : 0.0;
}

std::vector<uint16_t> Replicated(const uint16_t* pixels, int pitch, RECT region, double factor, int& width, int& height)
{
    width = static_cast<int>(std::lround((region.right - region.left) * factor));
    height = static_cast<int>(std::lround((region.bottom - region.top) * factor));
    std::vector<uint16_t> out(static_cast<size_t>(width) * height);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            out[static_cast<size_t>(y) * width + x]
                = pixels[static_cast<size_t>(region.top + static_cast<LONG>(y / factor)) * pitch + region.left + static_cast<LONG>(x / factor)];
    return out;
}
