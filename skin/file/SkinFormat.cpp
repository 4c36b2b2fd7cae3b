#include "skin/file/SkinFormat.h"

#include <unordered_map>
#include <unordered_set>
#include <vector>

namespace skinfmt {

bool HasHeaderAndMagic(const uint8_t* file, size_t size)
{
    if (!file || size < kHeaderSize)
        return false;
    for (int i = 0; i < 4; ++i) {
        if (ReadU16(file + 2 * i) != kMagic[i])
            return false;
    }
    return true;
}

int CompareName(std::u16string_view key, const uint8_t* stored)
{
    for (size_t i = 0;; ++i) {
        uint16_t s = ReadU16(stored + 2 * i);
        if (i == key.size())
            return s == 0 ? 0 : -1;
        if (s == 0)
            return 1;
        uint16_t k = key[i];
        if (k != s)
            return k < s ? -1 : 1;
    }
}

long StringLength(const uint8_t* file, size_t size, size_t offset)
{
    if (offset > size)
        return -1;
    for (size_t p = offset; p + 2 <= size; p += 2) {
        if (ReadU16(file + p) == 0)
            return long((p - offset) / 2);
    }
    return -1;
}

std::u16string ReadString(const uint8_t* file, size_t offset)
{
    std::u16string out;
    for (const uint8_t* p = file + offset; ReadU16(p) != 0; p += 2)
        out.push_back(char16_t(ReadU16(p)));
    return out;
}

NodeArray ArrayOf(const uint8_t* file, size_t record, NodeKind kind)
{
    int k = int(kind);
    size_t start = ReadU16(file + record + 2 * k);
    size_t end = ReadU16(file + record + 2 * (k + 1));
    return { record + start, (end - start) / kNodeSize[k] };
}

size_t FindNode(const uint8_t* file, size_t record, NodeKind kind, std::u16string_view key)
{
    NodeArray array = ArrayOf(file, record, kind);
    size_t step = kNodeSize[int(kind)];
    size_t lo = 0;
    size_t hi = array.count;
    while (lo != hi) {
        size_t mid = (lo + hi) / 2;
        size_t node = array.first + mid * step;
        int c = CompareName(key, file + ReadU16(file + node));
        if (c == 0)
            return node;
        if (c < 0)
            hi = mid;
        else
            lo = mid + 1;
    }
    return 0;
}

size_t FindNamedRecord(const uint8_t* file, std::u16string_view name)
{
    int32_t entry = ReadI32(file + kRootOffset);
    while (entry != kNoEntry) {
        size_t at = size_t(entry);
        int c = CompareName(name, file + ReadU32(file + at + 8));
        if (c == 0)
            return at + kTreeEntryHeader;
        entry = ReadI32(file + at + (c < 0 ? 0 : 4));
    }
    return 0;
}

void ForEachRecord(const uint8_t* file, const std::function<void(size_t record)>& visit)
{
    std::unordered_set<size_t> seen;
    std::vector<size_t> records;
    std::vector<int32_t> entries { ReadI32(file + kRootOffset) };
    while (!entries.empty()) {
        int32_t entry = entries.back();
        entries.pop_back();
        if (entry == kNoEntry)
            continue;
        records.push_back(size_t(entry) + kTreeEntryHeader);
        entries.push_back(ReadI32(file + entry));
        entries.push_back(ReadI32(file + entry + 4));
    }
    while (!records.empty()) {
        size_t record = records.back();
        records.pop_back();
        if (!seen.insert(record).second)
            continue;
        visit(record);
        size_t children = ReadU16(file + record + 14);
        for (size_t i = 0; i < children; ++i)
            records.push_back(ReadU32(file + record + kRecordHeader + 4 * i));
    }
}

namespace {

class Checker {
public:
    Checker(const uint8_t* file, size_t size)
        : m_file(file)
        , m_size(size)
        , m_pictures(ReadU32(file + kPictureCountOffset))
        , m_fonts(ReadU32(file + kFontCountOffset))
        , m_strings(ReadU32(file + kStringCountOffset))
    {
    }

    std::string run()
    {
        if (!checkTextArea() || !checkTree())
            return m_why;
        return {};
    }

private:
    bool fail(std::string why)
    {
        m_why = std::move(why);
        return false;
    }

    bool stringAt(size_t offset, const char* what)
    {
        if (StringLength(m_file, m_size, offset) < 0)
            return fail(std::string(what) + " at " + std::to_string(offset) + " runs past the end of the file");
        return true;
    }

    bool checkTextArea()
    {
        size_t at = ReadU32(m_file + kTextAreaOffset);
        uint64_t count = uint64_t(m_pictures) + m_fonts + m_strings;
        if (at > m_size || count > (m_size - at) / 2)
            return fail("text area cannot hold " + std::to_string(count) + " strings");
        for (uint64_t i = 0; i < count; ++i) {
            long length = StringLength(m_file, m_size, at);
            if (length < 0)
                return fail("text area string " + std::to_string(i) + " runs past the end of the file");
            at += size_t(length + 1) * 2;
        }
        return true;
    }

