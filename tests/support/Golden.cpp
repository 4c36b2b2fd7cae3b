#include "tests/support/Golden.h"

#include <simhost.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <memory>

namespace {

bool updating()
{
    const char* v = std::getenv("UPDATE_GOLDENS");
    return v && std::strcmp(v, "1") == 0;
}

std::string hex4(uint16_t v)
{
    char buf[8];
    std::snprintf(buf, sizeof buf, "0x%04X", v);
    return buf;
}

}

std::string GoldenPath(const std::string& name)
{
    return std::string(MK_SOURCE_DIR) + "/tests/goldens/" + name + ".png";
}

void ExpectMatchesGolden(const uint16_t* pixels, int width, int height, int pitch,
                         const std::string& name)
{
    std::string path = GoldenPath(name);
    std::string errPath = std::string(MK_SOURCE_DIR) + "/tests/goldens/" + name + "_err.png";
    std::filesystem::create_directories(std::filesystem::path(path).parent_path());

    if (updating()) {
        if (!SimWritePng565(path.c_str(), pixels, width, height, pitch))
            ADD_FAILURE() << "cannot write golden " << path;
        std::remove(errPath.c_str());
        return;
    }

    uint16_t* raw = nullptr;
    int gw = 0, gh = 0;
    if (!SimReadPng565(path.c_str(), &raw, &gw, &gh)) {
        SimWritePng565(errPath.c_str(), pixels, width, height, pitch);
        ADD_FAILURE() << "golden " << path << " is missing or unreadable (run with UPDATE_GOLDENS=1 "
                      << "to create it; the picture drawn is in " << errPath << ")";
        return;
    }
    std::unique_ptr<uint16_t, void (*)(uint16_t*)> golden(raw, SimFreePng);

    if (gw != width || gh != height) {
        SimWritePng565(errPath.c_str(), pixels, width, height, pitch);
        ADD_FAILURE() << "golden " << name << " is " << gw << "x" << gh << ", drawn " << width
                      << "x" << height << " (see " << errPath << ")";
        return;
    }
    for (int y = 0; y < height; ++y) {
        const uint16_t* row = pixels + static_cast<size_t>(y) * pitch;
        const uint16_t* want = golden.get() + static_cast<size_t>(y) * width;
        for (int x = 0; x < width; ++x) {
            if (row[x] == want[x])
                continue;
            SimWritePng565(errPath.c_str(), pixels, width, height, pitch);
            ADD_FAILURE() << "golden " << name << " differs first at (" << x << ", " << y
                          << "): drawn " << hex4(row[x]) << ", expected " << hex4(want[x])
                          << " (see " << errPath << ")";
            return;
        }
    }
    std::remove(errPath.c_str());
}
