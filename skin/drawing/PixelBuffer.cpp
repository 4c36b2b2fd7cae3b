#include "skin/drawing/PixelBuffer.h"

#include <new>

namespace {

// Far beyond any screen or skin picture: a size like this is arithmetic gone wrong.
constexpr long long kMaxBytes = 256ll * 1024 * 1024;

}

std::unique_ptr<PixelBuffer> PixelBuffer::create(int width, int height)
{
    if (width <= 0 || height <= 0 || width > (1 << 24))
        return nullptr;
    long long bytes = static_cast<long long>(pitch_for(width)) * height;
    if (bytes > kMaxBytes)
        return nullptr;
    auto* pixels = new (std::nothrow) uint16_t[static_cast<size_t>(bytes) / 2];
    if (!pixels)
        return nullptr;
    auto* buffer = new (std::nothrow) PixelBuffer(pixels, width, height, pitch_for(width), true);
    if (!buffer) {
        delete[] pixels;
        return nullptr;
    }
    return std::unique_ptr<PixelBuffer>(buffer);
}

PixelBuffer::PixelBuffer(uint16_t* pixels, int width, int height, int pitch)
    : PixelBuffer(pixels, width, height, pitch, false)
{
}

PixelBuffer::PixelBuffer(uint16_t* pixels, int width, int height, int pitch, bool owns)
    : m_pixels(pixels)
    , m_width(width)
    , m_height(height)
    , m_pitch(pitch)
    , m_owns(owns)
{
}

PixelBuffer::~PixelBuffer()
{
    if (m_owns)
        delete[] m_pixels;
}
