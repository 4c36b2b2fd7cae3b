#include "skin/drawing/Span565.h"

#include <algorithm>
#include <cstring>

using namespace span;

namespace {

// ---- the four loop shapes, for any per-pixel rule -------------------------------------------
// Rules are written as selects rather than skipped stores so that the compiler may vectorise.

template <class Rule>
inline void span_loop(uint16_t* d, const uint16_t* s, int n, Rule rule)
{
    for (int k = 0; k < n; ++k)
        d[k] = rule(s[k], d[k]);
}

template <class Rule>
inline void guided_loop(uint16_t* d, int n, const uint16_t* row, int start, int shift, Rule rule)
{
    if (n <= 0)
        return;
    if (shift == 0) {
        span_loop(d, row + start, n, rule);
        return;
    }
    for (int k = 0; k < n; ++k)
        d[k] = rule(row[(start + k) >> shift], d[k]);
}

template <class Rule>
inline void scaled_loop(uint16_t* d, int n, const uint16_t* row, int pos, int step, Rule rule)
{
    if (n <= 0)
        return;
    // Whole and double sizes are the common steps: both are guided spans in disguise.
    if (step == 1024) {
        guided_loop(d, n, row, pos >> 10, 0, rule);
        return;
    }
    if (step == 512) {
        guided_loop(d, n, row, 2 * (pos >> 10) + ((pos & 1023) >= 512), 1, rule);
        return;
    }
    for (int k = 0; k < n; ++k, pos += step)
        d[k] = rule(row[pos >> 10], d[k]);
}

// A start outside the tile would never wrap: nothing is drawn for it.
template <class Rule>
inline void tiled_loop(uint16_t* d, int n, const uint16_t* row, int i, int shift, int t0, int t1,
                       Rule rule)
{
    if (n <= 0 || i < t0 || i >= t1)
        return;
    while (n > 0) {
        int run = std::min(n, t1 - i);
        guided_loop(d, run, row, i, shift, rule);
        d += run;
        n -= run;
        i = t0;
    }
}

// ---- per-pixel rules --------------------------------------------------------------------------

struct Copy {
    uint16_t operator()(uint16_t s, uint16_t) const { return s; }
};

struct Key {
    uint16_t operator()(uint16_t s, uint16_t d) const { return s == kColorKey ? d : s; }
};

template <int Level>
struct Translucent {
    uint16_t operator()(uint16_t s, uint16_t d) const
    {
        uint16_t under;
        if constexpr (Level == 1)
            under = (d >> 2) & kQuarterMask;
        else if constexpr (Level == 2)
            under = (d >> 1) & kHalfMask;
        else
            under = static_cast<uint16_t>(((d >> 2) & kQuarterMask) + ((d >> 1) & kHalfMask));
        uint16_t blended = static_cast<uint16_t>(s + under);
        uint16_t drawn = (s & kOpaqueBit) ? s : blended;
        return s == kColorKey ? d : drawn;
    }
};

struct Opaque {
    uint16_t operator()(uint16_t s, uint16_t d) const { return (s & kOpaqueBit) ? s : d; }
};

struct TextReturn {
    uint16_t operator()(uint16_t s, uint16_t d) const
    {
        return s == d ? s : static_cast<uint16_t>(s | kOpaqueBit);
    }
};

Factors clamped(Factors f)
{
    return Factors { std::clamp(f.red, 0, 256), std::clamp(f.green, 0, 256), std::clamp(f.blue, 0, 256) };
}

struct Modulate {
    explicit Modulate(Factors f)
        : f(clamped(f))
    {
    }
    uint16_t apply(uint16_t s) const
    {
        unsigned r = ((s >> 11) << 3) * static_cast<unsigned>(f.red);
        unsigned g = (((s >> 5) & 0x3F) << 2) * static_cast<unsigned>(f.green);
        unsigned b = ((s & 0x1F) << 3) * static_cast<unsigned>(f.blue);
        return static_cast<uint16_t>((r & 0xF800) | ((g >> 5) & 0x07E0) | (b >> 11));
    }
    uint16_t operator()(uint16_t s, uint16_t) const { return apply(s); }
    Factors f;
};

struct ModulateOver : Modulate {
    using Modulate::Modulate;
    uint16_t operator()(uint16_t s, uint16_t d) const { return d | apply(s); }
};

// ---- the zoom views' rules ----------------------------------------------------------------

struct KeyFill {
    uint16_t operator()(uint16_t s, uint16_t d) const { return d == kColorKey ? s : d; }
};

struct Half {
    uint16_t operator()(uint16_t s, uint16_t d) const { return average(d, s); }
};

struct BorderMark {
    uint16_t operator()(uint16_t s, uint16_t d) const
    {
        uint16_t rim = static_cast<uint16_t>(average(s, d) | kOpaqueBit);
        uint16_t drawn = (s & kOpaqueBit) ? rim : static_cast<uint16_t>(d & ~kOpaqueBit);
        return s == kColorKey ? static_cast<uint16_t>(d | kOpaqueBit) : drawn;
    }
};

struct LensFill {
    uint16_t operator()(uint16_t s, uint16_t d) const { return (d & kOpaqueBit) ? d : s; }
};

struct LensBlend {
    uint16_t operator()(uint16_t s, uint16_t d) const { return (d & kOpaqueBit) ? d : average(d, s); }
};

// Pixel doubling for the copies: one 32-bit store per source pixel.
void double_pixels(uint16_t* d, int n, const uint16_t* row, int start)
{
    if (n <= 0)
        return;
    const uint16_t* s = row + (start >> 1);
    if (start & 1) {
        *d++ = *s++;
        --n;
    }
    for (; n >= 2; n -= 2, d += 2) {
        uint32_t pair = *s++;
        pair |= pair << 16;
        std::memcpy(d, &pair, 4);
    }
    if (n)
        *d = *s;
}

} // namespace

