// The device screen: geometry, composition of the windows in z-order, the display back end.
#include "win_screen.h"
#include "display/display.h"
#include "linux/drawing/gdi_surface.h"
#include "win_internal.h"
#include "win_shared.h"

#include <simhost.h>
#include <winbase.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <thread>

namespace {

constexpr uint16_t kDesktop = 0x2945; // the empty screen: a dark slate grey

struct Screen {
    bool configured = false;
    int width = 240;
    int height = 320;
    int dpi = 96;
    DWORD orientation = DMDO_0;
    std::vector<uint16_t> pixels;
    std::vector<uint16_t> frame; // the display thread's copy, presented without the lock
    bool changed = true;
    std::unique_ptr<display::Backend> backend;
    std::thread::id displayThread;
    std::vector<HDC> dcs;
    // Windowed back ends: each top-level window's picture, presented without the lock.
    std::vector<display::WindowPicture> windows;
    std::vector<std::vector<uint16_t>> windowPixels;
    uint64_t generation = 0; // of the pictures of other processes last composed
    bool heldBack = false; // the last frame waited for a tap to be handled
};

Screen& screen()
{
    static Screen s;
    return s;
}

bool parseGeometry(const char* name, int& width, int& height, int& dpi, DWORD& orientation)
{
    struct Named {
        const char* name;
        int width, height, dpi;
        DWORD orientation;
    };
    static const Named named[] = {
        { "qvga", 240, 320, 96, DMDO_0 },
        { "qvga-landscape", 320, 240, 96, DMDO_90 },
        { "vga", 480, 640, 192, DMDO_0 },
        { "vga-landscape", 640, 480, 192, DMDO_90 },
    };
    for (const Named& n : named) {
        if (std::strcmp(n.name, name) == 0) {
            width = n.width, height = n.height, dpi = n.dpi, orientation = n.orientation;
            return true;
        }
    }
    int w = 0, h = 0, d = 0;
    char tail = 0;
    if (std::sscanf(name, "%dx%d@%d%c", &w, &h, &d, &tail) == 3 && w >= 16 && h >= 16 && w <= 4096
        && h <= 4096 && d >= 48 && d <= 600) {
        width = w, height = h, dpi = d, orientation = DMDO_0;
        return true;
    }
    return false;
}

// First use takes the geometry from the environment (the host passes it to its children).
Screen& configured()
{
    Screen& s = screen();
    if (!s.configured) {
        s.configured = true;
        const char* env = std::getenv("POCKETSIM_GEOMETRY");
        if (env && *env && !parseGeometry(env, s.width, s.height, s.dpi, s.orientation))
            std::fprintf(stderr, "pocketsim: unknown geometry '%s', using qvga\n", env);
        SimSetDeviceMetrics(s.width, s.height, s.dpi);
    }
    return s;
}

// Under the window lock.
void compose()
{
    Screen& s = configured();
    s.generation = wm::shared::generation();
    s.pixels.assign(static_cast<size_t>(s.width) * s.height, kDesktop);
    RECT screenRect { 0, 0, s.width, s.height };
    auto layers = wm::screenLayers();
    for (auto it = layers.rbegin(); it != layers.rend(); ++it) {
        if (it->local) {
            wm::composeTree(s.pixels.data(), s.width, it->local, POINT { 0, 0 }, screenRect);
            continue;
        }
        if (!(it->flags & wm::shared::kVisible) || !it->pixels)
            continue;
        const RECT& r = it->rect;
        RECT c { std::max<LONG>(r.left, 0), std::max<LONG>(r.top, 0), std::min<LONG>(r.right, s.width), std::min<LONG>(r.bottom, s.height) };
        c.right = std::min<LONG>(c.right, r.left + it->width);
        c.bottom = std::min<LONG>(c.bottom, r.top + it->height);
        for (LONG y = c.top; y < c.bottom; ++y)
            if (c.right > c.left)
                std::copy_n(it->pixels + static_cast<size_t>(y - r.top) * it->width + (c.left - r.left), c.right - c.left,
                    s.pixels.data() + static_cast<size_t>(y) * s.width + c.left);
    }
    s.changed = false;
}

bool stale(Screen& s)
{
    return s.changed || s.pixels.empty() || s.generation != wm::shared::generation();
}

bool windowedDisplay()
{
    Screen& s = screen();
    return s.backend && s.backend->windowed();
}

// n pixels of one colour, written a block at a time (a window's picture is filled per frame).
void fillPixels(std::vector<uint16_t>& pixels, size_t n, uint16_t colour)
{
    pixels.resize(n);
    const size_t first = std::min<size_t>(n, 256);
    std::fill_n(pixels.data(), first, colour);
    for (size_t done = first; done < n;) {
        const size_t chunk = std::min(done, n - done);
        std::memcpy(pixels.data() + done, pixels.data(), chunk * 2);
        done += chunk;
    }
}

// Under the window lock: each top-level window of the device, front to back, as the windowed
// back end shows it.
void pictureWindows()
{
    Screen& s = configured();
    s.generation = wm::shared::generation();
    auto layers = wm::screenLayers();
    s.windows.resize(layers.size());
    s.windowPixels.resize(layers.size());
    for (size_t i = 0; i < layers.size(); ++i) {
        const wm::ScreenLayer& l = layers[i];
        display::WindowPicture& p = s.windows[i];
        std::vector<uint16_t>& pixels = s.windowPixels[i];
        p.handle = l.handle;
        p.rect = l.rect;
        p.visible = l.flags & wm::shared::kVisible;
        p.topmost = l.flags & wm::shared::kTopmost;
        p.title.clear();
        p.local = l.local != nullptr;
        const int width = std::max<int>(0, l.rect.right - l.rect.left), height = std::max<int>(0, l.rect.bottom - l.rect.top);
        // A hidden window's picture is not shown: nothing to compose for it, however large. A
        // window of this process covers its picture whole; another's may be smaller than its
        // place.
        if (!p.visible)
            pixels.clear();
        else if (l.local)
            pixels.resize(static_cast<size_t>(width) * height);
        else
            fillPixels(pixels, static_cast<size_t>(width) * height, kDesktop);
        if (l.local) {
            p.title = l.local->title;
            const bool panel = l.local->cls && l.local->cls->name == SIM_SIP_CLASS;
            p.role = panel ? display::WindowPicture::Role::Panel
                : (l.flags & wm::shared::kActivatable) ? display::WindowPicture::Role::Normal
                                                       : display::WindowPicture::Role::Popup;
            if (p.visible && width > 0 && height > 0)
                wm::composeTree(pixels.data(), width, l.local, POINT { -l.rect.left, -l.rect.top }, RECT { 0, 0, width, height });
        } else {
            p.role = (l.flags & wm::shared::kActivatable) ? display::WindowPicture::Role::Normal
                                                          : display::WindowPicture::Role::Popup;
            if (p.visible && l.pixels)
                for (int y = 0; y < std::min(height, l.height); ++y)
                    std::copy_n(l.pixels + static_cast<size_t>(y) * l.width, std::min(width, l.width),
                        pixels.data() + static_cast<size_t>(y) * width);
        }
        p.pixels = p.visible ? pixels.data() : nullptr;
    }
    s.changed = false;
}

// mayWait: a frame that a tap waiting to be handled would make stale at once waits for it (the
// tap's key event is what the user waits for); once only, so that taps cannot keep the screen
// from being shown.
void presentNow(bool mayWait = false)
{
    Screen& s = configured();
    if (windowedDisplay()) {
        auto unchanged = [&s] { return !s.changed && s.generation == wm::shared::generation(); };
        if (mayWait) {
            {
                wm::Guard g(wm::lock());
                if (unchanged())
                    return;
            }
            const bool waiting = !s.heldBack && s.backend->stylus_waiting();
            s.heldBack = waiting;
            // What the look took in from the back end's descriptor no longer wakes the host's
            // wait: the host comes round at once, to the tap (and then this frame) or whatever
            // else arrived.
            if (s.backend->input_waiting())
                wm::signalQueue(*wm::currentThread());
            if (waiting)
                return;
        }
        {
            wm::Guard g(wm::lock());
            if (unchanged())
                return;
            pictureWindows();
        }
        s.backend->present_windows(s.windows);
        return;
    }
    // Nobody sees this frame: the screen is composed when something reads it (a shot).
    if (s.backend && !s.backend->shows_frames() && !display::dumpingFrames())
        return;
    int width, height;
    {
        wm::Guard g(wm::lock());
        if (!stale(s))
            return;
        compose();
        s.frame = s.pixels; // reuses the copy's storage: no allocation per frame
        width = s.width;
        height = s.height;
    }
    if (s.backend)
        s.backend->present(s.frame.data(), width, height, width);
    display::dumpFrame(s.frame.data(), width, height, width);
}

bool onDisplayThread()
{
    Screen& s = screen();
    return s.backend && s.displayThread == std::this_thread::get_id();
}

}

