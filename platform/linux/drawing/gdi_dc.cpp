// Device contexts, the handle table and the calls common to every kind of object.
#include "linux/drawing/gdi_font.h"

#include <algorithm>
#include <unordered_set>
#include <utility>

namespace gdi {

namespace {

std::unordered_set<const Object*>& live()
{
    static auto* objects = new std::unordered_set<const Object*>();
    return *objects;
}

// The 1x1 bitmap every memory DC starts with.
Bitmap* stockBitmap()
{
    static Bitmap* bitmap = [] {
        auto* b = new Bitmap();
        static uint16_t pixel = 0;
        b->stock = true;
        b->surface = GdiSurface { &pixel, 1, 1, 1 };
        track(b);
        return b;
    }();
    return bitmap;
}

void target(DC* dc, const GdiSurface& surface, int originX, int originY, const RECT& clip)
{
    dc->surface = surface;
    dc->originX = originX;
    dc->originY = originY;
    dc->clip = intersect(clip, RECT { 0, 0, surface.width, surface.height });
}

DC* newDC()
{
    auto* dc = new DC();
    dc->font = stockFont();
    dc->font->selections++;
    track(dc);
    return dc;
}

void releaseDC(DC* dc)
{
    if (dc->bitmap)
        dc->bitmap->selections--;
    if (dc->font)
        dc->font->selections--;
    untrack(dc);
    delete dc;
}

} // namespace

std::mutex& lock()
{
    static auto* m = new std::mutex();
    return *m;
}

void track(Object* obj)
{
    live().insert(obj);
}

void untrack(Object* obj)
{
    live().erase(obj);
}

Object* find(const void* handle)
{
    auto* obj = static_cast<const Object*>(handle);
    if (!handle || !live().count(obj))
        return nullptr;
    return const_cast<Object*>(obj);
}

DC* findDC(HDC handle)
{
    Object* obj = find(handle);
    return obj && obj->kind == Kind::DC ? static_cast<DC*>(obj) : nullptr;
}

RECT intersect(const RECT& a, const RECT& b)
{
    RECT r { std::max(a.left, b.left), std::max(a.top, b.top), std::min(a.right, b.right),
        std::min(a.bottom, b.bottom) };
    if (r.right < r.left)
        r.right = r.left;
    if (r.bottom < r.top)
        r.bottom = r.top;
    return r;
}

} // namespace gdi

using namespace gdi;

HDC GdiCreateSurfaceDC(const GdiSurface& surface, int originX, int originY, const RECT& clip)
{
    if (!surface.bits || surface.width <= 0 || surface.height <= 0)
        return nullptr;
    std::lock_guard guard(lock());
    DC* dc = newDC();
    target(dc, surface, originX, originY, clip);
    return reinterpret_cast<HDC>(dc);
}

void GdiSetSurfaceFill(HDC handle, GdiSurfaceFill fill)
{
    std::lock_guard guard(lock());
    if (DC* dc = findDC(handle); dc && !dc->memory)
        dc->fill = fill;
}

void GdiSetSurfacePrepare(HDC handle, GdiSurfacePrepare prepare)
{
    std::lock_guard guard(lock());
    if (DC* dc = findDC(handle); dc && !dc->memory)
        dc->prepare = prepare;
}

void gdi::prepareSurface(HDC handle)
{
    GdiSurfacePrepare prepare = nullptr;
    {
        std::lock_guard guard(lock());
        if (DC* dc = findDC(handle))
            prepare = dc->prepare;
    }
    if (prepare)
        prepare();
}

void GdiDeleteSurfaceDC(HDC handle)
{
    std::lock_guard guard(lock());
    if (DC* dc = findDC(handle); dc && !dc->memory)
        releaseDC(dc);
}

HDC CreateCompatibleDC(HDC)
{
    std::lock_guard guard(lock());
    DC* dc = newDC();
    dc->memory = true;
    dc->bitmap = stockBitmap();
    target(dc, dc->bitmap->surface, 0, 0, RECT { 0, 0, 1, 1 });
    return reinterpret_cast<HDC>(dc);
}

BOOL DeleteDC(HDC handle)
{
    std::lock_guard guard(lock());
    DC* dc = findDC(handle);
    if (!dc)
        return FALSE;
    releaseDC(dc);
    return TRUE;
}

