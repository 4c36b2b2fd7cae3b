#include "skin/drawing/Span565.h"

#include <array>

#if defined(__x86_64__) || defined(__i386__)
#include <immintrin.h>
#define MK_LENS_AVX2 1
#endif

using namespace span;

namespace {

// ---- portable: the three channels as 8-bit values in 16-bit lanes of one word ---------------
// (red, green, blue from the bottom), so one multiplication weighs all three: a lane's weighted
// sum stays below 255 * 256 and never carries into the next.
constexpr uint64_t kLanes = 0x000000FF00FF00FFull;

constexpr uint64_t expand_slow(unsigned p)
{
    return static_cast<uint64_t>((p >> 11) << 3) | static_cast<uint64_t>(((p >> 5) & 0x3F) << 2) << 16
        | static_cast<uint64_t>((p & 0x1F) << 3) << 32;
}

// The channel fields add without carries, so a pixel widens as its two bytes do separately.
struct ExpandTables {
    std::array<uint64_t, 256> high {}, low {};
    constexpr ExpandTables()
    {
        for (unsigned b = 0; b < 256; ++b) {
            high[b] = expand_slow(b << 8);
            low[b] = expand_slow(b);
        }
    }
};
constexpr ExpandTables kExpand;

inline uint64_t expand(uint16_t p)
{
    return kExpand.high[p >> 8] + kExpand.low[p & 0xFF];
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

inline void map_plain(uint16_t* d, int n, const uint16_t* src, LensEntries t, int stride)
{
    for (int k = 0; k < n; ++k) {
        const uint16_t* s = src + t.index[k];
        d[k] = bilinear(s[0], s[1], s[stride], s[stride + 1], t.fx[k], t.fy[k]);
    }
}

inline void map_keyed(uint16_t* d, int n, const uint16_t* src, LensEntries t, int stride, const uint16_t* bg,
                      const uint16_t* bg_last)
{
    for (int k = 0; k < n; ++k) {
        const uint16_t* s = src + t.index[k];
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
        d[k] = bilinear(p[0], p[1], p[2], p[3], t.fx[k], t.fy[k]);
    }
}

LensEntries advanced(LensEntries t, int k)
{
    return LensEntries { t.index + k, t.fx + k, t.fy + k };
}

#ifdef MK_LENS_AVX2

// ---- AVX2: eight pixels at a time ----------------------------------------------------------
// One 32-bit gather at index fetches a source pair (index, index + 1) into one lane; madd then
// weighs the pair with (256 - f, f) and adds it, which is the step along x, and the same on the
// (upper, lower) results is the step along y.

__attribute__((target("avx2"))) inline __m256i weights(const uint8_t* f)
{
    __m256i v = _mm256_cvtepu8_epi32(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(f)));
    return _mm256_or_si256(_mm256_sub_epi32(_mm256_set1_epi32(256), v), _mm256_slli_epi32(v, 16));
}

__attribute__((target("avx2"))) inline void channels(__m256i pairs, __m256i w, __m256i& r, __m256i& g, __m256i& b)
{
    const __m256i f8 = _mm256_set1_epi16(0xF8), fc = _mm256_set1_epi16(0xFC);
    r = _mm256_srli_epi32(_mm256_madd_epi16(_mm256_and_si256(_mm256_srli_epi16(pairs, 8), f8), w), 8);
    g = _mm256_srli_epi32(_mm256_madd_epi16(_mm256_and_si256(_mm256_srli_epi16(pairs, 3), fc), w), 8);
    b = _mm256_srli_epi32(_mm256_madd_epi16(_mm256_and_si256(_mm256_slli_epi16(pairs, 3), f8), w), 8);
}

__attribute__((target("avx2"))) inline __m256i along_y(__m256i top, __m256i bottom, __m256i wy)
{
    return _mm256_srli_epi32(_mm256_madd_epi16(_mm256_or_si256(top, _mm256_slli_epi32(bottom, 16)), wy), 8);
}

// Lane j: p[j] low, p[j + 1] high.
__attribute__((target("avx2"))) inline __m256i pairs_at(const uint16_t* p)
{
    __m128i here = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
    __m128i next = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 1));
    return _mm256_set_m128i(_mm_unpackhi_epi16(here, next), _mm_unpacklo_epi16(here, next));
}

