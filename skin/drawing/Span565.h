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

// A lens table from some destination pixel on: for each pixel the top-left of its four source
// pixels (row-major in a buffer `stride` pixels wide) and where it lies between them, in 1/256.
struct LensEntries {
    const int32_t* index;
    const uint8_t* fx;
    const uint8_t* fy;
};

// The half-sum of two pixels, channel by channel.
constexpr uint16_t average(uint16_t a, uint16_t b)
{
    return static_cast<uint16_t>(((a >> 1) & kHalfMask) + ((b >> 1) & kHalfMask));
}

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


// The zoom views. The opacity bit doubles there as a lens mark: the border picture marks what
// lies outside the lens, and the lens operations leave marked pixels alone.
// d := s where d is the colour key
MK_DECLARE_SPANS(key_fill)
// d := average(d, s)
MK_DECLARE_SPANS(half)
// Draws the lens border: a key pixel marks d, a pixel with the bit is a half-transparent rim
// (marked), any other pixel clears the mark (the lens interior).
MK_DECLARE_SPANS(border_mark)
// d := s where d is unmarked
MK_DECLARE_SPANS(lens_fill)
// d := average(d, s) where d is unmarked
MK_DECLARE_SPANS(lens_blend)

#undef MK_DECLARE_SPANS

// Bilinear lens mapping of n destination pixels: d[k] from the four pixels of src at
// table.index[k], +1, +stride and +stride+1, weighted by table.fx[k] and fy[k] / 256 with every
// channel carried in 8 bits and truncated. Indices must leave room for the lower pair.
void lens_map_0565(uint16_t* d, int n, const uint16_t* src, span::LensEntries table, int stride);
// The same where source key pixels are see-through: each is replaced by the background pixel
// at the same offset from the destination (bg[k], +1, +stride, +stride+1; never beyond
// bg_last), and a pixel whose four sources are all keys becomes bg[k].
void lens_map_keyed_0565(uint16_t* d, int n, const uint16_t* src, span::LensEntries table, int stride,
                         const uint16_t* bg, const uint16_t* bg_last);
// The two without the processor's vector unit, as other processors run them.
void lens_map_portable_0565(uint16_t* d, int n, const uint16_t* src, span::LensEntries table, int stride);
void lens_map_keyed_portable_0565(uint16_t* d, int n, const uint16_t* src, span::LensEntries table,
                                  int stride, const uint16_t* bg, const uint16_t* bg_last);

// Every pixel := colour, two per 32-bit store where aligned.
void fill_0565(uint16_t* d, int n, uint16_t colour);

// In-place brightness: entry k of the 17 scales every channel by about k/16 with per-channel
// shifts (entry 0 black, entry 16 unchanged).
using BrightnessSpan = void (*)(uint16_t* d, int n);
const BrightnessSpan* brightness_spans();
