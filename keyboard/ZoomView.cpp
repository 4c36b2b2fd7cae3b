#include "keyboard/ZoomView.h"

#include "skin/drawing/Blit.h"
#include "skin/drawing/PixelBuffer.h"
#include "skin/drawing/PixelOps.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace {

constexpr uint16_t kKey = span::kColorKey;
// Where the skin has no keyboard background picture.
constexpr SkinColor kNoBackground { 40, 40, 44, 255 };

int near(double v)
{
    return static_cast<int>(v + 0.5);
}

int even_down(int v)
{
    return v & ~1;
}

bool sized(const PixelBuffer* b, POINT size)
{
    return b && b->width() == size.x && b->height() == size.y;
}

void fill_key(RenderSurface& surface)
{
    PixelBuffer* b = surface.buffer();
    if (!b)
        return;
    for (int y = 0; y < b->height(); ++y)
        fill_0565(b->row(y), b->width(), kKey);
}

void copy_all(Canvas& dst, const PixelBuffer& src)
{
    clipped_copy(dst, POINT { 0, 0 }, POINT { src.width(), src.height() }, src, POINT { 0, 0 }, copy_op());
}

} // namespace

ZoomStyle zoom_style_for(int board_style)
{
    switch (board_style) {
    case 1: return ZoomStyle::Flat;
    case 2: return ZoomStyle::Glass;
    case 3: return ZoomStyle::IZoom;
    default: return ZoomStyle::Simple;
    }
}

POINT zoom_lens_size(kbIntPair glass_size, double scale, POINT screen, int bottom_offset, POINT form)
{
    long long w = std::llround(glass_size.x * scale);
    long long h = std::llround(glass_size.y * scale);
    long long room = std::max<long long>(16, screen.y - bottom_offset - form.y);
    w = std::clamp<long long>(w, 4, std::max<long long>(4, screen.x));
    h = std::clamp<long long>(h, 4, room);
    return POINT { even_down(static_cast<int>(w)), even_down(static_cast<int>(h)) };
}

POINT zoom_window_size(ZoomStyle style, POINT form, int key_height, POINT lens, double scale, POINT screen,
                       int bottom_offset)
{
    int room = std::max(0, static_cast<int>(screen.y) - bottom_offset - static_cast<int>(form.y));
    switch (style) {
    case ZoomStyle::Flat: {
        double strip = std::trunc(key_height * 1.6) * scale * 5.0 / 6.0;
        return POINT { form.x, std::clamp(near(strip), 0, room) };
    }
    case ZoomStyle::Glass: return lens;
    case ZoomStyle::IZoom: return POINT { form.x, lens.y };
    default: return POINT { 0, 0 };
    }
}

POINT zoom_window_place(POINT window, POINT screen, int bottom_offset, int form_height)
{
    return POINT { (screen.x - window.x) / 2, screen.y - bottom_offset - window.y - form_height };
}

POINT zoom_shift(double level, POINT down, POINT anchor_offset, double zoom_scale)
{
    double grow = level - 1, reach = zoom_scale - 1;
    if (!(reach > 0))
        return POINT { 0, 0 }; // the caller clamps zoom_scale; a level without room has no pan
    return POINT { static_cast<int>(down.x * grow + anchor_offset.x * grow / reach + 0.5),
        static_cast<int>(down.y * grow + anchor_offset.y * grow / reach + 0.5) };
}

void copy_region(Canvas& dst, POINT dst_pos, const PixelBuffer& src, POINT src_pos, POINT size, const PixelOp& op)
{
    long long x0 = std::max<long long>(src_pos.x, 0), y0 = std::max<long long>(src_pos.y, 0);
    long long x1 = std::min<long long>(static_cast<long long>(src_pos.x) + size.x, src.width());
    long long y1 = std::min<long long>(static_cast<long long>(src_pos.y) + size.y, src.height());
    if (x1 <= x0 || y1 <= y0)
        return;
    POINT at { static_cast<LONG>(dst_pos.x + (x0 - src_pos.x)), static_cast<LONG>(dst_pos.y + (y0 - src_pos.y)) };
    clipped_copy(dst, at, POINT { static_cast<LONG>(x1 - x0), static_cast<LONG>(y1 - y0) }, src,
                 POINT { static_cast<LONG>(x0), static_cast<LONG>(y0) }, op);
}

