#pragma once
// 16-bit DIB sections in the display's own format.
#include <windows.h>

// A section of width x height pixels in RGB565 with top-down rows (each padded to four bytes),
// its pixels in bits; null (and bits null) when it cannot be made.
HBITMAP CreateRgb565Dib(HDC dc, int width, int height, void** bits);
