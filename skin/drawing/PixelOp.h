#pragma once
// A span operation: how source pixels combine with the destination, one whole row span per
// call (never a virtual call per pixel). Slots in the order the drawing code relies on.
#include <cstdint>
#include <memory>

class PixelOp {
public:
    virtual ~PixelOp() = default;

    // One output pixel per source pixel, [first, last).
    virtual void span(uint16_t* first, uint16_t* last, const uint16_t* src) const = 0;
    // Output k takes row[(start + k * step) >> 10].
    virtual void scaled_span(uint16_t* first, uint16_t* last, const uint16_t* row, int start,
                             int step) const = 0;
    // Output k takes row[(start + k) >> shift].
    virtual void guided_span(uint16_t* dst, const uint16_t* row, int start, int count,
                             int shift) const = 0;
    // Output k takes row[i >> shift]; i starts at start and wraps from tile_end to tile_start.
    virtual void tiled_span(uint16_t* dst, const uint16_t* row, int start, int count, int shift,
                            int tile_start, int tile_end) const = 0;
    virtual std::unique_ptr<PixelOp> clone() const = 0;
    // Whether drawing from row[from, to) gives the same pixels whatever the destination held, so
    // that a destination row drawn from the same source row may be copied instead.
    virtual bool replaces(const uint16_t* /*row*/, int /*from*/, int /*to*/) const { return false; }
};
