// Windows: creation and destruction, the tree of parents and children, z-order, show, hide,
// move, text and window data.
#include "win_internal.h"
#include "win_remote.h"
#include "win_screen.h"
#include "win_shared.h"

#include <winbase.h>

#include <algorithm>
#include <cstring>
#include <unistd.h>
#include <unordered_map>

namespace wm {

std::shared_ptr<WindowClass> findClass(LPCWSTR name);

namespace {

std::unordered_map<uintptr_t, std::shared_ptr<Window>>& windows()
{
    // Never destroyed: objects that outlive main (a program's process-wide owners) may still
    // destroy their windows while the process exits.
    static auto* table = new std::unordered_map<uintptr_t, std::shared_ptr<Window>>;
    return *table;
}

uintptr_t nextSerial = 0x10;

// Handles carry the process id so that they stay distinct across the processes of a device.
HWND newHandle()
{
    const uintptr_t pid = static_cast<uintptr_t>(getpid()) & 0x7FFFFF;
    for (;;) {
        uintptr_t serial = nextSerial++ & 0xFFFFFF;
        if (serial < 0x10)
            continue;
        uintptr_t value = (pid << 24) | serial;
        if (!windows().count(value))
            return reinterpret_cast<HWND>(value);
    }
}

bool isBandTopmost(const Window* w)
{
    return !w->parent && (w->exStyle & WS_EX_TOPMOST);
}

void sendSizeAndMove(HWND window, const RECT& r)
{
    SendMessage(window, WM_SIZE, SIZE_RESTORED, MAKELPARAM(r.right - r.left, r.bottom - r.top));
    SendMessage(window, WM_MOVE, 0, MAKELPARAM(r.left, r.top));
}

void collectSubtree(Window* w, std::vector<HWND>& out)
{
    out.push_back(w->handle);
    for (Window* c : w->children)
        collectSubtree(c, out);
}

}

std::recursive_mutex& lock()
{
    static auto* m = new std::recursive_mutex;
    return *m;
}

Window* find(HWND handle)
{
    auto& table = windows();
    auto it = table.find(reinterpret_cast<uintptr_t>(handle));
    if (it == table.end())
        return nullptr;
    return it->second.get();
}

std::vector<Window*>& topLevel()
{
    static auto* list = new std::vector<Window*>;
    return *list;
}

std::vector<Window*>& siblings(Window* w)
{
    return w->parent ? w->parent->children : topLevel();
}

std::vector<HWND> topLevelHandles()
{
    Guard g(lock());
    std::vector<HWND> list;
    for (Window* w : topLevel())
        list.push_back(w->handle);
    return list;
}

void removeFromZOrder(Window* w)
{
    auto& list = siblings(w);
    list.erase(std::remove(list.begin(), list.end(), w), list.end());
}

void placeInZOrder(Window* w, bool front)
{
    removeFromZOrder(w);
    auto& list = siblings(w);
    bool top = isBandTopmost(w);
    if (front) {
        // Front of the band: topmost windows stay before all others.
        auto it = list.begin();
        if (!top)
            while (it != list.end() && isBandTopmost(*it))
                ++it;
        list.insert(it, w);
    } else {
        auto it = list.end();
        if (top)
            it = std::find_if(list.begin(), list.end(), [](Window* o) { return !isBandTopmost(o); });
        list.insert(it, w);
    }
    if (!w->parent) {
        w->z = front ? shared::frontStamp() : shared::backStamp();
        // Owned windows (a program's menu bar) stay in front of their owner.
        if (front) {
            std::vector<Window*> owned;
            for (Window* o : topLevel())
                if (o->owner == w->handle && o != w)
                    owned.push_back(o);
            for (Window* o : owned)
                placeInZOrder(o, true);
        }
    }
}

bool reallyVisible(const Window* w)
{
    for (; w; w = w->parent)
        if (!(w->style & WS_VISIBLE))
            return false;
    return true;
}

POINT screenOrigin(const Window* w)
{
    POINT p { 0, 0 };
    for (; w; w = w->parent) {
        p.x += w->rect.left;
        p.y += w->rect.top;
    }
    return p;
}

namespace {

Window* hitTest(std::vector<Window*>& list, POINT p, POINT origin)
{
    for (Window* w : list) {
        if (!(w->style & WS_VISIBLE))
            continue;
        RECT r { origin.x + w->rect.left, origin.y + w->rect.top, origin.x + w->rect.right,
            origin.y + w->rect.bottom };
        if (p.x < r.left || p.x >= r.right || p.y < r.top || p.y >= r.bottom)
            continue;
        Window* child = hitTest(w->children, p, POINT { r.left, r.top });
        return child ? child : w;
    }
    return nullptr;
}

}

Window* windowAt(POINT screen)
{
    if (HWND only = stylusLayer()) {
        Window* top = find(only);
        if (!top)
            return nullptr;
        std::vector<Window*> one { top };
        return hitTest(one, screen, POINT { 0, 0 });
    }
    return hitTest(topLevel(), screen, POINT { 0, 0 });
}

HWND& stylusLayer()
{
    static HWND layer = nullptr;
    return layer;
}

LRESULT callProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    WNDPROC proc;
    {
        Guard g(lock());
        Window* w = find(window);
        if (!w)
            return 0;
        proc = w->proc;
    }
    return proc ? proc(window, message, wParam, lParam) : 0;
}

