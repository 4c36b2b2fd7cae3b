#pragma once
// Rectangle drawing through span operations. Every call clips against the canvas's clip and
// its buffer, and draws nothing when what is left is empty, when a size is below 1, or when a
// source rectangle reaches outside its buffer.
#include "skin/drawing/Canvas.h"
#include "skin/file/SkinColor.h"

#include <windef.h>

class PixelBuffer;
class PixelOp;

// The source rectangle (src_pos, size) at pos, one span call per row.
void clipped_copy(Canvas& canvas, POINT pos, POINT size, const PixelBuffer& src, POINT src_pos,
                  const PixelOp& op);

// The source rectangle stretched to (pos, size) by nearest pixel, in 10-bit fixed point.
void scaled_copy(Canvas& canvas, POINT pos, POINT size, const PixelBuffer& src, POINT src_pos,
                 POINT src_size, const PixelOp& op);

void fill(Canvas& canvas, POINT pos, POINT size, SkinColor colour);

// Scales every channel by about level / 256 in steps of 16 (0 black, 256 unchanged); levels
// outside 0...256 count as the nearest end.
void scale_brightness(Canvas& canvas, POINT pos, POINT size, int level);

// The canvas's clip cut to its buffer's bounds; empty without a buffer.
ClipRect drawable_area(const Canvas& canvas);
