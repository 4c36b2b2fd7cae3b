#pragma once
// Narrows a canvas's clip to a rectangle for as long as it lives; guards nest.
#include "skin/drawing/Canvas.h"

#include <windef.h>

class ClipGuard {
public:
    ClipGuard(Canvas& canvas, POINT position, POINT size);
    ~ClipGuard();
    ClipGuard(const ClipGuard&) = delete;
    ClipGuard& operator=(const ClipGuard&) = delete;

private:
    Canvas& m_canvas;
    ClipRect m_saved;
};
