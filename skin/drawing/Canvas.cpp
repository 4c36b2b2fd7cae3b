#include "skin/drawing/Canvas.h"

#include "skin/drawing/PixelBuffer.h"

Canvas::Canvas(PixelBuffer* target)
{
    set_target(target);
}

void Canvas::set_target(PixelBuffer* target)
{
    m_target = target;
    m_clip = target ? ClipRect { 0, 0, target->width(), target->height() } : ClipRect {};
}
