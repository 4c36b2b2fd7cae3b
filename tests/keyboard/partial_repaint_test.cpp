// The keyboard draws only what changed from frame to frame: the keys whose look changed and the
// zoom areas. Whatever a user does, the keyboard window and the zoom window must show exactly
// what drawing the whole form afresh would show. Each style is driven through presses, holds
// with the lens, moves to other keys, shift, caps lock, the symbol layer, a layout switch and
// auto-repeat, and after every step both windows are compared with a whole repaint.
#include "keyboard/kbApplication.h"
#include "keyboard/kbData.h"
#include "runtime/Application.h"
#include "runtime/Path.h"
#include "skin/drawing/Blit.h"
#include "skin/elements/ButtonElement.h"
#include "skin/drawing/Canvas.h"
#include "skin/file/DisplayInfo.h"
#include "skin/file/Properties.h"
#include "skin/drawing/RenderSurface.h"
#include "tests/keyboard/KeyboardData.h"
#include "tests/support/DeviceRoot.h"

#include <simhost.h>

#include <gtest/gtest.h>

#include <optional>
#include <sstream>
#include <string>

namespace {

LRESULT CALLBACK plainProc(HWND w, UINT m, WPARAM wp, LPARAM lp)
{
    return DefWindowProc(w, m, wp, lp);
}

struct Case {
    int style; // board_style
    const char* geometry;
};

std::string caseName(const ::testing::TestParamInfo<Case>& info)
{
    static const char* names[] = { "simple", "flat", "glass", "izoom" };
    return std::string(names[info.param.style]) + "_" + info.param.geometry;
}

class PartialRepaint : public DeviceRootTest, public ::testing::WithParamInterface<Case> {
protected:
    std::optional<Application> core;
    Properties skin;
    HWND sip = nullptr;
    int compared = 0;
    int zoomCompared = 0;

    void SetUp() override
    {
        SimUseVirtualClock(50000);
        SimSetGeometry(GetParam().geometry);
        InstallKeyboardData(device);
        if (!Application::instance())
            core.emplace(nullptr, u"Magnikeys");
        ASSERT_TRUE(skin.load_skin(ExpandPath(u"%program_files%/Tarn/Magnikeys/skins/bin/default.skin"), DisplayInfo::query()));
        kbData::make();
        kbSettings& settings = kbData::instance()->settings();
        settings.board_style = GetParam().style;
        ASSERT_TRUE(settings.write());
        int width = 0, height = 0;
        SimGetGeometry(&width, &height, nullptr, nullptr);
        WNDCLASS wc {};
        wc.lpfnWndProc = plainProc;
        wc.lpszClassName = u"test_repaint_sip";
        RegisterClass(&wc);
        // The panel at the bottom, with a note pad's worth of screen above it for the lens.
        sip = CreateWindowEx(0, u"test_repaint_sip", u"", WS_VISIBLE, 0, height / 2, width, height / 2, nullptr, nullptr,
                             nullptr, nullptr);
        kbApplication::reset(std::make_unique<kbApplication>(skin, nullptr, sip));
    }
    void TearDown() override
    {
        kbApplication::reset();
        kbData::reset();
        DestroyWindow(sip);
        UnregisterClass(u"test_repaint_sip", nullptr);
        core.reset();
        SimUseRealClock();
    }
    kbApplication& app() { return *kbApplication::instance(); }

    POINT keyCentre(std::u16string_view name)
    {
        KeyboardForm& form = app().form();
        int index = form.key_index(name);
        if (index < 0)
            index = static_cast<int>(std::stoi(std::string(name.begin(), name.end())));
        Element* key = reinterpret_cast<Element*>(form.key(index));
        POINT p { key->position().x + key->size().x / 2, key->position().y + key->size().y / 2 };
        ClientToScreen(app().main_window(), &p);
        return p;
    }

    // Both windows against the same frame drawn whole, from the form itself.
    void expectWhole(const std::string& step)
    {
        kbApplication& a = app();
        const ZoomWindow& zoom = a.zoom();
        const ZoomWindow::Setup& setup = zoom.setup();
        ZoomView whole;
        POINT lens = zoom_lens_size(setup.glass_size, setup.scale, setup.screen, setup.bottom_offset, setup.form);
        whole.set_form(setup.form, [&a](Canvas& canvas, POINT at) { a.form().paint(canvas, at); });
        if (setup.style == ZoomStyle::Glass || setup.style == ZoomStyle::IZoom)
            whole.set_lens(lens, setup.glass_radius);
        whole.set_window_size(zoom.size());
        whole.set_pictures(a.glass_border(), a.background());

        ZoomFrame frame;
        frame.style = setup.style;
        frame.level = a.touch().zoom_level();
        frame.shift = a.touch().zoom_shift(frame.level);
        frame.stylus = a.touch().current_point();
        frame.repeat = a.touch().repeat_mode();
        frame.window_visible = zoom.visible();
        RenderSurface keyboard, window;
        keyboard.recreate(setup.form);
        fill(keyboard.canvas(), POINT { 0, 0 }, setup.form, SkinColor { 255, 0, 0, 255 });
        const POINT windowSize = zoom.size();
        if (windowSize.x > 0 && windowSize.y > 0)
            window.recreate(windowSize);
        const PixelBuffer* capture = zoom.capture();
        const bool captureFits = capture && capture->width() == windowSize.x && capture->height() == windowSize.y;
        const bool drawn = whole.paint(frame, captureFits ? capture : nullptr, keyboard.canvas(),
                                       window.buffer() ? &window.canvas() : nullptr);

        expectSame(a.main_window(), *keyboard.buffer(), step + " (keyboard window)");
        ++compared;
        if (drawn && frame.window_visible) {
            expectSame(a.zoom_window(), *window.buffer(), step + " (zoom window)");
            ++zoomCompared;
        }
    }

