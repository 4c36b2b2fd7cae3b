// The keyboard at VGA: from the stylus leaving a key to the first character event reaching the
// panel's callback; a paint where one key changed its look and one where nothing changed; the
// whole keyboard drawn afresh at VGA and at 1920 x 500, as every frame was drawn before the
// keyboard kept its picture and as a new form or skin draws it now; each beside memcpy of the
// keyboard's pixels in the same run.
#include "keyboard/FormPicture.h"
#include "keyboard/ZoomView.h"
#include "keyboard/kbApplication.h"
#include "keyboard/kbData.h"
#include "runtime/Application.h"
#include "runtime/Path.h"
#include "skin/elements/ButtonElement.h"
#include "skin/drawing/Canvas.h"
#include "skin/file/DisplayInfo.h"
#include "skin/file/Properties.h"
#include "skin/drawing/RenderSurface.h"

#include <simhost.h>

#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <memory>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

struct TimingCallback final : IIMCallback {
    Clock::time_point firstChar {};
    bool seen = false;
    STDMETHOD(QueryInterface)(REFIID, void** object) override
    {
        *object = nullptr;
        return E_NOINTERFACE;
    }
    STDMETHOD_(ULONG, AddRef)() override { return 1; }
    STDMETHOD_(ULONG, Release)() override { return 1; }
    STDMETHOD(SetImInfo)(IMINFO*) override { return S_OK; }
    STDMETHOD(SendVirtualKey)(BYTE, DWORD) override { return S_OK; }
    STDMETHOD(SendCharEvents)(UINT, UINT, UINT, UINT*, UINT*) override
    {
        if (!seen) {
            firstChar = Clock::now();
            seen = true;
        }
        return S_OK;
    }
    STDMETHOD(SendString)(BSTR, DWORD) override { return S_OK; }
};

LRESULT CALLBACK plainProc(HWND w, UINT m, WPARAM wp, LPARAM lp)
{
    return DefWindowProc(w, m, wp, lp);
}

// A VGA device with the shipped data and a keyboard in a panel window.
struct Device {
    std::string root;
    std::unique_ptr<Application> core;
    Properties skin;
    HWND sip = nullptr;
    TimingCallback callback;

    Device()
    {
        char folder[] = "/tmp/keyboard-bench-XXXXXX";
        root = mkdtemp(folder);
        SimSetDeviceRoot(root.c_str());
        std::filesystem::create_directories(root + "/Program Files/Tarn/Magnikeys");
        std::filesystem::copy(MK_DATA_DIR, root + "/Program Files/Tarn/Magnikeys",
            std::filesystem::copy_options::recursive | std::filesystem::copy_options::overwrite_existing);
        SimSetGeometry("vga");
        SimUseVirtualClock(10000);
        core = std::make_unique<Application>(nullptr, u"Magnikeys");
        skin.load_skin(ExpandPath(u"%program_files%/Tarn/Magnikeys/skins/bin/default.skin"), DisplayInfo::query());
        kbData::make();
        WNDCLASS wc {};
        wc.lpfnWndProc = plainProc;
        wc.lpszClassName = u"bench_sip";
        RegisterClass(&wc);
        sip = CreateWindowEx(0, u"bench_sip", u"", WS_VISIBLE, 0, 412, 480, 176, nullptr, nullptr, nullptr, nullptr);
        kbApplication::reset(std::make_unique<kbApplication>(skin, nullptr, sip));
        kbApplication::instance()->set_callback(&callback);
    }
    ~Device()
    {
        kbApplication::reset();
        kbData::reset();
        DestroyWindow(sip);
        core.reset();
        std::filesystem::remove_all(root);
    }
    kbApplication& app() { return *kbApplication::instance(); }
};

Device& device()
{
    static Device d;
    return d;
}

void BM_StylusUpToFirstCharEvent(benchmark::State& state)
{
    Device& d = device();
    POINT key { 0, 0 };
    ClientToScreen(d.app().main_window(), &key);
    key.x += 70; // "q" in the top row
    key.y += 20;
    for (auto _ : state) {
        SimStylusDown(key.x, key.y);
        SimRunFor(60);
        d.callback.seen = false;
        const Clock::time_point start = Clock::now();
        SimStylusUp(key.x, key.y);
        SimPumpMessages();
        if (!d.callback.seen) {
            state.SkipWithError("no character reached the callback");
            break;
        }
        state.SetIterationTime(std::chrono::duration<double>(d.callback.firstChar - start).count());
        SimRunFor(200); // a pause between taps
    }
}
BENCHMARK(BM_StylusUpToFirstCharEvent)->UseManualTime()->Unit(benchmark::kMicrosecond)->Iterations(200);

