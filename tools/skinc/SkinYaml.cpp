#include "tools/skinc/SkinSource.h"

#include "runtime/Text.h"

#include <yaml-cpp/yaml.h>

#include <charconv>
#include <cstdio>

namespace skinc {

using skinfmt::NodeKind;

namespace {

class Parser {
public:
    explicit Parser(std::string source)
        : m_source(std::move(source))
    {
    }

    Skin run(const std::string& yaml)
    {
        YAML::Node root;
        try {
            root = YAML::Load(yaml);
        } catch (const YAML::Exception& e) {
            throw Error(m_source + ":" + std::to_string(e.mark.line + 1) + ": " + e.msg);
        }
        if (!root.IsMap())
            throw Error(m_source + ": expected a map with pictures, fonts, strings and nodes");
        Skin skin;
        for (auto it = root.begin(); it != root.end(); ++it) {
            std::string section = it->first.as<std::string>();
            YAML::Node body = it->second;
            if (section == "pictures") {
                for (const auto& p : sequence(body))
                    skin.pictures.push_back(picture(p));
            } else if (section == "fonts") {
                for (const auto& f : sequence(body))
                    skin.fonts.push_back(text(f));
            } else if (section == "strings") {
                for (const auto& s : sequence(body))
                    skin.strings.push_back(text(s));
            } else if (section == "nodes") {
                if (!body.IsMap())
                    fail(body, "nodes must be a map from node name to element");
                for (auto n = body.begin(); n != body.end(); ++n)
                    skin.nodes.emplace_back(text(n->first), element(n->second));
            } else {
                fail(it->first, "unknown section \"" + section + "\"");
            }
        }
        return skin;
    }

private:
    [[noreturn]] void fail(const YAML::Node& at, const std::string& what) const
    {
        throw Error(m_source + ":" + std::to_string(at.Mark().line + 1) + ": " + what);
    }

    const YAML::Node& sequence(const YAML::Node& n) const
    {
        if (!n.IsSequence())
            fail(n, "expected a list");
        return n;
    }

    std::u16string text(const YAML::Node& n) const
    {
        if (!n.IsScalar())
            fail(n, "expected a text");
        return Utf16FromUtf8(n.Scalar());
    }

    long long integer(const YAML::Node& n, long long lo, long long hi) const
    {
        long long v = 0;
        if (!n.IsScalar() || !parseInteger(n.Scalar(), v))
            fail(n, "expected an integer");
        if (v < lo || v > hi)
            fail(n, n.Scalar() + " is outside " + std::to_string(lo) + " ... " + std::to_string(hi));
        return v;
    }

    static bool parseInteger(const std::string& s, long long& v)
    {
        const char* first = s.data();
        const char* last = s.data() + s.size();
        bool negative = first != last && *first == '-';
        if (first != last && (*first == '-' || *first == '+'))
            ++first;
        int base = 10;
        if (last - first > 2 && first[0] == '0' && (first[1] == 'x' || first[1] == 'X')) {
            base = 16;
            first += 2;
        }
        if (first == last)
            return false;
        unsigned long long u = 0;
        auto [end, ec] = std::from_chars(first, last, u, base);
        if (ec != std::errc() || end != last || u > (1ull << 32))
            return false;
        v = negative ? -(long long)u : (long long)u;
        return true;
    }

    Picture picture(const YAML::Node& n) const
    {
        if (n.IsScalar())
            return { text(n), {} };
        if (!n.IsMap() || !n["name"])
            fail(n, "a picture is a name or {name: N, png: FILE}");
        Picture p { text(n["name"]), {} };
        if (n["png"])
            p.png = n["png"].as<std::string>();
        return p;
    }

    Element element(const YAML::Node& n) const
    {
        if (!n.IsMap())
            fail(n, "an element is a map of keys and values");
        Element e;
        for (auto it = n.begin(); it != n.end(); ++it) {
            std::u16string key = text(it->first);
            YAML::Node v = it->second;
            if (key == u"children" && v.IsSequence() && v.Tag() == "?") {
                for (const auto& child : v)
                    e.children.push_back(element(child));
                continue;
            }
            e.keys.emplace_back(key, value(v));
        }
        return e;
    }

