// Image lists: equally sized 16-bit images with optional masks, cut from bitmaps or taken from
// icons, drawn into device contexts. Handles are small numbers, never reused while the process
// lives, so that a stale handle is refused rather than taken for a newer list.
#include "linux/drawing/gdi_internal.h"
#include "linux/libraries/resources.h"

#include <commctrl.h>
#include <winbase.h>

#include <map>
#include <memory>
#include <mutex>

namespace {

constexpr int kMaxSide = 1024;
constexpr int kMaxImages = 4096;

struct ImageList {
    int cx = 0;
    int cy = 0;
    bool masked = false;
    int count = 0;
    std::vector<uint16_t> pixels; // image i at i * cx * cy
    std::vector<uint8_t> opaque; // likewise; 1 = drawn
};

std::mutex& listLock()
{
    static std::mutex m;
    return m;
}

std::map<uint32_t, std::unique_ptr<ImageList>>& lists()
{
    static std::map<uint32_t, std::unique_ptr<ImageList>> m;
    return m;
}

uint32_t g_nextHandle = 1;

ImageList* find(HIMAGELIST handle)
{
    auto it = lists().find(handle.value);
    return it == lists().end() ? nullptr : it->second.get();
}

// The bitmap's pixels, copied under the graphics lock.
bool bitmapPixels(HBITMAP bitmap, std::vector<uint16_t>& out, int& width, int& height)
{
    std::lock_guard guard(gdi::lock());
    gdi::Object* object = gdi::find(bitmap);
    if (!object || object->kind != gdi::Kind::Bitmap)
        return false;
    const GdiSurface& s = static_cast<gdi::Bitmap*>(object)->surface;
    width = s.width;
    height = s.height;
    out.resize(size_t(width) * height);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            out[size_t(y) * width + x] = *gdi::pixelAt(s, x, y);
    return true;
}

// Appends the images cut from a picture; a last partial image is kept with its missing
// columns (and rows) transparent. transparent(i) tells whether picture pixel i is see-through.
template <typename Transparent>
int append(ImageList& list, const std::vector<uint16_t>& pixels, int width, int height, Transparent transparent)
{
    int images = (width + list.cx - 1) / list.cx;
    if (images <= 0 || list.count + images > kMaxImages)
        return -1;
    int first = list.count;
    size_t size = size_t(list.cx) * list.cy;
    list.pixels.resize((list.count + images) * size, 0);
    list.opaque.resize((list.count + images) * size, 0);
    for (int i = 0; i < images; ++i) {
        size_t base = (first + i) * size;
        for (int y = 0; y < list.cy; ++y)
            for (int x = 0; x < list.cx; ++x) {
                int sx = i * list.cx + x;
                size_t to = base + size_t(y) * list.cx + x;
                if (sx >= width || y >= height) {
                    list.opaque[to] = 0;
                    continue;
                }
                size_t from = size_t(y) * width + sx;
                list.pixels[to] = pixels[from];
                list.opaque[to] = (!list.masked || !transparent(from)) ? 1 : 0;
            }
    }
    list.count += images;
    return first;
}

}

HIMAGELIST ImageList_Create(int cx, int cy, UINT flags, int, int)
{
    if (cx <= 0 || cy <= 0 || cx > kMaxSide || cy > kMaxSide) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    auto list = std::make_unique<ImageList>();
    list->cx = cx;
    list->cy = cy;
    list->masked = (flags & ILC_MASK) != 0;
    std::lock_guard guard(listLock());
    uint32_t handle = g_nextHandle++;
    lists()[handle] = std::move(list);
    return HIMAGELIST(handle);
}

BOOL ImageList_Destroy(HIMAGELIST handle)
{
    std::lock_guard guard(listLock());
    if (!lists().erase(handle.value)) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    return TRUE;
}

int ImageList_Add(HIMAGELIST handle, HBITMAP image, HBITMAP mask)
{
    std::vector<uint16_t> pixels, maskPixels;
    int width = 0, height = 0, maskWidth = 0, maskHeight = 0;
    if (!bitmapPixels(image, pixels, width, height))
        return -1;
    bool haveMask = mask && bitmapPixels(mask, maskPixels, maskWidth, maskHeight);
    std::lock_guard guard(listLock());
    ImageList* list = find(handle);
    if (!list)
        return -1;
    return append(*list, pixels, width, height, [&](size_t i) {
        if (!haveMask)
            return false;
        int x = int(i % width), y = int(i / width);
        // White mask pixels are transparent; a mask smaller than the image covers nothing more.
        return x < maskWidth && y < maskHeight && maskPixels[size_t(y) * maskWidth + x] == 0xFFFF;
    });
}

