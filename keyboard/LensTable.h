#pragma once
// The glass lens as a table: for every pixel of a W x H lens, where it reads the picture under
// the lens and how it weighs the four pixels there. The floating-point work happens only when
// the lens changes; a frame is one lookup and one bilinear blend per pixel.
#include "skin/Span565.h"

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
    const std::vector<span::LensEntry>& entries() const { return m_entries; }

    // Maps source into dest, all rows but the last, both of the table's size with rows that
    // follow each other without gaps. With a background of the same size, key pixels of the
    // source are see-through. False, drawing nothing, when the buffers do not fit.
    bool map(const PixelBuffer& source, PixelBuffer& dest, const PixelBuffer* background = nullptr) const;

private:
    int m_width = 0;
    int m_height = 0;
    double m_radius = 0;
    std::vector<span::LensEntry> m_entries;
};
