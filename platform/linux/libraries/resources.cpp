// Bitmaps, icons and the shell's icons of files, from the resources a module file carries.
#include "linux/libraries/resources.h"
#include "linux/files/device_fs.h"
#include "linux/drawing/gdi_internal.h"
#include "linux/text/host_text.h"
#include "linux/libraries/library.h"

#include <libloader.h>
#include <simhost.h>
#include <winbase.h>
#include <winresource.h>
#include <winuser.h>

#include <algorithm>
#include <cstring>
#include <map>
#include <memory>
#include <mutex>

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
