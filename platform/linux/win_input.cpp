// Input state: stylus capture, keyboard focus, the active window, key states, and the device
// input that the host injects.
#include "win_internal.h"
#include "win_remote.h"

#include <simhost.h>
#include <winbase.h>

#include <array>

namespace wm {

namespace {

struct InputState {
    HWND capture = nullptr;
    HWND focus = nullptr;
    HWND active = nullptr;
    POINT stylus { 0, 0 };
    bool stylusDown = false;
    std::array<bool, 256> keys {};
    bool capsLock = false;
};

InputState& input()
{
    static InputState s;
    return s;
}

bool activatable(const Window* w)
{
    return w && !w->parent && (w->style & WS_VISIBLE) && !(w->style & WS_DISABLED)
        && !(w->exStyle & (WS_EX_NOACTIVATE | WS_EX_TOOLWINDOW));
}

void activate(HWND window)
{
    HWND old;
    {
        Guard g(lock());
        old = input().active;
        if (old == window)
            return;
        input().active = window;
    }
    if (old)
        SendMessage(old, WM_ACTIVATE, WA_INACTIVE, reinterpret_cast<LPARAM>(window));
    if (window)
        SendMessage(window, WM_ACTIVATE, WA_ACTIVE, reinterpret_cast<LPARAM>(old));
}

HWND topLevelOf(HWND window)
{
    Guard g(lock());
    Window* w = find(window);
    while (w && w->parent)
        w = w->parent;
    return w ? w->handle : nullptr;
}

void stylus(UINT message, int x, int y)
{
    HWND target;
    LPARAM lParam;
    {
        Guard g(lock());
        InputState& s = input();
        s.stylus = POINT { x, y };
        Window* w = s.capture ? find(s.capture) : windowAt(POINT { x, y });
        if (!w || (w->style & WS_DISABLED))
            return;
        POINT o = screenOrigin(w);
        target = w->handle;
        lParam = MAKELPARAM(static_cast<SHORT>(x - o.x), static_cast<SHORT>(y - o.y));
    }
    WPARAM keys = message == WM_LBUTTONUP ? 0 : MK_LBUTTON;
    if (GetKeyState(VK_SHIFT) & 0x8000)
        keys |= MK_SHIFT;
    if (GetKeyState(VK_CONTROL) & 0x8000)
        keys |= MK_CONTROL;
    PostMessage(target, message, keys, lParam);
}

HWND keyTarget()
{
    Guard g(lock());
    InputState& s = input();
    return s.focus ? s.focus : s.active;
}

}

void activateOnShow(HWND window)
{
    {
        Guard g(lock());
        if (!activatable(find(window)))
            return;
    }
    activate(window);
}

void inputWindowGone(HWND window)
{
    HWND capture, focus, active;
    {
        Guard g(lock());
        InputState& s = input();
        Window* w = find(window);
        bool destroying = w && w->destroying;
        auto inside = [&](HWND h) {
            if (!h)
                return false;
            for (Window* x = find(h); x; x = x->parent)
                if (x->handle == window)
                    return true;
            return false;
        };
        // Hiding keeps the stylus captured; destroying ends the capture.
        capture = destroying && s.capture == window ? window : nullptr;
        focus = inside(s.focus) ? s.focus : nullptr;
        active = s.active == window ? window : nullptr;
    }
    if (capture && GetCapture() == capture)
        ReleaseCapture();
    if (focus && GetFocus() == focus)
        SetFocus(nullptr);
    if (active) {
        // The next window in z-order that can be active takes over.
        HWND next = nullptr;
        {
            Guard g(lock());
            for (Window* w : topLevel())
                if (w->handle != window && !w->destroying && activatable(w)) {
                    next = w->handle;
                    break;
                }
        }
        activate(next);
    }
}

}

using namespace wm;

HWND SetCapture(HWND window)
{
    HWND old;
    {
        Guard g(lock());
        if (window && !find(window))
            return nullptr;
        old = input().capture;
        input().capture = window;
    }
    if (old && old != window)
        SendMessage(old, WM_CAPTURECHANGED, 0, reinterpret_cast<LPARAM>(window));
    return old;
}

BOOL ReleaseCapture()
{
    HWND old;
    {
        Guard g(lock());
        old = input().capture;
        input().capture = nullptr;
    }
    if (old)
        SendMessage(old, WM_CAPTURECHANGED, 0, 0);
    return TRUE;
}