int copyText(std::u16string_view text, LPWSTR buffer, int maxCount)
{
    if (!buffer || maxCount <= 0)
        return 0;
    int n = static_cast<int>(std::min<size_t>(text.size(), static_cast<size_t>(maxCount - 1)));
    text.copy(buffer, n);
    buffer[n] = 0;
    return n;
}

namespace {

// The window's extra bytes at index read as a T and, given a replacement, overwritten; an
// index outside them fails.
template <typename T>
T exchangeExtra(Window* w, int index, const T* replacement)
{
    if (index < 0 || static_cast<size_t>(index) + sizeof(T) > w->extra.size()) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    T old;
    std::memcpy(&old, w->extra.data() + index, sizeof old);
    if (replacement)
        std::memcpy(w->extra.data() + index, replacement, sizeof old);
    return old;
}

template <typename T>
T exchangeExtra(HWND window, int index, const T* replacement)
{
    Guard g(lock());
    Window* w = find(window);
    if (!w) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return 0;
    }
    return exchangeExtra(w, index, replacement);
}

}

}

using namespace wm;

HWND CreateWindowEx(DWORD exStyle, LPCWSTR className, LPCWSTR windowName, DWORD style, int x, int y,
    int width, int height, HWND parent, HMENU menuOrId, HINSTANCE instance, LPVOID param)
{
    HWND handle;
    CREATESTRUCT cs {};
    {
        Guard g(lock());
        auto cls = findClass(className);
        if (!cls) {
            SetLastError(ERROR_CANNOT_FIND_WND_CLASS);
            return nullptr;
        }
        Window* parentWindow = nullptr;
        if (parent) {
            parentWindow = find(parent);
            if (!parentWindow) {
                SetLastError(ERROR_INVALID_WINDOW_HANDLE);
                return nullptr;
            }
        } else if (style & WS_CHILD) {
            SetLastError(ERROR_TLW_WITH_WSCHILD);
            return nullptr;
        }
        // Default placement: the origin, and the whole screen for a default size.
        if (x == CW_USEDEFAULT) {
            x = 0;
            y = 0;
        }
        if (width == CW_USEDEFAULT) {
            width = ScreenWidth();
            height = ScreenHeight();
        }
        width = std::max(width, 0);
        height = std::max(height, 0);

        auto w = std::make_shared<Window>();
        handle = newHandle();
        w->handle = handle;
        w->cls = cls;
        w->proc = cls->wc.lpfnWndProc;
        w->style = style & ~WS_VISIBLE;
        w->exStyle = exStyle;
        w->parent = parentWindow;
        w->rect = RECT { x, y, x + width, y + height };
        w->title = windowName ? windowName : u"";
        w->id = (style & WS_CHILD) ? reinterpret_cast<LONG_PTR>(menuOrId) : 0;
        w->instance = instance;
        w->extra.assign(static_cast<size_t>(cls->wc.cbWndExtra), 0);
        w->thread = currentThread();
        w->thread->ownedWindows = true;
        cls->windowCount++;
        windows()[reinterpret_cast<uintptr_t>(handle)] = w;
        placeInZOrder(w.get(), true);

        cs.lpCreateParams = param;
        cs.hInstance = instance;
        cs.hMenu = menuOrId;
        cs.hwndParent = parent;
        cs.cx = width;
        cs.cy = height;
        cs.x = x;
        cs.y = y;
        cs.style = static_cast<LONG>(style);
        cs.lpszName = w->title.c_str();
        cs.lpszClass = cls->name.c_str();
        cs.dwExStyle = exStyle;
        if (!parentWindow)
            publishTopLevel();
    }

    if (SendMessage(handle, WM_NCCREATE, 0, reinterpret_cast<LPARAM>(&cs)) == FALSE
        || SendMessage(handle, WM_CREATE, 0, reinterpret_cast<LPARAM>(&cs)) == -1) {
        DestroyWindow(handle);
        return nullptr;
    }
    RECT r {};
    {
        Guard g(lock());
        if (Window* w = find(handle))
            r = w->rect;
    }
    sendSizeAndMove(handle, r);
    if (style & WS_VISIBLE)
        ShowWindow(handle, SW_SHOW);
    return IsWindow(handle) ? handle : nullptr;
}

