// Every span operation through every drawing path, against a per-pixel reference written from
// the definitions. Each case is seeded by its number:
//   scripts/span_test N (or SPAN_CASE=N skin_tests --gtest_filter=SpanRandom.*) reruns case N
//                                                           and prints it
//   SPAN_CASES=N                                            runs cases 0...N-1 (default 4000)
#include "skin/drawing/Blit.h"
#include "skin/drawing/Canvas.h"
#include "skin/drawing/ClipGuard.h"
#include "skin/drawing/NinePatch.h"
#include "skin/drawing/PixelBuffer.h"
#include "skin/drawing/PixelOps.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <memory>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

namespace {

// splitmix64: the same sequence on every standard library.
struct Random {
    explicit Random(uint64_t seed)
        : state(seed * 0x9E3779B97F4A7C15ull + 12345)
    {
    }
    uint64_t next()
    {
        uint64_t z = (state += 0x9E3779B97F4A7C15ull);
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
        return z ^ (z >> 31);
    }
    int range(int lo, int hi) { return lo + static_cast<int>(next() % static_cast<uint64_t>(hi - lo + 1)); }
    bool chance(int percent) { return range(0, 99) < percent; }
    // Pixels as pictures hold them: some keys, some opaque, some translucent, some equal to d.
    uint16_t pixel()
    {
        switch (range(0, 9)) {
        case 0:
            return 0xF81F;
        case 1:
            return 0x0000;
        case 2:
            return 0xFFFF;
        case 3:
            return static_cast<uint16_t>(next()) & ~0x0020; // translucent
        default:
            return static_cast<uint16_t>(next());
        }
    }
    uint64_t state;
};

// ---- the reference: one pixel at a time, straight from the definitions ------------------------

enum class Kind { Copy, Key, Level1, Level2, Level3, Opaque, TextReturn, Fill, Modulate, ModulateOver, Alpha, KeyFill, Half, BorderMark, LensFill, LensBlend, Count };
const char* kKindNames[] = { "copy", "key", "translucent1", "translucent2", "translucent3", "opaque", "text_return", "fill", "modulate", "modulate_over", "alpha", "key_fill", "half", "border_mark", "lens_fill", "lens_blend" };

struct OpSpec {
    Kind kind = Kind::Copy;
    uint16_t colour = 0;
    int alpha = 0;
    span::Factors factors;

