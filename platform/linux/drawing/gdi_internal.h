#pragma once
// Objects behind the graphics handles. One lock guards every graphics call: handles are shared
// by all threads of a process and FreeType faces are not thread-safe.
#include <wingdi.h>

#include "linux/drawing/gdi_surface.h"

#include <mutex>

namespace gdi {

enum class Kind { Bitmap, Font, DC, Brush };

struct Object {
    explicit Object(Kind k)
        : kind(k)
    {
    }
    virtual ~Object() = default;
    Object(const Object&) = delete;
    Object& operator=(const Object&) = delete;

    const Kind kind;
    int selections = 0; // device contexts that have it selected
    bool stock = false;
};

struct Bitmap final : Object {
    Bitmap()
        : Object(Kind::Bitmap)
    {
    }
    ~Bitmap() override;
    uint16_t* allocation = nullptr;
    GdiSurface surface {}; // bits at the top-left pixel; pitch negative for bottom-up rows
};

// A 16-bit RGB565 section of width x height pixels, rows top-down or bottom-up, each padded to
// four bytes; its pixels in bits (when not null). Null for an absurd size or without memory.
Bitmap* createSection(long long width, long long height, bool topDown, void** bits);

struct Font;

struct Brush final : Object {
    Brush()
        : Object(Kind::Brush)
    {
    }
    COLORREF color = 0;
};
// The stock brushes (WHITE_BRUSH ... BLACK_BRUSH); null for another index.
Brush* stockBrush(int object);

struct DC final : Object {
    DC()
        : Object(Kind::DC)
    {
    }
    bool memory = false; // a memory DC draws into its selected bitmap
    Bitmap* bitmap = nullptr;
    Font* font = nullptr;
    GdiSurface surface {};
    int originX = 0;
    int originY = 0;
    RECT clip {}; // in surface pixels, exclusive bottom-right
    COLORREF textColor = 0x000000;
    COLORREF bkColor = 0xFFFFFF;
    int bkMode = OPAQUE;
    GdiSurfaceFill fill = nullptr; // a surface DC filled where it is read
    GdiSurfacePrepare prepare = nullptr; // a surface DC brought up to date before it is read
};

std::mutex& lock();
void track(Object* obj);
void untrack(Object* obj);
// The live object behind a handle, or null for a stale handle or one of another kind.
Object* find(const void* handle);
DC* findDC(HDC dc);
// Runs the DC's prepare step, if it has one; without the graphics lock held.
void prepareSurface(HDC dc);

Font* stockFont();
void destroyFont(Font* font);

inline uint16_t to565(COLORREF c)
{
    return static_cast<uint16_t>((GetRValue(c) >> 3) << 11 | (GetGValue(c) >> 2) << 5
                                 | (GetBValue(c) >> 3));
}

inline COLORREF from565(uint16_t p)
{
    unsigned r = p >> 11, g = (p >> 5) & 0x3F, b = p & 0x1F;
    return RGB(r << 3 | r >> 2, g << 2 | g >> 4, b << 3 | b >> 2);
}

inline uint16_t* pixelAt(const GdiSurface& s, int x, int y)
{
    return s.bits + static_cast<ptrdiff_t>(y) * s.pitch + x;
}

// Intersection, with an empty result collapsed to right = left, bottom = top.
RECT intersect(const RECT& a, const RECT& b);
inline bool empty(const RECT& r)
{
    return r.right <= r.left || r.bottom <= r.top;
}

struct DeviceMetrics {
    int width;
    int height;
    int dpi;
};
DeviceMetrics deviceMetrics();

} // namespace gdi
