// The zoom views' arithmetic and composition: lens tables, window size and place, the clamps of
// hand-edited settings, and what each style puts on the screen where it matters.
#include "keyboard/LensTable.h"
#include "keyboard/ZoomLimits.h"
#include "keyboard/ZoomView.h"
#include "skin/drawing/Blit.h"
#include "skin/drawing/PixelOps.h"
#include "tests/keyboard/ZoomScene.h"
#include "tests/support/DeviceRoot.h"

#include <gtest/gtest.h>

#include <cmath>
#include <fstream>
#include <iterator>
#include <limits>
#include <memory>
#include <random>

namespace {

// ---- lens tables ------------------------------------------------------------------------------

TEST(LensTable, FollowsTheLensFormula)
{
    LensTable t;
    ASSERT_TRUE(t.build(90, 90, 50.0));
    ASSERT_EQ(t.size(), 8100u);
    // The centre maps to itself; 10 pixels right of it reads 7.469 pixels right.
    const int centre = 45 + 45 * 90;
    EXPECT_EQ(t.index(centre), centre);
    EXPECT_EQ(t.fx(centre), 0);
    double k = 50.0 / std::sqrt(45.0 * 45 + 50.0 * 50 - 0.4444444444444444 * 100);
    const int right = 55 + 45 * 90;
    EXPECT_EQ(t.index(right), int(45 + k * 10) + 45 * 90);
    EXPECT_EQ(t.fx(right), int((45 + k * 10 - int(45 + k * 10)) * 256));
    EXPECT_EQ(t.fy(right), 0);
    // Above and left of the centre the fractions count from the pixel's own top-left.
    const int up_left = 40 + 38 * 90;
    double sx = 45 - 5 * 50.0 / std::sqrt(45.0 * 45 + 2500 - 0.4444444444444444 * 74);
    double sy = 45 - 7 * 50.0 / std::sqrt(45.0 * 45 + 2500 - 0.4444444444444444 * 74);
    EXPECT_EQ(t.index(up_left), int(sx) + int(sy) * 90);
    EXPECT_EQ(t.fx(up_left), int((sx - int(sx)) * 256));
    EXPECT_EQ(t.fy(up_left), int((sy - int(sy)) * 256));
    // Magnification at the centre is sqrt(s^2 + R^2) / R, about 1.35 with the defaults: one
    // source pixel spans more than one destination pixel.
    EXPECT_EQ(t.index(46 + 45 * 90), centre);
    // Every index leaves room for the lower pair.
    for (size_t i = 0; i < t.size(); ++i)
        EXPECT_LE(t.index(i), 90 * 90 - 90 - 2);
}

TEST(LensTable, RebuildsOnlyWhenTheLensChanges)
{
    LensTable t;
    EXPECT_TRUE(t.build(90, 120, 50.0));
    EXPECT_FALSE(t.build(90, 120, 50.0));
    // As many entries, another shape: the old rows would be read with the wrong width.
    EXPECT_TRUE(t.build(120, 90, 50.0));
    EXPECT_EQ(t.width(), 120);
    EXPECT_TRUE(t.build(120, 90, 80.0));
    // Unusable sizes empty the table rather than allocate absurdly.
    EXPECT_FALSE(t.build(0, 90, 50.0));
    EXPECT_TRUE(t.empty());
    EXPECT_FALSE(t.build(-4, -4, 50.0));
    EXPECT_FALSE(t.build(100000, 100000, 50.0));
    EXPECT_TRUE(t.empty());
}

TEST(LensTable, AnyRadiusStaysInsideTheLens)
{
    const double nan = std::numeric_limits<double>::quiet_NaN();
    for (double r : { 0.0, -50.0, 1e-9, 1e9, nan, std::numeric_limits<double>::infinity() }) {
        LensTable t;
        t.build(20, 12, r);
        for (size_t i = 0; i < t.size(); ++i) {
            EXPECT_GE(t.index(i), 0) << r;
            EXPECT_LE(t.index(i), 20 * 12 - 20 - 2) << r;
        }
    }
}

TEST(LensTable, MapsOnlyBuffersOfItsSize)
{
    LensTable t;
    t.build(8, 6, 50.0);
    auto src = PixelBuffer::create(8, 6), dst = PixelBuffer::create(8, 6), odd = PixelBuffer::create(7, 6);
    for (int y = 0; y < 6; ++y)
        for (int x = 0; x < 8; ++x)
            src->row(y)[x] = 0x1234, dst->row(y)[x] = 0;
    EXPECT_FALSE(t.map(*src, *odd));
    EXPECT_FALSE(t.map(*src, *dst, odd.get()));
    ASSERT_TRUE(t.map(*src, *dst));
    EXPECT_EQ(dst->row(0)[0], 0x1234 & 0xFFFF); // a flat picture stays flat
    EXPECT_EQ(dst->row(4)[7], 0x1234);
    EXPECT_EQ(dst->row(5)[0], 0); // the last row is not written
}

// ---- clamps -------------------------------------------------------------------------------------

TEST(ZoomLimits, AbsurdLensValuesBecomeUsable)
{
    const double nan = std::numeric_limits<double>::quiet_NaN(), inf = std::numeric_limits<double>::infinity();
    EXPECT_DOUBLE_EQ(zoom_limits::glass_radius(0.0), 5.0);
    EXPECT_DOUBLE_EQ(zoom_limits::glass_radius(-50.0), 5.0);
    EXPECT_DOUBLE_EQ(zoom_limits::glass_radius(nan), 50.0);
    EXPECT_DOUBLE_EQ(zoom_limits::glass_radius(inf), 10000.0);
    EXPECT_DOUBLE_EQ(zoom_limits::glass_radius(37.5), 37.5);
    EXPECT_EQ(zoom_limits::glass_zoom_window_size({ -90, 0 }), (kbIntPair { 16, 16 }));
    EXPECT_EQ(zoom_limits::glass_zoom_window_size({ INT32_MAX, 91 }), (kbIntPair { 240, 92 }));
    EXPECT_EQ(zoom_limits::glass_zoom_window_size({ 90, 90 }), (kbIntPair { 90, 90 }));
}

TEST(ZoomLimits, TheFileKeepsWhatThePersonWrote)
{
    TempDeviceRoot device;
    const std::u16string path = u"\\Program Files\\Tarn\\Magnikeys\\settings.txt";
    const std::string text =
                     "zoom_scale 1\nzoom_show_delay 0.325\nanimation_time 0\nzoom_power 0.3\nsmart_zoom true\n"
                     "zooms_count_to_disable_delay 5\nprint_pause_to_enable_delay 3\nmin_time_for_press 0.2\n"
                     "double_click_delay 0.5\nrepeat_delay 0.9\nrepeat_interval 0.15\nsettings_id 32\n"
                     "last_movement_ignore 0.065\nglass_zoom_window_size -8 100000\nglass_radius -1\n"
                     "stroke_speed 600 300\nstroke_distance 30 20\nboard_style glass_zoom\n";
    device.writeFile(path, text);
    kbSettings settings;
    EXPECT_DOUBLE_EQ(settings.glass_radius, -1.0);
    EXPECT_EQ(zoom_limits::glass_zoom_window_size(settings.glass_zoom_window_size), (kbIntPair { 16, 240 }));
    // The lens those values give is a sound one.
    LensTable t;
    EXPECT_TRUE(t.build(16, 240, zoom_limits::glass_radius(settings.glass_radius)));
    std::ifstream file(device.hostPath(path), std::ios::binary);
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(file), {}), text);
}

