// iconart OUTDIR: draws the keyboard's icon (the one its library carries) at the sizes a
// desktop's icon theme takes, each drawn at its own size rather than scaled from another, as
// OUTDIR/hicolor/NxN/apps/magnikeys.png.
//
// The design is on a 256-unit tile: a blue tile with three rows of keys and a lens over an "A".
#include "tools/skinart/Art.h"

#include <cstdio>
#include <filesystem>
#include <string>

using namespace art;

namespace {

const int kSizes[] = { 16, 22, 24, 32, 48, 64, 128, 256 };

Image Icon(int size)
{
    const double k = size / 256.0;
    auto at = [k](double v) { return v * k; };
    // A box given by its first and last unit, as the design lists them.
    auto box = [&](double x0, double y0, double x1, double y1, double r) { return RoundRect(at(x0), at(y0), at(x1 + 1), at(y1 + 1), at(r)); };
    Image img(size, size);
    img.stamp(0, 0, size, size, box(8, 8, 247, 247, 44), Hex(0x1F6FD6));
    img.paint(0, 0, size, size, box(8, 8, 247, 200, 44), Hex(0x2F86F0));
    std::vector<Shape> keys;
    for (double x : { 36, 74, 112, 150, 188 })
        keys.push_back(box(x, 118, x + 30, 144, 6));
    for (double x : { 52, 90, 128, 166 })
        keys.push_back(box(x, 154, x + 30, 180, 6));
    keys.push_back(box(70, 190, 186, 214, 6));
    img.paint(0, 0, size, size, Union(std::move(keys)), Hex(0xFFFFFF));
    // The lens with its handle, and the letter it magnifies.
    const Color ink = Hex(0x0B3D91);
    img.paint(0, 0, size, size, Circle(at(128.5), at(70.5), at(46)), Hex(0xFFD43B));
    img.paint(0, 0, size, size, Ring(at(128.5), at(70.5), at(41), at(51)), ink);
    img.paint(0, 0, size, size, Stroke(at(160), at(102), at(178), at(120), at(16)), ink);
    img.paint(0, 0, size, size,
        Union({ Stroke(at(128.5), at(52), at(113), at(91), at(11)), Stroke(at(128.5), at(52), at(144), at(91), at(11)),
            Stroke(at(118), at(79), at(139), at(79), at(8)), RoundRect(at(122), at(47), at(135), at(56), at(2)) }),
        ink);
    return img;
}

}

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: iconart OUTDIR\n");
        return 2;
    }
    for (int size : kSizes) {
        const std::string name = std::to_string(size) + "x" + std::to_string(size);
        const std::filesystem::path dir = std::filesystem::path(argv[1]) / "hicolor" / name / "apps";
        std::error_code ec;
        std::filesystem::create_directories(dir, ec);
        if (!Icon(size).write_png((dir / "magnikeys.png").string())) {
            std::fprintf(stderr, "iconart: cannot write %s\n", (dir / "magnikeys.png").c_str());
            return 1;
        }
    }
    return 0;
}