#define MK_DEFINE_SPANS(name, make_rule, ...)                                                    \
    void name##_0565(uint16_t* d, const uint16_t* s, int n __VA_OPT__(, ) __VA_ARGS__)           \
    {                                                                                            \
        span_loop(d, s, n, make_rule);                                                           \
    }                                                                                            \
    void name##_scaled_0565(uint16_t* d, int n, const uint16_t* row, int pos,                    \
                            int step __VA_OPT__(, ) __VA_ARGS__)                                 \
    {                                                                                            \
        scaled_loop(d, n, row, pos, step, make_rule);                                            \
    }                                                                                            \
    void name##_guided_0565(uint16_t* d, int n, const uint16_t* row, int start,                  \
                            int shift __VA_OPT__(, ) __VA_ARGS__)                                \
    {                                                                                            \
        guided_loop(d, n, row, start, shift, make_rule);                                         \
    }                                                                                            \
    void name##_tiled_0565(uint16_t* d, int n, const uint16_t* row, int i, int shift, int t0,    \
                           int t1 __VA_OPT__(, ) __VA_ARGS__)                                    \
    {                                                                                            \
        tiled_loop(d, n, row, i, shift, t0, t1, make_rule);                                      \
    }

MK_DEFINE_SPANS(key, Key {})
MK_DEFINE_SPANS(translucent1, Translucent<1> {})
MK_DEFINE_SPANS(translucent2, Translucent<2> {})
MK_DEFINE_SPANS(translucent3, Translucent<3> {})
MK_DEFINE_SPANS(opaque, Opaque {})
MK_DEFINE_SPANS(text_return, TextReturn {})
MK_DEFINE_SPANS(modulate, Modulate { f }, span::Factors f)
MK_DEFINE_SPANS(modulate_over, ModulateOver { f }, span::Factors f)
MK_DEFINE_SPANS(key_fill, KeyFill {})
MK_DEFINE_SPANS(half, Half {})
MK_DEFINE_SPANS(border_mark, BorderMark {})
MK_DEFINE_SPANS(lens_fill, LensFill {})
MK_DEFINE_SPANS(lens_blend, LensBlend {})

