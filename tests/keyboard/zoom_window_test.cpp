// The zoom window on the device screen: captured from what lies under it, placed above the
// keyboard, drawn by the keyboard's paint, hidden on release and for auto-repeat.
#include "keyboard/ZoomWindow.h"
#include "tests/keyboard/ZoomScene.h"

#include <simhost.h>
#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>

namespace {

constexpr uint16_t kNotes = 0xE73C; // the program under the zoom window

// Paints the whole window in one colour through a 16-bit section, as device programs do.
LRESULT CALLBACK notes_proc(HWND w, UINT m, WPARAM wp, LPARAM lp)
{
    if (m == WM_PAINT) {
        PAINTSTRUCT ps;
        HDC dc = BeginPaint(w, &ps);
        RECT r;
        GetClientRect(w, &r);
        auto b = DibPixelBuffer::create(r.right, r.bottom);
        for (int y = 0; y < b->height(); ++y)
            std::fill_n(b->row(y), b->width(), kNotes);
        BitBlt(dc, 0, 0, r.right, r.bottom, b->dc(), 0, 0, SRCCOPY);
        EndPaint(w, &ps);
        return 0;
    }
    return DefWindowProc(w, m, wp, lp);
}

uint16_t screen_pixel(int x, int y)
{
    int w, h, pitch;
    const uint16_t* p = SimScreenPixels(&w, &h, &pitch);
    return p[y * pitch + x];
}

struct ZoomWindowTest : ::testing::Test {
    HWND notes = nullptr, zoom = nullptr;
    ZoomScene scene { 1 };
    std::unique_ptr<DibPixelBuffer> keyboard = DibPixelBuffer::create(scene.form.x, scene.form.y);

    void SetUp() override
    {
        SimUseVirtualClock(1000);
        SimSetGeometry("qvga");
        WNDCLASS notes_class {};
        notes_class.lpfnWndProc = notes_proc;
        notes_class.lpszClassName = u"ZoomTestNotes";
        RegisterClass(&notes_class);
        WNDCLASS zoom_class {};
        zoom_class.lpfnWndProc = DefWindowProc;
        zoom_class.lpszClassName = u"ZoomTestWindow";
        RegisterClass(&zoom_class);
        notes = CreateWindowEx(0, u"ZoomTestNotes", u"n", WS_POPUP | WS_VISIBLE, 0, 0, 240, 320, nullptr, nullptr, nullptr, nullptr);
        zoom = CreateWindowEx(WS_EX_TOPMOST | WS_EX_TOOLWINDOW, u"ZoomTestWindow", nullptr, WS_POPUP, 0, 0, 10, 10, nullptr,
                              nullptr, nullptr, nullptr);
        SimPumpMessages();
    }

    void TearDown() override
    {
        DestroyWindow(zoom);
        DestroyWindow(notes);
        SimPumpMessages();
        UnregisterClass(u"ZoomTestNotes", nullptr);
        UnregisterClass(u"ZoomTestWindow", nullptr);
        SimUseRealClock();
    }

    ZoomWindow::Setup setup(ZoomStyle style) const
    {
        ZoomWindow::Setup s;
        s.style = style;
        s.form = scene.form;
        s.key_height = scene.key_height;
        s.scale = 1;
        s.screen = scene.screen;
        s.bottom_offset = scene.bottom_offset;
        return s;
    }

