#include <simhost.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <vector>

namespace {

std::string tempPath(const char* name)
{
    return (std::filesystem::temp_directory_path() / name).string();
}

TEST(Png565, RoundTripIsExactForEveryChannelValue)
{
    // 32 reds x 64 greens, each row also walking the blues, read through a pitch wider than
    // the picture.
    const int w = 64, h = 32, pitch = 70;
    std::vector<uint16_t> px(pitch * h, 0xDEAD);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            px[y * pitch + x] = static_cast<uint16_t>(y << 11 | x << 5 | ((x + y) & 31));
    std::string path = tempPath("mk_png_roundtrip.png");
    ASSERT_TRUE(SimWritePng565(path.c_str(), px.data(), w, h, pitch));

    uint16_t* back = nullptr;
    int bw = 0, bh = 0;
    ASSERT_TRUE(SimReadPng565(path.c_str(), &back, &bw, &bh));
    ASSERT_EQ(bw, w);
    ASSERT_EQ(bh, h);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            ASSERT_EQ(back[y * w + x], px[y * pitch + x]) << x << "," << y;
    SimFreePng(back);
    std::remove(path.c_str());
}

TEST(Png565, RejectsBadInputCleanly)
{
    uint16_t px[4] = {};
    EXPECT_FALSE(SimWritePng565(tempPath("mk_png_bad.png").c_str(), px, 0, 1, 1));
    EXPECT_FALSE(SimWritePng565(tempPath("mk_png_bad.png").c_str(), px, 2, 2, 1));

    uint16_t* back = reinterpret_cast<uint16_t*>(1);
    int w = 7, h = 7;
    EXPECT_FALSE(SimReadPng565(tempPath("mk_png_missing.png").c_str(), &back, &w, &h));
    EXPECT_EQ(back, nullptr);
    EXPECT_EQ(w, 0);

    // A file that starts like a PNG and then stops.
    std::string path = tempPath("mk_png_truncated.png");
    ASSERT_TRUE(SimWritePng565(path.c_str(), px, 2, 2, 2));
    std::filesystem::resize_file(path, 30);
    EXPECT_FALSE(SimReadPng565(path.c_str(), &back, &w, &h));
    EXPECT_EQ(back, nullptr);
    std::remove(path.c_str());
}

}