int ScreenWidth()
{
    wm::Guard g(wm::lock());
    return configured().width;
}

int ScreenHeight()
{
    wm::Guard g(wm::lock());
    return configured().height;
}

int ScreenDpi()
{
    wm::Guard g(wm::lock());
    return configured().dpi;
}

DWORD ScreenOrientation()
{
    wm::Guard g(wm::lock());
    return configured().orientation;
}

// Fills the part of the screen DC's pixels that a blit reads from what the host's screen shows.
void readHostScreen(const RECT& rect)
{
    Screen& s = screen();
    if (onDisplayThread())
        s.backend->capture_region(s.pixels.data(), s.width, rect);
}

// A screen DC is about to be read: the screen as it is now.
void composeIfStale()
{
    wm::Guard g(wm::lock());
    if (stale(screen()))
        compose();
}

HDC ScreenDC()
{
    // On a desktop the screen is what the host's screen shows, the device's windows included
    // as they are presented now.
    if (onDisplayThread() && windowedDisplay())
        presentNow();
    wm::Guard g(wm::lock());
    Screen& s = configured();
    bool lazy = false;
    if (onDisplayThread() && windowedDisplay()) {
        const size_t size = static_cast<size_t>(s.width) * s.height;
        if (s.pixels.size() != size)
            s.pixels.assign(size, kDesktop);
        // Read where a blit reads, when the back end can: a screen DC is often wanted for its
        // metrics alone, and a 4K desktop read whole costs a frame.
        lazy = s.backend->can_capture_region();
        if (!lazy && !s.backend->capture_screen(s.pixels.data(), s.width, s.height))
            compose();
        s.changed = true; // the next reader composes again
    } else {
        // Composed when its pixels are first read, not here: most screen DCs are wanted for
        // the screen's metrics, and a composition costs the whole screen copied.
        const size_t size = static_cast<size_t>(s.width) * s.height;
        if (s.pixels.size() != size)
            s.pixels.assign(size, kDesktop);
    }
    GdiSurface surface { s.pixels.data(), s.width, s.height, s.width };
    HDC dc = GdiCreateSurfaceDC(surface, 0, 0, RECT { 0, 0, s.width, s.height });
    if (dc) {
        if (lazy)
            GdiSetSurfaceFill(dc, readHostScreen);
        else if (!(onDisplayThread() && windowedDisplay()))
            GdiSetSurfacePrepare(dc, composeIfStale);
        s.dcs.push_back(dc);
    }
    return dc;
}