BOOL DestroyWindow(HWND window)
{
    std::vector<HWND> owned;
    {
        Guard g(lock());
        for (Window* o : topLevel())
            if (o->owner == window && o->handle != window && !o->destroying)
                owned.push_back(o->handle);
    }
    for (HWND o : owned)
        DestroyWindow(o);
    std::vector<HWND> subtree;
    {
        Guard g(lock());
        Window* w = find(window);
        if (!w || w->destroying) {
            SetLastError(ERROR_INVALID_WINDOW_HANDLE);
            return FALSE;
        }
        if (w->thread != currentThread()) {
            SetLastError(ERROR_ACCESS_DENIED);
            return FALSE;
        }
        collectSubtree(w, subtree);
        for (HWND h : subtree)
            find(h)->destroying = true;
    }
    // Hidden first, so that nothing of it is drawn or hit while it goes.
    {
        Guard g(lock());
        Window* w = find(window);
        if (w->style & WS_VISIBLE) {
            w->style &= ~WS_VISIBLE;
            screenChanged();
        }
    }
    for (HWND h : subtree)
        inputWindowGone(h);
    // Parents learn of their end before their children, as the platform does.
    for (HWND h : subtree)
        callProc(h, WM_DESTROY, 0, 0);
    for (auto it = subtree.rbegin(); it != subtree.rend(); ++it)
        callProc(*it, WM_NCDESTROY, 0, 0);

    Guard g(lock());
    for (auto it = subtree.rbegin(); it != subtree.rend(); ++it) {
        Window* w = find(*it);
        if (!w)
            continue;
        forgetWindowMessages(w->handle, *w->thread);
        if (!w->parent)
            shared::forget(w->handle);
        removeFromZOrder(w);
        w->cls->windowCount--;
        for (Window* c : w->children)
            c->parent = nullptr;
        windows().erase(reinterpret_cast<uintptr_t>(*it));
    }
    publishTopLevel();
    screenChanged();
    return TRUE;
}

