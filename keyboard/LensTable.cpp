#include "keyboard/LensTable.h"

#include "skin/drawing/PixelBuffer.h"

#include <algorithm>
#include <cmath>

namespace {

bool fits(const PixelBuffer& b, int width, int height)
{
    return b.width() == width && b.height() == height && b.pitch() == width * 2;
}

}

bool LensTable::build(int width, int height, double radius)
{
    if (width < 2 || height < 2 || width > 4096 || height > 4096) {
        m_index.clear();
        m_fx.clear();
        m_fy.clear();
        m_width = m_height = 0;
        return false;
    }
    // The same number of entries is not enough: a 90x120 table is wrong for a 120x90 lens,
    // and a new radius is a new lens.
    if (width == m_width && height == m_height && radius == m_radius && !empty())
        return false;
    m_width = width;
    m_height = height;
    m_radius = radius;
    const size_t count = static_cast<size_t>(width) * height;
    m_index.assign(count, 0);
    m_fx.assign(count, 0);
    m_fy.assign(count, 0);

    const double cx = width * 0.5, cy = height * 0.5;
    const double s = std::max(cx, cy);
    const double r = radius;
    // The lower pair of the last index used must stay inside the picture.
    const int max_index = width * height - width - 2;
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            double dx = x - cx, dy = y - cy;
            double k = r / std::sqrt(s * s + r * r - 0.4444444444444444 * (dx * dx + dy * dy));
            double sx = cx + k * dx, sy = cy + k * dy;
            // Within 1.5 s of the centre the formula stays inside the lens; anything else (a
            // lens too oblong, a radius out of its range) shows the pixel unmagnified.
            if (!(sx >= 0 && sx < width && sy >= 0 && sy < height)) {
                sx = x;
                sy = y;
            }
            double tx = std::trunc(sx), ty = std::trunc(sy);
            int index = static_cast<int>(tx) + static_cast<int>(ty) * width;
            const size_t i = static_cast<size_t>(x) + static_cast<size_t>(y) * width;
            m_index[i] = std::clamp(index, 0, std::max(0, max_index));
            m_fx[i] = static_cast<uint8_t>(std::trunc((sx - tx) * 256));
            m_fy[i] = static_cast<uint8_t>(std::trunc((sy - ty) * 256));
        }
    }
    return true;
}

bool LensTable::map(const PixelBuffer& source, PixelBuffer& dest, const PixelBuffer* background) const
{
    if (empty() || !fits(source, m_width, m_height) || !fits(dest, m_width, m_height)
        || (background && !fits(*background, m_width, m_height)))
        return false;
    const int count = m_width * m_height - m_width;
    if (background) {
        const uint16_t* bg = background->pixels();
        lens_map_keyed_0565(dest.pixels(), count, source.pixels(), entries(), m_width, bg,
                            bg + m_width * m_height - 1);
    } else {
        lens_map_0565(dest.pixels(), count, source.pixels(), entries(), m_width);
    }
    return true;
}
