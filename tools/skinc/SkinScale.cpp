#include "tools/skinc/SkinSource.h"

#include "runtime/Text.h"
#include "tools/skinart/ArtScale.h"

#include <algorithm>
#include <cmath>
#include <string>
#include <string_view>
#include <vector>

namespace skinc {

namespace {

using skinfmt::NodeKind;

template <typename T>
T ScaledField(long v, double scale, long low, long high)
{
    return T(std::clamp<long>(art::Scaled(double(v), scale), low, high));
}

// The size field of a font descriptor ("11 0 0 0 Tahoma"), scaled; the rest of the text as it
// is. A descriptor without a size keeps the loader's default and is left alone.
std::u16string ScaledFont(const std::u16string& descriptor, double scale)
{
    size_t at = 0;
    while (at < descriptor.size() && (descriptor[at] == u' ' || descriptor[at] == u'\t'))
        ++at;
    size_t digits = at;
    if (digits < descriptor.size() && (descriptor[digits] == u'+' || descriptor[digits] == u'-'))
        ++digits;
    size_t end = digits;
    while (end < descriptor.size() && descriptor[end] >= u'0' && descriptor[end] <= u'9' && end - digits < 6)
        ++end;
    if (end == digits)
        return descriptor;
    const long size = std::stol(Utf8FromUtf16(descriptor.substr(at, end - at)));
    const std::string scaled = std::to_string(art::Scaled(double(size), scale));
    return descriptor.substr(0, at) + Utf16FromUtf8(scaled) + descriptor.substr(end);
}

void ScaleKeys(Element& element, double scale);

Value* Key(Element& element, std::u16string_view name, NodeKind kind)
{
    for (auto& [key, value] : element.keys)
        if (key == name && value.kind == kind)
            return &value;
    return nullptr;
}

// The axis a table lays its children along: 0 for "htable", 1 for "vtable", -1 for no table.
int TableAxis(Element& element)
{
    const Value* type = Key(element, u"type", NodeKind::String);
    if (!type)
        return -1;
    return type->text == u"htable" ? 0 : type->text == u"vtable" ? 1 : -1;
}

// An element's design length along an axis: its design size, else (a table along that axis)
// its children's lengths added up.
int DesignLength(Element& element, int axis)
{
    if (const Value* size = Key(element, u"design_size", NodeKind::Point); size && (axis ? size->y : size->x) > 0)
        return axis ? size->y : size->x;
    int sum = 0;
    if (TableAxis(element) == axis)
        for (Element& child : element.children)
            sum += DesignLength(child, axis);
    return sum;
}

// A table's cells rounded one by one could add up to more than the table scaled whole, and a
// row of keys would grow wider than its screen: each cell of a table ends where its end scales
// to.
void ScaleElement(Element& element, double scale)
{
    const int axis = TableAxis(element);
    std::vector<int> lengths; // along the table's axis, before scaling
    std::vector<bool> sized; // the cell has a design length of its own there
    if (axis >= 0)
        for (Element& child : element.children) {
            lengths.push_back(DesignLength(child, axis));
            const Value* size = Key(child, u"design_size", NodeKind::Point);
            sized.push_back(size && (axis ? size->y : size->x) > 0);
        }
    ScaleKeys(element, scale);
    for (Element& child : element.children)
        ScaleElement(child, scale);
    int at = 0;
    for (size_t i = 0; i < lengths.size(); ++i) {
        const int from = art::Scaled(at, scale), to = art::Scaled(at + lengths[i], scale);
        at += lengths[i];
        if (sized[i])
            if (Value* size = Key(element.children[i], u"design_size", NodeKind::Point))
                (axis ? size->y : size->x) = int16_t(std::clamp(to - from, 0, int(INT16_MAX)));
    }
}

void ScaleKeys(Element& element, double scale)
{
    for (auto& [key, value] : element.keys) {
        switch (value.kind) {
        case NodeKind::Point:
            value.x = ScaledField<int16_t>(value.x, scale, INT16_MIN, INT16_MAX);
            value.y = ScaledField<int16_t>(value.y, scale, INT16_MIN, INT16_MAX);
            break;
        case NodeKind::Picture:
            for (int i = 0; i < 4; ++i) {
                value.picture.x[i] = ScaledField<uint16_t>(value.picture.x[i], scale, 0, 0xFFFF);
                value.picture.y[i] = ScaledField<uint16_t>(value.picture.y[i], scale, 0, 0xFFFF);
            }
            break;
        case NodeKind::Font:
            value.text = ScaledFont(value.text, scale);
            break;
        default:
            break; // integers, strings and colours are no lengths
        }
    }
}

} // namespace

void ScaleSkin(Skin& skin, double scale)
{
    for (std::u16string& font : skin.fonts)
        font = ScaledFont(font, scale);
    for (auto& [name, element] : skin.nodes) {
        if (name == skinfmt::kDrawnScaleNode)
            throw Error("the skin already holds the node \"scale\": it was compiled for a screen before");
        ScaleElement(element, scale);
    }
    Element record;
    Value thousandths;
    thousandths.kind = NodeKind::Integer;
    thousandths.integer = int32_t(std::lround(scale * 1000));
    record.keys.emplace_back(skinfmt::kDrawnScaleKey, thousandths);
    skin.nodes.emplace_back(skinfmt::kDrawnScaleNode, std::move(record));
}

void ResizeNode(Skin& skin, const std::u16string& name, int width, int height)
{
    for (auto& [nodeName, element] : skin.nodes) {
        if (nodeName != name)
            continue;
        for (auto& [key, value] : element.keys) {
            if (key == u"design_size" && value.kind == NodeKind::Point) {
                value.x = int16_t(std::clamp(width, 0, int(INT16_MAX)));
                value.y = int16_t(std::clamp(height, 0, int(INT16_MAX)));
                return;
            }
        }
        throw Error("the node \"" + Utf8FromUtf16(name) + "\" has no design_size to change");
    }
    throw Error("the skin has no node \"" + Utf8FromUtf16(name) + "\"");
}

} // namespace skinc
