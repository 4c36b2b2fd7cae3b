#pragma once
// Headers and rows of 16-bit BMP files, held whole in memory. The pixel words are taken as
// RGB565 whatever the compression and masks say.
#include <cstddef>
#include <cstdint>

struct BmpLayout {
    int width = 0;
    int height = 0; // rows, always positive
    bool topDown = false; // the file's height field was negative
    size_t dataOffset = 0;
    size_t stride = 0; // bytes per row in the file, with padding
};

// Pictures beyond these are refused as absurd.
constexpr int kMaxBmpSide = 8192;
constexpr int64_t kMaxBmpPixels = 16 << 20;

// Reads and checks the headers: 16 bits per pixel, sensible dimensions, and every row inside
// the data. False for anything else.
bool ParseBmp565(const uint8_t* data, size_t size, BmpLayout& layout);

// Copies the rows into `pixels` (rows top to bottom, `pitch` bytes apart).
void CopyBmpRows(const uint8_t* data, const BmpLayout& layout, uint16_t* pixels, size_t pitch);
