#pragma once
// A rectangle of a loaded picture with its nine-patch guides, as elements hold it.
#include <windef.h>

#include <cstdint>
#include <memory>

class Canvas;
class Picture;
class PixelOp;

struct PictureRef {
    // p0 top-left, p1 and p2 the guides, p3 bottom-right (exclusive); already multiplied by
    // 2^scale_shift.
    POINT p0 {};
    POINT p1 {};
    POINT p2 {};
    POINT p3 {};
    std::shared_ptr<Picture> image; // null for "no picture"
    int scale_shift = 0; // in force when the reference was made: drawing steps the source at 1/2^s
    uint8_t flag = 0;

    // Nine-patch draw of the region at `position`, stretched (tiled) to `size`.
    void draw(Canvas& canvas, POINT position, POINT size, const PixelOp& op) const;

    bool operator==(const PictureRef& other) const
    {
        auto same = [](POINT a, POINT b) { return a.x == b.x && a.y == b.y; };
        return same(p0, other.p0) && same(p1, other.p1) && same(p2, other.p2) && same(p3, other.p3)
            && image == other.image && scale_shift == other.scale_shift;
    }
};
