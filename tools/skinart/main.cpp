// skinart OUTDIR [--scale S]: draws the default skin's pictures as PNG into OUTDIR:
//   keyboard.png  key faces (nine-patch), the keyboard background tile and the key symbols
//   glass.png     the glass lens border
// Sizes are those of a 96 dpi screen (the device's skin doubles them on 192 dpi screens);
// --scale draws them that many times larger at full resolution, for a skin compiled with the
// same scale (skinc --scale). Symbols are painted onto the face they sit on, so that they stay
// smooth when drawn as keyed copies.
#include <cmath>
#include <cstdio>
#include <cstring>
#include <string>

#include "tools/skinart/ArtScale.h"

#include "tools/skinart/Art.h"

using namespace art;

namespace {

// The palette: a light keyboard with white letter keys, grey function keys and one accent
// for held keys.
const Color kBackground = Hex(0xD2D5DB);
const Color kLetter = Hex(0xFFFFFF);
const Color kLetterShadow = Hex(0x8F949D);
const Color kFunction = Hex(0xABB1BB);
const Color kFunctionShadow = Hex(0x7D838D);
const Color kAccent = Hex(0x2F6BE0);
const Color kAccentShadow = Hex(0x1E4CA6);
const Color kInk = Hex(0x1C2028);
const Color kInkOnAccent = Hex(0xFFFFFF);
const Color kGlassRim = Hex(0x56647C);

constexpr int kFace = 12;      // face cells, nine-patch guides 4 px in
constexpr int kSymbol = 14;    // letter-key symbols
constexpr int kWideW = 18;     // function-key symbols
constexpr int kWideH = 14;

void Face(Image& img, int x, Color face, Color shadow)
{
    img.fill(x, 0, x + kFace, kFace, kBackground);
    img.paint(x, 0, x + kFace, kFace, RoundRect(x, 1, x + kFace, kFace, 3), shadow);
    img.paint(x, 0, x + kFace, kFace, RoundRect(x, 0, x + kFace, kFace - 1, 3), face);
}

// Points of a symbol drawn for "left", turned for the other directions.
std::vector<double> Turn(std::vector<double> p, int quarter, double cx, double cy)
{
    for (size_t i = 0; i + 1 < p.size(); i += 2) {
        double x = p[i] - cx, y = p[i + 1] - cy;
        for (int q = 0; q < quarter; ++q) {
            double t = x;
            x = -y;
            y = t;
        }
        p[i] = x + cx;
        p[i + 1] = y + cy;
    }
    return p;
}

std::vector<double> Shift(std::vector<double> p, double dx, double dy)
{
    for (size_t i = 0; i + 1 < p.size(); i += 2) {
        p[i] += dx;
        p[i + 1] += dy;
    }
    return p;
}

Shape Arrow(double ox, double oy, int quarter)
{
    const double c = kSymbol / 2.0;
    auto shaft = Shift(Turn({ 3.2, c, 11.0, c }, quarter, c, c), ox, oy);
    auto head = Shift(Turn({ 7.0, 3.2, 3.2, c, 7.0, 10.8 }, quarter, c, c), ox, oy);
    return Union({ Stroke(shaft[0], shaft[1], shaft[2], shaft[3], 1.7), Outline(head, 1.7, false) });
}

Shape Gear(double ox, double oy)
{
    const double c = kSymbol / 2.0;
    std::vector<Shape> parts { Circle(ox + c, oy + c, 4.3) };
    for (int k = 0; k < 8; ++k) {
        double a = k * M_PI / 4;
        double ux = std::cos(a), uy = std::sin(a), vx = -uy, vy = ux;
        auto corner = [&](double r, double s) { return std::vector<double> { ox + c + ux * r + vx * s, oy + c + uy * r + vy * s }; };
        std::vector<double> tooth;
        for (auto [r, s] : { std::pair { 3.5, -1.15 }, { 6.4, -0.95 }, { 6.4, 0.95 }, { 3.5, 1.15 } }) {
            auto p = corner(r, s);
            tooth.insert(tooth.end(), p.begin(), p.end());
        }
        parts.push_back(Polygon(tooth));
    }
    return Minus(Union(std::move(parts)), Circle(ox + c, oy + c, 1.9));
}

std::vector<double> ShiftOutline(double ox, double oy)
{
    return Shift({ 9.0, 1.8, 15.4, 8.0, 12.0, 8.0, 12.0, 12.3, 6.0, 12.3, 6.0, 8.0, 2.6, 8.0 }, ox, oy);
}

Shape Enter(double ox, double oy)
{
    return Union({ Outline(Shift({ 14.5, 2.3, 14.5, 8.6, 4.0, 8.6 }, ox, oy), 1.6, false),
        Outline(Shift({ 7.6, 5.0, 4.0, 8.6, 7.6, 12.2 }, ox, oy), 1.6, false) });
}

Shape EraseKey(double ox, double oy, bool towardsLeft)
{
    std::vector<double> body { 1.6, 7.0, 6.0, 2.4, 16.3, 2.4, 16.3, 11.6, 6.0, 11.6 };
    double crossX = 9.0;
    if (!towardsLeft) {
        for (size_t i = 0; i < body.size(); i += 2)
            body[i] = kWideW - body[i];
        crossX = kWideW - crossX - 4.2;
    }
    return Union({ Outline(Shift(body, ox, oy), 1.3),
        Stroke(ox + crossX, oy + 5.0, ox + crossX + 4.2, oy + 9.0, 1.3),
        Stroke(ox + crossX, oy + 9.0, ox + crossX + 4.2, oy + 5.0, 1.3) });
}

void Symbol(Image& img, int x, int y, int w, int h, Color face, Color ink, const Shape& shape)
{
    img.fill(x, y, x + w, y + h, face);
    img.paint(x, y, x + w, y + h, shape, ink);
}

Image Keyboard(double scale)
{
    // Row 0: faces (letter, letter held, function, function held) and the background tile.
    // Row 1 (y 12) and row 2 (y 26): arrows left, right, up, down and the settings gear, at rest
    // and held. Row 3 (y 40): shift, enter, backspace, delete, each at rest and held.
    Image img(144, 54, Color { 0, 0, 0, 0 }, scale);
    Face(img, 0, kLetter, kLetterShadow);
    Face(img, 12, kAccent, kAccentShadow);
    Face(img, 24, kFunction, kFunctionShadow);
    Face(img, 36, kAccent, kAccentShadow);
    img.fill(48, 0, 60, kFace, kBackground);

    const int quarters[] = { 0, 2, 1, 3 }; // left, right, up, down
    for (int held = 0; held < 2; ++held) {
        int y = 12 + held * kSymbol;
        Color face = held ? kAccent : kLetter;
        Color ink = held ? kInkOnAccent : kInk;
        for (int i = 0; i < 4; ++i)
            Symbol(img, i * kSymbol, y, kSymbol, kSymbol, face, ink, Arrow(i * kSymbol, y, quarters[i]));
        Symbol(img, 4 * kSymbol, y, kSymbol, kSymbol, face, ink, Gear(4 * kSymbol, y));
    }

    const int y = 40;
    for (int held = 0; held < 2; ++held) {
        Color face = held ? kAccent : kFunction;
        Color ink = held ? kInkOnAccent : kInk;
        int x = held * kWideW;
        // Held (shift on) fills the arrow.
        Shape shift = held ? Union({ Polygon(ShiftOutline(x, y)), Outline(ShiftOutline(x, y), 1.3) }) : Outline(ShiftOutline(x, y), 1.3);
        Symbol(img, x, y, kWideW, kWideH, face, ink, shift);
        x += 2 * kWideW;
        Symbol(img, x, y, kWideW, kWideH, face, ink, Enter(x, y));
        x += 2 * kWideW;
        Symbol(img, x, y, kWideW, kWideH, face, ink, EraseKey(x, y, true));
        x += 2 * kWideW;
        Symbol(img, x, y, kWideW, kWideH, face, ink, EraseKey(x, y, false));
    }
    return img;
}

// The lens border: see-through outside the circle, an opaque rim (it carries the opacity bit
// and is blended half over the screen), a half-transparent inside (no opacity bit: the lens).
// The keyboard keeps its lens even-sided, so the circle fills the even part of the picture;
// its edges stay hard, as a see-through pixel must be all outside or all lens.
Image Glass(double scale)
{
    Image img(90, 90, Color { 0, 0, 0, 0 }, scale);
    const int size = img.width() & ~1;
    const double c = size / 2.0;
    const double rim = 4.0 * scale;
    for (int y = 0; y < size; ++y) {
        for (int x = 0; x < size; ++x) {
            double dx = x + 0.5 - c, dy = y + 0.5 - c;
            double d = std::sqrt(dx * dx + dy * dy);
            if (d > c)
                continue;
            img.at(x, y) = d >= c - rim ? kGlassRim : Color { 0, 0, 0, 0.5 };
        }
    }
    return img;
}

}

int main(int argc, char** argv)
{
    double scale = 1.0;
    if (argc != 2 && !(argc == 4 && !std::strcmp(argv[2], "--scale") && ParseArtScale(argv[3], scale))) {
        std::fprintf(stderr, "usage: skinart OUTDIR [--scale S]   (S from %g to %g)\n", kMinArtScale, kMaxArtScale);
        return 2;
    }
    std::string dir = argv[1];
    bool ok = Keyboard(scale).write_png(dir + "/keyboard.png") && Glass(scale).write_png(dir + "/glass.png");
    if (!ok)
        std::fprintf(stderr, "skinart: cannot write the pictures into %s\n", dir.c_str());
    return ok ? 0 : 1;
}