bool ReleaseScreenDC(HDC dc)
{
    wm::Guard g(wm::lock());
    Screen& s = screen();
    auto it = std::find(s.dcs.begin(), s.dcs.end(), dc);
    if (it == s.dcs.end())
        return false;
    s.dcs.erase(it);
    GdiDeleteSurfaceDC(dc);
    return true;
}

namespace wm {

void composeTree(uint16_t* out, int outWidth, const Window* w, POINT origin, RECT clip)
{
    if (!(w->style & WS_VISIBLE))
        return;
    RECT r { origin.x + w->rect.left, origin.y + w->rect.top, origin.x + w->rect.right, origin.y + w->rect.bottom };
    RECT c { std::max(r.left, clip.left), std::max(r.top, clip.top), std::min(r.right, clip.right),
        std::min(r.bottom, clip.bottom) };
    if (c.right <= c.left || c.bottom <= c.top)
        return;
    if (w->pixelWidth == w->width() && w->pixelHeight == w->height() && !w->pixels.empty()) {
        for (int y = c.top; y < c.bottom; ++y) {
            const uint16_t* src = w->pixels.data() + static_cast<size_t>(y - r.top) * w->pixelWidth + (c.left - r.left);
            std::copy_n(src, c.right - c.left, out + static_cast<size_t>(y) * outWidth + c.left);
        }
    } else {
        for (int y = c.top; y < c.bottom; ++y)
            std::fill_n(out + static_cast<size_t>(y) * outWidth + c.left, c.right - c.left, 0xFFFF);
    }
    // Children over their parent, back to front, clipped to it.
    for (auto it = w->children.rbegin(); it != w->children.rend(); ++it)
        composeTree(out, outWidth, *it, POINT { r.left, r.top }, c);
}

std::vector<ScreenLayer> screenLayers()
{
    std::vector<ScreenLayer> layers;
    for (Window* w : topLevel()) {
        if (w->destroying)
            continue;
        ScreenLayer l;
        l.local = w;
        l.handle = w->handle;
        l.rect = w->rect;
        l.z = w->z;
        l.flags = 0;
        if (w->style & WS_VISIBLE)
            l.flags |= shared::kVisible;
        if (w->exStyle & WS_EX_TOPMOST)
            l.flags |= shared::kTopmost;
        if (!(w->style & WS_DISABLED) && !(w->exStyle & (WS_EX_NOACTIVATE | WS_EX_TOOLWINDOW)))
            l.flags |= shared::kActivatable;
        layers.push_back(l);
    }
    for (const shared::RemotePicture& p : shared::remotePictures()) {
        ScreenLayer l;
        l.handle = p.handle;
        l.rect = p.rect;
        l.flags = p.flags;
        l.z = p.z;
        l.width = p.width;
        l.height = p.height;
        l.pixels = p.pixels;
        layers.push_back(l);
    }
    // Topmost windows before the others; within a band the newest stamp is in front.
    std::stable_sort(layers.begin(), layers.end(), [](const ScreenLayer& a, const ScreenLayer& b) {
        bool ta = a.flags & shared::kTopmost, tb = b.flags & shared::kTopmost;
        if (ta != tb)
            return ta;
        return a.z > b.z;
    });
    return layers;
}

bool layerAt(POINT p, ScreenLayer& out)
{
    for (const ScreenLayer& l : screenLayers()) {
        if (!(l.flags & shared::kVisible))
            continue;
        if (p.x >= l.rect.left && p.x < l.rect.right && p.y >= l.rect.top && p.y < l.rect.bottom) {
            out = l;
            return true;
        }
    }
    return false;
}

void screenChanged()
{
    screen().changed = true;
    shared::markDirty();
}

void presentIfChanged()
{
    if (onDisplayThread())
        presentNow(true);
}

}

