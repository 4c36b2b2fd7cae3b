// Invalidation, paint messages and device contexts over windows. Every window draws into a
// backing store of its own size; the screen is composed from these in z-order, so a window
// that moves, or is uncovered, shows its last drawing without being asked to paint.
#include "win_internal.h"
#include "win_screen.h"
#include "linux/drawing/gdi_surface.h"

#include <winbase.h>
#include <wingdi.h>

#include <algorithm>

namespace wm {

namespace {

constexpr uint16_t kFreshPixel = 0xFFFF; // a window that never drew is white

std::map<HDC, HWND>& windowDCs()
{
    static std::map<HDC, HWND> table;
    return table;
}

bool emptyRect(const RECT& r)
{
    return r.right <= r.left || r.bottom <= r.top;
}

RECT intersect(const RECT& a, const RECT& b)
{
    return RECT { std::max(a.left, b.left), std::max(a.top, b.top), std::min(a.right, b.right),
        std::min(a.bottom, b.bottom) };
}

void invalidateTree(Window* w, bool erase)
{
    invalidate(w, nullptr, erase);
    for (Window* c : w->children)
        invalidateTree(c, erase);
}

HDC windowDC(Window* w, const RECT& clip)
{
    ensureBacking(w);
    GdiSurface surface { w->pixels.data(), w->pixelWidth, w->pixelHeight, w->pixelWidth };
    HDC dc = GdiCreateSurfaceDC(surface, 0, 0, clip);
    if (!dc)
        return nullptr;
    w->openDCs++;
    windowDCs()[dc] = w->handle;
    return dc;
}

// Releases a DC made by windowDC; false when dc is not one of them.
bool releaseWindowDC(HDC dc)
{
    auto it = windowDCs().find(dc);
    if (it == windowDCs().end())
        return false;
    Window* w = find(it->second);
    windowDCs().erase(it);
    GdiDeleteSurfaceDC(dc);
    if (w && --w->openDCs == 0)
        w->retired.clear();
    screenChanged();
    return true;
}

}

void ensureBacking(Window* w)
{
    int wd = std::max(w->width(), 0), ht = std::max(w->height(), 0);
    if (w->pixelWidth == wd && w->pixelHeight == ht && w->pixels.size() == static_cast<size_t>(wd) * ht)
        return;
    resizeBacking(w);
}

void resizeBacking(Window* w)
{
    int wd = std::max(w->width(), 0), ht = std::max(w->height(), 0);
    std::vector<uint16_t> fresh(static_cast<size_t>(wd) * ht, kFreshPixel);
    int cw = std::min(wd, w->pixelWidth), ch = std::min(ht, w->pixelHeight);
    for (int y = 0; y < ch; ++y)
        std::copy_n(w->pixels.data() + static_cast<size_t>(y) * w->pixelWidth, cw,
            fresh.data() + static_cast<size_t>(y) * wd);
    if (w->openDCs > 0)
        w->retired.push_back(std::move(w->pixels)); // an open DC still draws there
    w->pixels = std::move(fresh);
    w->pixelWidth = wd;
    w->pixelHeight = ht;
}

void invalidate(Window* w, const RECT* rect, bool erase)
{
    RECT client { 0, 0, w->width(), w->height() };
    RECT r = rect ? intersect(*rect, client) : client;
    if (emptyRect(r))
        return;
    if (w->hasUpdate) {
        w->update = RECT { std::min(w->update.left, r.left), std::min(w->update.top, r.top),
            std::max(w->update.right, r.right), std::max(w->update.bottom, r.bottom) };
    } else {
        w->update = r;
        w->hasUpdate = true;
    }
    w->updateErase = w->updateErase || erase;
    wakeThread(*w->thread);
}

void validate(Window* w, const RECT* rect)
{
    if (!w->hasUpdate)
        return;
    if (rect) {
        RECT covered = intersect(*rect, w->update);
        bool all = covered.left == w->update.left && covered.top == w->update.top
            && covered.right == w->update.right && covered.bottom == w->update.bottom;
        if (!all)
            return; // the update rectangle is a bounding box: a part of it stays due
    }
    w->hasUpdate = false;
    w->updateErase = false;
    w->update = RECT {};
}

}

using namespace wm;

BOOL InvalidateRect(HWND window, const RECT* rect, BOOL erase)
{
    Guard g(lock());
    if (!window) {
        for (Window* w : topLevel())
            invalidateTree(w, erase);
        return TRUE;
    }
    Window* w = find(window);
    if (!w)
        return FALSE;
    invalidate(w, rect, erase);
    return TRUE;
}

BOOL ValidateRect(HWND window, const RECT* rect)
{
    Guard g(lock());
    Window* w = find(window);
    if (!w)
        return FALSE;
    validate(w, rect);
    return TRUE;
}

BOOL GetUpdateRect(HWND window, LPRECT rect, BOOL)
{
    Guard g(lock());
    Window* w = find(window);
    if (!w)
        return FALSE;
    if (rect)
        *rect = w->hasUpdate ? w->update : RECT {};
    return w->hasUpdate;
}

BOOL UpdateWindow(HWND window)
{
    {
        Guard g(lock());
        Window* w = find(window);
        if (!w || !w->hasUpdate || !reallyVisible(w))
            return w != nullptr;
    }
    SendMessage(window, WM_PAINT, 0, 0);
    return TRUE;
}

HDC BeginPaint(HWND window, LPPAINTSTRUCT paint)
{
    if (!paint)
        return nullptr;
    *paint = PAINTSTRUCT {};
    HDC dc;
    bool erase;
    {
        Guard g(lock());
        Window* w = find(window);
        if (!w)
            return nullptr;
        RECT r = w->hasUpdate ? w->update : RECT {};
        erase = w->updateErase;
        validate(w, nullptr);
        dc = windowDC(w, r);
        if (!dc)
            return nullptr;
        w->inPaint = true;
        paint->rcPaint = r;
        paint->hdc = dc;
    }
    paint->fErase = erase ? (SendMessage(window, WM_ERASEBKGND, reinterpret_cast<WPARAM>(dc), 0) == 0) : FALSE;
    return dc;
}

BOOL EndPaint(HWND window, const PAINTSTRUCT* paint)
{
    if (!paint)
        return FALSE;
    Guard g(lock());
    if (Window* w = find(window))
        w->inPaint = false;
    return releaseWindowDC(paint->hdc) ? TRUE : FALSE;
}

HDC GetDC(HWND window)
{
    Guard g(lock());
    if (!window)
        return ScreenDC();
    Window* w = find(window);
    if (!w)
        return nullptr;
    return windowDC(w, RECT { 0, 0, w->width(), w->height() });
}

HDC GetWindowDC(HWND window)
{
    return GetDC(window);
}

int ReleaseDC(HWND, HDC dc)
{
    Guard g(lock());
    if (releaseWindowDC(dc))
        return 1;
    return ReleaseScreenDC(dc) ? 1 : 0;
}

bool SimWindowPixels(HWND window, const uint16_t** pixels, int* width, int* height)
{
    Guard g(lock());
    Window* w = find(window);
    if (!w)
        return false;
    ensureBacking(w);
    *pixels = w->pixels.data();
    *width = w->pixelWidth;
    *height = w->pixelHeight;
    return true;
}
