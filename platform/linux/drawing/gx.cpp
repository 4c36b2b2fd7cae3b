// The display access layer on the stand-in: the frame buffer is a screen-sized picture of the
// process; what is drawn into it is copied into the open window's backing store at GXEndDraw,
// so the window shows it wherever the device composes it. Raw key input is a process flag that
// the shell's key handling respects.
#include "linux/windows/win_internal.h"
#include "linux/windows/win_screen.h"
#include "linux/windows/win_shared.h"

#include <gx.h>
#include <winbase.h>

#include <algorithm>
#include <atomic>

namespace wm {

namespace {

struct FrameBuffer {
    HWND window = nullptr;
    std::vector<uint16_t> pixels;
    int width = 0;
    int height = 0;
    bool drawing = false;
    bool suspended = false;
};

FrameBuffer& frameBuffer()
{
    static FrameBuffer fb;
    return fb;
}

std::atomic<bool> g_rawInput { false };

// The part of the screen the window covers, in screen coordinates, clipped to the screen.
RECT coverage(const Window* w, int width, int height)
{
    POINT o = screenOrigin(w);
    return RECT { std::max<LONG>(o.x, 0), std::max<LONG>(o.y, 0), std::min<LONG>(o.x + w->width(), width),
        std::min<LONG>(o.y + w->height(), height) };
}

}

bool rawKeyInputOpen()
{
    return g_rawInput.load();
}

}

using namespace wm;

int GXOpenDisplay(HWND window, DWORD)
{
    Guard g(lock());
    FrameBuffer& fb = frameBuffer();
    if (fb.window && find(fb.window))
        return 0; // one display per process
    if (!find(window)) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return 0;
    }
    fb = FrameBuffer {};
    fb.window = window;
    return 1;
}

int GXCloseDisplay()
{
    Guard g(lock());
    FrameBuffer& fb = frameBuffer();
    if (!fb.window)
        return 0;
    fb = FrameBuffer {};
    return 1;
}

void* GXBeginDraw()
{
    Guard g(lock());
    FrameBuffer& fb = frameBuffer();
    Window* w = fb.window ? find(fb.window) : nullptr;
    if (!w || fb.drawing || fb.suspended)
        return nullptr;
    fb.width = ScreenWidth();
    fb.height = ScreenHeight();
    fb.pixels.assign(static_cast<size_t>(fb.width) * fb.height, 0);
    // The frame buffer starts as the screen shows the window: drawing only a part keeps the rest.
    ensureBacking(w);
    RECT c = coverage(w, fb.width, fb.height);
    POINT o = screenOrigin(w);
    for (LONG y = c.top; y < c.bottom; ++y)
        std::copy_n(w->pixels.data() + static_cast<size_t>(y - o.y) * w->pixelWidth + (c.left - o.x), c.right - c.left,
            fb.pixels.data() + static_cast<size_t>(y) * fb.width + c.left);
    fb.drawing = true;
    return fb.pixels.data();
}

int GXEndDraw()
{
    Guard g(lock());
    FrameBuffer& fb = frameBuffer();
    Window* w = fb.window ? find(fb.window) : nullptr;
    if (!fb.drawing)
        return 0;
    fb.drawing = false;
    if (!w)
        return 0;
    ensureBacking(w);
    RECT c = coverage(w, fb.width, fb.height);
    POINT o = screenOrigin(w);
    for (LONG y = c.top; y < c.bottom; ++y)
        std::copy_n(fb.pixels.data() + static_cast<size_t>(y) * fb.width + c.left, c.right - c.left,
            w->pixels.data() + static_cast<size_t>(y - o.y) * w->pixelWidth + (c.left - o.x));
    screenChanged();
    shared::publish();
    return 1;
}

GXDisplayProperties GXGetDisplayProperties()
{
    GXDisplayProperties p {};
    int width = ScreenWidth(), height = ScreenHeight();
    p.cxWidth = static_cast<DWORD>(width);
    p.cyHeight = static_cast<DWORD>(height);
    p.cBPP = 16;
    p.cbxPitch = 2;
    p.cbyPitch = width * 2;
    p.ffFormat = kfDirect | kfDirect565;
    DWORD orientation = ScreenOrientation();
    if (orientation == DMDO_90 || orientation == DMDO_270)
        p.ffFormat |= kfLandscape;
    return p;
}

int GXOpenInput()
{
    g_rawInput.store(true);
    return 1;
}

int GXCloseInput()
{
    g_rawInput.store(false);
    return 1;
}

GXKeyList GXGetDefaultKeys(int)
{
    GXKeyList k {};
    k.vkUp = VK_UP;
    k.vkDown = VK_DOWN;
    k.vkLeft = VK_LEFT;
    k.vkRight = VK_RIGHT;
    k.vkA = 0xC1; // the device's application buttons
    k.vkB = 0xC2;
    k.vkC = 0xC3;
    k.vkStart = VK_RETURN;
    return k;
}

int GXSuspend()
{
    Guard g(lock());
    frameBuffer().suspended = true;
    return 1;
}

int GXResume()
{
    Guard g(lock());
    frameBuffer().suspended = false;
    return 1;
}