    static void expectSame(HWND window, const PixelBuffer& want, const std::string& what)
    {
        const uint16_t* pixels = nullptr;
        int width = 0, height = 0;
        ASSERT_TRUE(SimWindowPixels(window, &pixels, &width, &height)) << what;
        ASSERT_EQ(width, want.width()) << what;
        ASSERT_EQ(height, want.height()) << what;
        for (int y = 0; y < height; ++y)
            for (int x = 0; x < width; ++x)
                if (pixels[size_t(y) * size_t(width) + size_t(x)] != want.row(y)[x]) {
                    ADD_FAILURE() << what << ": first difference at (" << x << ", " << y << "): 0x" << std::hex
                                  << pixels[size_t(y) * size_t(width) + size_t(x)] << " instead of 0x" << want.row(y)[x];
                    return;
                }
    }

    // Time passes in steps of 10 ms, each frame compared.
    void run(DWORD ms, const std::string& step)
    {
        for (DWORD t = 0; t < ms; t += 10) {
            SimRunFor(10);
            expectWhole(step + " +" + std::to_string(t + 10) + " ms");
            if (HasFailure())
                return;
        }
    }

    void down(std::u16string_view key, const std::string& step)
    {
        POINT p = keyCentre(key);
        SimStylusDown(p.x, p.y);
        SimPumpMessages();
        expectWhole(step + " down");
    }
    void moveTo(std::u16string_view key, const std::string& step)
    {
        POINT to = keyCentre(key);
        POINT from = SimLastStylusPoint();
        for (int i = 1; i <= 4; ++i) {
            SimStylusMove(from.x + (to.x - from.x) * i / 4, from.y + (to.y - from.y) * i / 4);
            SimRunFor(10);
            expectWhole(step + " move " + std::to_string(i));
        }
    }
    void up(const std::string& step)
    {
        POINT p = SimLastStylusPoint();
        SimStylusUp(p.x, p.y);
        SimPumpMessages();
        expectWhole(step + " up");
    }
    void tap(std::u16string_view key, DWORD hold, const std::string& step)
    {
        down(key, step);
        run(hold, step + " held");
        up(step);
        run(60, step + " after");
    }
};

TEST_P(PartialRepaint, EveryFrameEqualsAWholeRepaint)
{
    run(100, "start");
    tap(u"0", 30, "quick tap");
    tap(u"5", 400, "tap with the lens");
    down(u"13", "hold");
    run(400, "hold");
    moveTo(u"14", "slide to the next key");
    run(100, "slide");
    moveTo(u"25", "slide down a row");
    up("slide");
    run(60, "slide after");

    tap(u"shift", 30, "shift");
    tap(u"12", 30, "shifted letter");
    tap(u"shift", 30, "caps lock 1");
    tap(u"shift", 30, "caps lock 2");
    tap(u"20", 30, "caps letter");
    tap(u"shift", 30, "caps lock off");

    tap(u"extra", 30, "symbol layer");
    tap(u"3", 300, "symbol");
    tap(u"extra", 30, "letters again");
    tap(u"layout", 30, "next layout");
    tap(u"7", 300, "letter of the next layout");

    down(u"backspace", "repeat");
    run(1500, "auto-repeat");
    up("repeat");
    run(100, "repeat after");
    if (HasFailure())
        return;

    EXPECT_GT(compared, 300);
    if (GetParam().style != 0) {
        EXPECT_GT(zoomCompared, 10) << "the lens never showed";
    }
    // The form itself was drawn whole once; every change after was a few keys.
    const FormPicture& picture = app().form_picture();
    EXPECT_EQ(picture.whole_paints(), 1);
    EXPECT_GT(picture.key_repaints(), 20);
}

INSTANTIATE_TEST_SUITE_P(Styles, PartialRepaint,
                         ::testing::Values(Case { 0, "qvga" }, Case { 1, "qvga" }, Case { 2, "qvga" }, Case { 3, "qvga" },
                                           Case { 0, "vga" }, Case { 2, "vga" }, Case { 3, "vga" }),
                         caseName);

}
