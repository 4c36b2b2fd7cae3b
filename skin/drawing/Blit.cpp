#include "skin/drawing/Blit.h"

#include "skin/drawing/Color565.h"
#include "skin/drawing/PixelBuffer.h"
#include "skin/drawing/PixelOp.h"
#include "skin/drawing/Span565.h"

#include <algorithm>

namespace {

struct Cut {
    int x0, y0, x1, y1;
    bool empty() const { return x1 <= x0 || y1 <= y0; }
};

// (pos, size) cut to the drawable area, computed wide so that huge sizes cannot wrap.
Cut cut_to(const ClipRect& area, POINT pos, POINT size)
{
    long long x1 = static_cast<long long>(pos.x) + size.x;
    long long y1 = static_cast<long long>(pos.y) + size.y;
    return Cut { std::max<int>(pos.x, area.x0), std::max<int>(pos.y, area.y0),
        static_cast<int>(std::min<long long>(x1, area.x1)), static_cast<int>(std::min<long long>(y1, area.y1)) };
}

bool inside(const PixelBuffer& buffer, POINT pos, POINT size)
{
    return size.x >= 1 && size.y >= 1 && pos.x >= 0 && pos.y >= 0
        && static_cast<long long>(pos.x) + size.x <= buffer.width()
        && static_cast<long long>(pos.y) + size.y <= buffer.height();
}

} // namespace

ClipRect drawable_area(const Canvas& canvas)
{
    const PixelBuffer* target = canvas.target();
    if (!target)
        return ClipRect {};
    const ClipRect& c = canvas.clip();
    return ClipRect { std::max(c.x0, 0), std::max(c.y0, 0), std::min(c.x1, target->width()),
        std::min(c.y1, target->height()) };
}

void clipped_copy(Canvas& canvas, POINT pos, POINT size, const PixelBuffer& src, POINT src_pos,
                  const PixelOp& op)
{
    if (!inside(src, src_pos, size))
        return;
    Cut cut = cut_to(drawable_area(canvas), pos, size);
    if (cut.empty())
        return;
    PixelBuffer& dst = *canvas.target();
    int sx = src_pos.x + (cut.x0 - pos.x);
    int sy = src_pos.y + (cut.y0 - pos.y);
    int rows = cut.y1 - cut.y0;
    int width = cut.x1 - cut.x0;
    // Whole rows of two buffers laid out alike are one run of pixels: one span for all.
    if (&dst != &src && width == dst.width() && width == src.width() && dst.pitch() == src.pitch()
        && dst.pitch() == width * 2) {
        uint16_t* d = dst.row(cut.y0);
        op.span(d, d + static_cast<ptrdiff_t>(width) * rows, src.row(sy) + sx);
        return;
    }
    // Within one buffer, moving down must start at the bottom so no source row is overwritten
    // before it is read.
    bool upward = &dst == &src && cut.y0 > sy;
    for (int i = 0; i < rows; ++i) {
        int r = upward ? rows - 1 - i : i;
        uint16_t* d = dst.row(cut.y0 + r);
        op.span(d + cut.x0, d + cut.x1, src.row(sy + r) + sx);
    }
}

void scaled_copy(Canvas& canvas, POINT pos, POINT size, const PixelBuffer& src, POINT src_pos,
                 POINT src_size, const PixelOp& op)
{
    if (size.x < 1 || size.y < 1 || !inside(src, src_pos, src_size))
        return;
    Cut cut = cut_to(drawable_area(canvas), pos, size);
    if (cut.empty())
        return;
    PixelBuffer& dst = *canvas.target();
    long long step_x = (static_cast<long long>(src_size.x) << 10) / size.x;
    long long step_y = (static_cast<long long>(src_size.y) << 10) / size.y;
    long long start_x = (cut.x0 - pos.x) * step_x;
    long long row_pos = (cut.y0 - pos.y) * step_y;
    for (int y = cut.y0; y < cut.y1; ++y, row_pos += step_y) {
        const uint16_t* row = src.row(src_pos.y + static_cast<int>(row_pos >> 10)) + src_pos.x;
        uint16_t* d = dst.row(y);
        op.scaled_span(d + cut.x0, d + cut.x1, row, static_cast<int>(start_x), static_cast<int>(step_x));
    }
}

void fill(Canvas& canvas, POINT pos, POINT size, SkinColor colour)
{
    Cut cut = cut_to(drawable_area(canvas), pos, size);
    if (cut.empty())
        return;
    uint16_t pixel = rgb565(colour);
    PixelBuffer& dst = *canvas.target();
    for (int y = cut.y0; y < cut.y1; ++y)
        fill_0565(dst.row(y) + cut.x0, cut.x1 - cut.x0, pixel);
}

void scale_brightness(Canvas& canvas, POINT pos, POINT size, int level)
{
    Cut cut = cut_to(drawable_area(canvas), pos, size);
    if (cut.empty())
        return;
    int entry = std::clamp(level, 0, 256) / 16;
    if (entry == 16)
        return; // full brightness changes nothing
    BrightnessSpan span = brightness_spans()[entry];
    PixelBuffer& dst = *canvas.target();
    for (int y = cut.y0; y < cut.y1; ++y)
        span(dst.row(y) + cut.x0, cut.x1 - cut.x0);
}
