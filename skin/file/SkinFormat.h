#pragma once
// Byte layout of the binary skin file and the checks that make in-place lookups safe.
// Everything here works on a raw file image; Properties builds on it.
#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

namespace skinfmt {

constexpr size_t kHeaderSize = 92;
constexpr size_t kRootOffset = 72;
constexpr size_t kPictureCountOffset = 76;
constexpr size_t kFontCountOffset = 80;
constexpr size_t kTextAreaOffset = 84;
constexpr size_t kStringCountOffset = 88;
constexpr char16_t kMagic[4] = { 0x0421, 0x043A, 0x0438, 0x043D };

constexpr size_t kTreeEntryHeader = 12; // left, right, name; the element record follows
constexpr size_t kRecordHeader = 16; // seven array bounds and the child count
constexpr int32_t kNoEntry = -1;

// A skin compiled for a screen at a scale holds the top-level node "scale" with the integer
// "thousandths": its sizes and pictures are that screen's pixels already, to be used as they are.
constexpr char16_t kDrawnScaleNode[] = u"scale";
constexpr char16_t kDrawnScaleKey[] = u"thousandths";

// The typed arrays of an element record, in file order.
enum class NodeKind { Integer = 0, Font, Point, String, Picture, Color };
constexpr int kNodeKindCount = 6;
constexpr size_t kNodeSize[kNodeKindCount] = { 8, 8, 8, 4, 20, 8 };

inline uint16_t ReadU16(const uint8_t* p) { return uint16_t(p[0] | p[1] << 8); }
inline int16_t ReadI16(const uint8_t* p) { return int16_t(ReadU16(p)); }
inline uint32_t ReadU32(const uint8_t* p)
{
    return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}
inline int32_t ReadI32(const uint8_t* p) { return int32_t(ReadU32(p)); }

bool HasHeaderAndMagic(const uint8_t* file, size_t size);

// Compares a key with the NUL-terminated UTF-16LE name at `stored`: code units as unsigned
// values over the shorter length, then the shorter is less. Negative, 0 or positive.
int CompareName(std::u16string_view key, const uint8_t* stored);

// Length in code units of a NUL-terminated UTF-16LE string at `offset`, or -1 when the
// string does not end inside the file.
long StringLength(const uint8_t* file, size_t size, size_t offset);
std::u16string ReadString(const uint8_t* file, size_t offset); // the string must be checked

// Byte offset of the start of the typed array `kind` of the record at `record`, and its
// record count. Only valid on a checked file.
struct NodeArray {
    size_t first;
    size_t count;
};
NodeArray ArrayOf(const uint8_t* file, size_t record, NodeKind kind);

// Binary search of a typed array; returns the node's file offset or 0 when absent.
size_t FindNode(const uint8_t* file, size_t record, NodeKind kind, std::u16string_view key);

// The record of the named top-level node, or 0 when absent.
size_t FindNamedRecord(const uint8_t* file, std::u16string_view name);

// Calls `visit` once for every element record of a checked file (a record shared by two
// parents once).
void ForEachRecord(const uint8_t* file, const std::function<void(size_t record)>& visit);

// Limits that keep a hostile file from costing unbounded time or stack further up.
constexpr int kMaxElementDepth = 200;
constexpr size_t kMaxExpandedElements = 1 << 18;

// Checks everything that lookups and element loading will follow: the tree, every element
// record reachable from it with its arrays, children, key names and table indices, and the
// text area with its P + F + S strings. Returns an empty string for a sound file, else a short
// reason in English for the log.
std::string CheckSkin(const uint8_t* file, size_t size);

} // namespace skinfmt
