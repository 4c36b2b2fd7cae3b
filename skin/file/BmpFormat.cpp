#include "skin/file/BmpFormat.h"

#include "skin/file/SkinFormat.h"

#include <cstring>

using skinfmt::ReadI32;
using skinfmt::ReadU16;
using skinfmt::ReadU32;

namespace {
constexpr size_t kFileHeader = 14;
constexpr size_t kInfoHeader = 40;
}

bool ParseBmp565(const uint8_t* data, size_t size, BmpLayout& layout)
{
    if (!data || size < kFileHeader + kInfoHeader)
        return false;
    const uint8_t* info = data + kFileHeader;
    if (ReadU16(info + 14) != 16)
        return false;
    int64_t width = ReadI32(info + 4);
    int64_t height = ReadI32(info + 8);
    int64_t rows = height < 0 ? -height : height;
    if (width <= 0 || rows == 0 || width > kMaxBmpSide || rows > kMaxBmpSide || width * rows > kMaxBmpPixels)
        return false;
    size_t offset = ReadU32(data + 10);
    size_t stride = size_t((16 * width + 31) / 32) * 4;
    // The last row may lack its padding.
    if (offset < kFileHeader + kInfoHeader || offset > size
        || (size - offset) < stride * size_t(rows - 1) + size_t(width) * 2)
        return false;
    layout.width = int(width);
    layout.height = int(rows);
    layout.topDown = height < 0;
    layout.dataOffset = offset;
    layout.stride = stride;
    return true;
}

void CopyBmpRows(const uint8_t* data, const BmpLayout& layout, uint16_t* pixels, size_t pitch)
{
    const uint8_t* row = data + layout.dataOffset;
    for (int i = 0; i < layout.height; ++i, row += layout.stride) {
        int y = layout.topDown ? i : layout.height - 1 - i;
        uint16_t* out = reinterpret_cast<uint16_t*>(reinterpret_cast<uint8_t*>(pixels) + size_t(y) * pitch);
        for (int x = 0; x < layout.width; ++x)
            out[x] = ReadU16(row + 2 * x);
    }
}
