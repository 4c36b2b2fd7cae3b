#include "skin/drawing/RenderSurface.h"

#include "runtime/Log.h"
#include "skin/drawing/Blit.h"
#include "skin/drawing/DibPixelBuffer.h"

#include <atomic>

namespace {

std::atomic<long long> g_pixels { 0 };

long long pixels_of(const PixelBuffer* buffer)
{
    return buffer ? static_cast<long long>(buffer->width()) * buffer->height() : 0;
}

}

RenderSurface::~RenderSurface()
{
    release();
}

void RenderSurface::release()
{
    g_pixels -= pixels_of(m_buffer.get());
    m_buffer.reset();
    m_dc = nullptr;
}

bool RenderSurface::recreate(POINT size)
{
    POINT current = this->size();
    if (size.x == current.x && size.y == current.y)
        return false;
    if (m_canvas.clip_depth() != 0)
        Fatal(u"Clip is in effect, cannot resize", u"RenderSurface::recreate");
    release();
    if (m_bitmap) {
        std::unique_ptr<DibPixelBuffer> dib = DibPixelBuffer::create(size.x, size.y);
        m_dc = dib ? dib->dc() : nullptr;
        m_buffer = std::move(dib);
    } else {
        m_buffer = PixelBuffer::create(size.x, size.y);
    }
    g_pixels += pixels_of(m_buffer.get());
    m_canvas.set_target(m_buffer.get());
    bool released = size.x == 0 && size.y == 0;
    return m_buffer != nullptr || released;
}

POINT RenderSurface::size() const
{
    return m_buffer ? POINT { m_buffer->width(), m_buffer->height() } : POINT { 0, 0 };
}

void RenderSurface::draw(Canvas& target, POINT position, const PixelOp& op) const
{
    if (!m_buffer)
        return;
    clipped_copy(target, position, size(), *m_buffer, POINT { 0, 0 }, op);
}

void RenderSurface::draw_scaled(Canvas& target, POINT position, POINT size, const PixelOp& op) const
{
    if (!m_buffer)
        return;
    scaled_copy(target, position, size, *m_buffer, POINT { 0, 0 }, this->size(), op);
}

long long RenderSurface::pixel_count()
{
    return g_pixels.load();
}
