#include "skin/file/Properties.h"

#include "skin/file/SkinFormat.h"

#include <cmath>

using namespace skinfmt;

Properties::Properties() = default;
Properties::~Properties() = default;

size_t Properties::offset_of(const ElementRecord& record) const
{
    return size_t(reinterpret_cast<const uint8_t*>(&record) - m_content.buffer.data());
}

const ElementRecord* Properties::find_node(std::u16string_view name) const
{
    if (empty())
        return nullptr;
    size_t at = FindNamedRecord(m_content.buffer.data(), name);
    if (!at)
        return nullptr;
    return reinterpret_cast<const ElementRecord*>(m_content.buffer.data() + at);
}

size_t Properties::find(const ElementRecord& record, int kind, std::u16string_view key) const
{
    return FindNode(m_content.buffer.data(), offset_of(record), NodeKind(kind), key);
}

size_t Properties::count(const ElementRecord& record, int kind) const
{
    return ArrayOf(m_content.buffer.data(), offset_of(record), NodeKind(kind)).count;
}

int32_t Properties::get_int(const ElementRecord& record, std::u16string_view key, int32_t fallback) const
{
    size_t node = find(record, int(NodeKind::Integer), key);
    return node ? ReadI32(m_content.buffer.data() + node + 4) : fallback;
}

std::shared_ptr<FontRep> Properties::get_font(const ElementRecord& record, std::u16string_view key, std::shared_ptr<FontRep> fallback) const
{
    size_t node = find(record, int(NodeKind::Font), key);
    if (!node)
        return fallback;
    return m_content.fonts[size_t(ReadI32(m_content.buffer.data() + node + 4))];
}

POINT Properties::get_point(const ElementRecord& record, std::u16string_view key, POINT fallback) const
{
    size_t node = find(record, int(NodeKind::Point), key);
    if (!node)
        return fallback;
    const uint8_t* p = m_content.buffer.data() + node;
    // Multiplied rather than shifted: negative coordinates are common.
    int scale = 1 << m_content.scale_shift;
    return POINT { ReadI16(p + 4) * scale, ReadI16(p + 6) * scale };
}

std::u16string Properties::get_string(const ElementRecord& record, std::u16string_view key, std::u16string_view fallback) const
{
    size_t node = find(record, int(NodeKind::String), key);
    if (!node)
        return std::u16string(fallback);
    return m_content.strings[ReadU16(m_content.buffer.data() + node + 2)];
}

PictureRef Properties::get_picture(const ElementRecord& record, std::u16string_view key, const PictureRef& fallback) const
{
    size_t node = find(record, int(NodeKind::Picture), key);
    if (!node)
        return fallback;
    const uint8_t* p = m_content.buffer.data() + node;
    if (!m_content.pictures[p[18]].image)
        return fallback; // its picture was missing when the skin loaded
    int s = m_content.scale_shift;
    auto corner = [&](int i) { return POINT { LONG(ReadU16(p + 2 + 4 * i)) << s, LONG(ReadU16(p + 4 + 4 * i)) << s }; };
    PictureRef ref;
    ref.p0 = corner(0);
    ref.p1 = corner(1);
    ref.p2 = corner(2);
    ref.p3 = corner(3);
    ref.image = m_content.pictures[p[18]].image;
    ref.scale_shift = s;
    ref.flag = p[19];
    return ref;
}

SkinColor Properties::get_color(const ElementRecord& record, std::u16string_view key, SkinColor fallback) const
{
    size_t node = find(record, int(NodeKind::Color), key);
    if (!node)
        return fallback;
    const uint8_t* p = m_content.buffer.data() + node;
    return SkinColor { p[4], p[5], p[6], 255 };
}

size_t Properties::integer_count(const ElementRecord& record) const { return count(record, int(NodeKind::Integer)); }
size_t Properties::font_count(const ElementRecord& record) const { return count(record, int(NodeKind::Font)); }
size_t Properties::point_count(const ElementRecord& record) const { return count(record, int(NodeKind::Point)); }
size_t Properties::string_count(const ElementRecord& record) const { return count(record, int(NodeKind::String)); }
size_t Properties::picture_count(const ElementRecord& record) const { return count(record, int(NodeKind::Picture)); }
size_t Properties::color_count(const ElementRecord& record) const { return count(record, int(NodeKind::Color)); }

size_t Properties::child_count(const ElementRecord& record) const
{
    return ReadU16(reinterpret_cast<const uint8_t*>(&record) + 14);
}

const ElementRecord& Properties::child(const ElementRecord& record, size_t index) const
{
    const uint8_t* file = m_content.buffer.data();
    uint32_t at = ReadU32(file + offset_of(record) + kRecordHeader + 4 * index);
    return *reinterpret_cast<const ElementRecord*>(file + at);
}

double Properties::pixel_scale() const
{
    return m_content.drawn_thousandths ? m_content.drawn_thousandths / 1000.0 : double(1 << m_content.scale_shift);
}

int Properties::pixels(int design) const
{
    if (!m_content.drawn_thousandths)
        return design * (1 << m_content.scale_shift);
    return static_cast<int>(std::lround(design * pixel_scale()));
}

std::u16string Properties::translate(std::u16string_view key) const
{
    auto found = m_texts.find(key);
    return found == m_texts.end() ? std::u16string(key) : found->second;
}

void Properties::set_translation(const std::u16string& key, const std::u16string& text)
{
    m_texts[key] = text;
}

void PropertiesImpl::swap(PropertiesImpl& other) noexcept
{
    buffer.swap(other.buffer);
    std::swap(header, other.header);
    pictures.swap(other.pictures);
    fonts.swap(other.fonts);
    strings.swap(other.strings);
    std::swap(scale_shift, other.scale_shift);
    std::swap(drawn_thousandths, other.drawn_thousandths);
}
