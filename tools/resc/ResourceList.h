#pragma once
// A resource list: one resource a line, "ID KIND FILE [FILE...]", '#' starts a comment.
//   504 bitmap wide.png          a bitmap from a PNG or an uncompressed BMP
//   503 icon big.png small.png   an icon group, one picture per size (square or not)
// Files are relative to the list's folder. Pictures keep their alpha; in BMPs, and in PNGs
// without alpha, pure magenta is transparent in icons.
#include <cstdint>
#include <string>
#include <vector>

namespace resc {

struct Picture {
    uint32_t width = 0;
    uint32_t height = 0;
    std::vector<uint8_t> rgba; // top-down rows
};

struct Resource {
    uint32_t type = 0; // 2 bitmap, 14 icon group
    uint32_t id = 0;
    std::vector<Picture> pictures;
};

// False with a message naming the line or file at fault.
bool ReadList(const std::string& path, std::vector<Resource>& out, std::string& error);
bool ReadPicture(const std::string& path, bool magentaKey, Picture& out, std::string& error);
// The blob the platform reads (see platform/linux/resources.cpp).
std::vector<uint8_t> Pack(const std::vector<Resource>& resources);

}
