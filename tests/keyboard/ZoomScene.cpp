#include "tests/keyboard/ZoomScene.h"

#include "skin/drawing/Blit.h"
#include "skin/text/FontRep.h"
#include "skin/file/Picture.h"
#include "skin/drawing/PixelOps.h"

#include <cmath>
#include <string>

namespace {

constexpr int kColumns = 11;
const char16_t* kRows[] = { u"qwertyuiop[", u"asdfghjkl;'", u"zxcvbnm,./?" };

std::shared_ptr<Picture> ring_picture(int size)
{
    auto pixels = PixelBuffer::create(size, size);
    double c = size * 0.5, outer = size * 0.5 - 1;
    for (int y = 0; y < size; ++y)
        for (int x = 0; x < size; ++x) {
            double d = std::hypot(x + 0.5 - c, y + 0.5 - c);
            uint16_t p = 0xF81F; // outside: the screen shows
            if (d < outer - 3)
                p = 0x0000; // inside: the lens
            else if (d < outer - 1)
                p = 0xDEFB | 0x20; // a light rim, half over what is behind
            else if (d < outer)
                p = 0x2104 | 0x20; // and a dark edge
            pixels->row(y)[x] = p;
        }
    return std::make_shared<Picture>(std::move(pixels), u"GlassBorder");
}

std::shared_ptr<Picture> background_picture()
{
    auto pixels = PixelBuffer::create(8, 8);
    for (int y = 0; y < 8; ++y)
        for (int x = 0; x < 8; ++x)
            pixels->row(y)[x] = y < 1 ? 0x4A69 : 0x3186; // a lighter top line over slate
    return std::make_shared<Picture>(std::move(pixels), u"background");
}

} // namespace

ZoomScene::ZoomScene(int s)
    : scale(s)
    , screen { 240 * s, 320 * s }
    , bottom_offset(26 * s)
    , form { 240 * s, 80 * s }
    , key_height(18 * s)
{
    // The note pad: a title, ruled lines and text.
    device.recreate(screen);
    Canvas& c = device.canvas();
    fill(c, POINT { 0, 0 }, screen, SkinColor { 252, 252, 248, 255 });
    fill(c, POINT { 0, 0 }, POINT { screen.x, 26 * s }, SkinColor { 30, 60, 120, 255 });
    FontDesc title_desc;
    title_desc.size = 9;
    title_desc.scale = s;
    title_desc.bold = true;
    FontRep title(title_desc);
    title.draw_text(c, SkinColor { 255, 255, 255, 255 }, u"Notes", POINT { 6 * s, 0 }, POINT { 120 * s, 26 * s },
                    HAlign::LEFT, VAlign::VCENTER, false);
    FontDesc text_desc;
    text_desc.size = 9;
    text_desc.scale = s;
    FontRep text(text_desc);
    const char16_t* lines[] = { u"Shopping: milk, eggs, bread", u"Call Anna about the trip", u"Meeting moved to 3:30 pm",
        u"The quick brown fox jumps over", u"the lazy dog. 0123456789", u"Ideas for the weekend:", u"- bike ride along the river",
        u"- finish the book", u"Remember: passport & tickets", u"Zoom lens test line here" };
    for (int i = 0; i < 10; ++i) {
        int y = (30 + i * 17) * s;
        fill(c, POINT { 4 * s, y + 16 * s }, POINT { screen.x - 8 * s, s }, SkinColor { 200, 215, 235, 255 });
        text.draw_text(c, SkinColor { 20, 20, 40, 255 }, lines[i], POINT { 6 * s, y }, POINT { screen.x - 12 * s, 16 * s },
                       HAlign::LEFT, VAlign::BOTTOM, false);
    }
    fill(c, POINT { 0, screen.y - bottom_offset }, POINT { screen.x, bottom_offset }, SkinColor { 30, 60, 120, 255 });

    // The keyboard: keys with letters on a slate background, and a space bar row.
    keyboard.recreate(form);
    Canvas& k = keyboard.canvas();
    fill(k, POINT { 0, 0 }, form, SkinColor { 48, 52, 60, 255 });
    FontDesc key_desc;
    key_desc.size = 8;
    key_desc.scale = s;
    key_desc.bold = true;
    FontRep label(key_desc);
    const int pitch_x = form.x / kColumns, pitch_y = form.y / 4;
    for (int row = 0; row < 4; ++row)
        for (int col = 0; col < kColumns; ++col) {
            bool bottom = row == 3;
            if (bottom && col != 0 && col != 3 && col != 9)
                continue;
            int span = bottom ? (col == 3 ? 6 : col == 0 ? 3 : 2) : 1;
            POINT pos { col * pitch_x + s, row * pitch_y + s };
            POINT size { span * pitch_x - 2 * s, key_height };
            fill(k, pos, size, SkinColor { 24, 26, 30, 255 });
            fill(k, POINT { pos.x + s, pos.y }, POINT { size.x - 2 * s, size.y - s },
                 bottom ? SkinColor { 150, 160, 175, 255 } : SkinColor { 236, 238, 242, 255 });
            std::u16string name = bottom ? (col == 0 ? u"123" : col == 3 ? u"space" : u"\u21b5") : std::u16string(1, kRows[row][col]);
            label.draw_text(k, SkinColor { 20, 22, 28, 255 }, name, pos, size, HAlign::CENTER, VAlign::VCENTER, false);
        }
    // Labels leave the opacity bit on what they touched; the form's own pixels carry it too.
    PixelBuffer& kb = *keyboard.buffer();
    for (int y = 0; y < kb.height(); ++y)
        for (int x = 0; x < kb.width(); ++x)
            kb.row(y)[x] |= 0x20;

    auto ring = ring_picture(90);
    border.image = ring;
    border.scale_shift = s == 2 ? 1 : 0;
    border.p0 = POINT { 0, 0 };
    border.p1 = POINT { 44 * s, 44 * s };
    border.p2 = POINT { 46 * s, 46 * s };
    border.p3 = POINT { 90 * s, 90 * s };
    background.image = background_picture();
    background.p0 = POINT { 0, 0 };
    background.p1 = POINT { 1, 1 };
    background.p2 = POINT { 7, 7 };
    background.p3 = POINT { 8, 8 };
}