// ---- window size and place -----------------------------------------------------------------------

TEST(ZoomGeometry, SizesAndPlacesPerStyle)
{
    const POINT qvga { 240, 320 }, vga { 480, 640 };
    const POINT form1 { 240, 80 }, form2 { 480, 160 };
    POINT lens1 = zoom_lens_size({ 90, 90 }, 1, qvga, 26, form1);
    POINT lens2 = zoom_lens_size({ 90, 90 }, 2, vga, 52, form2);
    EXPECT_EQ(lens1.x, 90);
    EXPECT_EQ(lens1.y, 90);
    EXPECT_EQ(lens2.x, 180);
    EXPECT_EQ(lens2.y, 180);

    POINT glass = zoom_window_size(ZoomStyle::Glass, form1, 18, lens1, 1, qvga, 26);
    POINT place = zoom_window_place(glass, qvga, 26, form1.y);
    EXPECT_EQ(place.x, 75); // centred, whatever the stylus
    EXPECT_EQ(place.y, 320 - 26 - 90 - 80);

    POINT simple = zoom_window_size(ZoomStyle::Simple, form1, 18, lens1, 1, qvga, 26);
    EXPECT_EQ(simple.x, 0);
    EXPECT_EQ(simple.y, 0);
    // trunc(18 * 1.6) = 28; 28 * 2 * 5 / 6 = 46.67 -> 47
    POINT flat = zoom_window_size(ZoomStyle::Flat, form2, 18, lens2, 2, vga, 52);
    EXPECT_EQ(flat.x, 480);
    EXPECT_EQ(flat.y, 47);
    POINT strip = zoom_window_size(ZoomStyle::IZoom, form2, 36, lens2, 2, vga, 52);
    EXPECT_EQ(strip.x, 480);
    EXPECT_EQ(strip.y, 180);

    // A huge or odd size is cut to the screen, even, above the keyboard.
    POINT huge = zoom_lens_size({ 240, 240 }, 2, POINT { 480, 400 }, 52, form2);
    EXPECT_EQ(huge.x, 480);
    EXPECT_EQ(huge.y, 188);
    EXPECT_GE(zoom_window_place(huge, POINT { 480, 400 }, 52, form2.y).y, 0);

    // A desktop's scale: 90 design pixels at 3.115 is 280 (rounded, kept even), the strip five
    // sixths of 1.6 keys.
    const POINT desktop { 1920, 1080 + 81 }, form3 { 748, 265 };
    POINT lens3 = zoom_lens_size({ 90, 90 }, 3.115, desktop, 81, form3);
    EXPECT_EQ(lens3.x, 280);
    EXPECT_EQ(lens3.y, 280);
    EXPECT_EQ(zoom_window_place(lens3, desktop, 81, form3.y).y, 1080 - 265 - 280);
    // trunc(59 * 1.6) = 94; 94 * 3.115 * 5 / 6 = 244.0
    POINT flat3 = zoom_window_size(ZoomStyle::Flat, form3, 59, lens3, 3.115, desktop, 81);
    EXPECT_EQ(flat3.y, 244);
}