    std::unique_ptr<PixelOp> make() const
    {
        switch (kind) {
        case Kind::Copy: return std::make_unique<CopyOp>();
        case Kind::Key: return std::make_unique<KeyOp>();
        case Kind::Level1: return std::make_unique<Translucent1Op>();
        case Kind::Level2: return std::make_unique<Translucent2Op>();
        case Kind::Level3: return std::make_unique<Translucent3Op>();
        case Kind::Opaque: return std::make_unique<OpaqueOp>();
        case Kind::TextReturn: return std::make_unique<TextReturnOp>();
        case Kind::Fill: return std::make_unique<FillOp>(colour);
        case Kind::Modulate: return std::make_unique<ModulateOp>(factors);
        case Kind::ModulateOver: return std::make_unique<ModulateOverOp>(factors);
        case Kind::KeyFill: return key_fill_op().clone();
        case Kind::Half: return half_op().clone();
        case Kind::BorderMark: return border_mark_op().clone();
        case Kind::LensFill: return lens_fill_op().clone();
        case Kind::LensBlend: return lens_blend_op().clone();
        default: return AlphaLevelOp(alpha).clone(); // through clone, which must keep the level
        }
    }
};

int channel_product(int value8, int factor)
{
    return value8 * std::clamp(factor, 0, 256);
}

uint16_t ref_modulate(uint16_t s, span::Factors f)
{
    int r8 = (s >> 11) << 3, g8 = ((s >> 5) & 63) << 2, b8 = (s & 31) << 3;
    int r = channel_product(r8, f.red) & 0xF800;
    int g = (channel_product(g8, f.green) >> 5) & 0x07E0;
    int b = channel_product(b8, f.blue) >> 11;
    return static_cast<uint16_t>(r | g | b);
}

uint16_t ref_level(int level, uint16_t s, uint16_t d)
{
    bool key = s == 0xF81F, opaque = (s & 0x20) != 0;
    int quarter = (d >> 2) & 0x39E7, half = (d >> 1) & 0x7BEF;
    switch (level) {
    case 0:
        return key ? d : s;
    case 4:
        return opaque ? s : d;
    default:
        if (key)
            return d;
        if (opaque)
            return s;
        return static_cast<uint16_t>(s + (level == 1 ? quarter : level == 2 ? half : quarter + half));
    }
}

// Channel by channel, each halved and rounded down.
uint16_t ref_half(uint16_t a, uint16_t b)
{
    int r = (a >> 11) / 2 + (b >> 11) / 2;
    int g = ((a >> 5) & 63) / 2 + ((b >> 5) & 63) / 2;
    int bl = (a & 31) / 2 + (b & 31) / 2;
    return static_cast<uint16_t>(r << 11 | g << 5 | bl);
}

// Bilinear lens pixel: channels widened to 8 bits, along x within each pair, then along y,
// truncating at each step.
uint16_t ref_bilinear(const uint16_t p[4], int fx, int fy)
{
    auto channel = [&](int shift, int bits) {
        int v[4];
        for (int j = 0; j < 4; ++j)
            v[j] = ((p[j] >> shift) & ((1 << bits) - 1)) << (8 - bits);
        int top = (v[0] * (256 - fx) + v[1] * fx) / 256;
        int bottom = (v[2] * (256 - fx) + v[3] * fx) / 256;
        return ((top * (256 - fy) + bottom * fy) / 256) >> (8 - bits);
    };
    return static_cast<uint16_t>(channel(11, 5) << 11 | channel(5, 6) << 5 | channel(0, 5));
}

uint16_t ref_apply(const OpSpec& op, uint16_t s, uint16_t d)
{
    switch (op.kind) {
    case Kind::Copy: return s;
    case Kind::Key: return ref_level(0, s, d);
    case Kind::Level1: return ref_level(1, s, d);
    case Kind::Level2: return ref_level(2, s, d);
    case Kind::Level3: return ref_level(3, s, d);
    case Kind::Opaque: return ref_level(4, s, d);
    case Kind::TextReturn: return s == d ? s : static_cast<uint16_t>(s | 0x20);
    case Kind::Fill: return op.colour;
    case Kind::Modulate: return ref_modulate(s, op.factors);
    case Kind::ModulateOver: return static_cast<uint16_t>(d | ref_modulate(s, op.factors));
    case Kind::KeyFill: return d == 0xF81F ? s : d;
    case Kind::Half: return ref_half(d, s);
    case Kind::BorderMark:
        if (s == 0xF81F)
            return static_cast<uint16_t>(d | 0x20);
        if (s & 0x20)
            return static_cast<uint16_t>(ref_half(s, d) | 0x20);
        return static_cast<uint16_t>(d & ~0x20);
    case Kind::LensFill: return (d & 0x20) ? d : s;
    case Kind::LensBlend: return (d & 0x20) ? d : ref_half(d, s);
    default: {
        int index = op.alpha < 0 ? 0 : std::min(op.alpha / 64, 4);
        return ref_level(index, s, d);
    }
    }
}

// One axis of a nine-patch, unclipped: destination offset j -> scaled source coordinate.
struct RefAxis {
    bool ok = false;
    int length = 0, first = 0, last = 0, c0 = 0, last_src = 0, tile0 = 0, tile1 = 0;
    int map(int j) const
    {
        if (j < first)
            return c0 + j;
        if (j >= length - last)
            return last_src + (j - (length - last));
        return tile0 + (j - first) % (tile1 - tile0);
    }
};

RefAxis ref_axis(int L, int c0, int c1, int c2, int c3)
{
    RefAxis a;
    if (L <= 0 || c0 < 0 || c0 > c1 || c1 > c2 || c2 > c3 || c3 == c0)
        return a;
    a.ok = true;
    a.length = L;
    a.c0 = c0;
    int b1 = c1 - c0, b2 = c3 - c2;
    if (b1 + b2 < L) {
        a.first = b1;
        a.last = b2;
    } else {
        int half = L / 2;
        int m = (L - 1) / 2 + std::max(0, half - b1);
        a.last = std::min(b2, m);
        a.first = std::min(b1, half) + std::max(0, m - b2);
    }
    a.last_src = c3 - a.last;
    if (c2 > c1)
        a.tile0 = c1, a.tile1 = c2;
    else if (c1 < c3)
        a.tile0 = c1, a.tile1 = c1 + 1;
    else
        a.tile0 = c1 - 1, a.tile1 = c1;
    return a;
}

// ---- cases -----------------------------------------------------------------------------------

enum class Path { Clipped, Scaled, NinePatch, FillRect, Span, ScaledSpan, GuidedSpan, TiledSpan, LensMap, Count };
const char* kPathNames[] = { "clipped_copy", "scaled_copy", "draw_picture", "fill", "span", "scaled_span", "guided_span", "tiled_span", "lens_map" };

struct Case {
    int number = 0;
    OpSpec op;
    Path path = Path::Clipped;
    std::unique_ptr<PixelBuffer> dst, src;
    std::optional<ClipRect> clip, inner_clip; // as ClipGuard rectangles: x0,y0 position, x1,y1 size
    POINT pos {}, size {}, src_pos {}, src_size {};
    NinePatch guides;
    // Lens mapping: a table over destination indices of the source, which is as wide as dst.
    std::vector<int32_t> index;
    std::vector<uint8_t> fx, fy;
    span::LensEntries entries(int from) const { return span::LensEntries { index.data() + from, fx.data() + from, fy.data() + from }; }
    bool keyed = false;
    bool portable = false; // the path without the vector unit
    std::unique_ptr<PixelBuffer> background;
    // Direct span calls.
    int row = 0, column = 0, count = 0, start = 0, step = 0, shift = 0, tile0 = 0, tile1 = 0, src_row = 0;
    std::string text;
};

std::unique_ptr<PixelBuffer> random_buffer(Random& r, int max_w, int max_h)
{
    auto b = PixelBuffer::create(r.range(1, max_w), r.range(1, max_h));
    for (int y = 0; y < b->height(); ++y)
        for (int x = 0; x < b->width(); ++x)
            b->row(y)[x] = r.pixel();
    return b;
}

// Mostly sensible rectangles near the buffer, sometimes off it, empty or inverted.
POINT random_pos(Random& r, int w, int h)
{
    return POINT { r.range(-w / 2 - 3, w + 2), r.range(-h / 2 - 3, h + 2) };
}
POINT random_size(Random& r, int w, int h)
{
    if (r.chance(5))
        return POINT { r.range(-3, 0), r.range(-3, h) };
    if (r.chance(10))
        return POINT { 1, r.range(1, h) };
    return POINT { r.range(1, w + 4), r.range(1, h + 4) };
}

Case make_case(int number)
{
    Random r(static_cast<uint64_t>(number));
    Case c;
    c.number = number;
    c.op.kind = static_cast<Kind>(r.range(0, int(Kind::Count) - 1));
    c.op.colour = r.pixel();
    c.op.alpha = r.chance(10) ? r.range(-300, 1200) : r.range(0, 300);
    c.op.factors = { r.range(-20, 300), r.range(-20, 300), r.range(-20, 300) };
    c.path = static_cast<Path>(r.range(0, int(Path::Count) - 1));
    c.dst = random_buffer(r, 40, 24);
    c.src = random_buffer(r, 40, 24);
    const int dw = c.dst->width(), dh = c.dst->height(), sw = c.src->width(), sh = c.src->height();
    if (r.chance(50))
        c.clip = ClipRect { r.range(-4, dw), r.range(-4, dh), r.range(-2, dw + 4), r.range(-2, dh + 4) };
    if (c.clip && r.chance(30))
        c.inner_clip = ClipRect { r.range(-4, dw), r.range(-4, dh), r.range(0, dw), r.range(0, dh) };

    c.pos = random_pos(r, dw, dh);
    c.size = random_size(r, dw, dh);
    switch (c.path) {
    case Path::Clipped:
        c.src_pos = r.chance(5) ? POINT { r.range(-2, sw), r.range(-2, sh) } : POINT { r.range(0, sw - 1), r.range(0, sh - 1) };
        if (r.chance(80)) // mostly a size the source can serve
            c.size = POINT { r.range(1, std::max(1, sw - int(c.src_pos.x))), r.range(1, std::max(1, sh - int(c.src_pos.y))) };
        if (r.chance(20)) { // whole rows of buffers of one width
            c.src = PixelBuffer::create(dw, sh);
            for (int y = 0; y < sh; ++y)
                for (int x = 0; x < dw; ++x)
                    c.src->row(y)[x] = r.pixel();
            c.pos.x = 0;
            c.src_pos = POINT { 0, r.range(0, sh - 1) };
            c.size = POINT { dw, r.range(1, sh - c.src_pos.y) };
        }
        break;
    case Path::Scaled:
        c.src_pos = POINT { r.range(0, sw - 1), r.range(0, sh - 1) };
        c.src_size = POINT { r.range(1, sw - c.src_pos.x), r.range(1, sh - c.src_pos.y) };
        if (r.chance(30)) // exact doubling
            c.size = POINT { c.src_size.x * 2, c.src_size.y * 2 };
        if (r.chance(5))
            c.src_size.x = sw + 1;
        break;
    case Path::NinePatch: {
        int s = r.range(0, 1);
        c.guides.scale_shift = s;
        auto guides = [&](int n, LONG POINT::*m) {
            int v[4] = { r.range(0, n - 1), r.range(0, n), r.range(0, n), r.range(1, n) };
            std::sort(v, v + 4);
            if (r.chance(10))
                v[2] = v[1]; // no tile between the guides
            if (r.chance(3))
                std::swap(v[1], v[2]); // out of order
            c.guides.p0.*m = v[0] << s;
            c.guides.p1.*m = v[1] << s;
            c.guides.p2.*m = v[2] << s;
            c.guides.p3.*m = v[3] << s;
        };
        guides(sw, &POINT::x);
        guides(sh, &POINT::y);
        if (r.chance(30))
            c.size = POINT { r.range(1, 3 * dw), r.range(1, 3 * dh) };
        // Pictures as skins have them: rows with no see-through pixel, which a row drawn from
        // the same source row may copy from the row above. Its own sequence leaves the others'.
        Random solid(static_cast<uint64_t>(number) ^ 0x50117Du);
        if (solid.chance(50))
            for (int y = 0; y < sh; ++y)
                if (solid.chance(60))
                    for (int x = 0; x < sw; ++x)
                        c.src->row(y)[x] |= 0x0020;
        break;
    }
    default:
        break;
    }

    // Direct span calls: a destination run starting at any column, widths from 1.
    c.row = r.range(0, dh - 1);
    c.column = r.range(0, dw - 1);
    c.count = r.chance(15) ? 1 : r.range(1, dw - c.column);
    c.src_row = r.range(0, sh - 1);
    c.shift = r.range(0, 2);
    switch (c.path) {
    case Path::Span:
        c.start = r.range(0, sw - std::min(sw, c.count));
        c.count = std::min(c.count, sw - c.start);
        break;
    case Path::ScaledSpan: {
        c.step = r.chance(30) ? (r.chance(50) ? 512 : 1024) : r.range(1, 2500);
        int max_pos = sw * 1024 - 1;
        c.start = r.range(0, max_pos);
        long long last = c.start + static_cast<long long>(c.count - 1) * c.step;
        if (last > max_pos)
            c.count = static_cast<int>((max_pos - c.start) / c.step) + 1;
        break;
    }
    case Path::GuidedSpan: {
        int reach = sw << c.shift; // guided positions in scaled coordinates
        c.start = r.range(0, reach - 1);
        c.count = std::min(c.count, reach - c.start);
        break;
    }
    case Path::LensMap: {
        // Lens buffers are even-sized, so whole rows are one run of pixels.
        int w = 2 * r.range(1, 20), h = r.range(2, 24);
        int key_share = r.chance(30) ? 60 : 10;
        auto lens_buffer = [&] {
            auto b = PixelBuffer::create(w, h);
            for (int y = 0; y < h; ++y)
                for (int x = 0; x < w; ++x)
                    b->row(y)[x] = r.chance(key_share) ? 0xF81F : r.pixel();
            return b;
        };
        c.dst = lens_buffer();
        c.src = lens_buffer();
        c.background = lens_buffer();
        c.keyed = r.chance(60);
        c.portable = r.chance(30);
        c.row = c.column = c.src_row = 0;
        int entries = w * h - w; // the last row is never written
        c.start = r.range(0, entries - 1);
        c.count = r.chance(15) ? 1 : r.range(1, entries - c.start);
        int max_index = w * h - w - 2;
        for (int i = 0; i < entries; ++i) {
            int fx = r.chance(20) ? 0 : r.chance(10) ? 255 : r.range(0, 255);
            int fy = r.chance(20) ? 0 : r.chance(10) ? 255 : r.range(0, 255);
            c.index.push_back(r.range(0, max_index));
            c.fx.push_back(uint8_t(fx));
            c.fy.push_back(uint8_t(fy));
        }
        break;
    }
    case Path::TiledSpan: {
        int reach = sw << c.shift;
        c.tile0 = r.range(0, reach - 1);
        c.tile1 = r.range(c.tile0 + 1, reach);
        c.start = r.range(c.tile0, c.tile1 - 1);
        break;
    }
    default:
        break;
    }

    std::ostringstream t;
    t << "case " << number << ": " << kPathNames[int(c.path)] << " with " << kKindNames[int(c.op.kind)]
      << " (colour 0x" << std::hex << c.op.colour << std::dec << ", alpha " << c.op.alpha << ", factors "
      << c.op.factors.red << "/" << c.op.factors.green << "/" << c.op.factors.blue << ")\n"
      << "  destination " << c.dst->width() << "x" << c.dst->height() << ", source " << c.src->width() << "x" << c.src->height() << "\n";
    if (c.clip)
        t << "  clip guard at (" << c.clip->x0 << "," << c.clip->y0 << ") size (" << c.clip->x1 << "," << c.clip->y1 << ")\n";
    if (c.inner_clip)
        t << "  inner guard at (" << c.inner_clip->x0 << "," << c.inner_clip->y0 << ") size (" << c.inner_clip->x1 << "," << c.inner_clip->y1 << ")\n";
    t << "  pos (" << c.pos.x << "," << c.pos.y << ") size (" << c.size.x << "," << c.size.y << ") src pos (" << c.src_pos.x << ","
      << c.src_pos.y << ") src size (" << c.src_size.x << "," << c.src_size.y << ")\n";
    if (c.path == Path::NinePatch)
        t << "  guides x " << c.guides.p0.x << " " << c.guides.p1.x << " " << c.guides.p2.x << " " << c.guides.p3.x << ", y "
          << c.guides.p0.y << " " << c.guides.p1.y << " " << c.guides.p2.y << " " << c.guides.p3.y << ", shift "
          << c.guides.scale_shift << "\n";
    if (c.path == Path::LensMap)
        t << "  lens " << c.dst->width() << "x" << c.dst->height() << (c.keyed ? " keyed" : "") << (c.portable ? " portable" : "") << ", entries " << c.start
          << "..." << c.start + c.count - 1 << "\n";
    else if (c.path >= Path::Span)
        t << "  row " << c.row << " column " << c.column << " count " << c.count << " source row " << c.src_row << " start "
          << c.start << " step " << c.step << " shift " << c.shift << " tile " << c.tile0 << "..." << c.tile1 << "\n";
    c.text = t.str();
    return c;
}

std::unique_ptr<PixelBuffer> clone(const PixelBuffer& b)
{
    auto out = PixelBuffer::create(b.width(), b.height());
    for (int y = 0; y < b.height(); ++y)
        std::copy(b.row(y), b.row(y) + b.width(), out->row(y));
    return out;
}

void run_fast(const Case& c, PixelBuffer& dst)
{
    Canvas canvas(&dst);
    std::optional<ClipGuard> outer, inner;
    if (c.clip)
        outer.emplace(canvas, POINT { c.clip->x0, c.clip->y0 }, POINT { c.clip->x1, c.clip->y1 });
    if (c.inner_clip)
        inner.emplace(canvas, POINT { c.inner_clip->x0, c.inner_clip->y0 }, POINT { c.inner_clip->x1, c.inner_clip->y1 });
    auto op = c.op.make();
    const PixelBuffer& src = *c.src;
    uint16_t* d = dst.row(c.row) + c.column;
    const uint16_t* row = src.row(c.src_row);
    switch (c.path) {
    case Path::Clipped: clipped_copy(canvas, c.pos, c.size, src, c.src_pos, *op); break;
    case Path::Scaled: scaled_copy(canvas, c.pos, c.size, src, c.src_pos, c.src_size, *op); break;
    case Path::NinePatch: draw_picture(canvas, c.pos, c.size, src, c.guides, *op); break;
    case Path::FillRect: {
        SkinColor colour { uint8_t(c.op.colour >> 8), uint8_t(c.op.colour >> 3), uint8_t(c.op.colour << 3), 255 };
        fill(canvas, c.pos, c.size, colour);
        break;
    }
    case Path::Span: op->span(d, d + c.count, row + c.start); break;
    case Path::ScaledSpan: op->scaled_span(d, d + c.count, row, c.start, c.step); break;
    case Path::GuidedSpan: op->guided_span(d, row, c.start, c.count, c.shift); break;
    case Path::TiledSpan: op->tiled_span(d, row, c.start, c.count, c.shift, c.tile0, c.tile1); break;
    case Path::LensMap: {
        const int w = dst.width();
        uint16_t* out = dst.pixels() + c.start;
        const uint16_t* bg = c.background->pixels();
        const uint16_t* bg_last = bg + w * c.background->height() - 1;
        if (c.keyed && c.portable)
            lens_map_keyed_portable_0565(out, c.count, src.pixels(), c.entries(c.start), w, bg + c.start, bg_last);
        else if (c.keyed)
            lens_map_keyed_0565(out, c.count, src.pixels(), c.entries(c.start), w, bg + c.start, bg_last);
        else if (c.portable)
            lens_map_portable_0565(out, c.count, src.pixels(), c.entries(c.start), w);
        else
            lens_map_0565(out, c.count, src.pixels(), c.entries(c.start), w);
        break;
    }
    default: break;
    }
}

// The visible destination rectangle: guards applied by hand, then the buffer.
ClipRect ref_visible(const Case& c, const PixelBuffer& dst, POINT pos, POINT size)
{
    long long x0 = 0, y0 = 0, x1 = dst.width(), y1 = dst.height();
    for (const auto& g : { c.clip, c.inner_clip }) {
        if (!g)
            continue;
        x0 = std::max<long long>(x0, g->x0);
        y0 = std::max<long long>(y0, g->y0);
        x1 = std::min<long long>(x1, g->x0 + g->x1);
        y1 = std::min<long long>(y1, g->y0 + g->y1);
    }
    x0 = std::max<long long>(x0, pos.x);
    y0 = std::max<long long>(y0, pos.y);
    x1 = std::min<long long>(x1, static_cast<long long>(pos.x) + size.x);
    y1 = std::min<long long>(y1, static_cast<long long>(pos.y) + size.y);
    if (x1 <= x0 || y1 <= y0)
        return ClipRect {};
    return ClipRect { int(x0), int(y0), int(x1), int(y1) };
}

void run_reference(const Case& c, PixelBuffer& dst)
{
    const PixelBuffer& src = *c.src;
    auto each = [&](POINT pos, POINT size, const std::function<std::optional<uint16_t>(int, int)>& source) {
        ClipRect v = ref_visible(c, dst, pos, size);
        for (int y = v.y0; y < v.y1; ++y)
            for (int x = v.x0; x < v.x1; ++x)
                if (auto s = source(x - pos.x, y - pos.y))
                    dst.row(y)[x] = ref_apply(c.op, *s, dst.row(y)[x]);
    };
    uint16_t* d = dst.row(c.row) + c.column;
    const uint16_t* row = src.row(c.src_row);
    switch (c.path) {
    case Path::Clipped: {
        bool inside = c.size.x >= 1 && c.size.y >= 1 && c.src_pos.x >= 0 && c.src_pos.y >= 0 && c.src_pos.x + c.size.x <= src.width()
            && c.src_pos.y + c.size.y <= src.height();
        if (inside)
            each(c.pos, c.size, [&](int x, int y) { return src.row(c.src_pos.y + y)[c.src_pos.x + x]; });
        break;
    }
    case Path::Scaled: {
        bool inside = c.size.x >= 1 && c.size.y >= 1 && c.src_pos.x + c.src_size.x <= src.width() && c.src_pos.y + c.src_size.y <= src.height();
        if (!inside)
            break;
        long long step_x = (c.src_size.x * 1024ll) / c.size.x, step_y = (c.src_size.y * 1024ll) / c.size.y;
        each(c.pos, c.size, [&](int x, int y) {
            return src.row(c.src_pos.y + int((y * step_y) >> 10))[c.src_pos.x + int((x * step_x) >> 10)];
        });
        break;
    }
    case Path::NinePatch: {
        const NinePatch& g = c.guides;
        int s = g.scale_shift;
        RefAxis ax = ref_axis(c.size.x, g.p0.x, g.p1.x, g.p2.x, g.p3.x);
        RefAxis ay = ref_axis(c.size.y, g.p0.y, g.p1.y, g.p2.y, g.p3.y);
        bool fits = ((g.p3.x - 1) >> s) < src.width() && ((g.p3.y - 1) >> s) < src.height();
        if (ax.ok && ay.ok && fits)
            each(c.pos, c.size, [&](int x, int y) { return src.row(ay.map(y) >> s)[ax.map(x) >> s]; });
        break;
    }
    case Path::FillRect: {
        uint16_t colour = c.op.colour;
        ClipRect v = ref_visible(c, dst, c.pos, c.size);
        for (int y = v.y0; y < v.y1; ++y)
            for (int x = v.x0; x < v.x1; ++x)
                dst.row(y)[x] = colour;
        break;
    }
    case Path::Span:
        for (int k = 0; k < c.count; ++k)
            d[k] = ref_apply(c.op, row[c.start + k], d[k]);
        break;
    case Path::ScaledSpan:
        for (int k = 0; k < c.count; ++k)
            d[k] = ref_apply(c.op, row[(c.start + k * c.step) >> 10], d[k]);
        break;
    case Path::GuidedSpan:
        for (int k = 0; k < c.count; ++k)
            d[k] = ref_apply(c.op, row[(c.start + k) >> c.shift], d[k]);
        break;
    case Path::LensMap: {
        const int w = dst.width(), size = w * dst.height();
        for (int k = c.start; k < c.start + c.count; ++k) {
            const int offsets[4] = { 0, 1, w, w + 1 };
            uint16_t p[4];
            int keys = 0;
            for (int j = 0; j < 4; ++j) {
                p[j] = src.pixels()[c.index[k] + offsets[j]];
                if (c.keyed && p[j] == 0xF81F) {
                    ++keys;
                    p[j] = c.background->pixels()[std::min(k + offsets[j], size - 1)];
                }
            }
            dst.pixels()[k] = keys == 4 ? c.background->pixels()[k] : ref_bilinear(p, c.fx[k], c.fy[k]);
        }
        break;
    }
    case Path::TiledSpan: {
        int i = c.start;
        for (int k = 0; k < c.count; ++k) {
            d[k] = ref_apply(c.op, row[i >> c.shift], d[k]);
            i = (i + 1 == c.tile1) ? c.tile0 : i + 1;
        }
        break;
    }
    default:
        break;
    }
}

uint32_t crc32(const PixelBuffer& b)
{
    uint32_t crc = 0xFFFFFFFFu;
    for (int y = 0; y < b.height(); ++y)
        for (int x = 0; x < b.width(); ++x)
            for (int byte = 0; byte < 2; ++byte) {
                crc ^= (b.row(y)[x] >> (8 * byte)) & 0xFF;
                for (int k = 0; k < 8; ++k)
                    crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1)));
            }
    return ~crc;
}

