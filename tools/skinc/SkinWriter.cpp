#include "tools/skinc/SkinSource.h"

#include "runtime/Text.h"

#include <algorithm>
#include <map>
#include <set>

namespace skinc {

using skinfmt::NodeKind;

namespace {

class Writer {
public:
    explicit Writer(Skin& skin)
        : m_skin(skin)
    {
    }

    std::vector<uint8_t> run()
    {
        std::set<std::u16string> nodeNames;
        for (auto& [name, element] : m_skin.nodes) {
            if (!nodeNames.insert(name).second)
                throw Error("named node \"" + Utf8FromUtf16(name) + "\" appears twice");
            resolve(element, Utf8FromUtf16(name), 1);
        }
        if (m_skin.pictures.size() > 256)
            throw Error("more than 256 pictures: picture nodes hold an 8-bit index");

        m_out.assign(skinfmt::kHeaderSize, 0);
        for (int i = 0; i < 4; ++i)
            put16(2 * i, skinfmt::kMagic[i]);

        // Key names first: typed nodes reach them through 16-bit offsets.
        for (const auto& key : m_keyNames) {
            if (m_out.size() > 0xFFFF)
                throw Error("key names reach past the first 65536 bytes of the file");
            m_keyOffsets[key] = m_out.size();
            appendString(key);
        }
        for (const auto& name : nodeNames) {
            m_nodeNameOffsets[name] = m_out.size();
            appendString(name);
        }

        put32(skinfmt::kTextAreaOffset, uint32_t(m_out.size()));
        put32(skinfmt::kPictureCountOffset, uint32_t(m_skin.pictures.size()));
        put32(skinfmt::kFontCountOffset, uint32_t(m_skin.fonts.size()));
        put32(skinfmt::kStringCountOffset, uint32_t(m_skin.strings.size()));
        for (const auto& p : m_skin.pictures)
            appendString(p.name);
        for (const auto& f : m_skin.fonts)
            appendString(f);
        for (const auto& s : m_skin.strings)
            appendString(s);
        while (m_out.size() % 4)
            m_out.push_back(0);

        std::vector<const std::pair<std::u16string, Element>*> sorted;
        for (const auto& node : m_skin.nodes)
            sorted.push_back(&node);
        std::sort(sorted.begin(), sorted.end(), [](auto* a, auto* b) { return a->first < b->first; });
        int32_t root = emitTree(sorted, 0, sorted.size());
        put32(skinfmt::kRootOffset, uint32_t(root));
        return std::move(m_out);
    }

private:
    // Turns table references into indices and checks what the binary form cannot hold.
    void resolve(Element& element, const std::string& where, int depth)
    {
        if (depth > skinfmt::kMaxElementDepth)
            throw Error(where + ": elements nested more than " + std::to_string(skinfmt::kMaxElementDepth) + " deep");
        std::set<std::pair<int, std::u16string>> seen;
        for (auto& [key, value] : element.keys) {
            if (!seen.insert({ int(value.kind), key }).second)
                throw Error(where + ": key \"" + Utf8FromUtf16(key) + "\" appears twice with the same kind");
            m_keyNames.insert(key);
            switch (value.kind) {
            case NodeKind::Font:
                value.integer = int32_t(m_skin.font_index(value.text));
                break;
            case NodeKind::String:
                value.integer = int32_t(m_skin.string_index(value.text));
                if (value.integer > 0xFFFF)
                    throw Error(where + ": more than 65536 strings");
                break;
            case NodeKind::Picture:
                value.integer = int32_t(m_skin.picture_index(value.picture.image));
                break;
            default:
                break;
            }
        }
        for (size_t i = 0; i < element.children.size(); ++i)
            resolve(element.children[i], where + "/" + std::to_string(i), depth + 1);
    }

