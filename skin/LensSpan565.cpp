#include "skin/Span565.h"

using namespace span;

namespace {

// The three channels as 8-bit values in 16-bit lanes of one word (red, green, blue from the
// bottom), so that one multiplication weighs all three: a lane's weighted sum stays below
// 255 * 256 and never carries into the next.
constexpr uint64_t kLanes = 0x000000FF00FF00FFull;

inline uint64_t expand(uint16_t p)
{
    return static_cast<uint64_t>((p >> 11) << 3) | static_cast<uint64_t>(((p >> 5) & 0x3F) << 2) << 16
        | static_cast<uint64_t>((p & 0x1F) << 3) << 32;
}

inline uint64_t lerp(uint64_t a, uint64_t b, unsigned f)
{
    return ((a * (256 - f) + b * f) >> 8) & kLanes;
}

inline uint16_t pack(uint64_t v)
{
    unsigned r = static_cast<unsigned>(v) & 0xFF;
    unsigned g = static_cast<unsigned>(v >> 16) & 0xFF;
    unsigned b = static_cast<unsigned>(v >> 32) & 0xFF;
    return static_cast<uint16_t>((r >> 3) << 11 | (g >> 2) << 5 | (b >> 3));
}

inline uint16_t bilinear(uint16_t a, uint16_t b, uint16_t c, uint16_t d, unsigned fx, unsigned fy)
{
    return pack(lerp(lerp(expand(a), expand(b), fx), lerp(expand(c), expand(d), fx), fy));
}

} // namespace

void lens_map_0565(uint16_t* d, int n, const uint16_t* src, const LensEntry* table, int stride)
{
    for (int k = 0; k < n; ++k) {
        const LensEntry e = table[k];
        const uint16_t* s = src + e.index;
        d[k] = bilinear(s[0], s[1], s[stride], s[stride + 1], e.fx, e.fy);
    }
}

void lens_map_keyed_0565(uint16_t* d, int n, const uint16_t* src, const LensEntry* table, int stride,
                         const uint16_t* bg, const uint16_t* bg_last)
{
    for (int k = 0; k < n; ++k) {
        const LensEntry e = table[k];
        const uint16_t* s = src + e.index;
        uint16_t p[4] = { s[0], s[1], s[stride], s[stride + 1] };
        bool key[4] = { p[0] == kColorKey, p[1] == kColorKey, p[2] == kColorKey, p[3] == kColorKey };
        if (key[0] | key[1] | key[2] | key[3]) {
            if (key[0] & key[1] & key[2] & key[3]) {
                d[k] = bg[k];
                continue;
            }
            // The capture may be no larger than the lens: its last pixel bounds the lower pair.
            const uint16_t* under = bg + k;
            const int offset[4] = { 0, 1, stride, stride + 1 };
            for (int j = 0; j < 4; ++j)
                if (key[j])
                    p[j] = under + offset[j] <= bg_last ? under[offset[j]] : *bg_last;
        }
        d[k] = bilinear(p[0], p[1], p[2], p[3], e.fx, e.fy);
    }
}
