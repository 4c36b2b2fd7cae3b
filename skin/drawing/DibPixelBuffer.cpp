#include "skin/drawing/DibPixelBuffer.h"

#include <cstring>
#include <new>

std::unique_ptr<DibPixelBuffer> DibPixelBuffer::create(int width, int height)
{
    if (width <= 0 || height <= 0)
        return nullptr;
    BITMAPINFO info {};
    info.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = -height; // top-down, as PixelBuffer rows are
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 16;
    info.bmiHeader.biCompression = BI_BITFIELDS;
    const DWORD masks[3] = { 0xF800, 0x07E0, 0x001F };
    std::memcpy(info.bmiColors, masks, sizeof masks);

    HDC dc = CreateCompatibleDC(nullptr);
    if (!dc)
        return nullptr;
    void* bits = nullptr;
    HBITMAP bitmap = CreateDIBSection(dc, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    if (!bitmap || !bits) {
        DeleteDC(dc);
        return nullptr;
    }
    HGDIOBJ previous = SelectObject(dc, bitmap);
    auto* buffer = new (std::nothrow) DibPixelBuffer(static_cast<uint16_t*>(bits), width, height, dc, bitmap, previous);
    if (!buffer) {
        SelectObject(dc, previous);
        DeleteDC(dc);
        DeleteObject(bitmap);
        return nullptr;
    }
    return std::unique_ptr<DibPixelBuffer>(buffer);
}

DibPixelBuffer::DibPixelBuffer(uint16_t* pixels, int width, int height, HDC dc, HBITMAP bitmap, HGDIOBJ previous)
    : PixelBuffer(pixels, width, height, pitch_for(width), false)
    , m_dc(dc)
    , m_bitmap(bitmap)
    , m_previous(previous)
{
}

DibPixelBuffer::~DibPixelBuffer()
{
    SelectObject(m_dc, m_previous);
    DeleteDC(m_dc);
    DeleteObject(m_bitmap);
}