void scale_nearest(Canvas& dst, POINT pos, POINT size, const PixelBuffer& src)
{
    if (size.x < 1 || size.y < 1)
        return;
    ClipRect area = drawable_area(dst);
    long long cx0 = std::max<long long>(pos.x, area.x0), cy0 = std::max<long long>(pos.y, area.y0);
    long long cx1 = std::min<long long>(static_cast<long long>(pos.x) + size.x, area.x1);
    long long cy1 = std::min<long long>(static_cast<long long>(pos.y) + size.y, area.y1);
    if (cx1 <= cx0 || cy1 <= cy0)
        return;
    PixelBuffer& out = *dst.target();
    const long long step_x = (static_cast<long long>(src.width()) << 10) / size.x;
    const long long step_y = (static_cast<long long>(src.height()) << 10) / size.y;
    const long long start_x = (cx0 - pos.x) * step_x;
    const int width = static_cast<int>(cx1 - cx0);
    long long row_pos = (cy0 - pos.y) * step_y;
    int previous = -1;
    for (long long y = cy0; y < cy1; ++y, row_pos += step_y) {
        int source_row = static_cast<int>(row_pos >> 10);
        uint16_t* d = out.row(static_cast<int>(y)) + cx0;
        if (source_row == previous)
            std::memcpy(d, out.row(static_cast<int>(y - 1)) + cx0, static_cast<size_t>(width) * 2);
        else
            copy_scaled_0565(d, width, src.row(source_row), static_cast<int>(start_x), static_cast<int>(step_x));
        previous = source_row;
    }
}

void ZoomView::set_form(POINT size, FormPainter painter)
{
    m_form_size = size;
    m_painter = std::move(painter);
}

void ZoomView::set_lens(POINT size, double radius)
{
    m_lens_size = size;
    m_table.build(size.x, size.y, radius);
}

void ZoomView::set_pictures(PictureRef border, PictureRef background)
{
    m_border = std::move(border);
    m_background = std::move(background);
    m_backdrop_valid = false;
}

namespace {

bool empty_rect(const RECT& r)
{
    return r.right <= r.left || r.bottom <= r.top;
}

RECT unite(const RECT& a, const RECT& b)
{
    if (empty_rect(a))
        return b;
    if (empty_rect(b))
        return a;
    return RECT { std::min(a.left, b.left), std::min(a.top, b.top), std::max(a.right, b.right), std::max(a.bottom, b.bottom) };
}

RECT intersect(const RECT& a, const RECT& b)
{
    RECT r { std::max(a.left, b.left), std::max(a.top, b.top), std::min(a.right, b.right), std::min(a.bottom, b.bottom) };
    return empty_rect(r) ? RECT {} : r;
}

void copy_rect(Canvas& dst, const PixelBuffer& src, const RECT& r, const PixelOp& op)
{
    if (!empty_rect(r))
        clipped_copy(dst, POINT { r.left, r.top }, POINT { r.right - r.left, r.bottom - r.top }, src, POINT { r.left, r.top }, op);
}

} // namespace

ZoomView::Source ZoomView::form_source(const FormFrame* form)
{
    Source source;
    if (form && sized(form->picture, m_form_size)) {
        source.picture = form->picture;
        source.opaque = form->opaque;
        source.partial = form->opaque && !form->all && m_overlay != Overlay::Unknown;
        source.damage = form->damage;
        return source;
    }
    // Drawn here on the colour key, so that what the form leaves unpainted stays see-through.
    m_overlay = Overlay::Unknown;
    if (!m_painter)
        return source;
    m_form.recreate(m_form_size);
    if (!m_form.buffer())
        return source;
    fill_key(m_form);
    m_painter(m_form.canvas(), POINT { 0, 0 });
    source.picture = m_form.buffer();
    return source;
}

RECT ZoomView::stale_region(const Source& source) const
{
    RECT region { 0, 0, m_form_size.x, m_form_size.y };
    if (source.partial && m_overlay == Overlay::None)
        region = intersect(source.damage, region);
    else if (source.partial && m_overlay == Overlay::Rect)
        region = intersect(unite(source.damage, m_overlay_rect), region);
    return region;
}