POINT ZoomScene::key_centre(int row, int column) const
{
    const int pitch_x = form.x / kColumns, pitch_y = form.y / 4;
    return POINT { column * pitch_x + pitch_x / 2, row * pitch_y + scale + key_height / 2 };
}

ZoomView::FormPainter ZoomScene::painter() const
{
    const PixelBuffer* picture = keyboard.buffer();
    return [picture](Canvas& canvas, POINT offset) {
        clipped_copy(canvas, offset, POINT { picture->width(), picture->height() }, *picture, POINT { 0, 0 }, copy_op());
    };
}

void ZoomScene::configure(ZoomView& view, ZoomStyle style) const
{
    view.set_form(form, painter());
    POINT lens = zoom_lens_size(kbIntPair { 90, 90 }, scale, screen, bottom_offset, form);
    view.set_lens(lens, 50.0);
    view.set_window_size(zoom_window_size(style, form, key_height, lens, scale, screen, bottom_offset));
    view.set_pictures(border, background);
}

std::unique_ptr<RenderSurface> ZoomScene::compose(ZoomView& view, const ZoomFrame& frame) const
{
    auto out = std::make_unique<RenderSurface>();
    out->recreate(screen);
    clipped_copy(out->canvas(), POINT { 0, 0 }, screen, *device.buffer(), POINT { 0, 0 }, copy_op());

    POINT window = view.window_size();
    POINT place = zoom_window_place(window, screen, bottom_offset, form.y);
    RenderSurface capture;
    if (window.x > 0 && window.y > 0) {
        capture.recreate(window);
        copy_region(capture.canvas(), POINT { 0, 0 }, *device.buffer(), place, window, copy_op());
    }
    RenderSurface kb, zw;
    kb.recreate(form);
    if (window.x > 0 && window.y > 0)
        zw.recreate(window);
    bool drawn = view.paint(frame, capture.buffer(), kb.canvas(), zw.buffer() ? &zw.canvas() : nullptr);
    kb.draw(out->canvas(), keyboard_origin(), copy_op());
    if (drawn)
        zw.draw(out->canvas(), place, copy_op());
    return out;
}