// ---- composition ---------------------------------------------------------------------------------

struct Outputs {
    RenderSurface keyboard, window;
    bool drawn = false;
};

std::unique_ptr<Outputs> paint(ZoomView& view, const ZoomScene& scene, const ZoomFrame& frame, const PixelBuffer* capture)
{
    auto o = std::make_unique<Outputs>();
    o->keyboard.recreate(scene.form);
    fill(o->keyboard.canvas(), POINT { 0, 0 }, scene.form, SkinColor { 1, 2, 3, 255 });
    POINT w = view.window_size();
    if (w.x > 0 && w.y > 0) {
        o->window.recreate(w);
        fill(o->window.canvas(), POINT { 0, 0 }, w, SkinColor { 1, 2, 3, 255 });
    }
    o->drawn = view.paint(frame, capture, o->keyboard.canvas(), o->window.buffer() ? &o->window.canvas() : nullptr);
    return o;
}

// A capture of the window's size in a colour of its own, never the key.
std::unique_ptr<RenderSurface> capture_for(const ZoomView& view, uint16_t colour = 0x5ACB)
{
    auto c = std::make_unique<RenderSurface>();
    c->recreate(view.window_size());
    for (int y = 0; y < c->size().y; ++y)
        fill_0565(c->buffer()->row(y), c->size().x, colour);
    return c;
}

bool same(const PixelBuffer& a, const PixelBuffer& b)
{
    for (int y = 0; y < a.height(); ++y)
        for (int x = 0; x < a.width(); ++x)
            if (a.row(y)[x] != b.row(y)[x])
                return false;
    return true;
}

TEST(ZoomView, SimpleNeverDrawsTheZoomWindow)
{
    ZoomScene scene(1);
    ZoomView view;
    scene.configure(view, ZoomStyle::Simple);
    view.set_window_size(POINT { 90, 90 }); // even given room, simple draws none
    auto capture = capture_for(view);
    ZoomFrame f { ZoomStyle::Simple, 2.0, {}, scene.key_centre(1, 5), true, false };
    auto o = paint(view, scene, f, capture->buffer());
    EXPECT_FALSE(o->drawn);
    EXPECT_TRUE(same(*o->keyboard.buffer(), *scene.keyboard.buffer()));
}