RECT ZoomView::refresh_keyboard(Canvas& keyboard, const Source& source, const PixelOp& op)
{
    // After frames that showed the picture itself the target lags behind everywhere: a zoom
    // frame reports bounding boxes, all of which must hold this frame's pixels.
    const RECT region = m_target_stale ? RECT { 0, 0, m_form_size.x, m_form_size.y } : stale_region(source);
    m_target_stale = false;
    copy_rect(keyboard, *source.picture, region, op);
    return region;
}

bool ZoomView::show_picture(const Source& source, RECT& region)
{
    if (!m_may_show_picture || !source.opaque || source.picture == m_form.buffer())
        return false;
    region = stale_region(source);
    m_overlay = Overlay::None;
    m_picture_shown = true;
    m_target_stale = true;
    return true;
}

bool ZoomView::paint(const ZoomFrame& frame, const PixelBuffer* capture, Canvas& keyboard, Canvas* window,
                     const FormFrame* form, RECT* changed, bool* picture_shown)
{
    RECT written {};
    if (changed)
        *changed = written;
    if (picture_shown)
        *picture_shown = false;
    m_may_show_picture = picture_shown && form;
    m_picture_shown = false;
    if (m_form_size.x < 1 || m_form_size.y < 1)
        return false;
    const Source source = form_source(form);
    if (!source.picture)
        return false;
    const bool shown = frame.window_visible && !frame.repeat && window;
    bool drawn = false;
    bool done = false;
    switch (frame.style) {
    case ZoomStyle::Flat:
        if (frame.level > 1.0) {
            drawn = paint_flat(frame, capture, keyboard, window, source, written);
            done = true;
        }
        break;
    case ZoomStyle::Glass:
        if (shown && sized(capture, m_lens_size) && !m_table.empty()) {
            written = paint_glass(frame, *capture, keyboard, *window, source);
            drawn = done = true;
        }
        break;
    case ZoomStyle::IZoom:
        if (shown && sized(capture, POINT { m_form_size.x, m_lens_size.y }) && !m_table.empty()) {
            written = paint_izoom(frame, *capture, keyboard, *window, source);
            drawn = done = true;
        }
        break;
    default:
        break;
    }
    if (!done)
        written = paint_plain(keyboard, source);
    if (!form)
        m_overlay = Overlay::Unknown;
    if (changed)
        *changed = written;
    if (picture_shown)
        *picture_shown = m_picture_shown;
    return drawn;
}

RECT ZoomView::paint_plain(Canvas& keyboard, const Source& source)
{
    RECT written {};
    if (show_picture(source, written))
        return written;
    // Where the form leaves holes, what the keyboard showed before stays, as when the form draws
    // itself there.
    written = refresh_keyboard(keyboard, source, source.opaque ? copy_op() : key_op());
    m_overlay = Overlay::None;
    return written;
}

bool ZoomView::paint_flat(const ZoomFrame& frame, const PixelBuffer* capture, Canvas& keyboard, Canvas* window,
                          const Source& source, RECT& changed)
{
    const int fw = m_form_size.x, fh = m_form_size.y;
    const int strip = std::max(0, static_cast<int>(m_window_size.y));
    m_work.recreate(POINT { fw, strip + fh });
    if (!m_work.buffer()) {
        changed = paint_plain(keyboard, source);
        return false;
    }
    const PixelBuffer& picture = *source.picture;
    Canvas& canvas = m_work.canvas();
    const bool have_capture = strip > 0 && sized(capture, POINT { fw, strip });
    if (have_capture)
        copy_all(canvas, *capture);
    else if (strip > 0)
        fill(canvas, POINT { 0, 0 }, POINT { fw, strip }, kNoBackground);

    const double z = frame.level;
    const POINT scaled { near(fw * z), near(fh * z) };
    const POINT at { -frame.shift.x, strip - frame.shift.y };
    // A pan beyond the picture's edge would leave the last frame's pixels showing.
    const bool covers = at.x <= 0 && at.y <= strip && at.x + scaled.x >= fw && at.y + scaled.y >= strip + fh;
    if (!covers)
        clipped_copy(canvas, POINT { 0, strip }, m_form_size, picture, POINT { 0, 0 }, copy_op());
    scale_nearest(canvas, at, scaled, picture);

    // The whole keyboard is magnified: all of it is written.
    clipped_copy(keyboard, POINT { 0, 0 }, m_form_size, *m_work.buffer(), POINT { 0, strip }, copy_op());
    m_target_stale = false;
    changed = RECT { 0, 0, fw, fh };
    m_overlay = Overlay::All;
    if (!(frame.window_visible && !frame.repeat && window && have_capture))
        return false;
    copy_all(*window, *capture);
    clipped_copy(*window, POINT { 0, 0 }, POINT { fw, strip }, *m_work.buffer(), POINT { 0, 0 }, half_op());
    return true;
}

