#pragma once
// A screenshot the device host wrote, read back as 16-bit pixels for comparing regions.
#include <simhost.h>

#include <cstdint>
#include <string>

struct Shot {
    uint16_t* pixels = nullptr;
    int width = 0, height = 0;
    explicit Shot(const std::string& path) { SimReadPng565(path.c_str(), &pixels, &width, &height); }
    ~Shot() { SimFreePng(pixels); }
    Shot(const Shot&) = delete;
    Shot& operator=(const Shot&) = delete;
    bool ok() const { return pixels != nullptr; }
    uint16_t at(int x, int y) const { return pixels[y * width + x]; }
    // Pixels that differ from another shot inside the rectangle.
    int differences(const Shot& other, int x0, int y0, int x1, int y1) const
    {
        int n = 0;
        for (int y = y0; y < y1; ++y)
            for (int x = x0; x < x1; ++x)
                n += at(x, y) != other.at(x, y);
        return n;
    }
};
