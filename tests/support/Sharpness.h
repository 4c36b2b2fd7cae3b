#pragma once
// Whether a picture was drawn at its screen's own pixels or magnified from a smaller one by
// pixel replication. Replication by a factor of 2 or more (nearest-neighbour magnification,
// whole or fractional) repeats every source pixel at least twice across and twice down, so
// every pixel equals one of its horizontal neighbours and one of its vertical neighbours. A
// native rendering of text and rounded shapes has anti-aliased edges where that fails all the
// time.
//
//   EXPECT_GT(LonePixelShare(shot, width, labelRect), kNativeLonePixelShare);
#include <windef.h>

#include <cstdint>
#include <vector>

// Among the pixels of region (inside a picture of the given pitch) that are no part of a flat
// area (they differ from a 4-neighbour), the share that differs from both horizontal
// neighbours or from both vertical neighbours. 0 for a replicated picture; 0 when the region
// is flat.
double LonePixelShare(const uint16_t* pixels, int pitch, RECT region);

// Below this a region is taken for replicated; native text on a key is far above it.
inline constexpr double kNativeLonePixelShare = 0.15;

// region of the picture magnified `factor` times by replication (nearest neighbour), as the
// desktop's display once showed device pixels; for testing the check itself.
std::vector<uint16_t> Replicated(const uint16_t* pixels, int pitch, RECT region, double factor, int& width, int& height);
