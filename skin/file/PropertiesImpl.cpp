#include "skin/file/PropertiesImpl.h"

#include "runtime/Log.h"
#include "runtime/Text.h"
#include "skin/file/DisplayInfo.h"
#include "skin/file/FileBytes.h"
#include "skin/text/FontDescriptor.h"
#include "skin/text/FontRep.h"
#include "skin/file/Picture.h"
#include "skin/file/Properties.h"
#include "skin/file/SkinFormat.h"

#include <winbase.h>

#include <string>

using namespace skinfmt;

namespace {

constexpr size_t kMaxSkinFileBytes = 64 << 20;

// Seconds between readings, from the millisecond tick count.
class Stopwatch {
public:
    Stopwatch()
        : m_start(GetTickCount())
    {
    }

    // Milliseconds since the previous reading; restarts.
    DWORD lap()
    {
        DWORD now = GetTickCount();
        DWORD elapsed = now - m_start;
        m_start = now;
        return elapsed;
    }

private:
    DWORD m_start;
};

// Milliseconds as seconds with three decimals: the log writes only text and integers.
std::u16string Seconds(DWORD milliseconds)
{
    std::string fraction = std::to_string(1000 + milliseconds % 1000).substr(1);
    std::string text = std::to_string(milliseconds / 1000) + "." + fraction;
    return std::u16string(text.begin(), text.end());
}

std::u16string_view DirectoryOf(std::u16string_view path)
{
    size_t slash = path.find_last_of(u"\\/");
    return slash == std::u16string_view::npos ? std::u16string_view() : path.substr(0, slash);
}

// The scale a skin compiled for a screen records; 0 for none (or a value no tool writes).
int DrawnThousandths(const uint8_t* file)
{
    size_t record = FindNamedRecord(file, kDrawnScaleNode);
    if (!record)
        return 0;
    size_t node = FindNode(file, record, NodeKind::Integer, kDrawnScaleKey);
    if (!node)
        return 0;
    int32_t value = ReadI32(file + node + 4);
    return value >= 250 && value <= 64000 ? value : 0;
}

void LogDamaged(std::u16string_view path, const std::string& why)
{
    Log().append(u"Error: skin [").append(path).append(u"] is damaged: ").append(Utf16FromUtf8(why)).append(u"\n");
}

} // namespace

PropertiesImpl::PropertiesImpl(std::u16string_view path, const DisplayInfo& display)
{
    if (!ReadFileBytes(path, buffer, kMaxSkinFileBytes)) {
        buffer.clear();
        Log().append(u"Error: skin [").append(path).append(u"] failed to load\n");
        return;
    }
    build(path, DirectoryOf(path), display);
}

void PropertiesImpl::build(std::u16string_view path, std::u16string_view pictureDir, const DisplayInfo& display)
{
    const uint8_t* file = buffer.data();
    if (!HasHeaderAndMagic(file, buffer.size()))
        return;
    // The file is not trusted: everything the lookups will follow is checked once, here.
    std::string why = CheckSkin(file, buffer.size());
    if (!why.empty()) {
        LogDamaged(path, why);
        return;
    }
    // A skin compiled for its screen is that screen's pixels already: nothing is replicated.
    drawn_thousandths = DrawnThousandths(file);
    scale_shift = drawn_thousandths == 0 && display.dpi > 191 ? 1 : 0;
    Stopwatch watch;

    size_t text = ReadU32(file + kTextAreaOffset);
    auto nextString = [&] {
        std::u16string s = ReadString(file, text);
        text += (s.size() + 1) * 2;
        return s;
    };

    uint32_t pictureCount = ReadU32(file + kPictureCountOffset);
    for (uint32_t i = 0; i < pictureCount; ++i) {
        std::u16string name = nextString();
        PictureRef ref = load_565(std::u16string(pictureDir) + u"\\" + name);
        if (!ref.image || (ref.image->width() == 0 && ref.image->height() == 0)) {
            // One missing picture must not cost the user the whole keyboard: the keys that
            // name it answer with their callers' defaults (Properties::get_picture).
            Log().append(u"PropertiesImpl::PropertiesImpl picture failed to load {").append(name).append(u"}, its keys take their defaults\n");
            pictures.push_back(PictureRef {});
            continue;
        }
        pictures.push_back(std::move(ref));
        Log().append(u"PropertiesImpl::PropertiesImpl picture load time=").append(Seconds(watch.lap())).append(u" {").append(name).append(u"}\n");
    }

    // A rectangle reaching past its picture, or with guides out of order, cannot be drawn as
    // the skin meant: the file is damaged.
    bool inside = true;
    ForEachRecord(file, [&](size_t record) {
        NodeArray nodes = ArrayOf(file, record, NodeKind::Picture);
        for (size_t i = 0; i < nodes.count && inside; ++i) {
            const uint8_t* node = file + nodes.first + i * kNodeSize[int(NodeKind::Picture)];
            const std::shared_ptr<Picture>& image = pictures[node[18]].image;
            if (!image)
                continue; // a missing picture: nothing to lie outside of
            int limit[2] = { image->width(), image->height() };
            for (int axis = 0; axis < 2; ++axis) {
                int c[4];
                for (int k = 0; k < 4; ++k)
                    c[k] = ReadU16(node + 2 + 4 * k + 2 * axis);
                if (!(c[0] <= c[1] && c[1] <= c[2] && c[2] <= c[3] && c[3] <= limit[axis]))
                    inside = false;
            }
            if (!inside)
                why = "picture key \"" + Utf8FromUtf16(ReadString(file, ReadU16(node))) + "\" lies outside its picture";
        }
    });
    if (!inside) {
        LogDamaged(path, why);
        return;
    }

    uint32_t fontCount = ReadU32(file + kFontCountOffset);
    for (uint32_t i = 0; i < fontCount; ++i) {
        FontDesc desc;
        desc.scale = 1 << scale_shift;
        ParseFontDescriptor(nextString(), desc);
        fonts.push_back(std::make_shared<FontRep>(desc));
    }

    uint32_t stringCount = ReadU32(file + kStringCountOffset);
    for (uint32_t i = 0; i < stringCount; ++i)
        strings.push_back(nextString());

    Log().append(u"PropertiesImpl::PropertiesImpl fonts create time=").append(Seconds(watch.lap())).append(u"\n");
    header = file;
}

bool Properties::load_skin(std::u16string_view path, const DisplayInfo& display)
{
    Log().append(u"Properties::load_skin 1\n");
    PropertiesImpl loaded(path, display);
    Log().append(u"Properties::load_skin 2\n");
    if (!loaded.header)
        return false;
    Log().append(u"Properties::load_skin 3\n");
    m_content.swap(loaded);
    return true;
}
