#pragma once
// Common controls: image lists, the strips of equally sized images (with masks) that menus,
// buttons and the input panel draw from.
#include "windef.h"

#include <cstddef>

// An image list handle is a 32-bit value, as on the device, so that records which carry one
// (the input panel's IMINFO) keep the device's layout. It converts to bool and compares with
// null like any handle.
struct HIMAGELIST {
    uint32_t value = 0;
    constexpr HIMAGELIST() = default;
    constexpr HIMAGELIST(std::nullptr_t) { }
    explicit constexpr HIMAGELIST(uint32_t v)
        : value(v)
    {
    }
    explicit constexpr operator bool() const { return value != 0; }
    friend constexpr bool operator==(HIMAGELIST, HIMAGELIST) = default;
};

#define ILC_MASK 0x0001
#define ILC_COLOR 0x0000
#define ILC_COLORDDB 0x00FE
#define ILC_COLOR4 0x0004
#define ILC_COLOR8 0x0008
#define ILC_COLOR16 0x0010
#define ILC_COLOR24 0x0018
#define ILC_COLOR32 0x0020

#define ILD_NORMAL 0x0000
#define ILD_TRANSPARENT 0x0001
#define ILD_MASK 0x0010
#define ILD_IMAGE 0x0020

#define CLR_NONE 0xFFFFFFFFL
#define CLR_DEFAULT 0xFF000000L

// Images of cx by cy pixels, stored in the display's format whatever colour flag is given;
// with ILC_MASK each image also has a mask. initial and grow are capacity hints.
HIMAGELIST ImageList_Create(int cx, int cy, UINT flags, int initial, int grow);
BOOL ImageList_Destroy(HIMAGELIST list);
// Cuts the bitmap into images of the list's width from the left (a last partial image is kept,
// its missing columns masked out). mask, when given, is a bitmap of the same size whose white
// pixels are transparent. Returns the index of the first new image, or -1.
int ImageList_Add(HIMAGELIST list, HBITMAP image, HBITMAP mask);
// As ImageList_Add with the pixels of colour maskColour transparent.
int ImageList_AddMasked(HIMAGELIST list, HBITMAP image, COLORREF maskColour);
// Replaces image index with the icon (index -1 appends); the icon is scaled to the list's size
// when they differ. Returns the index, or -1.
int ImageList_ReplaceIcon(HIMAGELIST list, int index, HICON icon);
#define ImageList_AddIcon(list, icon) ImageList_ReplaceIcon(list, -1, icon)
// ILD_NORMAL and ILD_TRANSPARENT draw the image's opaque pixels (a list without masks draws
// every pixel); ILD_MASK draws the mask in black and white.
BOOL ImageList_Draw(HIMAGELIST list, int index, HDC dc, int x, int y, UINT style);
int ImageList_GetImageCount(HIMAGELIST list);
BOOL ImageList_GetIconSize(HIMAGELIST list, int* cx, int* cy);
// index -1 removes every image.
BOOL ImageList_Remove(HIMAGELIST list, int index);
