#pragma once
// A picture loaded from a skin's 16-bit BMP: its pixels and the file it came from, shared by
// every PictureRef that points into it.
#include "skin/file/PictureRef.h"

#include <windef.h>

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

class Canvas;
class PixelBuffer;
class PixelOp;

class Picture {
public:
    Picture(std::unique_ptr<PixelBuffer> pixels, std::u16string path);
    ~Picture();

    int width() const;
    int height() const;
    const std::u16string& path() const { return m_path; }
    const PixelBuffer& pixels() const { return *m_pixels; }

    // Nine-patch draw of the region `ref` of this picture.
    void draw(Canvas& canvas, POINT position, POINT size, const PictureRef& ref, const PixelOp& op) const;

    // Keeps only the red channel and the opacity bit of every pixel but the colour key.
    void make_red_only();

private:
    std::unique_ptr<PixelBuffer> m_pixels;
    std::u16string m_path;
};

// The pixels of a 16-bit BMP file image, or null for anything else (other depths, absurd
// dimensions, too few bytes).
std::unique_ptr<PixelBuffer> ReadBmp(const uint8_t* data, size_t size);

// Loads "<path>.bmp" as a picture: a PictureRef covering all of it, or one without image
// (logged) when the file is missing or not a 16-bit bitmap.
PictureRef load_565(std::u16string_view pathWithoutExtension);
