#pragma once
// The span operations. Stateless ones are shared; the level selector points at one of the five
// shared level operations; fill and the modulations carry their colour or factors.
#include "skin/drawing/PixelOp.h"
#include "skin/drawing/Span565.h"

#define MK_PIXEL_OP_OVERRIDES                                                                    \
    void span(uint16_t* first, uint16_t* last, const uint16_t* src) const override;              \
    void scaled_span(uint16_t* first, uint16_t* last, const uint16_t* row, int start, int step)  \
        const override;                                                                          \
    void guided_span(uint16_t* dst, const uint16_t* row, int start, int count, int shift)        \
        const override;                                                                          \
    void tiled_span(uint16_t* dst, const uint16_t* row, int start, int count, int shift,         \
                    int tile_start, int tile_end) const override;                                \
    std::unique_ptr<PixelOp> clone() const override;

// Every pixel of row[from, to) is opaque: the levels draw it as it is.
bool all_opaque(const uint16_t* row, int from, int to);

class CopyOp final : public PixelOp {
public:
    MK_PIXEL_OP_OVERRIDES
    bool replaces(const uint16_t*, int, int) const override { return true; }
};

// The colour key leaves the destination as it is.
class KeyOp final : public PixelOp {
public:
    MK_PIXEL_OP_OVERRIDES
    bool replaces(const uint16_t* row, int from, int to) const override;
};

// A quarter of the destination shows through translucent pixels.
class Translucent1Op final : public PixelOp {
public:
    MK_PIXEL_OP_OVERRIDES
    bool replaces(const uint16_t* row, int from, int to) const override { return all_opaque(row, from, to); }
};

// Half of the destination shows through translucent pixels.
class Translucent2Op final : public PixelOp {
public:
    MK_PIXEL_OP_OVERRIDES
    bool replaces(const uint16_t* row, int from, int to) const override { return all_opaque(row, from, to); }
};

// Three quarters of the destination show through translucent pixels.
class Translucent3Op final : public PixelOp {
public:
    MK_PIXEL_OP_OVERRIDES
    bool replaces(const uint16_t* row, int from, int to) const override { return all_opaque(row, from, to); }
};

// Only opaque pixels are drawn; translucent ones vanish.
class OpaqueOp final : public PixelOp {
public:
    MK_PIXEL_OP_OVERRIDES
    bool replaces(const uint16_t* row, int from, int to) const override { return all_opaque(row, from, to); }
};

// Brings text back from the scratch bitmap: every pixel the text changed becomes opaque.
class TextReturnOp final : public PixelOp {
public:
    MK_PIXEL_OP_OVERRIDES
};

// Every destination pixel becomes the colour; the source is not read.
class FillOp final : public PixelOp {
public:
    explicit FillOp(uint16_t colour)
        : m_colour(colour)
    {
    }
    uint16_t colour() const { return m_colour; }
    MK_PIXEL_OP_OVERRIDES

private:
    uint16_t m_colour;
};

// d := modulate(s): each channel scaled by its factor / 256.
class ModulateOp final : public PixelOp {
public:
    explicit ModulateOp(span::Factors factors)
        : m_factors(factors)
    {
    }
    MK_PIXEL_OP_OVERRIDES

private:
    span::Factors m_factors;
};

// d := d | modulate(s).
class ModulateOverOp final : public PixelOp {
public:
    explicit ModulateOverOp(span::Factors factors)
        : m_factors(factors)
    {
    }
    MK_PIXEL_OP_OVERRIDES

private:
    span::Factors m_factors;
};

// Picks a shared level operation by alpha: alpha / 64 clamped to 0...4 gives keyed copy (0),
// a quarter, half or three quarters of the destination showing through (1 to 3), or opaque
// pixels only (4).
class AlphaLevelOp final : public PixelOp {
public:
    explicit AlphaLevelOp(int alpha);
    static int index_for(int alpha);
    int index() const { return m_index; }
    MK_PIXEL_OP_OVERRIDES
    bool replaces(const uint16_t* row, int from, int to) const override { return m_level->replaces(row, from, to); }

private:
    int m_index;
    const PixelOp* m_level;
};

// The zoom views' operations (see Span565.h): the key filled from the source, the half-sum,
// the lens border mark, and filling or half-blending the unmarked lens interior.
class KeyFillOp final : public PixelOp {
public:
    MK_PIXEL_OP_OVERRIDES
};

class HalfOp final : public PixelOp {
public:
    MK_PIXEL_OP_OVERRIDES
};

class BorderMarkOp final : public PixelOp {
public:
    MK_PIXEL_OP_OVERRIDES
};

class LensFillOp final : public PixelOp {
public:
    MK_PIXEL_OP_OVERRIDES
};

class LensBlendOp final : public PixelOp {
public:
    MK_PIXEL_OP_OVERRIDES
};

#undef MK_PIXEL_OP_OVERRIDES

// Shared instances of the stateless operations.
const PixelOp& copy_op();
const PixelOp& key_op();
const PixelOp& opaque_op();
const PixelOp& text_return_op();
const PixelOp& key_fill_op();
const PixelOp& half_op();
const PixelOp& border_mark_op();
const PixelOp& lens_fill_op();
const PixelOp& lens_blend_op();
// 0 keyed copy, 1 to 3 the translucency levels, 4 opaque only; out-of-range indices clamp.
const PixelOp& level_op(int index);