void ZoomView::map_lens(const PixelBuffer* see_through)
{
    const PixelBuffer& source = *m_lens_source.buffer();
    PixelBuffer& image = *m_lens_image.buffer();
    const int last = m_lens_size.y - 1;
    std::memcpy(image.row(last), source.row(last), static_cast<size_t>(m_lens_size.x) * 2);
    m_table.map(source, image, see_through);
}

RECT ZoomView::paint_glass(const ZoomFrame& frame, const PixelBuffer& capture, Canvas& keyboard, Canvas& window,
                           const Source& source)
{
    const int fw = m_form_size.x, fh = m_form_size.y;
    const int w = m_lens_size.x, h = m_lens_size.y;
    const int x = frame.stylus.x, y = frame.stylus.y;
    const POINT lens = m_lens_size;

    m_lens_source.recreate(lens);
    m_lens_image.recreate(lens);
    // The keyboard itself is never magnified in this style; where the form left holes the
    // colour key shows, as on the surface the lens reads.
    RECT written {};
    if (!show_picture(source, written)) {
        written = refresh_keyboard(keyboard, source, copy_op());
        m_overlay = Overlay::None;
    }
    if (!m_lens_source.buffer() || !m_lens_image.buffer()) {
        copy_all(window, capture);
        return written;
    }

    copy_all(window, capture);
    if (x >= 0 && x <= fw && y >= 0 && y <= fh) {
        // The keys around the stylus, on the colour key beyond the form's edges, so that the
        // lens can centre on any key.
        fill_key(m_lens_source);
        copy_region(m_lens_source.canvas(), POINT { 0, 0 }, *source.picture, POINT { x - (w + 1) / 2, y - (h + 1) / 2 },
                    lens, copy_op());
        map_lens(&capture);
        m_border.draw(window, POINT { 0, 0 }, lens, border_mark_op());
        clipped_copy(m_lens_image.canvas(), POINT { 0, 0 }, lens, capture, POINT { 0, 0 }, key_fill_op());
        clipped_copy(window, POINT { 0, 0 }, lens, *m_lens_image.buffer(), POINT { 0, 0 }, lens_blend_op());
    } else {
        m_border.draw(window, POINT { 0, 0 }, lens, border_mark_op());
    }
    return written;
}

