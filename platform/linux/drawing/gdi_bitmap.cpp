// 16-bit DIB sections and block copies between device contexts.
#include "linux/drawing/gdi_internal.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>

namespace gdi {

Bitmap::~Bitmap()
{
    std::free(allocation);
}

} // namespace gdi

using namespace gdi;

namespace {

// Larger than any device screen by far: a section this size is a caller's arithmetic gone wrong.
constexpr long long kMaxSectionBytes = 256ll * 1024 * 1024;

uint16_t combine(DWORD rop, uint16_t s, uint16_t d)
{
    switch (rop) {
    case SRCPAINT:
        return s | d;
    case SRCAND:
        return s & d;
    case SRCINVERT:
        return s ^ d;
    case NOTSRCCOPY:
        return static_cast<uint16_t>(~s);
    case DSTINVERT:
        return static_cast<uint16_t>(~d);
    case BLACKNESS:
        return 0x0000;
    case WHITENESS:
        return 0xFFFF;
    default:
        return s;
    }
}

bool usesSource(DWORD rop)
{
    return rop != DSTINVERT && rop != BLACKNESS && rop != WHITENESS;
}

} // namespace

Bitmap* gdi::createSection(long long width, long long height, bool topDown, void** bits)
{
    if (bits)
        *bits = nullptr;
    if (width <= 0 || height <= 0)
        return nullptr;
    long long stride = (width * 2 + 3) & ~3ll; // rows start on 4-byte boundaries
    if (stride * height > kMaxSectionBytes)
        return nullptr;

    auto* memory = static_cast<uint16_t*>(std::calloc(static_cast<size_t>(stride * height), 1));
    if (!memory)
        return nullptr;
    auto* bitmap = new Bitmap();
    bitmap->allocation = memory;
    int pitch = static_cast<int>(stride / 2);
    if (topDown)
        bitmap->surface = GdiSurface { memory, int(width), int(height), pitch };
    else // bottom-up: the first row in memory is the bottom row
        bitmap->surface = GdiSurface { memory + (height - 1) * pitch, int(width), int(height), -pitch };

    std::lock_guard guard(lock());
    track(bitmap);
    if (bits)
        *bits = memory;
    return bitmap;
}

HBITMAP CreateDIBSection(HDC, const BITMAPINFO* info, UINT usage, void** bits, HANDLE section, DWORD)
{
    if (bits)
        *bits = nullptr;
    if (!info || usage != DIB_RGB_COLORS || section)
        return nullptr;
    const BITMAPINFOHEADER& h = info->bmiHeader;
    if (h.biSize < sizeof(BITMAPINFOHEADER) || h.biBitCount != 16 || h.biCompression != BI_BITFIELDS)
        return nullptr;
    auto mask = [&](int i) {
        DWORD m;
        std::memcpy(&m, &info->bmiColors[i], sizeof m);
        return m;
    };
    if (mask(0) != 0xF800 || mask(1) != 0x07E0 || mask(2) != 0x001F)
        return nullptr;
    long long height = h.biHeight < 0 ? -static_cast<long long>(h.biHeight) : h.biHeight;
    return createSection(h.biWidth, height, h.biHeight < 0, bits);
}

BOOL BitBlt(HDC destHandle, int x, int y, int width, int height, HDC srcHandle, int srcX, int srcY,
            DWORD rop)
{
    switch (rop) {
    case SRCCOPY: case SRCPAINT: case SRCAND: case SRCINVERT: case NOTSRCCOPY: case DSTINVERT:
    case BLACKNESS: case WHITENESS:
        break;
    default:
        return FALSE;
    }
    if (usesSource(rop))
        prepareSurface(srcHandle);
    std::lock_guard guard(lock());
    DC* dest = findDC(destHandle);
    DC* src = usesSource(rop) ? findDC(srcHandle) : nullptr;
    if (!dest || (usesSource(rop) && !src))
        return FALSE;
    if (width <= 0 || height <= 0)
        return TRUE;

    // Destination rectangle in surface pixels, cut to the clip; the source moves along.
    RECT d { x + dest->originX, y + dest->originY, x + dest->originX + width,
        y + dest->originY + height };
    RECT cut = intersect(d, dest->clip);
    int sx = srcX + (cut.left - d.left);
    int sy = srcY + (cut.top - d.top);
    if (src) {
        sx += src->originX;
        sy += src->originY;
        // Only real source pixels are read.
        RECT s { sx, sy, sx + (cut.right - cut.left), sy + (cut.bottom - cut.top) };
        RECT sCut = intersect(s, RECT { 0, 0, src->surface.width, src->surface.height });
        cut.left += sCut.left - s.left;
        cut.top += sCut.top - s.top;
        cut.right -= s.right - sCut.right;
        cut.bottom -= s.bottom - sCut.bottom;
        sx = sCut.left;
        sy = sCut.top;
        if (src->fill && !empty(sCut))
            src->fill(sCut);
    }
    if (empty(cut))
        return TRUE;

    int w = cut.right - cut.left;
    int h = cut.bottom - cut.top;
    // Copy rows in the order that survives an overlap within one surface.
    bool upward = src && src->surface.bits == dest->surface.bits && cut.top > sy;
    for (int i = 0; i < h; ++i) {
        int row = upward ? h - 1 - i : i;
        uint16_t* out = pixelAt(dest->surface, cut.left, cut.top + row);
        if (!src) {
            for (int k = 0; k < w; ++k)
                out[k] = combine(rop, 0, out[k]);
            continue;
        }
        const uint16_t* in = pixelAt(src->surface, sx, sy + row);
        if (rop == SRCCOPY) {
            std::memmove(out, in, static_cast<size_t>(w) * 2);
        } else if (out > in) {
            for (int k = w - 1; k >= 0; --k)
                out[k] = combine(rop, in[k], out[k]);
        } else {
            for (int k = 0; k < w; ++k)
                out[k] = combine(rop, in[k], out[k]);
        }
    }
    return TRUE;
}
