#pragma once
// Span operations on RGB565 rows, named as pixman names its fast paths: operation, then the
// pixel format. Each comes in four shapes:
//   name_0565(d, s, n)                          d[k] from s[k]
//   name_scaled_0565(d, n, row, pos, step)      d[k] from row[(pos + k*step) >> 10]
//   name_guided_0565(d, n, row, start, shift)   d[k] from row[(start + k) >> shift]
//   name_tiled_0565(d, n, row, i, shift, t0, t1)  d[k] from row[i >> shift], i stepping from
//                                               its start and wrapping from t1 back to t0
// A count of 0 or less does nothing.
#include <cstdint>

namespace span {

constexpr uint16_t kColorKey = 0xF81F; // transparent in every picture and cache
constexpr uint16_t kOpaqueBit = 0x0020; // lowest green bit: set on opaque pixels
constexpr uint16_t kHalfMask = 0x7BEF; // per channel, after >> 1
constexpr uint16_t kQuarterMask = 0x39E7; // per channel, after >> 2

// Per-channel factors of the modulations, 256 = unchanged; values outside 0...256 count as the
// nearest end (a larger factor would carry one channel into the next).
struct Factors {
    int red = 256;
    int green = 256;
    int blue = 256;
};

} // namespace span

#define MK_DECLARE_SPANS(name, ...)                                                              \
    void name##_0565(uint16_t* d, const uint16_t* s, int n __VA_OPT__(, ) __VA_ARGS__);          \
    void name##_scaled_0565(uint16_t* d, int n, const uint16_t* row, int pos,                    \
                            int step __VA_OPT__(, ) __VA_ARGS__);                                \
    void name##_guided_0565(uint16_t* d, int n, const uint16_t* row, int start,                  \
                            int shift __VA_OPT__(, ) __VA_ARGS__);                               \
    void name##_tiled_0565(uint16_t* d, int n, const uint16_t* row, int i, int shift, int t0,    \
                           int t1 __VA_OPT__(, ) __VA_ARGS__);

// d := s
MK_DECLARE_SPANS(copy)
// d := s unless s is the colour key
MK_DECLARE_SPANS(key)
// Translucent pixels (opacity bit clear) are already weighted; a quarter, half or three
// quarters of the destination shows through them. Opaque pixels replace, the key keeps d.
MK_DECLARE_SPANS(translucent1)
MK_DECLARE_SPANS(translucent2)
MK_DECLARE_SPANS(translucent3)
// d := s for opaque pixels only
MK_DECLARE_SPANS(opaque)
// Marks what text drawing changed: d := (s == d) ? s : s | opacity bit
MK_DECLARE_SPANS(text_return)
// d := modulate(s)
MK_DECLARE_SPANS(modulate, span::Factors f)
// d := d | modulate(s)
MK_DECLARE_SPANS(modulate_over, span::Factors f)

#undef MK_DECLARE_SPANS

// Every pixel := colour, two per 32-bit store where aligned.
void fill_0565(uint16_t* d, int n, uint16_t colour);

// In-place brightness: entry k of the 17 scales every channel by about k/16 with per-channel
// shifts (entry 0 black, entry 16 unchanged).
using BrightnessSpan = void (*)(uint16_t* d, int n);
const BrightnessSpan* brightness_spans();
