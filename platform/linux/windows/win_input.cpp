// Input state: stylus capture, keyboard focus, the active window, key states, and the device
// input that the host injects.
#include "win_internal.h"
#include "win_remote.h"
#include "win_shared.h"

#include <simhost.h>
#include <winbase.h>

#include <array>
#include <map>

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

std::map<HWND, HWND>& savedFocus()
{
    static std::map<HWND, HWND> table;
    return table;
}

HWND topLevelOf(HWND window)
{
    Guard g(lock());
    Window* w = find(window);
    while (w && w->parent)
        w = w->parent;
    return w ? w->handle : nullptr;
}

void activate(HWND window)
{
    HWND old, localOld, saved = nullptr, lostFocus = nullptr;
    {
        Guard g(lock());
        localOld = input().active;
        old = shared::foreground();
        if (old == window && localOld == window)
            return;
        input().active = window;
        if (window || !old || !isRemote(old))
            shared::setForeground(window);
        if (window) {
            auto it = savedFocus().find(window);
            if (it != savedFocus().end()) {
                saved = it->second;
                savedFocus().erase(it);
            }
            // Keys go to the new window from now on, not to a control of the old one until the
            // new one's thread gets round to taking the focus; the old one gets it back when it
            // is activated again.
            auto inside = [](HWND h, HWND top) {
                for (Window* x = find(h); x; x = x->parent)
                    if (x->handle == top)
                        return true;
                return false;
            };
            HWND focus = input().focus;
            if (focus && !inside(focus, window)) {
                if (localOld && localOld != window && inside(focus, localOld))
                    savedFocus()[localOld] = focus;
                input().focus = nullptr;
                lostFocus = focus;
            }
        }
    }
    if (lostFocus)
        SendMessage(lostFocus, WM_KILLFOCUS, 0, 0);
    if (localOld && localOld != window)
        SendMessage(localOld, WM_ACTIVATE, WA_INACTIVE, reinterpret_cast<LPARAM>(window));
    if (old && old != localOld && old != window && isRemote(old))
        remoteDeactivate(old, window);
    if (window) {
        // The control that had the focus when the program lost the foreground gets it back.
        if (saved && IsChild(window, saved))
            SetFocus(saved);
        SendMessage(window, WM_ACTIVATE, WA_ACTIVE, reinterpret_cast<LPARAM>(old && old != window ? old : localOld));
    }
    notifyShell(SIM_SHELL_FOREGROUND, 0);
}

// The window of another process that takes the stylus at (x, y): the capture, else the window
// in front there; null when it is one of ours.
HWND remoteStylusTarget(int x, int y)
{
    Guard g(lock());
    HWND cap = shared::capture();
    if (cap && isRemote(cap)) {
        if (shared::processAlive(shared::processOf(cap)))
            return cap;
        shared::releaseCapture(cap);
    }
    if (input().capture)
        return nullptr;
    if (HWND only = stylusLayer())
        return isRemote(only) ? only : nullptr;
    ScreenLayer l;
    if (layerAt(POINT { x, y }, l) && !l.local)
        return l.handle;
    return nullptr;
}

void stylus(UINT message, int x, int y, DWORD time = 0)
{
    {
        Guard g(lock());
        input().stylus = POINT { x, y };
    }
    if (HWND remote = remoteStylusTarget(x, y)) {
        if (remoteInput(remote, message, static_cast<WPARAM>(x), static_cast<LPARAM>(y)))
            return;
    }
    localStylus(message, x, y, time);
}

// Keys and characters follow the foreground window, wherever it lives.
HWND remoteKeyTarget()
{
    HWND fg = shared::foreground();
    if (fg && isRemote(fg) && shared::processAlive(shared::processOf(fg)))
        return fg;
    return nullptr;
}

HWND keyTarget()
{
    Guard g(lock());
    InputState& s = input();
    return s.focus ? s.focus : s.active;
}

}

