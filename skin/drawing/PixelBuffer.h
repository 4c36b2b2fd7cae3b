#pragma once
// RGB565 pixels in ordinary memory: rows top to bottom, each starting on a 4-byte boundary.
#include <cstddef>
#include <cstdint>
#include <memory>

class PixelBuffer {
public:
    // Null when a side is 0 or less, the size is absurd, or memory runs out.
    static std::unique_ptr<PixelBuffer> create(int width, int height);
    // Bytes per row for a width: rows start on 4-byte boundaries.
    static int pitch_for(int width) { return (width * 2 + 3) & ~3; }

    // Pixels someone else owns (a screen, a bitmap section); pitch in bytes.
    PixelBuffer(uint16_t* pixels, int width, int height, int pitch);
    virtual ~PixelBuffer();
    PixelBuffer(const PixelBuffer&) = delete;
    PixelBuffer& operator=(const PixelBuffer&) = delete;

    int width() const { return m_width; }
    int height() const { return m_height; }
    int pitch() const { return m_pitch; } // bytes
    bool owns_pixels() const { return m_owns; }

    uint16_t* pixels() { return m_pixels; }
    const uint16_t* pixels() const { return m_pixels; }
    uint16_t* row(int y) { return reinterpret_cast<uint16_t*>(reinterpret_cast<uint8_t*>(m_pixels) + static_cast<ptrdiff_t>(y) * m_pitch); }
    const uint16_t* row(int y) const { return const_cast<PixelBuffer*>(this)->row(y); }

protected:
    PixelBuffer(uint16_t* pixels, int width, int height, int pitch, bool owns);

private:
    uint16_t* m_pixels;
    int m_width;
    int m_height;
    int m_pitch;
    bool m_owns;
};
