#pragma once
// The skin as skinc holds it between text and binary: tables, named nodes and element trees.
#include "skin/file/SkinFormat.h"

#include <cstdint>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

namespace skinc {

// Any problem with a source or a binary: the message says where.
struct Error : std::runtime_error {
    using std::runtime_error::runtime_error;
};

struct PictureValue {
    std::u16string image; // picture table name
    uint16_t x[4] = {}; // x0 (left), x1, x2 (guides), x3 (right, exclusive)
    uint16_t y[4] = {};
    uint8_t flag = 0;
};

struct Value {
    skinfmt::NodeKind kind = skinfmt::NodeKind::Integer;
    int32_t integer = 0;
    std::u16string text; // string value or font descriptor
    int16_t x = 0, y = 0;
    PictureValue picture;
    uint8_t rgb[3] = {};
};

struct Element {
    std::vector<std::pair<std::u16string, Value>> keys; // in source order
    std::vector<Element> children;
};

struct Picture {
    std::u16string name;
    std::string png; // source PNG to convert beside the output, empty when the BMP exists
};

struct Skin {
    std::vector<Picture> pictures;
    std::vector<std::u16string> fonts;
    std::vector<std::u16string> strings;
    std::vector<std::pair<std::u16string, Element>> nodes;

    // Index of a table entry, appended when missing.
    size_t picture_index(const std::u16string& name);
    size_t font_index(const std::u16string& descriptor);
    size_t string_index(const std::u16string& text);
};

// Text form (YAML) to and from the model. `source` names the file in messages.
Skin ParseYaml(const std::string& text, const std::string& source);
std::string WriteYaml(const Skin& skin);

// One skin from several sources, in order: their pictures (one entry per name), fonts, strings
// and nodes. A node name that two sources define is an error naming both.
Skin MergeSkins(std::vector<std::pair<std::string, Skin>> sources);

// Binary form. Writing fails on what the format cannot hold (too many pictures, key names past
// the reach of 16-bit offsets, oversized records); reading fails on a damaged file.
std::vector<uint8_t> WriteSkin(Skin skin);
Skin ReadSkin(const std::vector<uint8_t>& file);

// The skin for a screen `scale` times the design's (96 dpi) pixels, drawn at that scale by the
// art tools: what the device's loader multiplies on a 192 dpi screen (points, picture
// rectangles and guides, font sizes) is multiplied here once and rounded to whole pixels as
// the art tools round, and the node "scale" records the scale, so that the loader replicates
// nothing. Integers, strings and colours stay.
void ScaleSkin(Skin& skin, double scale);
// Gives the top-level node `name` the design size width x height (a form sized for a screen).
void ResizeNode(Skin& skin, const std::u16string& name, int width, int height);

// PNG to a 16-bit bottom-up BMP: transparent pixels become 0xF81F, opaque pixels carry the
// opacity bit (0x0020), partly transparent ones are weighted by their alpha with the bit clear.
void ConvertPngToBmp(const std::string& pngPath, const std::string& bmpPath);

} // namespace skinc
