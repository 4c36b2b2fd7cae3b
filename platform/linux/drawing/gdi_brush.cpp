// Solid brushes and filling rectangles with them.
#include "linux/drawing/gdi_internal.h"

#include <winuser.h>

#include <algorithm>

namespace gdi {

Brush* stockBrush(int object)
{
    static Brush* brushes[5] = {};
    static const COLORREF colors[5] = { RGB(255, 255, 255), RGB(192, 192, 192), RGB(128, 128, 128), RGB(64, 64, 64), RGB(0, 0, 0) };
    if (object < WHITE_BRUSH || object > BLACK_BRUSH)
        return nullptr;
    Brush*& b = brushes[object];
    if (!b) {
        b = new Brush;
        b->color = colors[object];
        b->stock = true;
        track(b);
    }
    return b;
}

}

using namespace gdi;

HBRUSH CreateSolidBrush(COLORREF color)
{
    std::lock_guard guard(lock());
    auto* b = new Brush;
    b->color = color & 0xFFFFFF;
    track(b);
    return reinterpret_cast<HBRUSH>(b);
}

int FillRect(HDC handle, const RECT* rect, HBRUSH brushHandle)
{
    std::lock_guard guard(lock());
    DC* dc = findDC(handle);
    Object* obj = find(brushHandle);
    if (!dc || !rect || !obj || obj->kind != Kind::Brush)
        return 0;
    RECT r { rect->left + dc->originX, rect->top + dc->originY, rect->right + dc->originX, rect->bottom + dc->originY };
    r = intersect(r, dc->clip);
    if (empty(r))
        return 1;
    uint16_t pixel = to565(static_cast<Brush*>(obj)->color);
    for (LONG y = r.top; y < r.bottom; ++y)
        std::fill_n(pixelAt(dc->surface, r.left, y), r.right - r.left, pixel);
    return 1;
}
