#pragma once
// Golden-image checks: rendering is integer and deterministic, so pictures compare exactly.
#include <cstdint>
#include <string>

// Compares 16-bit RGB565 pixels (pitch in pixels) with tests/goldens/<name>.png. On a mismatch
// the test fails naming the first differing pixel, and <name>_err.png is written beside the
// golden. A missing golden fails too, unless UPDATE_GOLDENS=1, which (re)writes it.
void ExpectMatchesGolden(const uint16_t* pixels, int width, int height, int pitch,
                         const std::string& name);

// Where the golden of that name lives.
std::string GoldenPath(const std::string& name);
