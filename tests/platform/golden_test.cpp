#include "tests/support/Golden.h"

#include <gtest/gtest-spi.h>
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <vector>

namespace {

std::vector<uint16_t> checker(int w, int h)
{
    std::vector<uint16_t> px(w * h);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            px[y * w + x] = ((x ^ y) & 1) ? 0xF81F : 0x07E0;
    return px;
}

TEST(Golden, ReportsFirstDifferingPixelAndWritesErrorPicture)
{
    auto px = checker(5, 3);
    ExpectMatchesGolden(px.data(), 5, 3, 5, "support/checker");
    if (std::getenv("UPDATE_GOLDENS"))
        GTEST_SKIP() << "the failures below are meaningless while goldens are rewritten";

    px[1 * 5 + 3] = 0x1234;
    px[2 * 5 + 4] = 0x1234;
    std::string err = std::string(MK_SOURCE_DIR) + "/tests/goldens/support/checker_err.png";
    EXPECT_NONFATAL_FAILURE(ExpectMatchesGolden(px.data(), 5, 3, 5, "support/checker"),
                            "differs first at (3, 1): drawn 0x1234, expected 0x07E0");
    EXPECT_TRUE(std::filesystem::exists(err));
    std::filesystem::remove(err);

    EXPECT_NONFATAL_FAILURE(ExpectMatchesGolden(px.data(), 4, 3, 5, "support/checker"),
                            "is 5x3, drawn 4x3");
    std::filesystem::remove(err);
}

TEST(Golden, MissingGoldenIsAFailure)
{
    if (std::getenv("UPDATE_GOLDENS"))
        GTEST_SKIP() << "would create the golden";
    auto px = checker(2, 2);
    EXPECT_NONFATAL_FAILURE(ExpectMatchesGolden(px.data(), 2, 2, 2, "support/no_such_golden"),
                            "missing");
    std::filesystem::remove(std::string(MK_SOURCE_DIR) + "/tests/goldens/support/no_such_golden_err.png");
}

}
