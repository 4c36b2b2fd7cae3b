// The resource compiler's reading of resource lists and pictures, and the table it packs.
#include "tools/resc/ResourceList.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>

namespace fs = std::filesystem;

namespace {

struct Lists : ::testing::Test {
    fs::path dir;
    void SetUp() override
    {
        char pattern[] = "/tmp/resc-test-XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        dir = pattern;
    }
    void TearDown() override { fs::remove_all(dir); }
    void write(const std::string& name, const std::string& bytes) { std::ofstream(dir / name, std::ios::binary) << bytes; }
    std::string list(const std::string& text)
    {
        write("list.txt", text);
        return (dir / "list.txt").string();
    }
};

std::string le32(uint32_t v)
{
    return { char(v), char(v >> 8), char(v >> 16), char(v >> 24) };
}

// An uncompressed BMP: 54-byte header, optional palette, rows padded to 4 bytes.
std::string bmp(int width, int height, int bits, const std::string& palette, const std::string& rows)
{
    std::string h = "BM" + le32(uint32_t(54 + palette.size() + rows.size())) + le32(0) + le32(uint32_t(54 + palette.size()));
    h += le32(40) + le32(uint32_t(width)) + le32(uint32_t(height)) + std::string("\x01\x00", 2) + char(bits) + '\0';
    h += le32(0) + le32(uint32_t(rows.size())) + le32(0) + le32(0) + le32(bits == 8 ? uint32_t(palette.size() / 4) : 0) + le32(0);
    return h + palette + rows;
}

TEST_F(Lists, ReadsBitmapsAndIconGroupsFromBmpFiles)
{
    // 2x2, 24 bits, bottom-up: the first row in the file is the bottom one.
    std::string pad(2, '\0');
    std::string rows = std::string("\x00\x00\xFF\x00\xFF\x00", 6) + pad + std::string("\xFF\x00\x00\xFF\x00\xFF", 6) + pad;
    write("a.bmp", bmp(2, 2, 24, "", rows));
    // 2x1 with a palette of two colours: magenta (see-through in icons) and white.
    write("p.bmp", bmp(2, 1, 8, std::string("\xFF\x00\xFF\x00\xFF\xFF\xFF\x00", 8), std::string("\x00\x01\x00\x00", 4)));
    std::vector<resc::Resource> out;
    std::string error;
    ASSERT_TRUE(resc::ReadList(list("# pictures\n7 bitmap a.bmp\n9 icon p.bmp a.bmp  # two sizes\n\n"), out, error)) << error;
    ASSERT_EQ(out.size(), 2u);
    EXPECT_EQ(out[0].type, 2u);
    EXPECT_EQ(out[0].id, 7u);
    const auto& px = out[0].pictures[0].rgba;
    EXPECT_EQ(std::vector<uint8_t>(px.begin(), px.begin() + 4), (std::vector<uint8_t> { 0, 0, 255, 255 })); // top-left blue
    EXPECT_EQ(std::vector<uint8_t>(px.begin() + 8, px.begin() + 12), (std::vector<uint8_t> { 255, 0, 0, 255 }));
    EXPECT_EQ(out[1].pictures.size(), 2u);
    EXPECT_EQ(out[1].pictures[0].rgba[3], 0); // magenta is see-through in an icon
    EXPECT_EQ(out[1].pictures[0].rgba[7], 255);

    std::vector<uint8_t> packed = resc::Pack(out);
    ASSERT_GE(packed.size(), 12u + 32u);
    EXPECT_EQ(std::string(packed.begin(), packed.begin() + 4), "MKRS");
    EXPECT_EQ(packed[8], 2); // two entries, bitmaps first
    EXPECT_EQ(packed[12], 2);
    EXPECT_EQ(packed[28], 14);
}

TEST_F(Lists, ReportsTheLineAndTheFaultOfABadList)
{
    write("a.bmp", bmp(1, 1, 24, "", std::string("\x10\x20\x30\x00", 4)));
    write("broken.bmp", bmp(4, 4, 24, "", "short"));
    struct Case {
        const char* text;
        const char* message;
    } cases[] = {
        { "0 bitmap a.bmp\n", "list.txt:1: the id must be a number from 1 to 65535" },
        { "1 bitmap a.bmp\n70000 bitmap a.bmp\n", "list.txt:2: the id must be a number from 1 to 65535" },
        { "5 cursor a.bmp\n", "list.txt:1: the kind must be bitmap or icon" },
        { "5 bitmap a.bmp\n5 bitmap a.bmp\n", "list.txt:2: bitmap 5 is listed twice" },
        { "5 bitmap a.bmp a.bmp\n", "list.txt:1: a bitmap takes one file" },
        { "5 icon\n", "list.txt:1: an icon takes one file per size" },
        { "5 bitmap missing.png\n", "missing.png: cannot read" },
        { "5 bitmap broken.bmp\n", "broken.bmp: truncated pixels" },
    };
    for (const Case& c : cases) {
        std::vector<resc::Resource> out;
        std::string error;
        EXPECT_FALSE(resc::ReadList(list(c.text), out, error)) << c.text;
        EXPECT_NE(error.find(c.message), std::string::npos) << error;
    }
}

}
