#include "skin/drawing/ClipGuard.h"

#include <algorithm>

ClipGuard::ClipGuard(Canvas& canvas, POINT position, POINT size)
    : m_canvas(canvas)
    , m_saved(canvas.m_clip)
{
    canvas.m_clip_depth++;
    ClipRect& c = canvas.m_clip;
    c.x0 = std::max<int>(c.x0, position.x);
    c.y0 = std::max<int>(c.y0, position.y);
    c.x1 = std::min<long long>(c.x1, static_cast<long long>(position.x) + size.x);
    c.y1 = std::min<long long>(c.y1, static_cast<long long>(position.y) + size.y);
    // Empty in either direction: nothing at all is drawable.
    if (c.x1 <= c.x0 || c.y1 <= c.y0) {
        c.x1 = c.x0;
        c.y1 = c.y0;
    }
}

ClipGuard::~ClipGuard()
{
    m_canvas.m_clip = m_saved;
    m_canvas.m_clip_depth--;
}