bool SimSetGeometry(const char* name)
{
    wm::Guard g(wm::lock());
    Screen& s = configured();
    if (!name || !parseGeometry(name, s.width, s.height, s.dpi, s.orientation))
        return false;
    SimSetDeviceMetrics(s.width, s.height, s.dpi);
    s.changed = true;
    return true;
}

void SimGetGeometry(int* width, int* height, int* dpi, DWORD* orientation)
{
    wm::Guard g(wm::lock());
    Screen& s = configured();
    if (width)
        *width = s.width;
    if (height)
        *height = s.height;
    if (dpi)
        *dpi = s.dpi;
    if (orientation)
        *orientation = s.orientation;
}

bool SimOpenDisplay(const char* backend)
{
    int width, height;
    SimGetGeometry(&width, &height, nullptr, nullptr);
    auto opened = display::open(backend, width, height);
    if (!opened)
        return false;
    Screen& s = screen();
    {
        wm::Guard g(wm::lock());
        s.backend = std::move(opened);
        s.displayThread = std::this_thread::get_id();
        s.changed = true;
    }
    presentNow();
    return true;
}

void SimCloseDisplay()
{
    std::unique_ptr<display::Backend> closing;
    {
        wm::Guard g(wm::lock());
        closing = std::move(screen().backend);
    }
}

const char* SimDisplayName()
{
    wm::Guard g(wm::lock());
    Screen& s = screen();
    return s.backend ? s.backend->name() : "none";
}

void SimPresent()
{
    if (onDisplayThread())
        presentNow();
    else {
        wm::Guard g(wm::lock());
        compose();
    }
}

const uint16_t* SimScreenPixels(int* width, int* height, int* pitch)
{
    wm::Guard g(wm::lock());
    Screen& s = configured();
    if (stale(s))
        compose();
    if (width)
        *width = s.width;
    if (height)
        *height = s.height;
    if (pitch)
        *pitch = s.width;
    return s.pixels.data();
}

