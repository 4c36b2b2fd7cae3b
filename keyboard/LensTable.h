#pragma once
// The glass lens as a table: for every pixel of a W x H lens, where it reads the picture under
// the lens and how it weighs the four pixels there. The floating-point work happens only when
// the lens changes; a frame is one lookup and one bilinear blend per pixel.
#include "skin/drawing/Span565.h"

#include <cstddef>
#include <cstdint>
#include <vector>

class PixelBuffer;

class LensTable {
public:
    // Builds the table for a lens of width x height (each at least 2) and radius; true when it
    // was rebuilt, false when it already fits (or the size is unusable, which empties it).
    bool build(int width, int height, double radius);

    int width() const { return m_width; }
    int height() const { return m_height; }
    double radius() const { return m_radius; }
    size_t size() const { return m_index.size(); }
    bool empty() const { return m_index.empty(); }
    // Entry i of the table, i = x + y * width.
    int index(size_t i) const { return m_index[i]; }
    int fx(size_t i) const { return m_fx[i]; }
    int fy(size_t i) const { return m_fy[i]; }
    span::LensEntries entries() const { return span::LensEntries { m_index.data(), m_fx.data(), m_fy.data() }; }

    // Maps source into dest, all rows but the last, both of the table's size with rows that
    // follow each other without gaps. With a background of the same size, key pixels of the
    // source are see-through. False, drawing nothing, when the buffers do not fit.
    bool map(const PixelBuffer& source, PixelBuffer& dest, const PixelBuffer* background = nullptr) const;

private:
    int m_width = 0;
    int m_height = 0;
    double m_radius = 0;
    std::vector<int32_t> m_index;
    std::vector<uint8_t> m_fx;
    std::vector<uint8_t> m_fy;
};