#undef MK_DEFINE_SPANS

// ---- copy: the hot path of every cached element and of the zoom views ----------------------

void copy_0565(uint16_t* d, const uint16_t* s, int n)
{
    if (n <= 0)
        return;
    std::memmove(d, s, static_cast<size_t>(n) * 2);
}

void copy_guided_0565(uint16_t* d, int n, const uint16_t* row, int start, int shift)
{
    if (n <= 0)
        return;
    if (shift == 0)
        copy_0565(d, row + start, n);
    else if (shift == 1)
        double_pixels(d, n, row, start);
    else
        guided_loop(d, n, row, start, shift, Copy {});
}

void copy_scaled_0565(uint16_t* d, int n, const uint16_t* row, int pos, int step)
{
    if (n <= 0)
        return;
    if (step == 1024)
        copy_0565(d, row + (pos >> 10), n);
    else if (step == 512)
        double_pixels(d, n, row, 2 * (pos >> 10) + ((pos & 1023) >= 512));
    else
        scaled_loop(d, n, row, pos, step, Copy {});
}

void copy_tiled_0565(uint16_t* d, int n, const uint16_t* row, int i, int shift, int t0, int t1)
{
    if (n <= 0 || i < t0 || i >= t1)
        return;
    while (n > 0) {
        int run = std::min(n, t1 - i);
        copy_guided_0565(d, run, row, i, shift);
        d += run;
        n -= run;
        i = t0;
    }
}

void fill_0565(uint16_t* d, int n, uint16_t colour)
{
    if (n <= 0)
        return;
    if (reinterpret_cast<uintptr_t>(d) & 2) {
        *d++ = colour;
        --n;
    }
    uint32_t pair = colour | static_cast<uint32_t>(colour) << 16;
    for (; n >= 2; n -= 2, d += 2)
        std::memcpy(d, &pair, 4);
    if (n)
        *d = colour;
}

// ---- brightness ---------------------------------------------------------------------------

namespace {

// H, Q, E, S: a half, quarter, eighth and sixteenth of every channel. The rounding term adds
// one to each channel: 0x0821, not 0x0861, which would add three to green and tint dark
// pixels green.
constexpr uint16_t kOneEach = 0x0821;

template <int K>
void brightness_0565(uint16_t* d, int n)
{
    for (int i = 0; i < n; ++i) {
        uint16_t q = d[i];
        uint16_t h = (q >> 1) & 0x7BEF;
        uint16_t qu = (q >> 2) & 0x39E7;
        uint16_t e = (q >> 3) & 0x18E3;
        uint16_t s = (q >> 4) & 0x0861;
        uint16_t r;
        switch (K) {
        case 0: r = 0; break;
        case 1: r = s; break;
        case 2: r = e; break;
        case 3: r = qu - s; break;
        case 4: r = qu; break;
        case 5: r = qu + s + kOneEach; break;
        case 6: r = h - e; break;
        case 7: r = h - s; break;
        case 8: r = h; break;
        case 9: r = h + s + kOneEach; break;
        case 10: r = h + e + kOneEach; break;
        case 11: r = h + e + s + kOneEach; break;
        case 12: r = q - qu; break;
        case 13: r = q - qu + s; break;
        case 14: r = q - e; break;
        case 15: r = q - s; break;
        default: r = q; break;
        }
        d[i] = r;
    }
}

} // namespace

const BrightnessSpan* brightness_spans()
{
    static const BrightnessSpan table[17] = {
        brightness_0565<0>, brightness_0565<1>, brightness_0565<2>, brightness_0565<3>,
        brightness_0565<4>, brightness_0565<5>, brightness_0565<6>, brightness_0565<7>,
        brightness_0565<8>, brightness_0565<9>, brightness_0565<10>, brightness_0565<11>,
        brightness_0565<12>, brightness_0565<13>, brightness_0565<14>, brightness_0565<15>,
        brightness_0565<16>,
    };
    return table;
}