HGDIOBJ SelectObject(HDC handle, HGDIOBJ objHandle)
{
    std::lock_guard guard(lock());
    DC* dc = findDC(handle);
    Object* obj = find(objHandle);
    if (!dc || !obj)
        return nullptr;
    if (obj->kind == Kind::Font) {
        Font* previous = dc->font;
        auto* font = static_cast<Font*>(obj);
        font->selections++;
        previous->selections--;
        dc->font = font;
        return previous;
    }
    if (obj->kind == Kind::Bitmap) {
        auto* bitmap = static_cast<Bitmap*>(obj);
        if (!dc->memory)
            return nullptr;
        if (bitmap == dc->bitmap)
            return bitmap;
        // A bitmap draws through one memory DC at a time.
        if (!bitmap->stock && bitmap->selections > 0)
            return nullptr;
        Bitmap* previous = dc->bitmap;
        bitmap->selections++;
        previous->selections--;
        dc->bitmap = bitmap;
        const GdiSurface& s = bitmap->surface;
        target(dc, s, 0, 0, RECT { 0, 0, s.width, s.height });
        return previous;
    }
    return nullptr;
}

BOOL DeleteObject(HGDIOBJ handle)
{
    std::lock_guard guard(lock());
    Object* obj = find(handle);
    if (!obj || obj->kind == Kind::DC)
        return FALSE;
    if (obj->stock)
        return TRUE;
    // Deleting what a DC still draws with would leave it pointing at freed memory.
    if (obj->selections > 0)
        return FALSE;
    untrack(obj);
    if (obj->kind == Kind::Font)
        destroyFont(static_cast<Font*>(obj));
    else
        delete obj;
    return TRUE;
}

HGDIOBJ GetStockObject(int object)
{
    std::lock_guard guard(lock());
    if (object == SYSTEM_FONT || object == DEFAULT_GUI_FONT)
        return stockFont();
    return stockBrush(object);
}

int GetDeviceCaps(HDC handle, int index)
{
    std::lock_guard guard(lock());
    if (!findDC(handle))
        return 0;
    DeviceMetrics m = deviceMetrics();
    switch (index) {
    case DRIVERVERSION:
        return 0x0420;
    case TECHNOLOGY:
        return DT_RASDISPLAY;
    case HORZSIZE:
        return m.width * 254 / (m.dpi * 10);
    case VERTSIZE:
        return m.height * 254 / (m.dpi * 10);
    case HORZRES:
        return m.width;
    case VERTRES:
        return m.height;
    case BITSPIXEL:
        return 16;
    case PLANES:
        return 1;
    case NUMCOLORS:
        return -1;
    case RASTERCAPS:
        return RC_BITBLT;
    case LOGPIXELSX:
    case LOGPIXELSY:
        return m.dpi;
    default:
        return 0;
    }
}

namespace {

// A DC's drawing attribute, swapped for a new value or read; failed for a handle that is not
// a DC.
template <typename T>
T exchangeAttribute(HDC handle, T DC::*member, T value, T failed)
{
    std::lock_guard guard(lock());
    DC* dc = findDC(handle);
    return dc ? std::exchange(dc->*member, value) : failed;
}

template <typename T>
T attribute(HDC handle, T DC::*member, T failed)
{
    std::lock_guard guard(lock());
    DC* dc = findDC(handle);
    return dc ? dc->*member : failed;
}

// The surface pixel under a DC's point; null for a handle that is not a DC or a point outside
// its clip. Called with the lock held.
uint16_t* clippedPixel(HDC handle, int x, int y)
{
    DC* dc = findDC(handle);
    if (!dc)
        return nullptr;
    x += dc->originX;
    y += dc->originY;
    if (x < dc->clip.left || x >= dc->clip.right || y < dc->clip.top || y >= dc->clip.bottom)
        return nullptr;
    return pixelAt(dc->surface, x, y);
}

} // namespace

COLORREF SetTextColor(HDC handle, COLORREF color)
{
    return exchangeAttribute(handle, &DC::textColor, color & 0xFFFFFF, CLR_INVALID);
}

COLORREF GetTextColor(HDC handle)
{
    return attribute(handle, &DC::textColor, CLR_INVALID);
}

COLORREF SetBkColor(HDC handle, COLORREF color)
{
    return exchangeAttribute(handle, &DC::bkColor, color & 0xFFFFFF, CLR_INVALID);
}

COLORREF GetBkColor(HDC handle)
{
    return attribute(handle, &DC::bkColor, CLR_INVALID);
}

int SetBkMode(HDC handle, int mode)
{
    if (mode != TRANSPARENT && mode != OPAQUE)
        return 0;
    return exchangeAttribute(handle, &DC::bkMode, mode, 0);
}

int GetBkMode(HDC handle)
{
    return attribute(handle, &DC::bkMode, 0);
}

COLORREF GetPixel(HDC handle, int x, int y)
{
    prepareSurface(handle);
    std::lock_guard guard(lock());
    uint16_t* pixel = clippedPixel(handle, x, y);
    return pixel ? from565(*pixel) : CLR_INVALID;
}

COLORREF SetPixel(HDC handle, int x, int y, COLORREF color)
{
    prepareSurface(handle);
    std::lock_guard guard(lock());
    uint16_t* pixel = clippedPixel(handle, x, y);
    if (!pixel)
        return CLR_INVALID;
    *pixel = to565(color);
    return from565(*pixel);
}