void localStylus(UINT message, int x, int y, DWORD time)
{
    HWND target, top = nullptr;
    LPARAM lParam;
    bool activateTop = false;
    {
        Guard g(lock());
        InputState& s = input();
        s.stylus = POINT { x, y };
        if (message == WM_LBUTTONDOWN)
            s.stylusDown = true;
        else if (message == WM_LBUTTONUP)
            s.stylusDown = false;
        Window* w = s.capture ? find(s.capture) : windowAt(POINT { x, y });
        if (!w || (w->style & WS_DISABLED))
            return;
        POINT o = screenOrigin(w);
        target = w->handle;
        lParam = MAKELPARAM(static_cast<SHORT>(x - o.x), static_cast<SHORT>(y - o.y));
        Window* t = w;
        while (t->parent)
            t = t->parent;
        top = t->handle;
        activateTop = message == WM_LBUTTONDOWN && activatable(t) && shared::foreground() != top;
    }
    // A tap on a program's window brings it to the foreground.
    if (activateTop)
        SetForegroundWindow(top);
    WPARAM keys = message == WM_LBUTTONUP ? 0 : MK_LBUTTON;
    if (GetAsyncKeyState(VK_SHIFT) & 0x8000)
        keys |= MK_SHIFT;
    if (GetAsyncKeyState(VK_CONTROL) & 0x8000)
        keys |= MK_CONTROL;
    postMessageAt(target, message, keys, lParam, time ? time : GetTickCount());
}

void localKey(UINT message, int virtualKey, LPARAM extra)
{
    if (virtualKey <= 0 || virtualKey > 255)
        return;
    bool wasDown;
    {
        Guard g(lock());
        wasDown = input().keys[static_cast<size_t>(virtualKey)];
        input().keys[static_cast<size_t>(virtualKey)] = message == WM_KEYDOWN;
        if (message == WM_KEYDOWN && virtualKey == VK_CAPITAL && !wasDown)
            input().capsLock = !input().capsLock;
    }
    HWND target = keyTarget();
    if (!target || shellTakesKey(target, message, virtualKey))
        return;
    if (message == WM_KEYDOWN)
        postInput(target, WM_KEYDOWN, static_cast<WPARAM>(virtualKey), (1 | (wasDown ? (1 << 30) : 0)) | extra);
    else
        postInput(target, WM_KEYUP, static_cast<WPARAM>(virtualKey), static_cast<LPARAM>(1u | (1u << 30) | (1u << 31)) | extra);
}

void localChar(WCHAR ch)
{
    if (HWND target = keyTarget())
        PostMessage(target, WM_CHAR, ch, 1);
}

void deactivatedBy(HWND old, HWND next)
{
    HWND focus;
    {
        Guard g(lock());
        if (!find(old) || input().active != old)
            return;
        input().active = nullptr;
        focus = input().focus;
        Window* f = find(focus);
        bool inside = false;
        for (; f; f = f->parent)
            inside = inside || f->handle == old;
        if (!inside)
            focus = nullptr;
        if (focus)
            savedFocus()[old] = focus;
    }
    if (focus)
        SetFocus(nullptr);
    SendMessage(old, WM_ACTIVATE, WA_INACTIVE, reinterpret_cast<LPARAM>(next));
}

void captureTakenBy(HWND old, HWND next)
{
    {
        Guard g(lock());
        if (input().capture != old)
            return; // given up meanwhile, and told then
        input().capture = nullptr;
    }
    SendMessage(old, WM_CAPTURECHANGED, 0, reinterpret_cast<LPARAM>(next));
}

void notifyShell(WPARAM what, LPARAM detail)
{
    if (HWND shell = shared::shellWindow())
        PostMessage(shell, SIM_WM_SHELL, what, detail);
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
    HWND capture, focus;
    bool active;
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
        active = s.active == window;
        savedFocus().erase(window);
    }
    if (capture && GetCapture() == capture)
        ReleaseCapture();
    if (focus && GetFocus() == focus)
        SetFocus(nullptr);
    if (active) {
        // The next window of the device in z-order that can be active takes over, whichever
        // program it belongs to.
        HWND next = nullptr;
        bool remote = false;
        {
            Guard g(lock());
            for (const ScreenLayer& l : screenLayers()) {
                if (l.handle == window || !(l.flags & shared::kVisible) || !(l.flags & shared::kActivatable))
                    continue;
                if (l.local && (l.local->destroying || !activatable(l.local)))
                    continue;
                next = l.handle;
                remote = !l.local;
                break;
            }
        }
        if (!remote) {
            activate(next);
        } else {
            {
                Guard g(lock());
                input().active = nullptr;
            }
            SendMessage(window, WM_ACTIVATE, WA_INACTIVE, reinterpret_cast<LPARAM>(next));
            if (!remoteForeground(next)) {
                Guard g(lock());
                if (shared::foreground() == window)
                    shared::setForeground(nullptr);
            }
        }
    }
}

}