    int32_t emitTree(const std::vector<const std::pair<std::u16string, Element>*>& sorted, size_t lo, size_t hi)
    {
        if (lo == hi)
            return skinfmt::kNoEntry;
        size_t mid = (lo + hi) / 2;
        size_t entry = m_out.size();
        m_out.resize(entry + skinfmt::kTreeEntryHeader);
        put32(entry + 8, uint32_t(m_nodeNameOffsets.at(sorted[mid]->first)));
        emitRecord(sorted[mid]->second);
        put32(entry, uint32_t(emitTree(sorted, lo, mid)));
        put32(entry + 4, uint32_t(emitTree(sorted, mid + 1, hi)));
        return int32_t(entry);
    }

    size_t emitRecord(const Element& element)
    {
        size_t record = m_out.size();
        if (element.children.size() > 0xFFFF)
            throw Error("an element has more than 65535 children");
        size_t at = skinfmt::kRecordHeader + 4 * element.children.size();
        m_out.resize(record + at);
        for (int k = 0; k < skinfmt::kNodeKindCount; ++k) {
            std::vector<const std::pair<std::u16string, Value>*> nodes;
            for (const auto& kv : element.keys) {
                if (int(kv.second.kind) == k)
                    nodes.push_back(&kv);
            }
            std::sort(nodes.begin(), nodes.end(), [](auto* a, auto* b) { return a->first < b->first; });
            put16(record + 2 * k, uint16_t(at));
            for (const auto* kv : nodes)
                appendNode(kv->first, kv->second);
            at = m_out.size() - record;
            if (at > 0xFFFF)
                throw Error("an element record is larger than 65535 bytes");
        }
        put16(record + 12, uint16_t(at));
        put16(record + 14, uint16_t(element.children.size()));
        for (size_t i = 0; i < element.children.size(); ++i) {
            size_t child = emitRecord(element.children[i]);
            if (child > 0x7FFFFFFF)
                throw Error("the skin is larger than 2 GiB");
            put32(record + skinfmt::kRecordHeader + 4 * i, uint32_t(child));
        }
        return record;
    }

    void appendNode(const std::u16string& key, const Value& v)
    {
        size_t node = m_out.size();
        m_out.resize(node + skinfmt::kNodeSize[int(v.kind)]);
        put16(node, uint16_t(m_keyOffsets.at(key)));
        switch (v.kind) {
        case NodeKind::Integer:
        case NodeKind::Font:
            put32(node + 4, uint32_t(v.integer));
            break;
        case NodeKind::Point:
            put16(node + 4, uint16_t(v.x));
            put16(node + 6, uint16_t(v.y));
            break;
        case NodeKind::String:
            put16(node + 2, uint16_t(v.integer));
            break;
        case NodeKind::Picture:
            for (int i = 0; i < 4; ++i) {
                put16(node + 2 + 4 * i, v.picture.x[i]);
                put16(node + 4 + 4 * i, v.picture.y[i]);
            }
            m_out[node + 18] = uint8_t(v.integer);
            m_out[node + 19] = v.picture.flag;
            break;
        case NodeKind::Color:
            m_out[node + 4] = v.rgb[0];
            m_out[node + 5] = v.rgb[1];
            m_out[node + 6] = v.rgb[2];
            break;
        }
    }

    void appendString(const std::u16string& s)
    {
        for (char16_t c : s) {
            if (c == 0)
                throw Error("a string holds a NUL character");
            m_out.push_back(uint8_t(c));
            m_out.push_back(uint8_t(c >> 8));
        }
        m_out.push_back(0);
        m_out.push_back(0);
    }

    void put16(size_t at, uint16_t v)
    {
        m_out[at] = uint8_t(v);
        m_out[at + 1] = uint8_t(v >> 8);
    }

    void put32(size_t at, uint32_t v)
    {
        for (int i = 0; i < 4; ++i)
            m_out[at + i] = uint8_t(v >> (8 * i));
    }

    Skin& m_skin;
    std::set<std::u16string> m_keyNames;
    std::map<std::u16string, size_t> m_keyOffsets;
    std::map<std::u16string, size_t> m_nodeNameOffsets;
    std::vector<uint8_t> m_out;
};

} // namespace

std::vector<uint8_t> WriteSkin(Skin skin)
{
    return Writer(skin).run();
}

} // namespace skinc
