#include "tools/resc/ResourceList.h"

#include <png.h>

#include <algorithm>
#include <cstring>
#include <fstream>
#include <iterator>
#include <sstream>

namespace resc {

namespace {

constexpr uint32_t kMaxSide = 4096;

uint32_t le32(const uint8_t* p)
{
    return p[0] | p[1] << 8 | p[2] << 16 | uint32_t(p[3]) << 24;
}

uint16_t le16(const uint8_t* p)
{
    return uint16_t(p[0] | p[1] << 8);
}

bool readPng(const std::string& path, Picture& out, std::string& error)
{
    png_image image {};
    image.version = PNG_IMAGE_VERSION;
    if (!png_image_begin_read_from_file(&image, path.c_str())) {
        error = path + ": " + image.message;
        return false;
    }
    if (image.width == 0 || image.height == 0 || image.width > kMaxSide || image.height > kMaxSide) {
        png_image_free(&image);
        error = path + ": picture too large or empty";
        return false;
    }
    image.format = PNG_FORMAT_RGBA;
    out.width = image.width;
    out.height = image.height;
    out.rgba.assign(size_t(image.width) * image.height * 4, 0);
    if (!png_image_finish_read(&image, nullptr, out.rgba.data(), 0, nullptr)) {
        error = path + ": " + image.message;
        png_image_free(&image);
        return false;
    }
    return true;
}

// Uncompressed BMPs of 8 (palette), 16 (555 or 565 bit fields), 24 or 32 bits.
bool readBmp(const std::vector<uint8_t>& f, const std::string& path, Picture& out, std::string& error)
{
    auto bad = [&](const char* why) {
        error = path + ": " + why;
        return false;
    };
    if (f.size() < 54 || f[0] != 'B' || f[1] != 'M')
        return bad("not a BMP file");
    uint32_t dataOffset = le32(&f[10]), headerSize = le32(&f[14]);
    int32_t w = int32_t(le32(&f[18])), h = int32_t(le32(&f[22]));
    uint16_t bits = le16(&f[28]);
    uint32_t compression = le32(&f[30]);
    bool topDown = h < 0;
    int64_t height = topDown ? -int64_t(h) : h;
    if (w <= 0 || height <= 0 || uint32_t(w) > kMaxSide || height > kMaxSide)
        return bad("picture too large or empty");
    if (headerSize < 40 || 14ull + headerSize > f.size())
        return bad("truncated header");
    uint32_t masks[3] = { 0x7C00, 0x03E0, 0x001F };
    if (compression == 3 && bits == 16) {
        if (54 + 12 > f.size())
            return bad("truncated bit fields");
        for (int i = 0; i < 3; ++i) // right after the 40-byte header, inside a longer one
            masks[i] = le32(&f[54 + 4 * i]);
    } else if (compression != 0) {
        return bad("compressed BMPs are not supported");
    }
    if (bits != 8 && bits != 16 && bits != 24 && bits != 32)
        return bad("unsupported bit depth");
    uint64_t stride = (uint64_t(w) * bits / 8 + 3) & ~3ull;
    if (dataOffset > f.size() || stride * height > f.size() - dataOffset)
        return bad("truncated pixels");
    size_t paletteAt = 14 + headerSize;
    uint32_t colours = le32(&f[46]);
    if (bits == 8 && colours == 0)
        colours = 256;
    if (bits == 8 && (colours > 256 || paletteAt + colours * 4ull > f.size()))
        return bad("truncated palette");
    auto expand = [](uint32_t v, uint32_t mask) -> uint8_t {
        if (!mask)
            return 0;
        int shift = __builtin_ctz(mask);
        uint32_t max = mask >> shift;
        return uint8_t(((v & mask) >> shift) * 255 / max);
    };
    out.width = uint32_t(w);
    out.height = uint32_t(height);
    out.rgba.assign(size_t(w) * height * 4, 255);
    for (int64_t y = 0; y < height; ++y) {
        const uint8_t* row = &f[dataOffset + stride * (topDown ? y : height - 1 - y)];
        uint8_t* dst = &out.rgba[size_t(y) * w * 4];
        for (int32_t x = 0; x < w; ++x, dst += 4) {
            if (bits == 8) {
                uint8_t i = row[x];
                if (i >= colours)
                    return bad("palette index out of range");
                const uint8_t* c = &f[paletteAt + i * 4];
                dst[0] = c[2], dst[1] = c[1], dst[2] = c[0];
            } else if (bits == 16) {
                uint32_t v = le16(row + 2 * x);
                dst[0] = expand(v, masks[0]), dst[1] = expand(v, masks[1]), dst[2] = expand(v, masks[2]);
            } else {
                const uint8_t* c = row + x * (bits / 8);
                dst[0] = c[2], dst[1] = c[1], dst[2] = c[0];
            }
        }
    }
    return true;
}

void put32(std::vector<uint8_t>& out, uint32_t v)
{
    for (int i = 0; i < 4; ++i)
        out.push_back(uint8_t(v >> (8 * i)));
}

void set32(std::vector<uint8_t>& out, size_t at, uint32_t v)
{
    for (int i = 0; i < 4; ++i)
        out[at + i] = uint8_t(v >> (8 * i));
}

void putPicture(std::vector<uint8_t>& out, const Picture& p)
{
    put32(out, p.width);
    put32(out, p.height);
    out.insert(out.end(), p.rgba.begin(), p.rgba.end());
}

}

bool ReadPicture(const std::string& path, bool magentaKey, Picture& out, std::string& error)
{
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        error = path + ": cannot read";
        return false;
    }
    std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    bool isPng = bytes.size() >= 8 && std::memcmp(bytes.data(), "\x89PNG", 4) == 0;
    if (!(isPng ? readPng(path, out, error) : readBmp(bytes, path, out, error)))
        return false;
    if (magentaKey)
        for (size_t i = 0; i < out.rgba.size(); i += 4)
            if (out.rgba[i] == 255 && out.rgba[i + 1] == 0 && out.rgba[i + 2] == 255)
                out.rgba[i + 3] = 0;
    return true;
}

