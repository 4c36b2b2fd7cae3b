#include "tools/skinc/SkinSource.h"

#include "runtime/Text.h"
#include "tools/skinart/ArtScale.h"

#include <algorithm>
#include <cmath>
#include <string>

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

void ScaleElement(Element& element, double scale)
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
    for (Element& child : element.children)
        ScaleElement(child, scale);
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