__attribute__((target("avx2"))) void map_avx2(uint16_t* d, int n, const uint16_t* src, LensEntries t, int stride,
                                              const uint16_t* bg, const uint16_t* bg_last)
{
    const __m256i key = _mm256_set1_epi16(static_cast<short>(kColorKey));
    const int* upper = reinterpret_cast<const int*>(src);
    const int* lower = reinterpret_cast<const int*>(src + stride);
    int k = 0;
    for (; k + 8 <= n; k += 8) {
        __m256i index = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(t.index + k));
        __m256i top = _mm256_i32gather_epi32(upper, index, 2);
        __m256i bottom = _mm256_i32gather_epi32(lower, index, 2);
        __m256i see_through = _mm256_setzero_si256(); // lanes whose four sources are all keys
        if (bg) {
            __m256i top_keys = _mm256_cmpeq_epi16(top, key), bottom_keys = _mm256_cmpeq_epi16(bottom, key);
            __m256i keys = _mm256_or_si256(top_keys, bottom_keys);
            if (!_mm256_testz_si256(keys, keys)) {
                // The background pairs lie at the destination's own offsets: plain loads.
                const uint16_t* under = bg + k;
                if (under + stride + 8 > bg_last) {
                    map_keyed(d + k, 8, src, advanced(t, k), stride, under, bg_last);
                    continue;
                }
                top = _mm256_blendv_epi8(top, pairs_at(under), top_keys);
                bottom = _mm256_blendv_epi8(bottom, pairs_at(under + stride), bottom_keys);
                see_through = _mm256_cmpeq_epi32(_mm256_and_si256(top_keys, bottom_keys), _mm256_set1_epi32(-1));
            }
        }
        __m256i wx = weights(t.fx + k), wy = weights(t.fy + k);
        __m256i tr, tg, tb, br, bgc, bb;
        channels(top, wx, tr, tg, tb);
        channels(bottom, wx, br, bgc, bb);
        __m256i r = along_y(tr, br, wy), g = along_y(tg, bgc, wy), b = along_y(tb, bb, wy);
        __m256i packed = _mm256_or_si256(
            _mm256_or_si256(_mm256_slli_epi32(_mm256_and_si256(r, _mm256_set1_epi32(0xF8)), 8),
                            _mm256_slli_epi32(_mm256_and_si256(g, _mm256_set1_epi32(0xFC)), 3)),
            _mm256_srli_epi32(b, 3));
        if (!_mm256_testz_si256(see_through, see_through)) {
            __m256i under = _mm256_cvtepu16_epi32(_mm_loadu_si128(reinterpret_cast<const __m128i*>(bg + k)));
            packed = _mm256_blendv_epi8(packed, under, see_through);
        }
        __m256i words = _mm256_permute4x64_epi64(_mm256_packus_epi32(packed, packed), 0x08);
        _mm_storeu_si128(reinterpret_cast<__m128i*>(d + k), _mm256_castsi256_si128(words));
    }
    if (k < n) {
        if (bg)
            map_keyed(d + k, n - k, src, advanced(t, k), stride, bg + k, bg_last);
        else
            map_plain(d + k, n - k, src, advanced(t, k), stride);
    }
}

bool have_avx2()
{
    static const bool yes = __builtin_cpu_supports("avx2");
    return yes;
}

#endif

} // namespace

void lens_map_portable_0565(uint16_t* d, int n, const uint16_t* src, LensEntries table, int stride)
{
    map_plain(d, n, src, table, stride);
}

void lens_map_keyed_portable_0565(uint16_t* d, int n, const uint16_t* src, LensEntries table, int stride,
                                  const uint16_t* bg, const uint16_t* bg_last)
{
    map_keyed(d, n, src, table, stride, bg, bg_last);
}

void lens_map_0565(uint16_t* d, int n, const uint16_t* src, LensEntries table, int stride)
{
#ifdef MK_LENS_AVX2
    if (have_avx2() && n > 0)
        return map_avx2(d, n, src, table, stride, nullptr, nullptr);
#endif
    map_plain(d, n, src, table, stride);
}

void lens_map_keyed_0565(uint16_t* d, int n, const uint16_t* src, LensEntries table, int stride,
                         const uint16_t* bg, const uint16_t* bg_last)
{
#ifdef MK_LENS_AVX2
    if (have_avx2() && n > 0)
        return map_avx2(d, n, src, table, stride, bg, bg_last);
#endif
    map_keyed(d, n, src, table, stride, bg, bg_last);
}