BOOL IsWindow(HWND window)
{
    {
        Guard g(lock());
        if (find(window))
            return TRUE;
    }
    RemoteWindow remote;
    return remoteWindow(window, remote);
}

namespace {

// Another process's top-level window as it last published itself.
bool remotePicture(HWND window, shared::RemotePicture& out)
{
    if (!isRemote(window))
        return false;
    for (const shared::RemotePicture& p : shared::remotePictures())
        if (p.handle == window) {
            out = p;
            return true;
        }
    return false;
}

}

BOOL IsWindowVisible(HWND window)
{
    Guard g(lock());
    if (Window* w = find(window))
        return reallyVisible(w);
    shared::RemotePicture p;
    return remotePicture(window, p) && (p.flags & shared::kVisible);
}

BOOL IsChild(HWND parent, HWND window)
{
    Guard g(lock());
    Window* w = find(window);
    for (w = w ? w->parent : nullptr; w; w = w->parent)
        if (w->handle == parent)
            return TRUE;
    return FALSE;
}

BOOL ShowWindow(HWND window, int command)
{
    bool wasVisible;
    bool show = command != SW_HIDE;
    {
        Guard g(lock());
        Window* w = find(window);
        if (!w)
            return FALSE;
        wasVisible = (w->style & WS_VISIBLE) != 0;
        if (wasVisible == show)
            return wasVisible;
    }
    SendMessage(window, WM_SHOWWINDOW, show, 0);
    {
        Guard g(lock());
        Window* w = find(window);
        if (!w)
            return wasVisible;
        if (show) {
            w->style |= WS_VISIBLE;
            invalidate(w, nullptr, true);
        } else {
            w->style &= ~WS_VISIBLE;
        }
        screenChanged();
    }
    if (show && command != SW_SHOWNA && command != SW_SHOWNOACTIVATE)
        activateOnShow(window);
    if (!show)
        inputWindowGone(window);
    return wasVisible;
}

BOOL SetWindowPos(HWND window, HWND insertAfter, int x, int y, int width, int height, UINT flags)
{
    bool moved = false, sized = false;
    RECT r {};
    {
        Guard g(lock());
        Window* w = find(window);
        if (!w) {
            SetLastError(ERROR_INVALID_WINDOW_HANDLE);
            return FALSE;
        }
        RECT old = w->rect;
        if (!(flags & SWP_NOMOVE)) {
            w->rect.right += x - w->rect.left;
            w->rect.bottom += y - w->rect.top;
            w->rect.left = x;
            w->rect.top = y;
        }
        if (!(flags & SWP_NOSIZE)) {
            w->rect.right = w->rect.left + std::max(width, 0);
            w->rect.bottom = w->rect.top + std::max(height, 0);
        }
        moved = old.left != w->rect.left || old.top != w->rect.top;
        sized = old.right - old.left != w->width() || old.bottom - old.top != w->height();
        if (sized) {
            resizeBacking(w);
            if (!(flags & SWP_NOREDRAW))
                invalidate(w, nullptr, true);
        }
        if (!(flags & SWP_NOZORDER)) {
            if (insertAfter == HWND_TOPMOST) {
                if (!w->parent)
                    w->exStyle |= WS_EX_TOPMOST;
                placeInZOrder(w, true);
            } else if (insertAfter == HWND_NOTOPMOST) {
                w->exStyle &= ~WS_EX_TOPMOST;
                placeInZOrder(w, true);
            } else if (insertAfter == HWND_TOP) {
                placeInZOrder(w, true);
            } else if (insertAfter == HWND_BOTTOM) {
                placeInZOrder(w, false);
            } else if (Window* after = find(insertAfter); after && after != w && after->parent == w->parent) {
                removeFromZOrder(w);
                auto& list = siblings(w);
                auto at = list.insert(std::find(list.begin(), list.end(), after) + 1, w);
                // Stamps below the one it now follows, for it and whatever lies behind it.
                for (int64_t z = after->z; at != list.end() && (*at)->z >= z; ++at)
                    (*at)->z = --z;
            }
        }
        r = w->rect;
        // Placed again where it was (programs do after every change of the panel): nothing to
        // compose or publish anew.
        if (moved || sized || !(flags & SWP_NOZORDER) || (flags & (SWP_SHOWWINDOW | SWP_HIDEWINDOW)))
            screenChanged();
    }
    if (sized)
        SendMessage(window, WM_SIZE, SIZE_RESTORED, MAKELPARAM(r.right - r.left, r.bottom - r.top));
    if (moved)
        SendMessage(window, WM_MOVE, 0, MAKELPARAM(r.left, r.top));
    if (flags & SWP_SHOWWINDOW)
        ShowWindow(window, (flags & SWP_NOACTIVATE) ? SW_SHOWNA : SW_SHOW);
    else if (flags & SWP_HIDEWINDOW)
        ShowWindow(window, SW_HIDE);
    return TRUE;
}