    Value value(const YAML::Node& n) const
    {
        Value v;
        const std::string& tag = n.Tag();
        long long ignored;
        if (n.IsNull() || !n.IsDefined())
            fail(n, "a key without a value");
        if (tag == "!int" || (tag == "?" && n.IsScalar() && parseInteger(n.Scalar(), ignored))) {
            v.kind = NodeKind::Integer;
            v.integer = int32_t(integer(n, INT32_MIN, UINT32_MAX));
        } else if (tag == "!str" || ((tag == "!" || tag == "?") && n.IsScalar())) {
            v.kind = NodeKind::String;
            v.text = text(n);
        } else if (tag == "!font") {
            v.kind = NodeKind::Font;
            v.text = text(n);
        } else if (tag == "!point") {
            v.kind = NodeKind::Point;
            if (!n.IsSequence() || n.size() != 2)
                fail(n, "a point is [x, y]");
            v.x = int16_t(integer(n[0], INT16_MIN, INT16_MAX));
            v.y = int16_t(integer(n[1], INT16_MIN, INT16_MAX));
        } else if (tag == "!picture") {
            v.kind = NodeKind::Picture;
            v.picture = pictureValue(n);
        } else if (tag == "!color") {
            v.kind = NodeKind::Color;
            color(n, v.rgb);
        } else {
            fail(n, "unknown value type \"" + tag + "\" (use !int, !str, !font, !point, !picture, !color)");
        }
        return v;
    }

    // [image, left, top, right, bottom] or {image, rect: [...], guides: [x1, y1, x2, y2], flag}.
    // Without guides the whole rectangle is the stretchable middle.
    PictureValue pictureValue(const YAML::Node& n) const
    {
        PictureValue p;
        YAML::Node rect;
        if (n.IsSequence() && n.size() == 5) {
            p.image = text(n[0]);
            rect.push_back(n[1]);
            rect.push_back(n[2]);
            rect.push_back(n[3]);
            rect.push_back(n[4]);
        } else if (n.IsMap() && n["image"] && n["rect"]) {
            p.image = text(n["image"]);
            rect = n["rect"];
        } else {
            fail(n, "a picture is [image, left, top, right, bottom] or {image: I, rect: [l, t, r, b], guides: [x1, y1, x2, y2], flag: F}");
        }
        if (!rect.IsSequence() || rect.size() != 4)
            fail(n, "rect is [left, top, right, bottom]");
        p.x[0] = uint16_t(integer(rect[0], 0, 0xFFFF));
        p.y[0] = uint16_t(integer(rect[1], 0, 0xFFFF));
        p.x[3] = uint16_t(integer(rect[2], 0, 0xFFFF));
        p.y[3] = uint16_t(integer(rect[3], 0, 0xFFFF));
        p.x[1] = p.x[0];
        p.y[1] = p.y[0];
        p.x[2] = p.x[3];
        p.y[2] = p.y[3];
        if (n.IsMap() && n["guides"]) {
            const YAML::Node& g = n["guides"];
            if (!g.IsSequence() || g.size() != 4)
                fail(g, "guides are [x1, y1, x2, y2]");
            p.x[1] = uint16_t(integer(g[0], 0, 0xFFFF));
            p.y[1] = uint16_t(integer(g[1], 0, 0xFFFF));
            p.x[2] = uint16_t(integer(g[2], 0, 0xFFFF));
            p.y[2] = uint16_t(integer(g[3], 0, 0xFFFF));
        }
        if (n.IsMap() && n["flag"])
            p.flag = uint8_t(integer(n["flag"], 0, 255));
        for (const uint16_t* c : { p.x, p.y }) {
            if (!(c[0] <= c[1] && c[1] <= c[2] && c[2] <= c[3]))
                fail(n, "a picture needs left <= x1 <= x2 <= right and top <= y1 <= y2 <= bottom");
        }
        return p;
    }