    bool checkTree()
    {
        std::unordered_set<size_t> seen;
        std::vector<int32_t> pending { ReadI32(m_file + kRootOffset) };
        size_t elements = 0;
        while (!pending.empty()) {
            int32_t entry = pending.back();
            pending.pop_back();
            if (entry == kNoEntry)
                continue;
            if (entry < 0 || size_t(entry) + kTreeEntryHeader > m_size)
                return fail("tree entry " + std::to_string(entry) + " lies outside the file");
            size_t at = size_t(entry);
            if (!seen.insert(at).second)
                return fail("tree entry " + std::to_string(at) + " is reached twice (loop)");
            if (!stringAt(ReadU32(m_file + at + 8), "node name"))
                return false;
            size_t expanded = 0;
            if (!checkElementTree(at + kTreeEntryHeader, expanded))
                return false;
            elements += expanded;
            if (elements > kMaxExpandedElements)
                return fail("too many elements");
            pending.push_back(ReadI32(m_file + at));
            pending.push_back(ReadI32(m_file + at + 4));
        }
        return true;
    }

    struct Visit {
        bool done = false;
        int height = 0; // levels below and including this record
        size_t expanded = 0; // records in the subtree, shared ones counted each time
    };

    struct Frame {
        size_t record;
        size_t nextChild;
        int height;
        size_t expanded;
    };

    // Depth-first over the records below `root` with an explicit stack: a record on the
    // current path reached again is a loop; a record shared by two parents is checked once.
    bool checkElementTree(size_t root, size_t& expanded)
    {
        if (!enter(root, 0))
            return false;
        if (m_visits[root].done) {
            expanded = m_visits[root].expanded;
            return true;
        }
        std::vector<Frame> path { { root, 0, 1, 1 } };
        while (!path.empty()) {
            Frame& top = path.back();
            size_t count = ReadU16(m_file + top.record + 14);
            if (top.nextChild == count) {
                Visit& v = m_visits[top.record];
                v.done = true;
                v.height = top.height;
                v.expanded = top.expanded;
                Frame finished = top;
                path.pop_back();
                if (!path.empty()) {
                    path.back().height = std::max(path.back().height, finished.height + 1);
                    path.back().expanded = std::min(path.back().expanded + finished.expanded, kMaxExpandedElements + 1);
                }
                continue;
            }
            int32_t child = ReadI32(m_file + top.record + kRecordHeader + 4 * top.nextChild);
            ++top.nextChild;
            int depth = int(path.size());
            if (child < 0)
                return fail("child record offset " + std::to_string(child) + " lies outside the file");
            size_t at = size_t(child);
            if (!enter(at, depth))
                return false;
            Visit& v = m_visits[at];
            if (v.done) {
                if (depth + v.height > kMaxElementDepth)
                    return fail("elements nested too deeply");
                Frame& parent = path.back();
                parent.height = std::max(parent.height, v.height + 1);
                parent.expanded = std::min(parent.expanded + v.expanded, kMaxExpandedElements + 1);
                continue;
            }
            path.push_back({ at, 0, 1, 1 });
        }
        expanded = m_visits[root].expanded;
        if (expanded > kMaxExpandedElements)
            return fail("too many elements");
        return true;
    }

    // First sight of a record checks its own bytes; a sight of one still on the path is a loop.
    bool enter(size_t record, int depth)
    {
        if (depth >= kMaxElementDepth)
            return fail("elements nested too deeply");
        auto found = m_visits.find(record);
        if (found != m_visits.end()) {
            if (!found->second.done)
                return fail("element record " + std::to_string(record) + " contains itself (loop)");
            return true;
        }
        if (!checkRecord(record))
            return false;
        m_visits.emplace(record, Visit {});
        return true;
    }

    bool checkRecord(size_t record)
    {
        std::string where = "element record " + std::to_string(record);
        if (record > m_size || m_size - record < kRecordHeader)
            return fail(where + " lies outside the file");
        size_t children = ReadU16(m_file + record + 14);
        if ((m_size - record - kRecordHeader) / 4 < children)
            return fail(where + " has its child list past the end of the file");
        for (int k = 0; k < kNodeKindCount; ++k) {
            size_t start = ReadU16(m_file + record + 2 * k);
            size_t end = ReadU16(m_file + record + 2 * (k + 1));
            if (end < start || (end - start) % kNodeSize[k] != 0)
                return fail(where + " has a malformed node array");
            if (record + end > m_size)
                return fail(where + " has nodes past the end of the file");
            NodeArray array = ArrayOf(m_file, record, NodeKind(k));
            for (size_t i = 0; i < array.count; ++i) {
                if (!checkNode(array.first + i * kNodeSize[k], NodeKind(k)))
                    return fail(where + ": " + m_why);
            }
        }
        return true;
    }

    bool checkNode(size_t node, NodeKind kind)
    {
        if (!stringAt(ReadU16(m_file + node), "key name"))
            return false;
        switch (kind) {
        case NodeKind::Font: {
            int32_t index = ReadI32(m_file + node + 4);
            if (index < 0 || uint32_t(index) >= m_fonts)
                return fail("font index " + std::to_string(index) + " is not in the font table");
            break;
        }
        case NodeKind::String:
            if (ReadU16(m_file + node + 2) >= m_strings)
                return fail("string index " + std::to_string(ReadU16(m_file + node + 2)) + " is not in the string table");
            break;
        case NodeKind::Picture:
            if (m_file[node + 18] >= m_pictures)
                return fail("picture index " + std::to_string(m_file[node + 18]) + " is not in the picture table");
            break;
        default:
            break;
        }
        return true;
    }

    const uint8_t* m_file;
    size_t m_size;
    uint32_t m_pictures;
    uint32_t m_fonts;
    uint32_t m_strings;
    std::unordered_map<size_t, Visit> m_visits;
    std::string m_why;
};

} // namespace

std::string CheckSkin(const uint8_t* file, size_t size)
{
    if (!HasHeaderAndMagic(file, size))
        return "not a skin file";
    return Checker(file, size).run();
}

} // namespace skinfmt