TEST(ZoomView, HiddenOrRepeatingDrawsThePlainKeyboard)
{
    ZoomScene scene(1);
    for (ZoomStyle style : { ZoomStyle::Flat, ZoomStyle::Glass, ZoomStyle::IZoom }) {
        ZoomView view;
        scene.configure(view, style);
        auto capture = capture_for(view);
        ZoomFrame repeating { style, 2.0, {}, scene.key_centre(1, 5), true, true };
        auto o = paint(view, scene, repeating, capture->buffer());
        EXPECT_FALSE(o->drawn);
        if (style != ZoomStyle::Flat) { // flat zoom still scales the keyboard itself
            EXPECT_TRUE(same(*o->keyboard.buffer(), *scene.keyboard.buffer()));
        }
        ZoomFrame at_rest { style, 1.0, {}, scene.key_centre(1, 5), false, false };
        o = paint(view, scene, at_rest, capture->buffer());
        EXPECT_FALSE(o->drawn);
        EXPECT_TRUE(same(*o->keyboard.buffer(), *scene.keyboard.buffer()));
        // A capture of the wrong size draws the keyboard alone.
        RenderSurface small;
        small.recreate(POINT { 4, 4 });
        ZoomFrame shown { style, 2.0, {}, scene.key_centre(1, 5), true, false };
        o = paint(view, scene, shown, small.buffer());
        EXPECT_FALSE(o->drawn);
    }
}

TEST(ZoomView, GlassAtTheLeftEdgeShowsTheScreenNeverTheKey)
{
    for (int scale : { 1, 2 }) {
        ZoomScene scene(scale);
        ZoomView view;
        scene.configure(view, ZoomStyle::Glass);
        auto capture = capture_for(view);
        for (int y : { 0, 5 * scale, int(scene.form.y) }) {
            ZoomFrame f { ZoomStyle::Glass, 2.0, {}, POINT { 0, y }, true, false };
            auto o = paint(view, scene, f, capture->buffer());
            ASSERT_TRUE(o->drawn);
            for (const RenderSurface* s : { &o->keyboard, &o->window })
                for (int yy = 0; yy < s->size().y; ++yy)
                    for (int xx = 0; xx < s->size().x; ++xx)
                        ASSERT_NE(s->buffer()->row(yy)[xx], 0xF81F) << xx << "," << yy << " scale " << scale;
        }
    }
}

TEST(ZoomView, GlassCentreIsTheKeyUnderTheStylusOverTheScreen)
{
    ZoomScene scene(1);
    ZoomView view;
    scene.configure(view, ZoomStyle::Glass);
    auto capture = capture_for(view, 0x5ACB | 0x20);
    POINT p = scene.key_centre(1, 3);
    p.x += 3; // off the label's middle
    auto o = paint(view, scene, ZoomFrame { ZoomStyle::Glass, 2.0, {}, p, true, false }, capture->buffer());
    ASSERT_TRUE(o->drawn);
    uint16_t key = scene.keyboard.buffer()->row(p.y)[p.x];
    // Inside the lens the border cleared the mark, then the magnified key blends in at half.
    EXPECT_EQ(o->window.buffer()->row(45)[45], span::average((0x5ACB | 0x20) & ~0x20, key));
    // Outside the ring the screen shows as it was, marked.
    EXPECT_EQ(o->window.buffer()->row(0)[0], 0x5ACB | 0x20);
    // The keyboard itself is never magnified in this style.
    EXPECT_TRUE(same(*o->keyboard.buffer(), *scene.keyboard.buffer()));
    // The stylus off the keyboard: the window shows the screen and the border alone.
    o = paint(view, scene, ZoomFrame { ZoomStyle::Glass, 2.0, {}, POINT { 10, -5 }, true, false }, capture->buffer());
    ASSERT_TRUE(o->drawn);
    EXPECT_EQ(o->window.buffer()->row(45)[45], 0x5ACB);
}

