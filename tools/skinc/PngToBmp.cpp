#include "tools/skinc/SkinSource.h"

#include <png.h>

#include <cstdio>
#include <memory>

namespace skinc {

namespace {

struct FileCloser {
    void operator()(FILE* f) const { std::fclose(f); }
};
using File = std::unique_ptr<FILE, FileCloser>;

constexpr uint16_t kColourKey = 0xF81F;
constexpr uint16_t kOpaqueBit = 0x0020;

uint16_t To565(unsigned r, unsigned g, unsigned b)
{
    return uint16_t((r >> 3) << 11 | (g >> 2) << 5 | (b >> 3));
}

// Opaque pixels carry the opacity bit; translucent ones hold their colour already weighted by
// alpha, as the translucent drawing operations expect, and never the colour key. Art painted
// the device way marks transparency with pure magenta, so that is the colour key too.
uint16_t PixelFrom(const uint8_t* rgba)
{
    unsigned a = rgba[3];
    if (a == 0 || (rgba[0] == 255 && rgba[1] == 0 && rgba[2] == 255))
        return kColourKey;
    if (a == 255)
        return To565(rgba[0], rgba[1], rgba[2]) | kOpaqueBit;
    uint16_t p = To565(rgba[0] * a / 255, rgba[1] * a / 255, rgba[2] * a / 255) & ~kOpaqueBit;
    return p == kColourKey ? uint16_t(p - 1) : p;
}

void Put16(std::vector<uint8_t>& out, size_t at, uint32_t v)
{
    out[at] = uint8_t(v);
    out[at + 1] = uint8_t(v >> 8);
}

void Put32(std::vector<uint8_t>& out, size_t at, uint32_t v)
{
    for (int i = 0; i < 4; ++i)
        out[at + i] = uint8_t(v >> (8 * i));
}

} // namespace

void ConvertPngToBmp(const std::string& pngPath, const std::string& bmpPath)
{
    File in(std::fopen(pngPath.c_str(), "rb"));
    if (!in)
        throw Error(pngPath + ": cannot open");
    png_image image {};
    image.version = PNG_IMAGE_VERSION;
    if (!png_image_begin_read_from_stdio(&image, in.get()))
        throw Error(pngPath + ": " + image.message);
    image.format = PNG_FORMAT_RGBA;
    std::vector<uint8_t> rgba(PNG_IMAGE_SIZE(image));
    if (!png_image_finish_read(&image, nullptr, rgba.data(), 0, nullptr)) {
        png_image_free(&image);
        throw Error(pngPath + ": " + image.message);
    }
    const uint32_t w = image.width;
    const uint32_t h = image.height;
    if (w > 0x7FFF || h > 0x7FFF)
        throw Error(pngPath + ": larger than 32767 pixels");

    // File header, information header with bit-field compression and the three masks.
    const uint32_t headers = 14 + 40 + 12;
    const uint32_t stride = ((16 * w + 31) / 32) * 4;
    std::vector<uint8_t> out(headers + size_t(stride) * h, 0);
    out[0] = 'B';
    out[1] = 'M';
    Put32(out, 2, uint32_t(out.size()));
    Put32(out, 10, headers);
    Put32(out, 14, 40);
    Put32(out, 18, w);
    Put32(out, 22, h); // positive: bottom-up rows
    Put16(out, 26, 1);
    Put16(out, 28, 16);
    Put32(out, 30, 3);
    Put32(out, 34, stride * h);
    Put32(out, 38, 2835);
    Put32(out, 42, 2835);
    Put32(out, 54, 0xF800);
    Put32(out, 58, 0x07E0);
    Put32(out, 62, 0x001F);
    for (uint32_t y = 0; y < h; ++y) {
        size_t row = headers + size_t(h - 1 - y) * stride;
        for (uint32_t x = 0; x < w; ++x)
            Put16(out, row + 2 * x, PixelFrom(&rgba[(size_t(y) * w + x) * 4]));
    }

    File f(std::fopen(bmpPath.c_str(), "wb"));
    if (!f || std::fwrite(out.data(), 1, out.size(), f.get()) != out.size())
        throw Error(bmpPath + ": cannot write");
}

} // namespace skinc
