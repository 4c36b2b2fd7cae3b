#include <simhost.h>

#include <png.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

// Refuse pictures that could only come from a damaged file: larger than any device screen by far.
constexpr int kMaxSide = 16384;
constexpr long long kMaxPixels = 64ll * 1024 * 1024;

// 5- and 6-bit channels widen by repeating their top bits, so that reading back truncates to
// exactly the original word.
inline void expand565(uint16_t p, png_bytep out)
{
    unsigned r = p >> 11, g = (p >> 5) & 0x3F, b = p & 0x1F;
    out[0] = static_cast<png_byte>(r << 3 | r >> 2);
    out[1] = static_cast<png_byte>(g << 2 | g >> 4);
    out[2] = static_cast<png_byte>(b << 3 | b >> 2);
}

}

bool SimWritePng565(const char* path, const uint16_t* pixels, int width, int height, int pitch)
{
    if (!path || !pixels || width <= 0 || height <= 0 || pitch < width || width > kMaxSide
        || height > kMaxSide)
        return false;
    std::vector<png_byte> rgb(static_cast<size_t>(width) * height * 3);
    for (int y = 0; y < height; ++y) {
        const uint16_t* row = pixels + static_cast<size_t>(y) * pitch;
        png_bytep out = rgb.data() + static_cast<size_t>(y) * width * 3;
        for (int x = 0; x < width; ++x)
            expand565(row[x], out + x * 3);
    }

    png_image image;
    std::memset(&image, 0, sizeof image);
    image.version = PNG_IMAGE_VERSION;
    image.width = static_cast<png_uint_32>(width);
    image.height = static_cast<png_uint_32>(height);
    image.format = PNG_FORMAT_RGB;

    // Readers (viewers, other tests) never see a half-written picture.
    std::string temp = std::string(path) + ".part";
    if (!png_image_write_to_file(&image, temp.c_str(), 0, rgb.data(), width * 3, nullptr)) {
        png_image_free(&image);
        std::remove(temp.c_str());
        return false;
    }
    if (std::rename(temp.c_str(), path) != 0) {
        std::remove(temp.c_str());
        return false;
    }
    return true;
}

bool SimReadPng565(const char* path, uint16_t** pixels, int* width, int* height)
{
    if (!path || !pixels || !width || !height)
        return false;
    *pixels = nullptr;
    *width = *height = 0;

    png_image image;
    std::memset(&image, 0, sizeof image);
    image.version = PNG_IMAGE_VERSION;
    if (!png_image_begin_read_from_file(&image, path))
        return false;
    if (image.width == 0 || image.height == 0 || image.width > kMaxSide || image.height > kMaxSide
        || static_cast<long long>(image.width) * image.height > kMaxPixels) {
        png_image_free(&image);
        return false;
    }
    // Read with alpha and drop it: a keyed picture keeps its colours wherever it is see-through.
    image.format = PNG_FORMAT_RGBA;
    std::vector<png_byte> rgba(PNG_IMAGE_SIZE(image));
    if (!png_image_finish_read(&image, nullptr, rgba.data(), 0, nullptr)) {
        png_image_free(&image);
        return false;
    }

    size_t count = static_cast<size_t>(image.width) * image.height;
    auto* out = static_cast<uint16_t*>(std::malloc(count * sizeof(uint16_t)));
    if (!out)
        return false;
    for (size_t i = 0; i < count; ++i) {
        const png_byte* p = rgba.data() + i * 4;
        out[i] = static_cast<uint16_t>((p[0] >> 3) << 11 | (p[1] >> 2) << 5 | (p[2] >> 3));
    }
    *pixels = out;
    *width = static_cast<int>(image.width);
    *height = static_cast<int>(image.height);
    return true;
}

void SimFreePng(uint16_t* pixels)
{
    std::free(pixels);
}
