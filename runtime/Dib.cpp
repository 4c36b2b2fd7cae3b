#include "runtime/Dib.h"

#include <cstring>

HBITMAP CreateRgb565Dib(HDC dc, int width, int height, void** bits)
{
    BITMAPINFO info {};
    info.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = -height; // top-down
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 16;
    info.bmiHeader.biCompression = BI_BITFIELDS;
    const DWORD masks[3] = { 0xF800, 0x07E0, 0x001F };
    std::memcpy(info.bmiColors, masks, sizeof masks);
    return CreateDIBSection(dc, &info, DIB_RGB_COLORS, bits, nullptr, 0);
}