bool ReadList(const std::string& path, std::vector<Resource>& out, std::string& error)
{
    std::ifstream in(path);
    if (!in) {
        error = path + ": cannot read";
        return false;
    }
    std::string folder = path.find('/') == std::string::npos ? "." : path.substr(0, path.rfind('/'));
    std::string text;
    int number = 0;
    while (std::getline(in, text)) {
        ++number;
        if (size_t hash = text.find('#'); hash != std::string::npos)
            text.erase(hash);
        std::istringstream line(text);
        std::string idText, kind;
        if (!(line >> idText))
            continue;
        std::string where = path + ":" + std::to_string(number) + ": ";
        char* end = nullptr;
        unsigned long id = std::strtoul(idText.c_str(), &end, 10);
        if (*end || id == 0 || id > 65535) {
            error = where + "the id must be a number from 1 to 65535";
            return false;
        }
        if (!(line >> kind) || (kind != "bitmap" && kind != "icon")) {
            error = where + "the kind must be bitmap or icon";
            return false;
        }
        Resource r;
        r.type = kind == "bitmap" ? 2 : 14;
        r.id = uint32_t(id);
        for (const Resource& other : out)
            if (other.type == r.type && other.id == r.id) {
                error = where + kind + " " + idText + " is listed twice";
                return false;
            }
        std::string file;
        while (line >> file) {
            Picture p;
            if (!ReadPicture(file[0] == '/' ? file : folder + "/" + file, r.type == 14, p, error))
                return false;
            r.pictures.push_back(std::move(p));
        }
        if (r.pictures.empty() || (r.type == 2 && r.pictures.size() != 1)) {
            error = where + (r.type == 2 ? "a bitmap takes one file" : "an icon takes one file per size");
            return false;
        }
        out.push_back(std::move(r));
    }
    return true;
}

std::vector<uint8_t> Pack(const std::vector<Resource>& resources)
{
    std::vector<const Resource*> sorted;
    for (const Resource& r : resources)
        sorted.push_back(&r);
    std::sort(sorted.begin(), sorted.end(), [](auto* a, auto* b) { return a->type != b->type ? a->type < b->type : a->id < b->id; });
    std::vector<uint8_t> out { 'M', 'K', 'R', 'S' };
    put32(out, 1);
    put32(out, uint32_t(sorted.size()));
    size_t table = out.size();
    out.resize(out.size() + sorted.size() * 16);
    for (size_t i = 0; i < sorted.size(); ++i) {
        const Resource& r = *sorted[i];
        size_t start = out.size();
        if (r.type == 14)
            put32(out, uint32_t(r.pictures.size()));
        for (const Picture& p : r.pictures)
            putPicture(out, p);
        set32(out, table + i * 16, r.type);
        set32(out, table + i * 16 + 4, r.id);
        set32(out, table + i * 16 + 8, uint32_t(start));
        set32(out, table + i * 16 + 12, uint32_t(out.size() - start));
    }
    return out;
}

}
