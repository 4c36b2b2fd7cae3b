#include "skin/drawing/DibPixelBuffer.h"
#include "runtime/Dib.h"

#include <new>

std::unique_ptr<DibPixelBuffer> DibPixelBuffer::create(int width, int height)
{
    if (width <= 0 || height <= 0)
        return nullptr;
    HDC dc = CreateCompatibleDC(nullptr);
    if (!dc)
        return nullptr;
    void* bits = nullptr;
    HBITMAP bitmap = CreateRgb565Dib(dc, width, height, &bits); // top-down, as PixelBuffer rows are
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
