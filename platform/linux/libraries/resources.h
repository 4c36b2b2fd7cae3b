#pragma once
// Resources inside the platform: the pictures a module file carries, icons, and masked drawing
// into device contexts (shared by icons and image lists).
#include <windef.h>

#include <cstdint>
#include <string>
#include <vector>

namespace sim {

// A picture in 8-bit RGBA, top-down.
struct RgbaPicture {
    int width = 0;
    int height = 0;
    std::vector<uint8_t> rgba;
};

// A resource of a module file: type 2 a bitmap (one picture), 14 an icon group (one picture per
// size). False when the file carries no such resource or its resources are damaged.
bool readResource(const std::string& hostFile, uint32_t type, uint32_t id, std::vector<RgbaPicture>& out);
// Ids of the file's resources of a type, ascending.
std::vector<uint32_t> resourceIds(const std::string& hostFile, uint32_t type);

// Box-filtered (shrinking) or nearest (growing) resize.
RgbaPicture scalePicture(const RgbaPicture& in, int width, int height);

// An icon: 16-bit pixels with a mask (1 = opaque).
struct IconImage {
    int width = 0;
    int height = 0;
    std::vector<uint16_t> pixels;
    std::vector<uint8_t> opaque;
};
bool iconImage(HICON icon, IconImage& out);

// Draws width x height pixels (pitch in pixels) at (x, y) of dc, only where opaque is 1 (all
// when opaque is null), clipped to the DC.
bool drawMasked(HDC dc, int x, int y, int width, int height, const uint16_t* pixels, const uint8_t* opaque, int pitch);

}