BOOL MoveWindow(HWND window, int x, int y, int width, int height, BOOL repaint)
{
    return SetWindowPos(window, nullptr, x, y, width, height,
        SWP_NOZORDER | SWP_NOACTIVATE | (repaint ? 0 : SWP_NOREDRAW));
}

BOOL BringWindowToTop(HWND window)
{
    return SetWindowPos(window, HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
}

HWND SetParent(HWND window, HWND newParent)
{
    HWND previous = nullptr;
    {
        Guard g(lock());
        Window* w = find(window);
        Window* p = newParent ? find(newParent) : nullptr;
        if (!w || (newParent && !p)) {
            SetLastError(ERROR_INVALID_WINDOW_HANDLE);
            return nullptr;
        }
        for (Window* a = p; a; a = a->parent)
            if (a == w) {
                SetLastError(ERROR_INVALID_PARAMETER);
                return nullptr;
            }
        previous = w->parent ? w->parent->handle : GetDesktopWindow();
        removeFromZOrder(w);
        w->parent = p;
        // The rectangle keeps its numbers, now read in the new parent's coordinates.
        placeInZOrder(w, true);
        invalidate(w, nullptr, true);
        publishTopLevel();
        screenChanged();
    }
    return previous;
}

HWND GetParent(HWND window)
{
    Guard g(lock());
    Window* w = find(window);
    return w && w->parent ? w->parent->handle : nullptr;
}

HWND GetDesktopWindow()
{
    // The desktop is not a window of this stand-in; its handle is the null handle.
    return nullptr;
}

HWND GetWindow(HWND window, UINT relation)
{
    Guard g(lock());
    Window* w = find(window);
    if (!w)
        return nullptr;
    auto& list = siblings(w);
    auto it = std::find(list.begin(), list.end(), w);
    switch (relation) {
    case GW_HWNDFIRST:
        return list.empty() ? nullptr : list.front()->handle;
    case GW_HWNDLAST:
        return list.empty() ? nullptr : list.back()->handle;
    case GW_HWNDNEXT:
        return (it != list.end() && it + 1 != list.end()) ? (*(it + 1))->handle : nullptr;
    case GW_HWNDPREV:
        return (it != list.begin() && it != list.end()) ? (*(it - 1))->handle : nullptr;
    case GW_CHILD:
        return w->children.empty() ? nullptr : w->children.front()->handle;
    default:
        return nullptr;
    }
}

BOOL GetWindowRect(HWND window, LPRECT rect)
{
    Guard g(lock());
    Window* w = find(window);
    shared::RemotePicture p;
    if (!w && rect && remotePicture(window, p)) {
        *rect = p.rect;
        return TRUE;
    }
    if (!w || !rect)
        return FALSE;
    POINT o = screenOrigin(w->parent);
    *rect = RECT { o.x + w->rect.left, o.y + w->rect.top, o.x + w->rect.right, o.y + w->rect.bottom };
    return TRUE;
}

BOOL GetClientRect(HWND window, LPRECT rect)
{
    Guard g(lock());
    Window* w = find(window);
    if (!w || !rect)
        return FALSE;
    *rect = RECT { 0, 0, w->width(), w->height() };
    return TRUE;
}

BOOL ClientToScreen(HWND window, LPPOINT point)
{
    Guard g(lock());
    Window* w = find(window);
    if (!w || !point)
        return FALSE;
    POINT o = screenOrigin(w);
    point->x += o.x;
    point->y += o.y;
    return TRUE;
}

BOOL ScreenToClient(HWND window, LPPOINT point)
{
    Guard g(lock());
    Window* w = find(window);
    if (!w || !point)
        return FALSE;
    POINT o = screenOrigin(w);
    point->x -= o.x;
    point->y -= o.y;
    return TRUE;
}

int MapWindowPoints(HWND from, HWND to, LPPOINT points, UINT count)
{
    Guard g(lock());
    Window* a = from ? find(from) : nullptr;
    Window* b = to ? find(to) : nullptr;
    POINT oa = screenOrigin(a);
    POINT ob = screenOrigin(b);
    int dx = oa.x - ob.x, dy = oa.y - ob.y;
    for (UINT i = 0; i < count; ++i) {
        points[i].x += dx;
        points[i].y += dy;
    }
    return MAKELONG(dx, dy);
}

HWND WindowFromPoint(POINT point)
{
    Guard g(lock());
    ScreenLayer layer;
    if (!layerAt(point, layer))
        return nullptr;
    if (!layer.local)
        return layer.handle; // another program's window
    Window* w = windowAt(point);
    return w ? w->handle : layer.handle;
}

HWND ChildWindowFromPoint(HWND parent, POINT point)
{
    Guard g(lock());
    Window* p = find(parent);
    if (!p || point.x < 0 || point.y < 0 || point.x >= p->width() || point.y >= p->height())
        return nullptr;
    for (Window* c : p->children)
        if (point.x >= c->rect.left && point.x < c->rect.right && point.y >= c->rect.top
            && point.y < c->rect.bottom)
            return c->handle;
    return parent;
}

BOOL SetWindowText(HWND window, LPCWSTR text)
{
    if (!IsWindow(window))
        return FALSE;
    return SendMessage(window, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text ? text : u"")) ? TRUE : FALSE;
}

