#include "skin/file/Picture.h"

#include "runtime/Log.h"
#include "skin/file/BmpFormat.h"
#include "skin/file/FileBytes.h"
#include "skin/drawing/NinePatch.h"
#include "skin/drawing/PixelBuffer.h"

namespace {
constexpr uint16_t kColourKey = 0xF81F;
constexpr size_t kMaxBmpFileBytes = 64 << 20;
}

Picture::Picture(std::unique_ptr<PixelBuffer> pixels, std::u16string path)
    : m_pixels(std::move(pixels))
    , m_path(std::move(path))
{
}

Picture::~Picture() = default;

int Picture::width() const { return m_pixels ? m_pixels->width() : 0; }
int Picture::height() const { return m_pixels ? m_pixels->height() : 0; }

void Picture::make_red_only()
{
    for (int y = 0; y < height(); ++y) {
        uint16_t* row = m_pixels->row(y);
        for (int x = 0; x < width(); ++x) {
            if (row[x] != kColourKey)
                row[x] &= 0xF820;
        }
    }
}

void Picture::draw(Canvas& canvas, POINT position, POINT size, const PictureRef& ref, const PixelOp& op) const
{
    if (m_pixels)
        draw_picture(canvas, position, size, *m_pixels, NinePatch { ref.p0, ref.p1, ref.p2, ref.p3, ref.scale_shift }, op);
}

void PictureRef::draw(Canvas& canvas, POINT position, POINT size, const PixelOp& op) const
{
    if (image)
        image->draw(canvas, position, size, *this, op);
}

std::unique_ptr<PixelBuffer> ReadBmp(const uint8_t* data, size_t size)
{
    BmpLayout layout;
    if (!ParseBmp565(data, size, layout))
        return nullptr;
    auto pixels = PixelBuffer::create(layout.width, layout.height);
    if (!pixels)
        return nullptr;
    CopyBmpRows(data, layout, pixels->row(0), size_t(pixels->pitch()));
    return pixels;
}

PictureRef load_565(std::u16string_view pathWithoutExtension)
{
    std::u16string path = std::u16string(pathWithoutExtension) + u".bmp";
    std::vector<uint8_t> bytes;
    std::unique_ptr<PixelBuffer> pixels;
    if (ReadFileBytes(path, bytes, kMaxBmpFileBytes))
        pixels = ReadBmp(bytes.data(), bytes.size());
    if (!pixels) {
        Log().append(u"load_565 ").append(pathWithoutExtension).append(u" is not 16bit bitmap\n");
        return {};
    }
    PictureRef ref;
    ref.p2 = ref.p3 = POINT { pixels->width(), pixels->height() };
    ref.image = std::make_shared<Picture>(std::move(pixels), std::move(path));
    return ref;
}
