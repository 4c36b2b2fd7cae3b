#include "skin/drawing/PixelOps.h"

#include <algorithm>

// Each stateless operation forwards its four shapes to the span family of the same name.
#define MK_DEFINE_STATELESS_OP(Name, family)                                                     \
    void Name::span(uint16_t* first, uint16_t* last, const uint16_t* src) const                  \
    {                                                                                            \
        family##_0565(first, src, static_cast<int>(last - first));                               \
    }                                                                                            \
    void Name::scaled_span(uint16_t* first, uint16_t* last, const uint16_t* row, int start,      \
                           int step) const                                                       \
    {                                                                                            \
        family##_scaled_0565(first, static_cast<int>(last - first), row, start, step);           \
    }                                                                                            \
    void Name::guided_span(uint16_t* dst, const uint16_t* row, int start, int count, int shift)  \
        const                                                                                    \
    {                                                                                            \
        family##_guided_0565(dst, count, row, start, shift);                                     \
    }                                                                                            \
    void Name::tiled_span(uint16_t* dst, const uint16_t* row, int start, int count, int shift,   \
                          int tile_start, int tile_end) const                                    \
    {                                                                                            \
        family##_tiled_0565(dst, count, row, start, shift, tile_start, tile_end);                \
    }                                                                                            \
    std::unique_ptr<PixelOp> Name::clone() const { return std::make_unique<Name>(*this); }

MK_DEFINE_STATELESS_OP(CopyOp, copy)
MK_DEFINE_STATELESS_OP(KeyOp, key)
MK_DEFINE_STATELESS_OP(Translucent1Op, translucent1)
MK_DEFINE_STATELESS_OP(Translucent2Op, translucent2)
MK_DEFINE_STATELESS_OP(Translucent3Op, translucent3)
MK_DEFINE_STATELESS_OP(OpaqueOp, opaque)
MK_DEFINE_STATELESS_OP(TextReturnOp, text_return)
MK_DEFINE_STATELESS_OP(KeyFillOp, key_fill)
MK_DEFINE_STATELESS_OP(HalfOp, half)
MK_DEFINE_STATELESS_OP(BorderMarkOp, border_mark)
MK_DEFINE_STATELESS_OP(LensFillOp, lens_fill)
MK_DEFINE_STATELESS_OP(LensBlendOp, lens_blend)

#undef MK_DEFINE_STATELESS_OP

bool all_opaque(const uint16_t* row, int from, int to)
{
    return std::all_of(row + from, row + to, [](uint16_t p) { return (p & span::kOpaqueBit) != 0; });
}

bool KeyOp::replaces(const uint16_t* row, int from, int to) const
{
    return std::find(row + from, row + to, span::kColorKey) == row + to;
}

#define MK_DEFINE_MODULATION_OP(Name, family)                                                    \
    void Name::span(uint16_t* first, uint16_t* last, const uint16_t* src) const                  \
    {                                                                                            \
        family##_0565(first, src, static_cast<int>(last - first), m_factors);                    \
    }                                                                                            \
    void Name::scaled_span(uint16_t* first, uint16_t* last, const uint16_t* row, int start,      \
                           int step) const                                                       \
    {                                                                                            \
        family##_scaled_0565(first, static_cast<int>(last - first), row, start, step, m_factors); \
    }                                                                                            \
    void Name::guided_span(uint16_t* dst, const uint16_t* row, int start, int count, int shift)  \
        const                                                                                    \
    {                                                                                            \
        family##_guided_0565(dst, count, row, start, shift, m_factors);                          \
    }                                                                                            \
    void Name::tiled_span(uint16_t* dst, const uint16_t* row, int start, int count, int shift,   \
                          int tile_start, int tile_end) const                                    \
    {                                                                                            \
        family##_tiled_0565(dst, count, row, start, shift, tile_start, tile_end, m_factors);     \
    }                                                                                            \
    std::unique_ptr<PixelOp> Name::clone() const { return std::make_unique<Name>(*this); }

MK_DEFINE_MODULATION_OP(ModulateOp, modulate)
MK_DEFINE_MODULATION_OP(ModulateOverOp, modulate_over)

#undef MK_DEFINE_MODULATION_OP

// ---- fill ---------------------------------------------------------------------------------

void FillOp::span(uint16_t* first, uint16_t* last, const uint16_t*) const
{
    fill_0565(first, static_cast<int>(last - first), m_colour);
}

void FillOp::scaled_span(uint16_t* first, uint16_t* last, const uint16_t*, int, int) const
{
    fill_0565(first, static_cast<int>(last - first), m_colour);
}

void FillOp::guided_span(uint16_t* dst, const uint16_t*, int, int count, int) const
{
    fill_0565(dst, count, m_colour);
}

void FillOp::tiled_span(uint16_t* dst, const uint16_t*, int, int count, int, int, int) const
{
    fill_0565(dst, count, m_colour);
}

std::unique_ptr<PixelOp> FillOp::clone() const
{
    return std::make_unique<FillOp>(*this);
}

// ---- shared instances and the level selector ------------------------------------------------

const PixelOp& copy_op()
{
    static const CopyOp op;
    return op;
}

const PixelOp& key_op()
{
    static const KeyOp op;
    return op;
}

const PixelOp& opaque_op()
{
    static const OpaqueOp op;
    return op;
}

const PixelOp& text_return_op()
{
    static const TextReturnOp op;
    return op;
}

const PixelOp& key_fill_op()
{
    static const KeyFillOp op;
    return op;
}

const PixelOp& half_op()
{
    static const HalfOp op;
    return op;
}

const PixelOp& border_mark_op()
{
    static const BorderMarkOp op;
    return op;
}

const PixelOp& lens_fill_op()
{
    static const LensFillOp op;
    return op;
}

const PixelOp& lens_blend_op()
{
    static const LensBlendOp op;
    return op;
}

const PixelOp& level_op(int index)
{
    static const KeyOp level0;
    static const Translucent1Op level1;
    static const Translucent2Op level2;
    static const Translucent3Op level3;
    static const OpaqueOp level4;
    static const PixelOp* const levels[] = { &level0, &level1, &level2, &level3, &level4 };
    return *levels[std::clamp(index, 0, 4)];
}

int AlphaLevelOp::index_for(int alpha)
{
    return std::clamp(alpha / 64, 0, 4);
}

AlphaLevelOp::AlphaLevelOp(int alpha)
    : m_index(index_for(alpha))
    , m_level(&level_op(m_index))
{
}

void AlphaLevelOp::span(uint16_t* first, uint16_t* last, const uint16_t* src) const
{
    m_level->span(first, last, src);
}

void AlphaLevelOp::scaled_span(uint16_t* first, uint16_t* last, const uint16_t* row, int start,
                               int step) const
{
    m_level->scaled_span(first, last, row, start, step);
}

void AlphaLevelOp::guided_span(uint16_t* dst, const uint16_t* row, int start, int count, int shift) const
{
    m_level->guided_span(dst, row, start, count, shift);
}

void AlphaLevelOp::tiled_span(uint16_t* dst, const uint16_t* row, int start, int count, int shift,
                              int tile_start, int tile_end) const
{
    m_level->tiled_span(dst, row, start, count, shift, tile_start, tile_end);
}

std::unique_ptr<PixelOp> AlphaLevelOp::clone() const
{
    return std::make_unique<AlphaLevelOp>(*this);
}