HWND GetCapture()
{
    Guard g(lock());
    return input().capture;
}

HWND SetFocus(HWND window)
{
    HWND old;
    {
        Guard g(lock());
        if (window && !find(window))
            return nullptr;
        old = input().focus;
        if (old == window)
            return old;
        input().focus = window;
    }
    if (old)
        SendMessage(old, WM_KILLFOCUS, reinterpret_cast<WPARAM>(window), 0);
    if (window)
        SendMessage(window, WM_SETFOCUS, reinterpret_cast<WPARAM>(old), 0);
    return old;
}

HWND GetFocus()
{
    Guard g(lock());
    return input().focus;
}

HWND GetActiveWindow()
{
    Guard g(lock());
    return input().active;
}

HWND GetForegroundWindow()
{
    return GetActiveWindow();
}

BOOL SetForegroundWindow(HWND window)
{
    if (isRemote(window))
        return remoteForeground(window) ? TRUE : FALSE;
    HWND top = topLevelOf(window);
    if (!top)
        return FALSE;
    BringWindowToTop(top);
    activate(top);
    return TRUE;
}

SHORT GetKeyState(int virtualKey)
{
    if (virtualKey < 0 || virtualKey > 255)
        return 0;
    Guard g(lock());
    InputState& s = input();
    auto down = [&](int vk) { return s.keys[static_cast<size_t>(vk)]; };
    bool pressed = down(virtualKey);
    if (virtualKey == VK_SHIFT)
        pressed = pressed || down(VK_LSHIFT) || down(VK_RSHIFT);
    if (virtualKey == VK_CONTROL)
        pressed = pressed || down(VK_LCONTROL) || down(VK_RCONTROL);
    if (virtualKey == VK_LBUTTON)
        pressed = s.stylusDown;
    SHORT state = pressed ? static_cast<SHORT>(0x8000) : 0;
    if (virtualKey == VK_CAPITAL && s.capsLock)
        state |= 1;
    return state;
}

SHORT GetAsyncKeyState(int virtualKey)
{
    return GetKeyState(virtualKey);
}

void SimStylusDown(int x, int y)
{
    {
        Guard g(lock());
        input().stylusDown = true;
    }
    stylus(WM_LBUTTONDOWN, x, y);
}

void SimStylusMove(int x, int y)
{
    {
        Guard g(lock());
        if (!input().stylusDown)
            return;
    }
    stylus(WM_MOUSEMOVE, x, y);
}

void SimStylusUp(int x, int y)
{
    {
        Guard g(lock());
        if (!input().stylusDown)
            return;
        input().stylusDown = false;
    }
    stylus(WM_LBUTTONUP, x, y);
}

POINT SimLastStylusPoint()
{
    Guard g(lock());
    return input().stylus;
}

namespace wm {

void keyTransition(int virtualKey, bool down, LPARAM extra)
{
    if (virtualKey <= 0 || virtualKey > 255)
        return;
    if (!down) {
        {
            Guard g(lock());
            input().keys[static_cast<size_t>(virtualKey)] = false;
        }
        if (HWND target = keyTarget())
            PostMessage(target, WM_KEYUP, static_cast<WPARAM>(virtualKey), static_cast<LPARAM>(1u | (1u << 30) | (1u << 31)) | extra);
        return;
    }
    bool wasDown;
    {
        Guard g(lock());
        wasDown = input().keys[static_cast<size_t>(virtualKey)];
        input().keys[static_cast<size_t>(virtualKey)] = true;
        if (virtualKey == VK_CAPITAL && !wasDown)
            input().capsLock = !input().capsLock;
    }
    if (HWND target = keyTarget())
        PostMessage(target, WM_KEYDOWN, static_cast<WPARAM>(virtualKey), (1 | (wasDown ? (1 << 30) : 0)) | extra);
}

}

void SimKeyDown(int virtualKey)
{
    keyTransition(virtualKey, true, 0);
}

void SimKeyUp(int virtualKey)
{
    keyTransition(virtualKey, false, 0);
}

void SimTypeChar(WCHAR ch)
{
    if (HWND target = keyTarget())
        PostMessage(target, WM_CHAR, ch, 1);
}
