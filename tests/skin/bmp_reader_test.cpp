#include "skin/file/BmpFormat.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

namespace {

// A BMP with the given header fields, its pixel words appended after the headers.
std::vector<uint8_t> Bmp(int32_t width, int32_t height, uint16_t bits, const std::vector<uint16_t>& words, uint32_t dataOffset = 54)
{
    std::vector<uint8_t> b(std::max<size_t>(dataOffset, 54), 0);
    auto put32 = [&](size_t at, uint32_t v) {
        for (int i = 0; i < 4; ++i)
            b[at + i] = uint8_t(v >> (8 * i));
    };
    b[0] = 'B';
    b[1] = 'M';
    put32(10, dataOffset);
    put32(14, 40);
    put32(18, uint32_t(width));
    put32(22, uint32_t(height));
    b[26] = 1;
    b[28] = uint8_t(bits);
    for (uint16_t w : words) {
        b.push_back(uint8_t(w));
        b.push_back(uint8_t(w >> 8));
    }
    return b;
}

std::vector<uint16_t> Decode(const std::vector<uint8_t>& file, BmpLayout& layout)
{
    EXPECT_TRUE(ParseBmp565(file.data(), file.size(), layout));
    size_t pitch = (size_t(layout.width) * 2 + 3) & ~size_t(3);
    std::vector<uint16_t> pixels(pitch / 2 * size_t(layout.height), 0xDEAD);
    CopyBmpRows(file.data(), layout, pixels.data(), pitch);
    return pixels;
}

} // namespace

TEST(BmpReader, RowOrderFollowsTheSignOfTheHeight)
{
    // Two rows of 2 pixels (4 bytes: no padding). Rows in file order: A then B.
    std::vector<uint16_t> rows { 0x1111, 0x2222, 0x3333, 0x4444 };
    BmpLayout layout;
    auto topDown = Decode(Bmp(2, -2, 16, rows), layout);
    EXPECT_TRUE(layout.topDown);
    EXPECT_EQ(layout.height, 2);
    EXPECT_EQ(topDown, (std::vector<uint16_t> { 0x1111, 0x2222, 0x3333, 0x4444 }));

    auto bottomUp = Decode(Bmp(2, 2, 16, rows), layout);
    EXPECT_FALSE(layout.topDown);
    EXPECT_EQ(bottomUp, (std::vector<uint16_t> { 0x3333, 0x4444, 0x1111, 0x2222 }));
}

TEST(BmpReader, ThreePixelRowsSkipTwoBytesOfPadding)
{
    // 6 data bytes + 2 padding per row; the padding word 0xBAD0 must never show up.
    std::vector<uint16_t> rows { 1, 2, 3, 0xBAD0, 4, 5, 6, 0xBAD0 };
    BmpLayout layout;
    auto pixels = Decode(Bmp(3, -2, 16, rows), layout);
    EXPECT_EQ(layout.stride, 8u);
    // Destination pitch is 8 bytes too: 4 words per row, the last one untouched.
    EXPECT_EQ(pixels, (std::vector<uint16_t> { 1, 2, 3, 0xDEAD, 4, 5, 6, 0xDEAD }));

    // The last row may come without its padding; one byte less than the pixels is refused.
    rows.pop_back();
    EXPECT_TRUE(ParseBmp565(Bmp(3, -2, 16, rows).data(), Bmp(3, -2, 16, rows).size(), layout));
    auto shortFile = Bmp(3, -2, 16, rows);
    shortFile.pop_back();
    EXPECT_FALSE(ParseBmp565(shortFile.data(), shortFile.size(), layout));
}

TEST(BmpReader, DataOffsetBeyondTheHeadersIsSkipped)
{
    // Bit-field masks (12 bytes) sit between the headers and the pixels.
    auto file = Bmp(1, 1, 16, {}, 66);
    file[54] = 0x77; // a mask byte, not a pixel
    file.push_back(0x34);
    file.push_back(0x12);
    BmpLayout layout;
    EXPECT_EQ(Decode(file, layout), (std::vector<uint16_t> { 0x1234, 0xDEAD }));
}

TEST(BmpReader, RefusesOtherDepthsAndAbsurdOrTruncatedFiles)
{
    BmpLayout layout;
    auto refused = [&](const std::vector<uint8_t>& f) { return !ParseBmp565(f.data(), f.size(), layout); };
    EXPECT_TRUE(refused(Bmp(2, 2, 8, { 0, 0, 0, 0 })));
    EXPECT_TRUE(refused(Bmp(1, 1, 24, { 0, 0 })));
    EXPECT_TRUE(refused(Bmp(0, 1, 16, {})));
    EXPECT_TRUE(refused(Bmp(1, 0, 16, {})));
    EXPECT_TRUE(refused(Bmp(-4, 1, 16, { 0, 0, 0, 0 })));
    EXPECT_TRUE(refused(Bmp(1, INT32_MIN, 16, { 0 })));
    EXPECT_TRUE(refused(Bmp(100000, 1, 16, { 0 })));
    EXPECT_TRUE(refused(Bmp(8000, 8000, 16, { 0 })));
    EXPECT_TRUE(refused(Bmp(2, 2, 16, { 1, 2, 3 }))); // one pixel short
    EXPECT_TRUE(refused(Bmp(1, 1, 16, { 1 }, 20))); // pixels inside the headers
    auto huge = Bmp(1, 1, 16, { 1 });
    huge[10] = huge[11] = huge[12] = huge[13] = 0xFF; // data offset far past the end
    EXPECT_TRUE(refused(huge));
    std::vector<uint8_t> headerOnly(53, 0);
    EXPECT_TRUE(refused(headerOnly));
    EXPECT_TRUE(refused({}));
}
