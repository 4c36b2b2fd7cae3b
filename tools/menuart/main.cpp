// menuart OUTDIR [--scale S]: draws the settings program's pictures as OUTDIR/menu.png, in the
// keyboard's palette. Sizes are those of a 96 dpi screen (the device's skin doubles them on
// 192 dpi screens; --scale draws them that many times larger at full resolution); each piece is
// painted onto the colour it is shown on, so that its smooth edges stay clean when it is drawn
// as a keyed copy.
//
//   (0, 0)   16 x 16  list panel: white, rounded, on the page colour (guides 6 in)
//   (16, 0)  14 x 14  check mark, keyed around it
//   (44, 0)  20 x 20  the small emblem on the header bar
//   (0, 20)  48 x 48  the emblem of the about screen, on its card
//   (48, 20) 24 x 24  the about card: white, rounded, on the dimmed page (guides 9 in)
#include <cmath>
#include <cstdio>
#include <cstring>
#include <string>

#include "tools/skinart/Art.h"
#include "tools/skinart/ArtScale.h"

using namespace art;

namespace {

const Color kPage = Hex(0xD2D5DB);       // the keyboard's background
const Color kPanel = Hex(0xFFFFFF);      // rows, like the letter keys
const Color kPanelShadow = Hex(0xA9AEB7);
const Color kRowBlend = Hex(0xEEF3FD);   // between a row at rest and a pressed row
const Color kAccent = Hex(0x2F6BE0);     // the keyboard's held keys
const Color kDimmedPage = Hex(0x696B6E); // the page at half brightness under a popup
const Color kWhite = Hex(0xFFFFFF);

Shape Check(double ox, double oy)
{
    return Outline({ ox + 2.6, oy + 7.4, ox + 5.6, oy + 10.4, ox + 11.6, oy + 3.6 }, 2.0, false);
}

// A magnifying lens over three keys: the program's emblem, drawn in a box of `size`.
Shape Emblem(double ox, double oy, double size)
{
    const double k = size / 20.0;
    auto at = [&](double v) { return v * k; };
    std::vector<Shape> parts;
    // Keys: a row of three small rounded squares across the lens.
    for (int i = 0; i < 3; ++i) {
        double x = ox + at(3.6 + i * 3.6);
        parts.push_back(RoundRect(x, oy + at(6.6), x + at(2.8), oy + at(9.4), at(0.7)));
    }
    parts.push_back(Ring(ox + at(8.6), oy + at(8.0), at(5.2), at(6.8)));
    parts.push_back(Stroke(ox + at(13.4), oy + at(12.8), ox + at(17.2), oy + at(16.6), at(2.6)));
    return Union(std::move(parts));
}

void RoundedPanel(Image& img, int x, int y, int size, double radius, Color under, Color shadow, Color face)
{
    img.fill(x, y, x + size, y + size, under);
    img.paint(x, y, x + size, y + size, RoundRect(x, y + 1, x + size, y + size, radius), shadow);
    img.paint(x, y, x + size, y + size, RoundRect(x, y, x + size, y + size - 1, radius), face);
}

Image Menu(double scale)
{
    Image img(72, 68, Hex(0xFF00FF, 0.0), scale);
    RoundedPanel(img, 0, 0, 16, 5.0, kPage, kPanelShadow, kPanel);

    // The check mark is drawn over a row at rest (white) and over a pressed one (light blue):
    // its smooth edges are blended with a colour between the two, and everything else is
    // see-through.
    img.stamp(16, 0, 30, 14, Check(16, 0), kAccent);
    const Image::Box check = img.pixels(16, 0, 30, 14);
    for (int y = check.y0; y < check.y1; ++y) {
        for (int x = check.x0; x < check.x1; ++x) {
            Color& c = img.at(x, y);
            if (c.a <= 0 || c.a >= 1)
                continue;
            c = { kRowBlend.r + (c.r - kRowBlend.r) * c.a, kRowBlend.g + (c.g - kRowBlend.g) * c.a,
                kRowBlend.b + (c.b - kRowBlend.b) * c.a, 1.0 };
        }
    }

    img.fill(44, 0, 64, 20, kAccent);
    img.paint(44, 0, 64, 20, Emblem(44, 0, 20), kWhite);

    // The about emblem: the header's emblem on a blue tile, as an application icon.
    img.fill(0, 20, 48, 68, kPanel);
    img.paint(0, 20, 48, 68, RoundRect(1, 22, 47, 68, 10), Hex(0xC9D6F2));
    img.paint(0, 20, 48, 68, RoundRect(1, 21, 47, 67, 10), kAccent);
    img.paint(0, 20, 48, 68, RoundRect(1, 21, 47, 44, 10), Hex(0x3C78EA, 0.6));
    img.paint(0, 20, 48, 68, Emblem(6, 26, 36), kWhite);

    RoundedPanel(img, 48, 20, 24, 8.0, kDimmedPage, Hex(0x4A4C50), kPanel);
    return img;
}

}

int main(int argc, char** argv)
{
    double scale = 1.0;
    if (argc != 2 && !(argc == 4 && !std::strcmp(argv[2], "--scale") && ParseArtScale(argv[3], scale))) {
        std::fprintf(stderr, "usage: menuart OUTDIR [--scale S]   (S from %g to %g)\n", kMinArtScale, kMaxArtScale);
        return 2;
    }
    std::string path = std::string(argv[1]) + "/menu.png";
    if (!Menu(scale).write_png(path)) {
        std::fprintf(stderr, "menuart: cannot write %s\n", path.c_str());
        return 1;
    }
    return 0;
}
