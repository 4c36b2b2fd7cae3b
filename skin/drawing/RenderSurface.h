#pragma once
// A canvas with a buffer of its own that can be resized: element caches, snapshots and the
// frames that owners compose off-screen.
#include "skin/drawing/Canvas.h"
#include "skin/drawing/PixelBuffer.h"

#include <windef.h>

#include <memory>

class PixelOp;

class RenderSurface {
public:
    RenderSurface() = default;
    // A surface whose buffers are bitmaps with a device context of their own (dc()), so that
    // the platform can copy from it straight to a window.
    struct Bitmap {};
    explicit RenderSurface(Bitmap)
        : m_bitmap(true)
    {
    }
    ~RenderSurface();
    RenderSurface(const RenderSurface&) = delete;
    RenderSurface& operator=(const RenderSurface&) = delete;

    // The same size, or (0,0) without a buffer, changes nothing and gives false. Otherwise the
    // old pixels go (resizing while a ClipGuard narrows the canvas is a fatal error) and a new
    // buffer of undefined content comes: true, also for (0,0), which only releases. A size that
    // cannot be allocated leaves the surface empty and gives false.
    bool recreate(POINT size);

    POINT size() const;
    Canvas& canvas() { return m_canvas; }
    const Canvas& canvas() const { return m_canvas; }
    PixelBuffer* buffer() const { return m_buffer.get(); }
    // The bitmap surface's device context; null for other surfaces and without a buffer.
    HDC dc() const { return m_dc; }

    // The whole surface at position in the target, through op.
    void draw(Canvas& target, POINT position, const PixelOp& op) const;
    // The whole surface stretched to size (nearest pixel).
    void draw_scaled(Canvas& target, POINT position, POINT size, const PixelOp& op) const;

    // Pixels held by all live surfaces of the process.
    static long long pixel_count();

private:
    void release();

    Canvas m_canvas;
    std::unique_ptr<PixelBuffer> m_buffer;
    bool m_bitmap = false;
    HDC m_dc = nullptr;
};
