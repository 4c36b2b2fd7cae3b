// Resources carried inside a library or program file: the resource compiler puts them in the
// ELF section ".mkrsrc"; this file finds that section in the module's file and reads bitmaps
// and icon groups out of it. The file is untrusted: every offset and size is checked.
//
// Section layout (little-endian): "MKRS", version 1, count, then count entries of
// (type, id, offset, size) 32-bit each, offsets from the section start. A bitmap is
// (width, height, RGBA pixels); an icon group is (count, then count bitmaps).
#include "linux/resources.h"
#include "linux/device_fs.h"
#include "linux/gdi_internal.h"
#include "linux/host_text.h"
#include "linux/library.h"

#include <libloader.h>
#include <simhost.h>
#include <winbase.h>
#include <winresource.h>
#include <winuser.h>

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
    time_t mtime = 0;
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
    if (!c.bytes || c.mtime != st.st_mtime || c.size != st.st_size) {
        c.bytes = std::make_shared<const std::vector<uint8_t>>(readSection(path));
        c.mtime = st.st_mtime;
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

// ---- bitmaps and icons --------------------------------------------------------------

namespace {

struct Icon {
    sim::IconImage image;
};

std::mutex& iconLock()
{
    static std::mutex m;
    return m;
}

std::map<HICON, std::unique_ptr<Icon>>& icons()
{
    static std::map<HICON, std::unique_ptr<Icon>> m;
    return m;
}

bool moduleFile(HINSTANCE module, std::string& path)
{
    if (!module || !sim::moduleHostFile(module, path)) {
        SetLastError(ERROR_RESOURCE_DATA_NOT_FOUND);
        return false;
    }
    return true;
}

bool numberedName(LPCWSTR name, uint32_t& id)
{
    if (!IS_INTRESOURCE(name) || !name) {
        SetLastError(ERROR_RESOURCE_NAME_NOT_FOUND);
        return false;
    }
    id = static_cast<uint32_t>(reinterpret_cast<uintptr_t>(name));
    return true;
}

HBITMAP bitmapFrom(const sim::RgbaPicture& p)
{
    BITMAPINFO info {};
    info.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
    info.bmiHeader.biWidth = p.width;
    info.bmiHeader.biHeight = -p.height;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 16;
    info.bmiHeader.biCompression = BI_BITFIELDS;
    const DWORD masks[3] = { 0xF800, 0x07E0, 0x001F };
    std::memcpy(info.bmiColors, masks, sizeof masks);
    void* bits = nullptr;
    HBITMAP bitmap = CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    if (!bitmap)
        return nullptr;
    int pitch = (p.width * 2 + 3) / 4 * 2;
    auto* rows = static_cast<uint16_t*>(bits);
    for (int y = 0; y < p.height; ++y)
        for (int x = 0; x < p.width; ++x) {
            const uint8_t* s = &p.rgba[(size_t(y) * p.width + x) * 4];
            rows[y * pitch + x] = gdi::to565(RGB(s[0], s[1], s[2]));
        }
    return bitmap;
}

HICON iconFrom(const std::vector<sim::RgbaPicture>& group, int cx, int cy)
{
    if (group.empty())
        return nullptr;
    // The image nearest in size; on a tie the larger one, which shrinks better than it grows.
    const sim::RgbaPicture* best = &group[0];
    auto distance = [&](const sim::RgbaPicture& p) { return std::abs(p.width - cx) + std::abs(p.height - cy); };
    for (const auto& p : group)
        if (distance(p) < distance(*best) || (distance(p) == distance(*best) && p.width > best->width))
            best = &p;
    sim::RgbaPicture picture = (best->width == cx && best->height == cy) ? *best : sim::scalePicture(*best, cx, cy);
    auto icon = std::make_unique<Icon>();
    icon->image.width = cx;
    icon->image.height = cy;
    for (size_t i = 0; i < picture.rgba.size(); i += 4) {
        const uint8_t* s = &picture.rgba[i];
        icon->image.pixels.push_back(gdi::to565(RGB(s[0], s[1], s[2])));
        icon->image.opaque.push_back(s[3] >= 128 ? 1 : 0);
    }
    HICON handle = reinterpret_cast<HICON>(icon.get());
    std::lock_guard guard(iconLock());
    icons()[handle] = std::move(icon);
    return handle;
}

HICON loadIcon(const std::string& file, uint32_t id, int cx, int cy)
{
    std::vector<sim::RgbaPicture> group;
    if (!sim::readResource(file, 14, id, group)) {
        SetLastError(ERROR_RESOURCE_NAME_NOT_FOUND);
        return nullptr;
    }
    return iconFrom(group, cx, cy);
}

}

namespace sim {

bool iconImage(HICON icon, IconImage& out)
{
    std::lock_guard guard(iconLock());
    auto it = icons().find(icon);
    if (it == icons().end())
        return false;
    out = it->second->image;
    return true;
}

bool drawMasked(HDC handle, int x, int y, int width, int height, const uint16_t* pixels, const uint8_t* opaque, int pitch)
{
    std::lock_guard guard(gdi::lock());
    gdi::DC* dc = gdi::findDC(handle);
    if (!dc)
        return false;
    x += dc->originX;
    y += dc->originY;
    RECT area = gdi::intersect(RECT { x, y, x + width, y + height }, dc->clip);
    for (int sy = area.top; sy < area.bottom; ++sy) {
        uint16_t* dst = gdi::pixelAt(dc->surface, area.left, sy);
        size_t row = size_t(sy - y) * pitch;
        for (int sx = area.left; sx < area.right; ++sx, ++dst) {
            size_t i = row + (sx - x);
            if (!opaque || opaque[i])
                *dst = pixels[i];
        }
    }
    return true;
}

}

HBITMAP LoadBitmap(HINSTANCE module, LPCWSTR name)
{
    std::string file;
    uint32_t id;
    if (!moduleFile(module, file) || !numberedName(name, id))
        return nullptr;
    std::vector<sim::RgbaPicture> pictures;
    if (!sim::readResource(file, 2, id, pictures)) {
        SetLastError(ERROR_RESOURCE_NAME_NOT_FOUND);
        return nullptr;
    }
    return bitmapFrom(pictures[0]);
}

HICON LoadIcon(HINSTANCE module, LPCWSTR name)
{
    std::string file;
    uint32_t id;
    if (!moduleFile(module, file) || !numberedName(name, id))
        return nullptr;
    return loadIcon(file, id, GetSystemMetrics(SM_CXICON), GetSystemMetrics(SM_CYICON));
}

HANDLE LoadImage(HINSTANCE module, LPCWSTR name, UINT type, int cx, int cy, UINT flags)
{
    if (flags & LR_LOADFROMFILE) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    if (type == IMAGE_BITMAP)
        return LoadBitmap(module, name);
    if (type != IMAGE_ICON) {
        SetLastError(ERROR_RESOURCE_TYPE_NOT_FOUND);
        return nullptr;
    }
    std::string file;
    uint32_t id;
    if (!moduleFile(module, file) || !numberedName(name, id))
        return nullptr;
    if (cx <= 0)
        cx = GetSystemMetrics(SM_CXICON);
    if (cy <= 0)
        cy = GetSystemMetrics(SM_CYICON);
    if (cx > int(4096) || cy > int(4096)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    return loadIcon(file, id, cx, cy);
}

BOOL DestroyIcon(HICON icon)
{
    std::lock_guard guard(iconLock());
    if (!icons().erase(icon)) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    return TRUE;
}

BOOL DrawIconEx(HDC dc, int x, int y, HICON icon, int cx, int cy, UINT, HBRUSH, UINT flags)
{
    sim::IconImage image;
    if (!sim::iconImage(icon, image)) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    if (cx <= 0)
        cx = image.width;
    if (cy <= 0)
        cy = image.height;
    if (cx > 4096 || cy > 4096)
        return FALSE;
    if (cx != image.width || cy != image.height) {
        // Nearest pixels: icons drawn at another size are rare and small.
        sim::IconImage scaled;
        scaled.width = cx;
        scaled.height = cy;
        for (int yy = 0; yy < cy; ++yy)
            for (int xx = 0; xx < cx; ++xx) {
                size_t from = size_t(yy * image.height / cy) * image.width + xx * image.width / cx;
                scaled.pixels.push_back(image.pixels[from]);
                scaled.opaque.push_back(image.opaque[from]);
            }
        image = std::move(scaled);
    }
    if ((flags & DI_NORMAL) == DI_MASK) {
        for (size_t i = 0; i < image.pixels.size(); ++i)
            image.pixels[i] = image.opaque[i] ? 0x0000 : 0xFFFF;
        return sim::drawMasked(dc, x, y, cx, cy, image.pixels.data(), nullptr, cx);
    }
    bool masked = (flags & DI_MASK) || !(flags & DI_IMAGE);
    return sim::drawMasked(dc, x, y, cx, cy, image.pixels.data(), masked ? image.opaque.data() : nullptr, cx);
}

BOOL DrawIcon(HDC dc, int x, int y, HICON icon)
{
    return DrawIconEx(dc, x, y, icon, 0, 0, 0, nullptr, DI_NORMAL);
}

UINT ExtractIconEx(LPCWSTR file, int index, HICON* large, HICON* small, UINT count)
{
    std::string host;
    if (!file || !sim::hostPathOf(sim::viewOf(file), host))
        return 0;
    std::vector<uint32_t> ids = sim::resourceIds(host, 14);
    if (index == -1 && !large && !small)
        return static_cast<UINT>(ids.size());
    std::vector<uint32_t> chosen;
    if (index < 0) {
        uint32_t id = static_cast<uint32_t>(-static_cast<int64_t>(index));
        if (std::find(ids.begin(), ids.end(), id) != ids.end())
            chosen.push_back(id);
    } else {
        for (size_t i = size_t(index); i < ids.size() && chosen.size() < count; ++i)
            chosen.push_back(ids[i]);
    }
    UINT filled = 0;
    for (uint32_t id : chosen) {
        if (filled >= count)
            break;
        if (large)
            large[filled] = loadIcon(host, id, GetSystemMetrics(SM_CXICON), GetSystemMetrics(SM_CYICON));
        if (small)
            small[filled] = loadIcon(host, id, GetSystemMetrics(SM_CXSMICON), GetSystemMetrics(SM_CYSMICON));
        ++filled;
    }
    return filled;
}

bool SimIconSize(HICON icon, int* width, int* height)
{
    std::lock_guard guard(iconLock());
    auto it = icons().find(icon);
    if (it == icons().end())
        return false;
    if (width)
        *width = it->second->image.width;
    if (height)
        *height = it->second->image.height;
    return true;
}

HICON SimIconFromLocation(LPCWSTR location, bool small)
{
    std::u16string_view text = sim::viewOf(location);
    size_t comma = text.rfind(u',');
    std::u16string file(text.substr(0, comma));
    long index = 0;
    if (comma != std::u16string_view::npos) {
        std::string number = sim::toUtf8(text.substr(comma + 1));
        char* end = nullptr;
        index = std::strtol(number.c_str(), &end, 10);
        if (number.empty() || *end || index < -65535 || index > 65535)
            return nullptr;
    }
    HICON icon = nullptr;
    if (ExtractIconEx(file.c_str(), int(index), small ? nullptr : &icon, small ? &icon : nullptr, 1) != 1)
        return nullptr;
    return icon;
}
