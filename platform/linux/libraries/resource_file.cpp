// Resources carried inside a library or program file: the resource compiler puts them in the
// ELF section ".mkrsrc"; this file finds that section in the module's file and reads bitmaps
// and icon groups out of it. The file is untrusted: every offset and size is checked.
//
// Section layout (little-endian): "MKRS", version 1, count, then count entries of
// (type, id, offset, size) 32-bit each, offsets from the section start. A bitmap is
// (width, height, RGBA pixels); an icon group is (count, then count bitmaps).
#include "linux/libraries/resources.h"

#include <elf.h>

#include <algorithm>
#include <cstring>
#include <fstream>
#include <map>
#include <memory>
#include <mutex>
#include <sys/stat.h>

namespace sim {

namespace {

constexpr uint32_t kMaxSide = 4096;
constexpr uint64_t kMaxSection = 64ull << 20;

uint32_t le32(const uint8_t* p)
{
    return p[0] | p[1] << 8 | p[2] << 16 | uint32_t(p[3]) << 24;
}

// The bytes of the ".mkrsrc" section of an ELF file, empty when there is none.
std::vector<uint8_t> readSection(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    if (!in)
        return {};
    auto readAt = [&](uint64_t offset, void* out, size_t size) {
        in.clear();
        in.seekg(static_cast<std::streamoff>(offset));
        return static_cast<bool>(in.read(static_cast<char*>(out), static_cast<std::streamsize>(size)));
    };
    Elf64_Ehdr header;
    if (!readAt(0, &header, sizeof header) || std::memcmp(header.e_ident, ELFMAG, SELFMAG) != 0
        || header.e_ident[EI_CLASS] != ELFCLASS64 || header.e_shentsize != sizeof(Elf64_Shdr)
        || header.e_shnum == 0 || header.e_shnum > 4096 || header.e_shstrndx >= header.e_shnum)
        return {};
    std::vector<Elf64_Shdr> sections(header.e_shnum);
    if (!readAt(header.e_shoff, sections.data(), sections.size() * sizeof(Elf64_Shdr)))
        return {};
    const Elf64_Shdr& names = sections[header.e_shstrndx];
    if (names.sh_size > (1u << 20))
        return {};
    std::vector<char> nameBytes(names.sh_size + 1, 0);
    if (!readAt(names.sh_offset, nameBytes.data(), names.sh_size))
        return {};
    for (const Elf64_Shdr& s : sections) {
        if (s.sh_name >= names.sh_size || std::strcmp(&nameBytes[s.sh_name], ".mkrsrc") != 0)
            continue;
        if (s.sh_type == SHT_NOBITS || s.sh_size > kMaxSection)
            return {};
        std::vector<uint8_t> bytes(s.sh_size);
        if (!readAt(s.sh_offset, bytes.data(), bytes.size()))
            return {};
        return bytes;
    }
    return {};
}

struct Cached {
    timespec mtime {};
    off_t size = 0;
    std::shared_ptr<const std::vector<uint8_t>> bytes;
};

std::shared_ptr<const std::vector<uint8_t>> sectionOf(const std::string& path)
{
    static std::mutex mutex;
    static std::map<std::string, Cached> cache;
    struct stat st;
    if (stat(path.c_str(), &st) != 0)
        return nullptr;
    std::lock_guard guard(mutex);
    Cached& c = cache[path];
    if (!c.bytes || c.mtime.tv_sec != st.st_mtim.tv_sec || c.mtime.tv_nsec != st.st_mtim.tv_nsec || c.size != st.st_size) {
        c.bytes = std::make_shared<const std::vector<uint8_t>>(readSection(path));
        c.mtime = st.st_mtim;
        c.size = st.st_size;
    }
    return c.bytes;
}

struct Entry {
    uint32_t type, id, offset, size;
};

std::vector<Entry> entries(const std::vector<uint8_t>& s)
{
    if (s.size() < 12 || std::memcmp(s.data(), "MKRS", 4) != 0 || le32(&s[4]) != 1)
        return {};
    uint64_t count = le32(&s[8]);
    if (count > (s.size() - 12) / 16)
        return {};
    std::vector<Entry> out;
    for (uint64_t i = 0; i < count; ++i) {
        const uint8_t* e = &s[12 + 16 * i];
        Entry entry { le32(e), le32(e + 4), le32(e + 8), le32(e + 12) };
        if (uint64_t(entry.offset) + entry.size > s.size())
            return {};
        out.push_back(entry);
    }
    return out;
}

// One picture at *at within [.., end); advances *at.
bool picture(const std::vector<uint8_t>& s, uint64_t& at, uint64_t end, RgbaPicture& out)
{
    if (end - at < 8)
        return false;
    uint32_t w = le32(&s[at]), h = le32(&s[at + 4]);
    if (w == 0 || h == 0 || w > kMaxSide || h > kMaxSide || (end - at - 8) / 4 / w < h)
        return false;
    out.width = int(w);
    out.height = int(h);
    out.rgba.assign(s.begin() + at + 8, s.begin() + at + 8 + uint64_t(w) * h * 4);
    at += 8 + uint64_t(w) * h * 4;
    return true;
}

}

bool readResource(const std::string& hostFile, uint32_t type, uint32_t id, std::vector<RgbaPicture>& out)
{
    out.clear();
    auto section = sectionOf(hostFile);
    if (!section)
        return false;
    for (const Entry& e : entries(*section)) {
        if (e.type != type || e.id != id)
            continue;
        uint64_t at = e.offset, end = uint64_t(e.offset) + e.size;
        uint32_t count = 1;
        if (type == 14) {
            if (e.size < 4)
                return false;
            count = le32(&(*section)[at]);
            at += 4;
            if (count == 0 || count > 64)
                return false;
        }
        for (uint32_t i = 0; i < count; ++i) {
            RgbaPicture p;
            if (!picture(*section, at, end, p))
                return false;
            out.push_back(std::move(p));
        }
        return true;
    }
    return false;
}

std::vector<uint32_t> resourceIds(const std::string& hostFile, uint32_t type)
{
    std::vector<uint32_t> ids;
    if (auto section = sectionOf(hostFile))
        for (const Entry& e : entries(*section))
            if (e.type == type)
                ids.push_back(e.id);
    std::sort(ids.begin(), ids.end());
    return ids;
}

RgbaPicture scalePicture(const RgbaPicture& in, int width, int height)
{
    RgbaPicture out;
    out.width = width;
    out.height = height;
    out.rgba.assign(size_t(width) * height * 4, 0);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            // The source span of this pixel; at least one source pixel.
            int x0 = x * in.width / width, x1 = std::max(x0 + 1, (x + 1) * in.width / width);
            int y0 = y * in.height / height, y1 = std::max(y0 + 1, (y + 1) * in.height / height);
            unsigned sum[4] = {}, n = 0;
            for (int sy = y0; sy < y1; ++sy)
                for (int sx = x0; sx < x1; ++sx, ++n) {
                    const uint8_t* p = &in.rgba[(size_t(sy) * in.width + sx) * 4];
                    // Colour weighted by alpha so that transparent pixels do not darken edges.
                    for (int c = 0; c < 3; ++c)
                        sum[c] += p[c] * p[3];
                    sum[3] += p[3];
                }
            uint8_t* o = &out.rgba[(size_t(y) * width + x) * 4];
            for (int c = 0; c < 3; ++c)
                o[c] = sum[3] ? uint8_t(sum[c] / sum[3]) : 0;
            o[3] = uint8_t(sum[3] / n);
        }
    return out;
}

}

