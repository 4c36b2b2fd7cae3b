#include "tools/skinc/SkinSource.h"

namespace skinc {

using namespace skinfmt;

namespace {

class Reader {
public:
    explicit Reader(const std::vector<uint8_t>& file)
        : m_file(file.data())
    {
    }

    Skin run()
    {
        size_t at = ReadU32(m_file + kTextAreaOffset);
        auto next = [&] {
            std::u16string s = ReadString(m_file, at);
            at += (s.size() + 1) * 2;
            return s;
        };
        for (uint32_t i = ReadU32(m_file + kPictureCountOffset); i > 0; --i)
            m_skin.pictures.push_back({ next(), {} });
        for (uint32_t i = ReadU32(m_file + kFontCountOffset); i > 0; --i)
            m_skin.fonts.push_back(next());
        for (uint32_t i = ReadU32(m_file + kStringCountOffset); i > 0; --i)
            m_skin.strings.push_back(next());
        readTree(ReadI32(m_file + kRootOffset));
        return std::move(m_skin);
    }

private:
    // In order, so that the names come out sorted; a loop-free but lopsided tree may be deep.
    void readTree(int32_t root)
    {
        std::vector<int32_t> left;
        int32_t entry = root;
        while (entry != kNoEntry || !left.empty()) {
            if (entry != kNoEntry) {
                left.push_back(entry);
                entry = ReadI32(m_file + entry);
                continue;
            }
            entry = left.back();
            left.pop_back();
            m_skin.nodes.emplace_back(ReadString(m_file, ReadU32(m_file + entry + 8)), readElement(entry + kTreeEntryHeader));
            entry = ReadI32(m_file + entry + 4);
        }
    }

    Element readElement(size_t record)
    {
        Element e;
        for (int k = 0; k < kNodeKindCount; ++k) {
            NodeArray array = ArrayOf(m_file, record, NodeKind(k));
            for (size_t i = 0; i < array.count; ++i) {
                const uint8_t* node = m_file + array.first + i * kNodeSize[k];
                e.keys.emplace_back(ReadString(m_file, ReadU16(node)), readValue(node, NodeKind(k)));
            }
        }
        size_t children = ReadU16(m_file + record + 14);
        for (size_t i = 0; i < children; ++i)
            e.children.push_back(readElement(ReadU32(m_file + record + kRecordHeader + 4 * i)));
        return e;
    }

    Value readValue(const uint8_t* node, NodeKind kind)
    {
        Value v;
        v.kind = kind;
        switch (kind) {
        case NodeKind::Integer:
            v.integer = ReadI32(node + 4);
            break;
        case NodeKind::Font:
            v.text = m_skin.fonts.at(size_t(ReadI32(node + 4)));
            break;
        case NodeKind::Point:
            v.x = ReadI16(node + 4);
            v.y = ReadI16(node + 6);
            break;
        case NodeKind::String:
            v.text = m_skin.strings.at(ReadU16(node + 2));
            break;
        case NodeKind::Picture:
            for (int i = 0; i < 4; ++i) {
                v.picture.x[i] = ReadU16(node + 2 + 4 * i);
                v.picture.y[i] = ReadU16(node + 4 + 4 * i);
            }
            v.picture.image = m_skin.pictures.at(node[18]).name;
            v.picture.flag = node[19];
            break;
        case NodeKind::Color:
            v.rgb[0] = node[4];
            v.rgb[1] = node[5];
            v.rgb[2] = node[6];
            break;
        }
        return v;
    }

    const uint8_t* m_file;
    Skin m_skin;
};

} // namespace

Skin ReadSkin(const std::vector<uint8_t>& file)
{
    std::string why = CheckSkin(file.data(), file.size());
    if (!why.empty())
        throw Error("damaged skin: " + why);
    return Reader(file).run();
}

} // namespace skinc