using namespace wm;

HWND SetCapture(HWND window)
{
    HWND old, taken = nullptr;
    {
        Guard g(lock());
        if (window && !find(window))
            return nullptr;
        old = input().capture;
        input().capture = window;
        if (window) {
            if (HWND held = shared::capture(); held && held != window && isRemote(held))
                taken = held;
            shared::setCapture(window);
        } else if (old)
            shared::releaseCapture(old);
    }
    if (old && old != window)
        SendMessage(old, WM_CAPTURECHANGED, 0, reinterpret_cast<LPARAM>(window));
    // The window of another program that held the stylus hears that it lost it, as a window of
    // this program does: otherwise its touch would stay open.
    if (taken && shared::processAlive(shared::processOf(taken)))
        remoteCaptureLost(taken, window);
    return old;
}

BOOL ReleaseCapture()
{
    HWND old;
    {
        Guard g(lock());
        old = input().capture;
        input().capture = nullptr;
        if (old)
            shared::releaseCapture(old);
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
    HWND fg = shared::foreground();
    {
        Guard g(lock());
        if (fg && find(fg))
            return fg;
    }
    if (fg && isRemote(fg) && shared::processAlive(shared::processOf(fg)))
        return fg;
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

namespace {

SHORT keyState(int virtualKey, const std::array<bool, 256>& keys, bool capsLock, bool stylusDown)
{
    auto down = [&](int vk) { return keys[static_cast<size_t>(vk)]; };
    bool pressed = down(virtualKey);
    if (virtualKey == VK_SHIFT)
        pressed = pressed || down(VK_LSHIFT) || down(VK_RSHIFT);
    if (virtualKey == VK_CONTROL)
        pressed = pressed || down(VK_LCONTROL) || down(VK_RCONTROL);
    if (virtualKey == VK_LBUTTON)
        pressed = stylusDown;
    SHORT state = pressed ? static_cast<SHORT>(0x8000) : 0;
    if (virtualKey == VK_CAPITAL && capsLock)
        state |= 1;
    return state;
}

}

// As on the device: the keys as of the key message the thread handles now, not as they are at
// this moment (an input method sends ctrl, an arrow and ctrl up before the program sees any).
SHORT GetKeyState(int virtualKey)
{
    if (virtualKey < 0 || virtualKey > 255)
        return 0;
    auto q = currentThread();
    bool stylusDown;
    {
        Guard g(lock());
        stylusDown = input().stylusDown;
    }
    std::lock_guard<std::mutex> g(q->mutex);
    return keyState(virtualKey, q->keys, q->capsLock, stylusDown);
}

SHORT GetAsyncKeyState(int virtualKey)
{
    if (virtualKey < 0 || virtualKey > 255)
        return 0;
    Guard g(lock());
    InputState& s = input();
    return keyState(virtualKey, s.keys, s.capsLock, s.stylusDown);
}

namespace wm {

void stylusEvent(UINT message, int x, int y, DWORD time)
{
    {
        Guard g(lock());
        if (message == WM_LBUTTONDOWN)
            input().stylusDown = true;
        else if (!input().stylusDown)
            return;
        else if (message == WM_LBUTTONUP)
            input().stylusDown = false;
    }
    stylus(message, x, y, time);
}

}

void SimStylusDown(int x, int y)
{
    wm::stylusEvent(WM_LBUTTONDOWN, x, y, 0);
}

void SimStylusMove(int x, int y)
{
    wm::stylusEvent(WM_MOUSEMOVE, x, y, 0);
}

void SimStylusUp(int x, int y)
{
    wm::stylusEvent(WM_LBUTTONUP, x, y, 0);
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
    if (HWND remote = remoteKeyTarget()) {
        {
            Guard g(lock());
            input().keys[static_cast<size_t>(virtualKey)] = down;
        }
        if (remoteInput(remote, down ? WM_KEYDOWN : WM_KEYUP, static_cast<WPARAM>(virtualKey), extra))
            return;
    }
    localKey(down ? WM_KEYDOWN : WM_KEYUP, virtualKey, extra);
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
    if (HWND remote = remoteKeyTarget(); remote && remoteInput(remote, WM_CHAR, ch, 0))
        return;
    localChar(ch);
}