int GetWindowText(HWND window, LPWSTR text, int maxCount)
{
    std::u16string title;
    {
        Guard g(lock());
        Window* w = find(window);
        RemoteWindow remote;
        if (w)
            title = w->title;
        else if (remoteWindow(window, remote))
            title = remote.title;
        else
            return 0;
    }
    return copyText(title, text, maxCount);
}

int GetWindowTextLength(HWND window)
{
    {
        Guard g(lock());
        if (Window* w = find(window))
            return static_cast<int>(w->title.size());
    }
    RemoteWindow remote;
    return remoteWindow(window, remote) ? static_cast<int>(remote.title.size()) : 0;
}

LONG_PTR GetWindowLongPtr(HWND window, int index)
{
    Guard g(lock());
    Window* w = find(window);
    if (!w) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return 0;
    }
    switch (index) {
    case GWL_WNDPROC:
        return reinterpret_cast<LONG_PTR>(w->proc);
    case GWL_HINSTANCE:
        return reinterpret_cast<LONG_PTR>(w->instance);
    case GWL_ID:
        return w->id;
    case GWL_STYLE:
        return static_cast<LONG>(w->style);
    case GWL_EXSTYLE:
        return static_cast<LONG>(w->exStyle);
    case GWL_USERDATA:
        return w->userData;
    }
    return exchangeExtra<LONG_PTR>(w, index, nullptr);
}

