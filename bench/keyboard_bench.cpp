// The keyboard at VGA: from the stylus leaving a key to the first character event reaching the
// panel's callback, and one whole paint of the keyboard (simple style), each beside memcpy of
// the keyboard's pixels in the same run.
#include "keyboard/kbApplication.h"
#include "keyboard/kbData.h"
#include "runtime/Application.h"
#include "runtime/Path.h"
#include "skin/file/DisplayInfo.h"
#include "skin/file/Properties.h"

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