RECT ZoomView::paint_izoom(const ZoomFrame& frame, const PixelBuffer& capture, Canvas& keyboard, Canvas& window,
                           const Source& source)
{
    const int fw = m_form_size.x, fh = m_form_size.y;
    const int w = m_lens_size.x, h = m_lens_size.y;
    const int e = (w + 1) / 2, g = (h + 1) / 2;
    // Dragged off the keyboard the lens stays at its edge.
    const int x = std::clamp(static_cast<int>(frame.stylus.x), 0, fw);
    const int y = std::clamp(static_cast<int>(frame.stylus.y), 0, fh);
    const POINT lens = m_lens_size;
    const PixelBuffer& picture = *source.picture;
    const PixelOp& form_op = source.opaque ? copy_op() : key_op();

    // The keyboard surface: the background picture, the screen strip above the keyboard when
    // the stylus is near its top, the form at (m, v). Only the part that the lens reads is made:
    // around the stylus, and the rows that stand on the stylus row.
    const POINT work_size { fw + e, fh + g };
    const int m = x < e ? e : 0, v = y < g ? g : 0;
    const int first_key_row = std::max(h - y, 0);
    const RECT around { x + m - e, y + v - g, x + m - e + w, y + v - g + h };
    const RECT standing { x + m - e, v + std::max(y - h, 0), x + m - e + w, v + std::max(y - h, 0) + h - first_key_row };
    const RECT part = intersect(unite(around, standing), RECT { 0, 0, work_size.x, work_size.y });
    const POINT origin { part.left, part.top };

    m_work.recreate(POINT { std::max<LONG>(part.right - part.left, 1), std::max<LONG>(part.bottom - part.top, 1) });
    m_lens_source.recreate(lens);
    m_lens_image.recreate(lens);
    if (!m_work.buffer() || !m_lens_source.buffer() || !m_lens_image.buffer()) {
        copy_all(window, capture);
        return paint_plain(keyboard, source);
    }
    // The tiled picture costs more than a copy: it is drawn again only for a new size.
    if (m_backdrop.recreate(work_size) || !m_backdrop_valid) {
        if (m_background.image)
            m_background.draw(m_backdrop.canvas(), POINT { 0, 0 }, work_size, copy_op());
        else
            fill(m_backdrop.canvas(), POINT { 0, 0 }, work_size, kNoBackground);
        m_backdrop_valid = m_backdrop.buffer() != nullptr;
    }
    Canvas& work = m_work.canvas();
    if (m_backdrop_valid)
        copy_region(work, POINT { 0, 0 }, *m_backdrop.buffer(), origin, m_work.size(), copy_op());
    if (y < g) // the screen strip just above the keyboard, so the lens can magnify into it
        copy_region(work, POINT { m - origin.x, -origin.y }, capture, POINT { 0, g }, POINT { fw, g }, copy_op());
    clipped_copy(work, POINT { m - origin.x, v - origin.y }, m_form_size, picture, POINT { 0, 0 }, form_op);
    const PixelBuffer& surface = *m_work.buffer();

    // The magnified keys, centred on the stylus.
    fill(m_lens_source.canvas(), POINT { 0, 0 }, lens, kNoBackground);
    copy_region(m_lens_source.canvas(), POINT { 0, 0 }, surface, POINT { around.left - origin.x, around.top - origin.y },
                lens, copy_op());
    map_lens(nullptr);

    // What the lens covers: the area standing on the stylus row.
    Canvas& lens_canvas = m_lens_source.canvas();
    if (y < h)
        copy_region(lens_canvas, POINT { 0, 0 }, capture, POINT { x - e, y }, POINT { w, h - y }, copy_op());
    if (y > 0)
        copy_region(lens_canvas, POINT { 0, first_key_row }, surface,
                    POINT { standing.left - origin.x, standing.top - origin.y }, POINT { w, h - first_key_row }, copy_op());
    m_border.draw(lens_canvas, POINT { 0, 0 }, lens, border_mark_op());
    clipped_copy(lens_canvas, POINT { 0, 0 }, lens, *m_lens_image.buffer(), POINT { 0, 0 }, lens_fill_op());

    const PixelBuffer& drawn = *m_lens_source.buffer();
    copy_all(window, capture);
    if (y < h) {
        int cut = std::max(e - x, 0);
        copy_region(window, POINT { std::max(x - e, 0), y }, drawn, POINT { cut, 0 }, POINT { w - cut, h - y }, copy_op());
    }

    // The keyboard window: the form where the lens was or the form changed, then the lens.
    RECT written;
    if (source.opaque) {
        written = refresh_keyboard(keyboard, source, copy_op());
    } else {
        written = RECT { 0, 0, fw, fh };
        if (m_backdrop_valid)
            copy_region(keyboard, POINT { 0, 0 }, *m_backdrop.buffer(), POINT { m, v }, m_form_size, copy_op());
        clipped_copy(keyboard, POINT { 0, 0 }, m_form_size, picture, POINT { 0, 0 }, form_op);
    }
    const POINT paste { x - e, std::max(y - h, 0) };
    copy_region(keyboard, paste, drawn, POINT { 0, first_key_row }, POINT { w, h - first_key_row }, copy_op());
    const RECT lens_part = intersect(RECT { paste.x, paste.y, paste.x + w, paste.y + h - first_key_row }, RECT { 0, 0, fw, fh });
    m_overlay = Overlay::Rect;
    m_overlay_rect = lens_part;
    return unite(written, lens_part);
}
