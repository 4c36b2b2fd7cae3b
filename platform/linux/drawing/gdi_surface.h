#pragma once
// Internal contract between the window manager and the graphics device interface: a device
// context that draws into a 16-bit surface owned by someone else (a window's backing store,
// the screen). Not part of the device API.
#include <windef.h>

struct GdiSurface {
    uint16_t* bits; // top-left pixel
    int width;
    int height;
    int pitch; // in pixels
};

// A device context whose coordinate (0, 0) is the surface pixel (originX, originY) and whose
// drawing never leaves clip (in surface coordinates). Fonts, colours and modes start at their
// defaults, as for GetDC.
HDC GdiCreateSurfaceDC(const GdiSurface& surface, int originX, int originY, const RECT& clip);
void GdiDeleteSurfaceDC(HDC dc);

// A surface DC whose pixels are filled only where they are read: before a blit reads the
// rectangle (surface pixels) from it, fill runs for that rectangle, under the graphics lock.
// The screen of a desktop uses it, so that a screen DC wanted for its metrics reads nothing.
using GdiSurfaceFill = void (*)(const RECT& rect);
void GdiSetSurfaceFill(HDC dc, GdiSurfaceFill fill);

// A surface DC brought up to date before anything reads or sets its pixels (a blit from it,
// GetPixel, SetPixel): prepare runs first, outside the graphics lock, so that it may take the
// window lock. The device screen uses it when no desktop shows it: a screen DC wanted for its
// metrics alone composes nothing.
using GdiSurfacePrepare = void (*)();
void GdiSetSurfacePrepare(HDC dc, GdiSurfacePrepare prepare);
