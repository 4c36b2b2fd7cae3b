#pragma once
// Nine-patch picture drawing: fixed borders, a tiled (never stretched) middle, and a scale
// shift that makes each source pixel cover 2^s x 2^s destination pixels.
#include "skin/drawing/Canvas.h"

#include <windef.h>

class PixelBuffer;
class PixelOp;

struct NinePatch {
    // p0 top-left, p1 and p2 the guides, p3 bottom-right (exclusive), all in scaled
    // coordinates: source pixel = coordinate >> scale_shift.
    POINT p0 {};
    POINT p1 {};
    POINT p2 {};
    POINT p3 {};
    int scale_shift = 0;
};

// The plan of one axis, already cut to the visible range, in destination order: first border,
// tiled middle, last border. Source positions are scaled coordinates.
struct NinePatchAxis {
    int start = 0; // first destination pixel drawn
    int first_src = 0;
    int first_len = 0;
    int middle_len = 0;
    int middle_pos = 0; // tile position of the first middle pixel drawn
    int tile_start = 0;
    int tile_end = 0;
    int last_src = 0;
    int last_len = 0;

    int length() const { return first_len + middle_len + last_len; }
    // Scaled source coordinate of the k-th pixel drawn.
    int source(int k) const;
};

// Plans destination [a, a + length) from source guides c0 <= c1 <= c2 <= c3, visible within
// [clip_start, clip_end). False when nothing is visible or the guides are out of order.
// Borders that together exceed the length share it; a middle without tile pixels repeats the
// pixel next to it.
bool plan_nine_patch_axis(int a, int length, int c0, int c1, int c2, int c3, int clip_start,
                          int clip_end, NinePatchAxis& out);

// Draws the guided region of picture into (pos, size), clipped to the canvas. Guides outside
// the picture draw nothing.
void draw_picture(Canvas& canvas, POINT pos, POINT size, const PixelBuffer& picture,
                  const NinePatch& guides, const PixelOp& op);