// Empty when the two agree; else what differs first.
std::string run_case(const Case& c, bool verbose)
{
    auto fast = clone(*c.dst);
    auto ref = clone(*c.dst);
    run_fast(c, *fast);
    run_reference(c, *ref);
    uint32_t a = crc32(*fast), b = crc32(*ref);
    if (verbose)
        std::printf("%s  crc fast %08X reference %08X, before %08X\n", c.text.c_str(), a, b, crc32(*c.dst));
    if (a == b)
        return {};
    std::ostringstream out;
    out << c.text << "  crc fast " << std::hex << a << " reference " << b << std::dec;
    for (int y = 0; y < fast->height(); ++y)
        for (int x = 0; x < fast->width(); ++x)
            if (fast->row(y)[x] != ref->row(y)[x]) {
                out << "; first difference at (" << x << "," << y << "): fast 0x" << std::hex << fast->row(y)[x]
                    << " reference 0x" << ref->row(y)[x] << " was 0x" << c.dst->row(y)[x];
                return out.str();
            }
    return out.str();
}

TEST(SpanRandom, FastPathsMatchThePerPixelReference)
{
    if (const char* one = std::getenv("SPAN_CASE")) {
        std::string failure = run_case(make_case(std::atoi(one)), true);
        EXPECT_TRUE(failure.empty()) << failure;
        return;
    }
    int cases = 4000;
    if (const char* n = std::getenv("SPAN_CASES"))
        cases = std::max(1, std::atoi(n));
    int failures = 0;
    int per_path[int(Path::Count)] = {};
    for (int i = 0; i < cases && failures < 5; ++i) {
        Case c = make_case(i);
        per_path[int(c.path)]++;
        std::string failure = run_case(c, false);
        if (!failure.empty()) {
            ++failures;
            ADD_FAILURE() << failure << "\n  rerun with SPAN_CASE=" << i;
        }
    }
    for (int p = 0; p < int(Path::Count); ++p)
        EXPECT_GT(per_path[p], cases / 20) << kPathNames[p] << " barely exercised";
}

}
