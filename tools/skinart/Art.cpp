#include "tools/skinart/Art.h"

#include <png.h>

#include <algorithm>
#include <cmath>

namespace art {

Color Hex(uint32_t rgb, double alpha)
{
    return { ((rgb >> 16) & 0xFF) / 255.0, ((rgb >> 8) & 0xFF) / 255.0, (rgb & 0xFF) / 255.0, alpha };
}

Image::Image(int width, int height, Color fill, double scale)
    : m_width(Scaled(width, scale))
    , m_height(Scaled(height, scale))
    , m_scale(scale)
    , m_pixels(size_t(m_width) * m_height, fill)
{
}

Image::Box Image::pixels(int x0, int y0, int x1, int y1) const
{
    return { Scaled(x0, m_scale), Scaled(y0, m_scale), Scaled(x1, m_scale), Scaled(y1, m_scale) };
}

void Image::fill(int x0, int y0, int x1, int y1, Color c)
{
    const Box b = pixels(x0, y0, x1, y1);
    for (int y = std::max(0, b.y0); y < std::min(m_height, b.y1); ++y)
        for (int x = std::max(0, b.x0); x < std::min(m_width, b.x1); ++x)
            at(x, y) = c;
}

double Image::coverage(int px, int py, const Box& design, const Box& box, const Shape& shape) const
{
    // Design units per pixel inside this piece: 1 / scale, give or take the rounding of its edges.
    const double kx = box.x1 > box.x0 ? double(design.x1 - design.x0) / (box.x1 - box.x0) : 0;
    const double ky = box.y1 > box.y0 ? double(design.y1 - design.y0) / (box.y1 - box.y0) : 0;
    int inside = 0;
    for (int sy = 0; sy < 4; ++sy)
        for (int sx = 0; sx < 4; ++sx)
            inside += shape(design.x0 + (px - box.x0 + (sx + 0.5) / 4.0) * kx, design.y0 + (py - box.y0 + (sy + 0.5) / 4.0) * ky) ? 1 : 0;
    return inside / 16.0;
}

void Image::paint(int x0, int y0, int x1, int y1, const Shape& shape, Color c)
{
    const Box design { x0, y0, x1, y1 };
    const Box b = pixels(x0, y0, x1, y1);
    for (int y = std::max(0, b.y0); y < std::min(m_height, b.y1); ++y) {
        for (int x = std::max(0, b.x0); x < std::min(m_width, b.x1); ++x) {
            double k = coverage(x, y, design, b, shape) * c.a;
            if (k <= 0)
                continue;
            Color& d = at(x, y);
            double a = k + d.a * (1 - k);
            auto mix = [&](double s, double t) { return a > 0 ? (s * k + t * d.a * (1 - k)) / a : 0; };
            d = { mix(c.r, d.r), mix(c.g, d.g), mix(c.b, d.b), a };
        }
    }
}

void Image::stamp(int x0, int y0, int x1, int y1, const Shape& shape, Color c)
{
    const Box design { x0, y0, x1, y1 };
    const Box b = pixels(x0, y0, x1, y1);
    for (int y = std::max(0, b.y0); y < std::min(m_height, b.y1); ++y) {
        for (int x = std::max(0, b.x0); x < std::min(m_width, b.x1); ++x) {
            double k = coverage(x, y, design, b, shape);
            if (k > 0)
                at(x, y) = { c.r, c.g, c.b, k * c.a };
        }
    }
}

bool Image::write_png(const std::string& path) const
{
    std::vector<uint8_t> bytes;
    bytes.reserve(m_pixels.size() * 4);
    auto channel = [](double v) { return uint8_t(std::lround(std::clamp(v, 0.0, 1.0) * 255.0)); };
    for (const Color& c : m_pixels) {
        bytes.push_back(channel(c.r));
        bytes.push_back(channel(c.g));
        bytes.push_back(channel(c.b));
        bytes.push_back(channel(c.a));
    }
    png_image image {};
    image.version = PNG_IMAGE_VERSION;
    image.width = m_width;
    image.height = m_height;
    image.format = PNG_FORMAT_RGBA;
    return png_image_write_to_file(&image, path.c_str(), 0, bytes.data(), 0, nullptr) != 0;
}

Shape RoundRect(double x0, double y0, double x1, double y1, double r)
{
    return [=](double x, double y) {
        if (x < x0 || x > x1 || y < y0 || y > y1)
            return false;
        double cx = std::clamp(x, x0 + r, x1 - r);
        double cy = std::clamp(y, y0 + r, y1 - r);
        return (x - cx) * (x - cx) + (y - cy) * (y - cy) <= r * r;
    };
}

Shape Circle(double cx, double cy, double r)
{
    return [=](double x, double y) { return (x - cx) * (x - cx) + (y - cy) * (y - cy) <= r * r; };
}

Shape Ring(double cx, double cy, double inner, double outer)
{
    return [=](double x, double y) {
        double d = (x - cx) * (x - cx) + (y - cy) * (y - cy);
        return d <= outer * outer && d >= inner * inner;
    };
}

static double SegmentDistance(double x, double y, double x0, double y0, double x1, double y1)
{
    double dx = x1 - x0, dy = y1 - y0;
    double len = dx * dx + dy * dy;
    double t = len > 0 ? std::clamp(((x - x0) * dx + (y - y0) * dy) / len, 0.0, 1.0) : 0.0;
    double px = x0 + t * dx - x, py = y0 + t * dy - y;
    return std::sqrt(px * px + py * py);
}

Shape Stroke(double x0, double y0, double x1, double y1, double width)
{
    return [=](double x, double y) { return SegmentDistance(x, y, x0, y0, x1, y1) <= width / 2; };
}

Shape Polygon(std::vector<double> p)
{
    return [p = std::move(p)](double x, double y) {
        bool inside = false;
        size_t n = p.size() / 2;
        for (size_t i = 0, j = n - 1; i < n; j = i++) {
            double xi = p[2 * i], yi = p[2 * i + 1], xj = p[2 * j], yj = p[2 * j + 1];
            if ((yi > y) != (yj > y) && x < (xj - xi) * (y - yi) / (yj - yi) + xi)
                inside = !inside;
        }
        return inside;
    };
}

Shape Outline(const std::vector<double>& p, double width, bool closed)
{
    std::vector<Shape> parts;
    size_t n = p.size() / 2;
    for (size_t i = 0; i + 1 < n; ++i)
        parts.push_back(Stroke(p[2 * i], p[2 * i + 1], p[2 * i + 2], p[2 * i + 3], width));
    if (closed && n > 2)
        parts.push_back(Stroke(p[2 * n - 2], p[2 * n - 1], p[0], p[1], width));
    return Union(std::move(parts));
}

Shape Union(std::vector<Shape> shapes)
{
    return [shapes = std::move(shapes)](double x, double y) {
        for (const Shape& s : shapes)
            if (s(x, y))
                return true;
        return false;
    };
}

Shape Minus(Shape a, Shape b)
{
    return [=](double x, double y) { return a(x, y) && !b(x, y); };
}

} // namespace art
