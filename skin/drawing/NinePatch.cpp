#include "skin/drawing/NinePatch.h"

#include "skin/drawing/Blit.h"
#include "skin/drawing/PixelBuffer.h"
#include "skin/drawing/PixelOp.h"

#include <algorithm>
#include <cstring>

int NinePatchAxis::source(int k) const
{
    if (k < first_len)
        return first_src + k;
    k -= first_len;
    if (k < middle_len)
        return tile_start + (middle_pos - tile_start + k) % (tile_end - tile_start);
    return last_src + (k - middle_len);
}

bool plan_nine_patch_axis(int a, int length, int c0, int c1, int c2, int c3, int clip_start,
                          int clip_end, NinePatchAxis& out)
{
    if (length <= 0 || c0 < 0 || c0 > c1 || c1 > c2 || c2 > c3 || c3 == c0)
        return false;
    NinePatchAxis p;
    // The tile is the span between the guides. Without one, the pixel beside it stands in:
    // walking an empty tile would never wrap and read past the picture.
    if (c2 > c1) {
        p.tile_start = c1;
        p.tile_end = c2;
    } else if (c1 < c3) {
        p.tile_start = c1;
        p.tile_end = c1 + 1;
    } else {
        p.tile_start = c1 - 1;
        p.tile_end = c1;
    }

    int b1 = c1 - c0;
    int b2 = c3 - c2;
    p.first_src = c0;
    if (static_cast<long long>(b1) + b2 < length) {
        p.first_len = b1;
        p.last_len = b2;
        p.last_src = c2;
    } else {
        // The borders share the length.
        int half = length / 2;
        int m = (length - 1) / 2 + (b1 < half ? half - b1 : 0);
        p.last_len = std::min(b2, m);
        p.last_src = c3 - p.last_len;
        p.first_len = std::min(b1, half) + (b2 < m ? m - b2 : 0);
    }
    p.middle_len = length - p.first_len - p.last_len;
    int phase = 0;

    p.start = a;
    if (a < clip_start) {
        long long k = static_cast<long long>(clip_start) - a;
        if (k < p.first_len) {
            p.first_src += static_cast<int>(k);
            p.first_len -= static_cast<int>(k);
        } else {
            k -= p.first_len;
            p.first_len = 0;
            if (k < p.middle_len) {
                p.middle_len -= static_cast<int>(k);
                phase = static_cast<int>(k % (p.tile_end - p.tile_start));
            } else {
                k -= p.middle_len;
                p.middle_len = 0;
                if (k >= p.last_len)
                    return false;
                p.last_src += static_cast<int>(k);
                p.last_len -= static_cast<int>(k);
            }
        }
        p.start = clip_start;
    }

    long long excess = static_cast<long long>(p.start) + p.length() - clip_end;
    if (excess > 0) {
        for (int* part : { &p.last_len, &p.middle_len, &p.first_len }) {
            int cut = static_cast<int>(std::min<long long>(excess, *part));
            *part -= cut;
            excess -= cut;
        }
    }
    if (p.length() <= 0)
        return false;
    p.middle_pos = p.tile_start + phase;
    out = p;
    return true;
}

void draw_picture(Canvas& canvas, POINT pos, POINT size, const PixelBuffer& picture,
                  const NinePatch& g, const PixelOp& op)
{
    const int s = g.scale_shift;
    if (s < 0 || s > 8)
        return;
    // Every source pixel the guides can reach must lie in the picture.
    if (((g.p3.x - 1) >> s) >= picture.width() || ((g.p3.y - 1) >> s) >= picture.height())
        return;
    ClipRect area = drawable_area(canvas);
    NinePatchAxis x, y;
    if (!plan_nine_patch_axis(pos.x, size.x, g.p0.x, g.p1.x, g.p2.x, g.p3.x, area.x0, area.x1, x)
        || !plan_nine_patch_axis(pos.y, size.y, g.p0.y, g.p1.y, g.p2.y, g.p3.y, area.y0, area.y1, y))
        return;

    PixelBuffer& dst = *canvas.target();
    int tile = y.tile_end - y.tile_start;
    int tile_row = y.middle_pos;
    // Scaled and stretched pictures draw many rows from the same source row: where a part of
    // the row does not depend on what lay under it, the row above holds that part already.
    struct Part {
        int at, len, from, to; // destination offset and length; source columns read
        int repeats = -1; // for the current source row: -1 not known yet, else copy or not
    };
    auto part = [s](int at, int len, int first, int count) {
        return Part { at, len, first >> s, count > 0 ? ((first + count - 1) >> s) + 1 : 0 };
    };
    Part parts[3] = { part(0, x.first_len, x.first_src, x.first_len),
        part(x.first_len, x.middle_len, x.tile_start, x.tile_end - x.tile_start),
        part(x.first_len + x.middle_len, x.last_len, x.last_src, x.last_len) };
    int last_source = -1;
    for (int k = 0; k < y.length(); ++k) {
        int src_y;
        if (k < y.first_len) {
            src_y = y.first_src + k;
        } else if (k < y.first_len + y.middle_len) {
            src_y = tile_row;
            if (++tile_row == y.tile_end)
                tile_row -= tile;
        } else {
            src_y = y.last_src + (k - y.first_len - y.middle_len);
        }
        const uint16_t* row = picture.row(src_y >> s);
        uint16_t* d = dst.row(y.start + k) + x.start;
        if (src_y >> s == last_source && k > 0) {
            const uint16_t* above = dst.row(y.start + k - 1) + x.start;
            auto copied = [&](Part& p) {
                if (p.repeats < 0)
                    p.repeats = p.from < p.to && op.replaces(row, p.from, p.to);
                if (p.repeats && p.len > 0)
                    std::memcpy(d + p.at, above + p.at, static_cast<size_t>(p.len) * 2);
                return p.repeats == 1 || p.len <= 0;
            };
            if (!copied(parts[0]))
                op.guided_span(d, row, x.first_src, x.first_len, s);
            if (!copied(parts[1]))
                op.tiled_span(d + x.first_len, row, x.middle_pos, x.middle_len, s, x.tile_start, x.tile_end);
            if (!copied(parts[2]))
                op.guided_span(d + x.first_len + x.middle_len, row, x.last_src, x.last_len, s);
            continue;
        }
        last_source = src_y >> s;
        for (Part& p : parts)
            p.repeats = -1;
        if (x.first_len > 0)
            op.guided_span(d, row, x.first_src, x.first_len, s);
        d += x.first_len;
        if (x.middle_len > 0)
            op.tiled_span(d, row, x.middle_pos, x.middle_len, s, x.tile_start, x.tile_end);
        d += x.middle_len;
        if (x.last_len > 0)
            op.guided_span(d, row, x.last_src, x.last_len, s);
    }
}
