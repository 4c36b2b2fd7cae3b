#pragma once
// What the fuzz targets and the replay tests do with an input: check it, and when it passes,
// follow every path the program will follow through it.
#include "skin/file/BmpFormat.h"
#include "skin/file/SkinFormat.h"

#include <vector>

inline size_t WalkRecord(const uint8_t* file, size_t record, int depth)
{
    using namespace skinfmt;
    size_t seen = 1;
    for (int k = 0; k < kNodeKindCount; ++k) {
        NodeArray array = ArrayOf(file, record, NodeKind(k));
        for (size_t i = 0; i < array.count; ++i) {
            const uint8_t* node = file + array.first + i * kNodeSize[k];
            std::u16string key = ReadString(file, ReadU16(node));
            // The search must find every key (the file may be unsorted: then only not crash).
            FindNode(file, record, NodeKind(k), key);
        }
        FindNode(file, record, NodeKind(k), u"");
        FindNode(file, record, NodeKind(k), u"\xffff");
    }
    size_t children = ReadU16(file + record + 14);
    if (depth < kMaxElementDepth) {
        for (size_t i = 0; i < children; ++i)
            seen += WalkRecord(file, ReadU32(file + record + kRecordHeader + 4 * i), depth + 1);
    }
    return seen;
}

// Returns true when the file was accepted.
inline bool WalkSkin(const uint8_t* data, size_t size)
{
    using namespace skinfmt;
    if (!CheckSkin(data, size).empty())
        return false;
    size_t at = ReadU32(data + kTextAreaOffset);
    uint64_t strings = uint64_t(ReadU32(data + kPictureCountOffset)) + ReadU32(data + kFontCountOffset) + ReadU32(data + kStringCountOffset);
    for (uint64_t i = 0; i < strings; ++i)
        at += (ReadString(data, at).size() + 1) * 2;
    std::vector<int32_t> pending { ReadI32(data + kRootOffset) };
    while (!pending.empty()) {
        int32_t entry = pending.back();
        pending.pop_back();
        if (entry == kNoEntry)
            continue;
        std::u16string name = ReadString(data, ReadU32(data + entry + 8));
        FindNamedRecord(data, name);
        WalkRecord(data, size_t(entry) + kTreeEntryHeader, 0);
        pending.push_back(ReadI32(data + entry));
        pending.push_back(ReadI32(data + entry + 4));
    }
    FindNamedRecord(data, u"");
    return true;
}

inline bool WalkBmp(const uint8_t* data, size_t size)
{
    BmpLayout layout;
    if (!ParseBmp565(data, size, layout))
        return false;
    size_t pitch = (size_t(layout.width) * 2 + 3) & ~size_t(3);
    std::vector<uint16_t> pixels(pitch / 2 * size_t(layout.height));
    CopyBmpRows(data, layout, pixels.data(), pitch);
    return true;
}