TEST(ZoomView, FlatZoomKeepsTheAnchoredPointUnderTheStylus)
{
    // zoom_scale 2.0 at full zoom: the form point under the unmoved stylus at (x, y) is
    // (x, int((y + anchor.y) / 2 + 0.5)).
    ZoomScene scene(1);
    ZoomView view;
    scene.configure(view, ZoomStyle::Flat);
    // A form whose every pixel tells where it is.
    RenderSurface coded;
    coded.recreate(scene.form);
    for (int y = 0; y < scene.form.y; ++y)
        for (int x = 0; x < scene.form.x; ++x)
            coded.buffer()->row(y)[x] = static_cast<uint16_t>(x | y << 8);
    const PixelBuffer* picture = coded.buffer();
    view.set_form(scene.form, [picture](Canvas& c, POINT at) {
        clipped_copy(c, at, POINT { picture->width(), picture->height() }, *picture, POINT { 0, 0 }, copy_op());
    });
    auto capture = capture_for(view);
    for (POINT down : { POINT { 120, 30 }, POINT { 57, 11 }, POINT { 200, 66 } }) {
        for (int anchor_y : { down.y + 4, down.y - 3, down.y }) {
            POINT offset { 0, anchor_y - down.y };
            POINT shift = zoom_shift(2.0, down, offset, 2.0);
            ZoomFrame f { ZoomStyle::Flat, 2.0, shift, down, true, false };
            auto o = paint(view, scene, f, capture->buffer());
            EXPECT_TRUE(o->drawn);
            uint16_t under = o->keyboard.buffer()->row(down.y)[down.x];
            int fx = under & 0xFF, fy = under >> 8;
            EXPECT_EQ(fx, down.x);
            // Nearest sampling takes the pixel the point lies in; the conversion rounds.
            int expected = int((down.y + anchor_y) / 2.0 + 0.5);
            EXPECT_TRUE(fy == expected || fy == (down.y + anchor_y) / 2) << fy << " vs " << expected;
        }
    }
}

TEST(ZoomView, IZoomAboveTheKeyboardDrawsAtTheTopRow)
{
    ZoomScene scene(1);
    ZoomView view;
    scene.configure(view, ZoomStyle::IZoom);
    auto capture = capture_for(view);
    POINT p = scene.key_centre(0, 4);
    auto at_top = paint(view, scene, ZoomFrame { ZoomStyle::IZoom, 2.0, {}, POINT { p.x, 0 }, true, false }, capture->buffer());
    auto above = paint(view, scene, ZoomFrame { ZoomStyle::IZoom, 2.0, {}, POINT { p.x, -25 }, true, false }, capture->buffer());
    ASSERT_TRUE(at_top->drawn && above->drawn);
    EXPECT_TRUE(same(*at_top->window.buffer(), *above->window.buffer()));
    EXPECT_TRUE(same(*at_top->keyboard.buffer(), *above->keyboard.buffer()));
    // With the stylus on the top row the lens stands in the strip: the window changed there.
    EXPECT_FALSE(same(*at_top->window.buffer(), *capture->buffer()));
    // Lower down, the whole lens lies on the keys and the strip shows the screen.
    auto low = paint(view, scene, ZoomFrame { ZoomStyle::IZoom, 2.0, {}, POINT { p.x, 79 }, true, false }, capture->buffer());
    EXPECT_FALSE(same(*low->window.buffer(), *capture->buffer())); // y 79 < lens 90
    EXPECT_FALSE(same(*low->keyboard.buffer(), *scene.keyboard.buffer()));
}

TEST(ZoomView, ScaleNearestMatchesTheScaledCopy)
{
    std::mt19937 random(7);
    auto pick = [&](int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(random); };
    for (int i = 0; i < 300; ++i) {
        auto src = PixelBuffer::create(pick(1, 40), pick(1, 30));
        for (int y = 0; y < src->height(); ++y)
            for (int x = 0; x < src->width(); ++x)
                src->row(y)[x] = static_cast<uint16_t>(random());
        RenderSurface a, b;
        POINT size { pick(1, 90), pick(1, 70) };
        a.recreate(POINT { pick(1, 60), pick(1, 50) });
        b.recreate(a.size());
        for (int y = 0; y < a.size().y; ++y) {
            fill_0565(a.buffer()->row(y), a.size().x, 0x1111);
            fill_0565(b.buffer()->row(y), b.size().x, 0x1111);
        }
        POINT pos { pick(-size.x, a.size().x), pick(-size.y, a.size().y) };
        scale_nearest(a.canvas(), pos, size, *src);
        scaled_copy(b.canvas(), pos, size, *src, POINT { 0, 0 }, POINT { src->width(), src->height() }, copy_op());
        ASSERT_TRUE(same(*a.buffer(), *b.buffer())) << "case " << i;
    }
}

} // namespace