    void configure(ZoomWindow& w, ZoomStyle style) const
    {
        w.configure(setup(style), scene.painter(), scene.border, scene.background);
    }
};

TEST_F(ZoomWindowTest, GlassShowsAboveTheKeyboardOverWhatWasThere)
{
    ZoomWindow w(zoom);
    configure(w, ZoomStyle::Glass);
    EXPECT_FALSE(w.visible());
    w.show();
    SimPumpMessages();
    ASSERT_TRUE(w.visible());
    RECT r;
    GetWindowRect(zoom, &r);
    EXPECT_EQ(r.left, 75);
    EXPECT_EQ(r.top, 320 - 26 - 90 - 80);
    EXPECT_EQ(r.right - r.left, 90);
    EXPECT_EQ(r.bottom - r.top, 90);
    // The capture holds the program that was under the window, not the window itself.
    ASSERT_NE(w.capture(), nullptr);
    EXPECT_EQ(w.capture()->row(0)[0], kNotes);
    EXPECT_EQ(w.capture()->row(89)[89], kNotes);

    w.paint(keyboard->dc(), ZoomFrame { ZoomStyle::Glass, 2.0, {}, POINT { 0, 30 }, false, false });
    SimPumpMessages();
    EXPECT_EQ(screen_pixel(75, 124), kNotes | 0x20); // outside the ring
    for (int y = 124; y < 214; ++y)
        for (int x = 75; x < 165; ++x)
            ASSERT_NE(screen_pixel(x, y), 0xF81F) << x << "," << y;
    // The keyboard window's picture is the plain keyboard in this style.
    EXPECT_EQ(keyboard->row(30)[5], scene.keyboard.buffer()->row(30)[5]);

    w.hide();
    SimPumpMessages();
    EXPECT_FALSE(w.visible());
    EXPECT_EQ(screen_pixel(120, 170), kNotes);
}

TEST_F(ZoomWindowTest, SimpleNeverShows)
{
    ZoomWindow w(zoom);
    configure(w, ZoomStyle::Simple);
    w.show();
    SimPumpMessages();
    EXPECT_FALSE(w.visible());
    w.paint(keyboard->dc(), ZoomFrame { ZoomStyle::Simple, 2.0, {}, POINT { 100, 30 }, false, false });
    EXPECT_EQ(keyboard->row(30)[100], scene.keyboard.buffer()->row(30)[100]);
}

TEST_F(ZoomWindowTest, RepeatPutsTheScreenBackThenHides)
{
    ZoomWindow w(zoom);
    configure(w, ZoomStyle::IZoom);
    w.show();
    w.paint(keyboard->dc(), ZoomFrame { ZoomStyle::IZoom, 2.0, {}, POINT { 100, 10 }, false, false });
    SimPumpMessages();
    const uint16_t* pixels;
    int width, height;
    ASSERT_TRUE(SimWindowPixels(zoom, &pixels, &width, &height));
    EXPECT_EQ(width, 240);
    EXPECT_EQ(height, 90);
    EXPECT_NE(std::count(pixels, pixels + width * height, kNotes), width * height); // the lens shows
    w.hide_for_repeat();
    SimPumpMessages();
    EXPECT_FALSE(w.visible());
    ASSERT_TRUE(SimWindowPixels(zoom, &pixels, &width, &height));
    EXPECT_EQ(std::count(pixels, pixels + width * height, kNotes), width * height);
    // During repeat the paint draws the keyboard and leaves the window alone.
    w.paint(keyboard->dc(), ZoomFrame { ZoomStyle::IZoom, 2.0, {}, POINT { 100, 10 }, false, true });
    EXPECT_FALSE(w.visible());
}

TEST_F(ZoomWindowTest, ANewStyleTakesItsOwnSizeAndPlace)
{
    ZoomWindow w(zoom);
    configure(w, ZoomStyle::Glass);
    EXPECT_TRUE(w.configured_for(setup(ZoomStyle::Glass)));
    EXPECT_FALSE(w.configured_for(setup(ZoomStyle::Flat)));
    ZoomWindow::Setup wider = setup(ZoomStyle::Glass);
    wider.glass_size = kbIntPair { 100, 90 };
    EXPECT_FALSE(w.configured_for(wider));
    w.show();
    SimPumpMessages();
    ASSERT_TRUE(w.visible());
    configure(w, ZoomStyle::Flat); // a visible window of another size hides
    EXPECT_FALSE(w.visible());
    w.show();
    SimPumpMessages();
    RECT r;
    GetWindowRect(zoom, &r);
    EXPECT_EQ(r.left, 0);
    EXPECT_EQ(r.right, 240);
    EXPECT_EQ(r.bottom, 320 - 26 - 80);
    EXPECT_EQ(r.bottom - r.top, int(28 * 5.0 / 6.0 + 0.5)); // trunc(18 * 1.6) = 28
    w.paint(keyboard->dc(), ZoomFrame { ZoomStyle::Flat, 2.0, zoom_shift(2.0, POINT { 120, 30 }, POINT { 0, 4 }, 2.0),
                                        POINT { 120, 30 }, false, false });
    SimPumpMessages();
    // The strip is the enlarged keyboard half over the notes.
    EXPECT_NE(screen_pixel(120, r.bottom - 1), kNotes);
    configure(w, ZoomStyle::Simple);
    EXPECT_FALSE(w.visible());
}

} // namespace
