#pragma once
// A small anti-aliased painter for the skin's pictures: shapes are inside-tests sampled 4 x 4
// times per pixel and blended in straight RGBA.
#include "tools/skinart/ArtScale.h"

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace art {

struct Color {
    double r = 0, g = 0, b = 0, a = 1;
};

Color Hex(uint32_t rgb, double alpha = 1.0);

// Inside-test in design coordinates (pixel centres at +0.5 on a 96 dpi screen).
using Shape = std::function<bool(double x, double y)>;

// A picture drawn at a scale: every call takes design coordinates. A box (x0, y0)-(x1, y1) is a
// piece of the picture (a key face, a symbol): it covers the pixels Scaled(x0)..Scaled(x1) and
// its shapes are stretched onto exactly those, so that each piece fills whole pixels.
class Image {
public:
    Image(int width, int height, Color fill = {0, 0, 0, 0}, double scale = 1.0);
    int width() const { return m_width; } // pixels
    int height() const { return m_height; }
    double scale() const { return m_scale; }
    Color& at(int x, int y) { return m_pixels[size_t(y) * m_width + x]; } // pixels

    void fill(int x0, int y0, int x1, int y1, Color c);
    // Paints c over the pixels of the box the shape covers, weighted by coverage.
    void paint(int x0, int y0, int x1, int y1, const Shape& shape, Color c);
    // Like paint, but the coverage sets the pixel outright (alpha = coverage * c.a) where the
    // shape reaches, so that a picture keeps a see-through background.
    void stamp(int x0, int y0, int x1, int y1, const Shape& shape, Color c);

    // The pixels a design box covers: left, top, right, bottom (exclusive).
    struct Box {
        int x0, y0, x1, y1;
    };
    Box pixels(int x0, int y0, int x1, int y1) const;

    bool write_png(const std::string& path) const;

private:
    // Coverage of pixel (px, py) of the piece whose design box is `design`.
    double coverage(int px, int py, const Box& design, const Box& box, const Shape& shape) const;
    int m_width;
    int m_height;
    double m_scale;
    std::vector<Color> m_pixels;
};

// Shapes.
Shape RoundRect(double x0, double y0, double x1, double y1, double radius);
Shape Circle(double cx, double cy, double radius);
Shape Ring(double cx, double cy, double inner, double outer);
// A segment with round ends, `width` across.
Shape Stroke(double x0, double y0, double x1, double y1, double width);
// A closed polygon (even-odd rule) given as x, y pairs.
Shape Polygon(std::vector<double> points);
// The outline of a polygon, `width` across (round joins).
Shape Outline(const std::vector<double>& points, double width, bool closed = true);
Shape Union(std::vector<Shape> shapes);
Shape Minus(Shape a, Shape b);

} // namespace art
