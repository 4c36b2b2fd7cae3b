#pragma once
// Resources carried inside a library or program file: bitmaps and icon groups by numeric id;
// icons and how they are drawn.
#include "windef.h"

#define MAKEINTRESOURCE(id) ((LPWSTR)(ULONG_PTR)(WORD)(id))
#define IS_INTRESOURCE(name) ((((ULONG_PTR)(name)) >> 16) == 0)

#define RT_BITMAP MAKEINTRESOURCE(2)
#define RT_ICON MAKEINTRESOURCE(3)
#define RT_GROUP_ICON MAKEINTRESOURCE(14)

#define IMAGE_BITMAP 0
#define IMAGE_ICON 1
#define IMAGE_CURSOR 2

#define LR_DEFAULTCOLOR 0x0000
#define LR_MONOCHROME 0x0001
#define LR_LOADFROMFILE 0x0010
#define LR_DEFAULTSIZE 0x0040
#define LR_SHARED 0x8000

#define ERROR_RESOURCE_DATA_NOT_FOUND 1812L
#define ERROR_RESOURCE_TYPE_NOT_FOUND 1813L
#define ERROR_RESOURCE_NAME_NOT_FOUND 1814L

// Resources are numbered (MAKEINTRESOURCE); a module of NULL names no module and finds none.
// A bitmap loads as a 16-bit DIB section (free it with DeleteObject).
HBITMAP LoadBitmap(HINSTANCE module, LPCWSTR name);
// The icon of the group closest to the system's icon size (SM_CXICON).
HICON LoadIcon(HINSTANCE module, LPCWSTR name);
// IMAGE_BITMAP, or IMAGE_ICON with the image of the group closest to cx by cy (0 with
// LR_DEFAULTSIZE or alone: the system's icon size), scaled when no image has that size.
HANDLE LoadImage(HINSTANCE module, LPCWSTR name, UINT type, int cx, int cy, UINT flags);
BOOL DestroyIcon(HICON icon);

#define DI_MASK 0x0001
#define DI_IMAGE 0x0002
#define DI_NORMAL 0x0003
// Draws the icon's opaque pixels; cx and cy of 0 keep its size, others scale it.
BOOL DrawIconEx(HDC dc, int x, int y, HICON icon, int cx, int cy, UINT step, HBRUSH flicker, UINT flags);
BOOL DrawIcon(HDC dc, int x, int y, HICON icon);

// The shell's icons of a file: index i >= 0 is the file's i-th icon group in the order of
// their ids, a negative index the group of id -index. Fills up to count large (SM_CXICON) and
// small (SM_CXSMICON) icons (either array may be NULL) and returns how many of each it filled;
// with index -1 and both arrays NULL it returns the number of icon groups in the file.
UINT ExtractIconEx(LPCWSTR file, int index, HICON* large, HICON* small, UINT count);