int ImageList_AddMasked(HIMAGELIST handle, HBITMAP image, COLORREF maskColour)
{
    std::vector<uint16_t> pixels;
    int width = 0, height = 0;
    if (!bitmapPixels(image, pixels, width, height))
        return -1;
    uint16_t key = gdi::to565(maskColour);
    bool none = maskColour == CLR_NONE;
    std::lock_guard guard(listLock());
    ImageList* list = find(handle);
    if (!list)
        return -1;
    return append(*list, pixels, width, height, [&](size_t i) { return !none && pixels[i] == key; });
}

int ImageList_ReplaceIcon(HIMAGELIST handle, int index, HICON icon)
{
    sim::IconImage image;
    if (!sim::iconImage(icon, image))
        return -1;
    std::lock_guard guard(listLock());
    ImageList* list = find(handle);
    if (!list || index < -1 || index >= list->count)
        return -1;
    if (index == -1) {
        if (list->count >= kMaxImages)
            return -1;
        index = list->count++;
        size_t size = size_t(list->cx) * list->cy;
        list->pixels.resize(list->count * size, 0);
        list->opaque.resize(list->count * size, 0);
    }
    size_t base = size_t(index) * list->cx * list->cy;
    for (int y = 0; y < list->cy; ++y)
        for (int x = 0; x < list->cx; ++x) {
            size_t from = size_t(y * image.height / list->cy) * image.width + x * image.width / list->cx;
            size_t to = base + size_t(y) * list->cx + x;
            list->pixels[to] = image.pixels[from];
            list->opaque[to] = list->masked ? image.opaque[from] : 1;
        }
    return index;
}

BOOL ImageList_Draw(HIMAGELIST handle, int index, HDC dc, int x, int y, UINT style)
{
    std::vector<uint16_t> pixels;
    std::vector<uint8_t> opaque;
    int cx, cy;
    {
        std::lock_guard guard(listLock());
        ImageList* list = find(handle);
        if (!list || index < 0 || index >= list->count) {
            SetLastError(ERROR_INVALID_PARAMETER);
            return FALSE;
        }
        cx = list->cx;
        cy = list->cy;
        size_t size = size_t(cx) * cy;
        pixels.assign(list->pixels.begin() + index * size, list->pixels.begin() + (index + 1) * size);
        opaque.assign(list->opaque.begin() + index * size, list->opaque.begin() + (index + 1) * size);
    }
    if (style & ILD_MASK) {
        for (size_t i = 0; i < pixels.size(); ++i)
            pixels[i] = opaque[i] ? 0x0000 : 0xFFFF;
        return sim::drawMasked(dc, x, y, cx, cy, pixels.data(), nullptr, cx);
    }
    return sim::drawMasked(dc, x, y, cx, cy, pixels.data(), opaque.data(), cx);
}

int ImageList_GetImageCount(HIMAGELIST handle)
{
    std::lock_guard guard(listLock());
    ImageList* list = find(handle);
    return list ? list->count : 0;
}

BOOL ImageList_GetIconSize(HIMAGELIST handle, int* cx, int* cy)
{
    std::lock_guard guard(listLock());
    ImageList* list = find(handle);
    if (!list || !cx || !cy)
        return FALSE;
    *cx = list->cx;
    *cy = list->cy;
    return TRUE;
}

BOOL ImageList_Remove(HIMAGELIST handle, int index)
{
    std::lock_guard guard(listLock());
    ImageList* list = find(handle);
    if (!list || index < -1 || index >= list->count)
        return FALSE;
    size_t size = size_t(list->cx) * list->cy;
    if (index == -1) {
        list->count = 0;
        list->pixels.clear();
        list->opaque.clear();
        return TRUE;
    }
    list->pixels.erase(list->pixels.begin() + index * size, list->pixels.begin() + (index + 1) * size);
    list->opaque.erase(list->opaque.begin() + index * size, list->opaque.begin() + (index + 1) * size);
    --list->count;
    return TRUE;
}