// A paint where nothing changed (the 40 ms timer's while the stylus rests): nothing is drawn.
void BM_PaintKeyboardSimple(benchmark::State& state)
{
    Device& d = device();
    HDC dc = GetDC(d.app().main_window());
    for (auto _ : state)
        d.app().paint(dc);
    ReleaseDC(d.app().main_window(), dc);
    const SIZE size = d.app().keyboard_size();
    state.SetLabel(std::to_string(size.cx) + "x" + std::to_string(size.cy));
}
BENCHMARK(BM_PaintKeyboardSimple)->Unit(benchmark::kMicrosecond);

// One key changes its look (pressed, then let go at the next frame) and the keyboard paints:
// the key is drawn again and only its rectangle reaches the window.
void BM_KeyPressRepaint(benchmark::State& state)
{
    Device& d = device();
    HWND window = d.app().main_window();
    HDC dc = GetDC(window);
    ButtonElement* key = d.app().form().key(14);
    d.app().paint(dc);
    auto changes = [&d] { return d.app().form_picture().key_repaints() + d.app().form_picture().looks_reused(); };
    const int before = changes();
    bool pressed = false;
    for (auto _ : state) {
        pressed = !pressed;
        key->set_owner_pressed(pressed);
        d.app().paint(dc);
    }
    if (changes() == before)
        state.SkipWithError("the key's change did not reach the picture");
    key->set_owner_pressed(false);
    d.app().paint(dc);
    ReleaseDC(window, dc);
    const SIZE size = d.app().keyboard_size();
    state.SetLabel(std::to_string(size.cx) + "x" + std::to_string(size.cy));
}
BENCHMARK(BM_KeyPressRepaint)->Unit(benchmark::kMicrosecond);

// The device's form laid out at another size (the desktop's), with the keyboard's layout.
struct SizedForm {
    std::unique_ptr<KeyboardForm> form;
    explicit SizedForm(POINT size)
    {
        Device& d = device();
        form = std::make_unique<KeyboardForm>(d.skin, u"normal", false);
        form->set_visible(true);
        form->set_x(0, size.x);
        form->set_y(0, size.y);
        form->set_layout(d.app().form().layout_text(), d.app().form().short_name(), false);
    }
};

POINT benchSize(const benchmark::State& state)
{
    return POINT { static_cast<LONG>(state.range(0)), static_cast<LONG>(state.range(1)) };
}

// The whole keyboard as a new layout form or size draws it: every element into the kept
// picture, which a frame without zoom then shows as it is (the window copies from it).
void BM_WholeKeyboardPaint(benchmark::State& state)
{
    const POINT size = benchSize(state);
    SizedForm sized(size);
    FormPicture picture(*sized.form);
    ZoomView view;
    view.set_form(size, {});
    auto keyboard = PixelBuffer::create(size.x, size.y);
    Canvas canvas(keyboard.get());
    ZoomFrame frame;
    for (auto _ : state) {
        picture.invalidate_pixels();
        const FormPicture::Damage damage = picture.update();
        FormFrame form { picture.picture(), picture.opaque(), damage.all, damage.rect, picture.dc() };
        // As the keyboard window does: a frame without zoom shows the picture itself.
        bool shown = false;
        view.paint(frame, nullptr, canvas, nullptr, &form, nullptr, &shown);
        benchmark::ClobberMemory();
        if (!shown) {
            state.SkipWithError("the frame was copied to the keyboard's surface instead of shown");
            break;
        }
    }
    state.SetLabel(std::to_string(size.x) + "x" + std::to_string(size.y));
}
BENCHMARK(BM_WholeKeyboardPaint)->Args({ 480, 170 })->Args({ 1920, 500 })->Unit(benchmark::kMicrosecond);

// Every frame as it was drawn before: the element tree straight into the keyboard's surface.
void BM_WholeKeyboardPaintDirect(benchmark::State& state)
{
    const POINT size = benchSize(state);
    SizedForm sized(size);
    RenderSurface keyboard;
    keyboard.recreate(size);
    for (auto _ : state) {
        sized.form->paint(keyboard.canvas(), POINT { 0, 0 });
        benchmark::ClobberMemory();
    }
    state.SetLabel(std::to_string(size.x) + "x" + std::to_string(size.y));
}
BENCHMARK(BM_WholeKeyboardPaintDirect)->Args({ 480, 170 })->Args({ 1920, 500 })->Unit(benchmark::kMicrosecond);

void BM_MemcpyKeyboardBytes(benchmark::State& state)
{
    const SIZE size = device().app().keyboard_size();
    const size_t bytes = size_t(size.cx) * size_t(size.cy) * 2;
    std::vector<uint8_t> from(bytes, 0x5A), to(bytes);
    for (auto _ : state) {
        std::memcpy(to.data(), from.data(), bytes);
        benchmark::DoNotOptimize(to.data());
        benchmark::ClobberMemory();
    }
    state.SetLabel(std::to_string(size.cx) + "x" + std::to_string(size.cy) + ", " + std::to_string(bytes) + " bytes");
}
BENCHMARK(BM_MemcpyKeyboardBytes)->Unit(benchmark::kMicrosecond);

}

BENCHMARK_MAIN();