    void color(const YAML::Node& n, uint8_t rgb[3]) const
    {
        if (n.IsSequence() && n.size() == 3) {
            for (int i = 0; i < 3; ++i)
                rgb[i] = uint8_t(integer(n[i], 0, 255));
            return;
        }
        const std::string s = n.IsScalar() ? n.Scalar() : std::string();
        unsigned value = 0;
        if (s.size() != 7 || s[0] != '#' || std::from_chars(s.data() + 1, s.data() + 7, value, 16).ptr != s.data() + 7)
            fail(n, "a colour is \"#rrggbb\" or [r, g, b]");
        rgb[0] = uint8_t(value >> 16);
        rgb[1] = uint8_t(value >> 8);
        rgb[2] = uint8_t(value);
    }

    std::string m_source;
};

void EmitElement(YAML::Emitter& out, const Element& e)
{
    out << YAML::BeginMap;
    for (const auto& [key, v] : e.keys) {
        out << YAML::Key << Utf8FromUtf16(key) << YAML::Value;
        switch (v.kind) {
        case NodeKind::Integer:
            out << v.integer;
            break;
        case NodeKind::String:
            out << YAML::DoubleQuoted << Utf8FromUtf16(v.text);
            break;
        case NodeKind::Font:
            out << YAML::LocalTag("font") << YAML::DoubleQuoted << Utf8FromUtf16(v.text);
            break;
        case NodeKind::Point:
            out << YAML::LocalTag("point") << YAML::Flow << YAML::BeginSeq << v.x << v.y << YAML::EndSeq;
            break;
        case NodeKind::Picture: {
            const PictureValue& p = v.picture;
            out << YAML::LocalTag("picture") << YAML::Flow << YAML::BeginMap;
            out << YAML::Key << "image" << YAML::Value << YAML::DoubleQuoted << Utf8FromUtf16(p.image);
            out << YAML::Key << "rect" << YAML::Value << YAML::Flow << YAML::BeginSeq << p.x[0] << p.y[0] << p.x[3] << p.y[3] << YAML::EndSeq;
            out << YAML::Key << "guides" << YAML::Value << YAML::Flow << YAML::BeginSeq << p.x[1] << p.y[1] << p.x[2] << p.y[2] << YAML::EndSeq;
            out << YAML::Key << "flag" << YAML::Value << int(p.flag);
            out << YAML::EndMap;
            break;
        }
        case NodeKind::Color: {
            char hex[8];
            std::snprintf(hex, sizeof hex, "#%02x%02x%02x", v.rgb[0], v.rgb[1], v.rgb[2]);
            out << YAML::LocalTag("color") << YAML::DoubleQuoted << hex;
            break;
        }
        }
    }
    if (!e.children.empty()) {
        out << YAML::Key << "children" << YAML::Value << YAML::BeginSeq;
        for (const auto& child : e.children)
            EmitElement(out, child);
        out << YAML::EndSeq;
    }
    out << YAML::EndMap;
}

void EmitTexts(YAML::Emitter& out, const char* name, const std::vector<std::u16string>& texts)
{
    out << YAML::Key << name << YAML::Value << YAML::BeginSeq;
    for (const auto& t : texts)
        out << YAML::DoubleQuoted << Utf8FromUtf16(t);
    out << YAML::EndSeq;
}

} // namespace

Skin ParseYaml(const std::string& text, const std::string& source)
{
    return Parser(source).run(text);
}

std::string WriteYaml(const Skin& skin)
{
    YAML::Emitter out;
    out << YAML::BeginMap;
    std::vector<std::u16string> pictureNames;
    for (const auto& p : skin.pictures)
        pictureNames.push_back(p.name);
    EmitTexts(out, "pictures", pictureNames);
    EmitTexts(out, "fonts", skin.fonts);
    EmitTexts(out, "strings", skin.strings);
    out << YAML::Key << "nodes" << YAML::Value << YAML::BeginMap;
    for (const auto& [name, element] : skin.nodes) {
        out << YAML::Key << YAML::DoubleQuoted << Utf8FromUtf16(name) << YAML::Value;
        EmitElement(out, element);
    }
    out << YAML::EndMap << YAML::EndMap;
    return std::string(out.c_str()) + "\n";
}

} // namespace skinc