bool SimSaveScreenshot(const char* pngPath)
{
    std::vector<uint16_t> copy;
    int width, height, pitch;
    {
        wm::Guard g(wm::lock());
        const uint16_t* p = SimScreenPixels(&width, &height, &pitch);
        copy.assign(p, p + static_cast<size_t>(pitch) * height);
    }
    return SimWritePng565(pngPath, copy.data(), width, height, pitch);
}

int SimDisplayFd()
{
    if (!onDisplayThread())
        return -1;
    Screen& s = screen();
    return s.backend ? s.backend->wait_descriptor() : -1;
}

namespace wm {

void watchOtherPictures(const std::shared_ptr<ThreadQueue>& queue)
{
    // One watcher for the life of the process: it sleeps until some program of the device
    // publishes a picture and then wakes the thread that presents the screen.
    static std::atomic<bool> started { false };
    if (started.exchange(true))
        return;
    std::thread([queue] {
        uint64_t seen = shared::generation();
        for (;;) {
            shared::waitForGeneration(seen);
            uint64_t now = shared::generation();
            if (now != seen) {
                seen = now;
                signalQueue(*queue);
            }
        }
    }).detach();
}

}

bool SimPollDisplay()
{
    if (!onDisplayThread())
        return true;
    Screen& s = screen();
    display::InputEvent e;
    bool open = true;
    while (s.backend && s.backend->poll(e)) {
        // The stylus on a window of its own on the host's screen goes to that window.
        struct Layer {
            explicit Layer(HWND window)
            {
                wm::Guard g(wm::lock());
                wm::stylusLayer() = window;
            }
            ~Layer()
            {
                wm::Guard g(wm::lock());
                wm::stylusLayer() = nullptr;
            }
        } layer(e.window);
        switch (e.kind) {
        case display::InputEvent::Kind::StylusDown:
            wm::stylusEvent(WM_LBUTTONDOWN, e.x, e.y, e.time);
            break;
        case display::InputEvent::Kind::StylusMove:
            wm::stylusEvent(WM_MOUSEMOVE, e.x, e.y, e.time);
            break;
        case display::InputEvent::Kind::StylusUp:
            wm::stylusEvent(WM_LBUTTONUP, e.x, e.y, e.time);
            break;
        case display::InputEvent::Kind::KeyDown:
            SimKeyDown(e.virtualKey);
            break;
        case display::InputEvent::Kind::KeyUp:
            SimKeyUp(e.virtualKey);
            break;
        case display::InputEvent::Kind::Text:
            for (char16_t c : e.text)
                SimTypeChar(c);
            break;
        case display::InputEvent::Kind::Closed:
            if (e.window)
                PostMessage(e.window, WM_CLOSE, 0, 0);
            else
                open = false;
            break;
        case display::InputEvent::Kind::None:
            break;
        }
    }
    // Events held back (the stylus going down is handed over alone) wake a host that waits
    // on its descriptors.
    if (s.backend && s.backend->input_waiting())
        wm::signalQueue(*wm::currentThread());
    return open;
}

bool ScreenIsHere()
{
    return onDisplayThread();
}

bool ScreenIsInteractive()
{
    Screen& s = screen();
    return onDisplayThread() && std::strcmp(s.backend->name(), "headless") != 0;
}

// Rotation swaps the screen's sides when it turns between upright and sideways.
LONG RotateScreen(DWORD orientation)
{
    if (orientation != DMDO_0 && orientation != DMDO_90 && orientation != DMDO_180 && orientation != DMDO_270)
        return DISP_CHANGE_BADMODE;
    {
        wm::Guard g(wm::lock());
        Screen& s = configured();
        if (orientation == s.orientation)
            return DISP_CHANGE_SUCCESSFUL;
        auto sideways = [](DWORD o) { return o == DMDO_90 || o == DMDO_270; };
        if (sideways(orientation) != sideways(s.orientation))
            std::swap(s.width, s.height);
        s.orientation = orientation;
        SimSetDeviceMetrics(s.width, s.height, s.dpi);
        s.changed = true;
    }
    SendMessage(HWND_BROADCAST, WM_SETTINGCHANGE, 0x3002 /* SETTINGCHANGE_RESET */, 0);
    return DISP_CHANGE_SUCCESSFUL;
}
