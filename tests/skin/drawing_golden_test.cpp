// Pictures of the drawing layer, compared pixel for pixel with the goldens.
#include "skin/drawing/Blit.h"
#include "skin/drawing/ClipGuard.h"
#include "skin/text/FontRep.h"
#include "skin/drawing/NinePatch.h"
#include "skin/drawing/PixelOps.h"
#include "skin/drawing/RenderSurface.h"
#include "tests/support/Golden.h"

#include <gtest/gtest.h>

namespace {

void expect_golden(RenderSurface& surface, const std::string& name)
{
    PixelBuffer& b = *surface.buffer();
    ExpectMatchesGolden(b.pixels(), b.width(), b.height(), b.pitch() / 2, name);
}

void checkerboard(Canvas& canvas, int w, int h)
{
    for (int y = 0; y < h; y += 4)
        for (int x = 0; x < w; x += 4)
            fill(canvas, POINT { x, y }, POINT { 4, 4 }, ((x + y) / 4) % 2 ? SkinColor { 200, 200, 200, 255 } : SkinColor { 150, 150, 150, 255 });
}

// A button-like picture: dark frame, lighter inner border, a striped middle that shows how it
// tiles, transparent corners and a half-transparent shadow row and column.
std::unique_ptr<PixelBuffer> button_picture()
{
    auto p = PixelBuffer::create(16, 12);
    for (int y = 0; y < 12; ++y)
        for (int x = 0; x < 16; ++x) {
            uint16_t c;
            bool frame = x == 0 || y == 0 || x == 14 || y == 10;
            bool shadow = x == 15 || y == 11;
            if (shadow)
                c = 0x0000; // translucent black: shows the destination at half
            else if (frame)
                c = 0x0020 | 0x2104; // opaque dark blue-grey
            else if (x < 5 || x >= 11 || y < 4 || y >= 8)
                c = 0x0020 | 0x9CF3; // inner border
            else
                c = ((x + y) % 3 == 0 ? 0xF800 : 0xFFE0) | 0x0020; // stripes in the middle tile
            p->row(y)[x] = c;
        }
    p->row(0)[0] = p->row(0)[14] = p->row(10)[0] = p->row(10)[14] = 0xF81F; // rounded corners
    p->row(0)[15] = p->row(11)[0] = p->row(11)[15] = 0xF81F;
    return p;
}

TEST(DrawingGolden, NinePatchAtSeveralSizesAndScaleShifts)
{
    RenderSurface s;
    s.recreate(POINT { 200, 150 });
    checkerboard(s.canvas(), 200, 150);
    auto picture = button_picture();
    NinePatch g { POINT { 0, 0 }, POINT { 5, 4 }, POINT { 11, 8 }, POINT { 16, 12 }, 0 };
    NinePatch g2 { POINT { 0, 0 }, POINT { 10, 8 }, POINT { 22, 16 }, POINT { 32, 24 }, 1 };
    AlphaLevelOp half(128);

    // Natural size, larger (tiled middle), borders sharing a small size, a sliver.
    draw_picture(s.canvas(), POINT { 4, 4 }, POINT { 16, 12 }, *picture, g, half);
    draw_picture(s.canvas(), POINT { 24, 4 }, POINT { 60, 30 }, *picture, g, half);
    draw_picture(s.canvas(), POINT { 88, 4 }, POINT { 9, 7 }, *picture, g, half);
    draw_picture(s.canvas(), POINT { 100, 4 }, POINT { 3, 30 }, *picture, g, half);
    // Plain copy: the colour key shows as magenta, translucent pixels as their own colour.
    draw_picture(s.canvas(), POINT { 108, 4 }, POINT { 40, 20 }, *picture, g, copy_op());

    // Scale shift 1: every source pixel covers 2 x 2, natural and stretched.
    draw_picture(s.canvas(), POINT { 4, 40 }, POINT { 32, 24 }, *picture, g2, half);
    draw_picture(s.canvas(), POINT { 40, 40 }, POINT { 100, 50 }, *picture, g2, half);
    draw_picture(s.canvas(), POINT { 144, 40 }, POINT { 15, 11 }, *picture, g2, half);

    // Clipped into the middle of a tile: the stripes continue where they would have been.
    {
        ClipGuard clip(s.canvas(), POINT { 33, 107 }, POINT { 90, 30 });
        draw_picture(s.canvas(), POINT { 4, 100 }, POINT { 150, 44 }, *picture, g2, half);
    }
    draw_picture(s.canvas(), POINT { 160, 100 }, POINT { 36, 44 }, *picture, g, key_op());
    expect_golden(s, "drawing/ninepatch");
}

TEST(DrawingGolden, TranslucencyLevelsOverAGradient)
{
    RenderSurface s;
    s.recreate(POINT { 192, 110 });
    for (int x = 0; x < 192; ++x)
        fill(s.canvas(), POINT { x, 0 }, POINT { 1, 110 }, SkinColor { uint8_t(x * 255 / 191), uint8_t(255 - x * 255 / 191), 128, 255 });
    // Swatches: translucent black, translucent half red (already weighted), opaque white, key.
    auto strip = PixelBuffer::create(160, 16);
    for (int y = 0; y < 16; ++y)
        for (int x = 0; x < 160; ++x) {
            uint16_t c;
            switch (x / 40) {
            case 0: c = 0x0000; break;
            case 1: c = 0x7800; break;
            case 2: c = 0xFFFF; break;
            default: c = 0xF81F; break;
            }
            strip->row(y)[x] = c;
        }
    for (int level = 0; level <= 4; ++level) {
        AlphaLevelOp op(level * 64);
        clipped_copy(s.canvas(), POINT { 16, 4 + level * 21 }, POINT { 160, 16 }, *strip, POINT { 0, 0 }, op);
    }
    expect_golden(s, "drawing/translucency_levels");
}

TEST(DrawingGolden, BrightnessLevels)
{
    RenderSurface s;
    s.recreate(POINT { 17 * 12, 64 });
    for (int y = 0; y < 64; ++y)
        for (int x = 0; x < 17 * 12; ++x) {
            int t = x % 12;
            SkinColor c { uint8_t(y * 4), uint8_t(t * 21), uint8_t(255 - y * 4), 255 };
            fill(s.canvas(), POINT { x, y }, POINT { 1, 1 }, y < 8 ? SkinColor { 255, 255, 255, 255 } : c);
        }
    for (int k = 0; k <= 16; ++k)
        scale_brightness(s.canvas(), POINT { k * 12, 0 }, POINT { 12, 64 }, k * 16);
    expect_golden(s, "drawing/brightness_levels");
}

TEST(DrawingGolden, ScaledCopies)
{
    RenderSurface s, src;
    s.recreate(POINT { 120, 60 });
    src.recreate(POINT { 12, 12 });
    checkerboard(s.canvas(), 120, 60);
    for (int y = 0; y < 12; ++y)
        for (int x = 0; x < 12; ++x)
            src.buffer()->row(y)[x] = (x == 0 || y == 0 || x == 11 || y == 11) ? 0x001F : static_cast<uint16_t>((x * 2) << 11 | (y * 5) << 5 | 0x0020);
    src.draw(s.canvas(), POINT { 2, 2 }, copy_op());
    src.draw_scaled(s.canvas(), POINT { 18, 2 }, POINT { 24, 24 }, copy_op());
    src.draw_scaled(s.canvas(), POINT { 46, 2 }, POINT { 31, 17 }, copy_op());
    src.draw_scaled(s.canvas(), POINT { 80, 2 }, POINT { 7, 50 }, copy_op());
    {
        ClipGuard clip(s.canvas(), POINT { 95, 10 }, POINT { 20, 40 });
        src.draw_scaled(s.canvas(), POINT { 90, 5 }, POINT { 36, 36 }, copy_op());
    }
    expect_golden(s, "drawing/scaled");
}

struct TextGolden : ::testing::TestWithParam<int> { };

void frame(Canvas& c, POINT pos, POINT size)
{
    SkinColor line { 120, 160, 220, 255 };
    fill(c, POINT { pos.x - 1, pos.y - 1 }, POINT { size.x + 2, 1 }, line);
    fill(c, POINT { pos.x - 1, pos.y + size.y }, POINT { size.x + 2, 1 }, line);
    fill(c, POINT { pos.x - 1, pos.y }, POINT { 1, size.y }, line);
    fill(c, POINT { pos.x + size.x, pos.y }, POINT { 1, size.y }, line);
}

// Two faces at two sizes; each picture shows the nine alignments on one line, wrapped text in
// three horizontal alignments, and single lines cut with an ellipsis, Latin and Cyrillic.
TEST_P(TextGolden, AlignmentsWrapAndEllipsis)
{
    struct Variant {
        const char16_t* face;
        int size;
        int scale;
        bool bold;
        const char* name;
    } variants[] = {
        { u"Tahoma", 9, 1, false, "text/tahoma_9" },
        { u"Tahoma", 12, 2, true, "text/tahoma_bold_12x2" },
        { u"DejaVu Serif", 10, 1, false, "text/dejavu_serif_10" },
        { u"DejaVu Serif", 8, 2, false, "text/dejavu_serif_8x2" },
    };
    const Variant& v = variants[GetParam()];
    FontDesc desc;
    desc.face = v.face;
    desc.size = v.size;
    desc.scale = v.scale;
    desc.bold = v.bold;
    FontRep font(desc);
    int u = v.scale; // boxes grow with the scale, as skins do
    RenderSurface s;
    s.recreate(POINT { 330 * u, 250 * u });
    fill(s.canvas(), POINT { 0, 0 }, s.size(), SkinColor { 255, 255, 250, 255 });
    Canvas& c = s.canvas();
    SkinColor ink { 20, 20, 60, 255 };

    HAlign hs[] = { HAlign::LEFT, HAlign::CENTER, HAlign::RIGHT };
    VAlign vs[] = { VAlign::TOP, VAlign::VCENTER, VAlign::BOTTOM };
    for (int row = 0; row < 3; ++row)
        for (int col = 0; col < 3; ++col) {
            POINT pos { (4 + col * 108) * u, (4 + row * 34) * u }, size { 100 * u, 28 * u };
            frame(c, pos, size);
            font.draw_text(c, ink, row == 1 ? u"Жизнь Ag" : u"Ag Qy", pos, size, hs[col], vs[row], false);
        }

    const char16_t* para = u"The quick brown fox jumps over the lazy dog. Съешь же ещё этих мягких булок.";
    for (int col = 0; col < 3; ++col) {
        POINT pos { (4 + col * 108) * u, 110 * u }, size { 100 * u, 80 * u };
        frame(c, pos, size);
        font.draw_text(c, SkinColor { 150, 20, 20, 255 }, para, pos, size, hs[col], VAlign::TOP, true);
    }

    const char16_t* lines[] = { u"A single line far too long for its box", u"Очень длинная строка текста" };
    for (int i = 0; i < 2; ++i) {
        POINT pos { 4 * u, (200 + i * 22) * u }, size { 150 * u, 18 * u };
        frame(c, pos, size);
        font.draw_text(c, ink, lines[i], pos, size, HAlign::LEFT, VAlign::VCENTER, false);
    }
    // Wrapped words longer than the box end in an ellipsis.
    const char16_t* words[] = { u"Word: Antidisestablishment", u"Слово: достопримечательность" };
    for (int i = 0; i < 2; ++i) {
        POINT pos { (166 + i * 82) * u, 200 * u }, size { 74 * u, 40 * u };
        frame(c, pos, size);
        font.draw_text(c, SkinColor { 0, 110, 0, 255 }, words[i], pos, size, HAlign::CENTER, VAlign::TOP, true);
    }
    expect_golden(s, v.name);
}

INSTANTIATE_TEST_SUITE_P(Faces, TextGolden, ::testing::Range(0, 4));

}
