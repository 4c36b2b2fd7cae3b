#pragma once
// A PixelBuffer whose pixels are a platform 16-bit bitmap section selected into its own memory
// device context, so that the platform can draw text into it and copy it to windows.
#include "skin/drawing/PixelBuffer.h"

#include <windows.h>

class DibPixelBuffer final : public PixelBuffer {
public:
    // Null unless the pixels, the bitmap and the device context all exist.
    static std::unique_ptr<DibPixelBuffer> create(int width, int height);
    ~DibPixelBuffer() override;

    HDC dc() const { return m_dc; }
    HBITMAP bitmap() const { return m_bitmap; }

private:
    DibPixelBuffer(uint16_t* pixels, int width, int height, HDC dc, HBITMAP bitmap, HGDIOBJ previous);

    HDC m_dc;
    HBITMAP m_bitmap;
    HGDIOBJ m_previous; // what the DC held before the bitmap
};