LONG_PTR SetWindowLongPtr(HWND window, int index, LONG_PTR value)
{
    bool restyled = false;
    LONG_PTR old = 0;
    {
        Guard g(lock());
        Window* w = find(window);
        if (!w) {
            SetLastError(ERROR_INVALID_WINDOW_HANDLE);
            return 0;
        }
        switch (index) {
        case GWL_WNDPROC:
            old = reinterpret_cast<LONG_PTR>(w->proc);
            w->proc = reinterpret_cast<WNDPROC>(value);
            return old;
        case GWL_ID:
            old = w->id;
            w->id = value;
            return old;
        case GWL_STYLE:
            old = static_cast<LONG>(w->style);
            w->style = static_cast<DWORD>(value);
            restyled = true;
            break;
        case GWL_EXSTYLE:
            old = static_cast<LONG>(w->exStyle);
            w->exStyle = static_cast<DWORD>(value);
            if (!w->parent)
                placeInZOrder(w, true);
            restyled = true;
            break;
        case GWL_USERDATA:
            old = w->userData;
            w->userData = value;
            return old;
        default:
            return exchangeExtra(w, index, &value);
        }
        if (restyled)
            screenChanged();
    }
    return old;
}

LONG GetWindowLong(HWND window, int index)
{
    if (index >= 0)
        return exchangeExtra<LONG>(window, index, nullptr);
    return static_cast<LONG>(GetWindowLongPtr(window, index));
}

LONG SetWindowLong(HWND window, int index, LONG value)
{
    if (index >= 0)
        return exchangeExtra(window, index, &value);
    LONG_PTR v = (index == GWL_STYLE || index == GWL_EXSTYLE) ? static_cast<LONG_PTR>(static_cast<DWORD>(value))
                                                               : static_cast<LONG_PTR>(value);
    return static_cast<LONG>(SetWindowLongPtr(window, index, v));
}

int GetDlgCtrlID(HWND window)
{
    return static_cast<int>(GetWindowLongPtr(window, GWL_ID));
}

HWND GetDlgItem(HWND parent, int id)
{
    Guard g(lock());
    Window* p = find(parent);
    if (!p)
        return nullptr;
    for (Window* c : p->children)
        if (c->id == id)
            return c->handle;
    return nullptr;
}

HWND FindWindow(LPCWSTR className, LPCWSTR windowName)
{
    Guard g(lock());
    auto wanted = className ? findClass(className) : nullptr;
    if (className && !wanted)
        return nullptr;
    for (Window* w : topLevel()) {
        if (wanted && w->cls != wanted)
            continue;
        if (windowName && w->title != windowName)
            continue;
        return w->handle;
    }
    return nullptr;
}

BOOL EnumWindows(WNDENUMPROC callback, LPARAM param)
{
    for (HWND h : topLevelHandles())
        if (IsWindow(h) && !callback(h, param))
            return TRUE;
    // Then the other programs of the device.
    for (const RemoteWindow& w : remoteWindows())
        if (!callback(w.handle, param))
            break;
    return TRUE;
}

DWORD GetWindowThreadProcessId(HWND window, LPDWORD processId)
{
    Guard g(lock());
    Window* w = find(window);
    if (!w) {
        // Another program's window: its process, and no thread of ours.
        if (!isRemote(window) || !shared::processAlive(shared::processOf(window)))
            return 0;
        if (processId)
            *processId = static_cast<DWORD>(shared::processOf(window));
        return 1;
    }
    if (processId)
        *processId = static_cast<DWORD>(getpid());
    return w->thread->id;
}

BOOL EnableWindow(HWND window, BOOL enable)
{
    Guard g(lock());
    Window* w = find(window);
    if (!w)
        return FALSE;
    BOOL wasDisabled = (w->style & WS_DISABLED) != 0;
    if (enable)
        w->style &= ~WS_DISABLED;
    else
        w->style |= WS_DISABLED;
    return wasDisabled;
}

BOOL IsWindowEnabled(HWND window)
{
    Guard g(lock());
    Window* w = find(window);
    return w && !(w->style & WS_DISABLED);
}
