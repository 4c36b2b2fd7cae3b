#include "skin/file/SkinFormat.h"

#include "tests/fuzz/SkinWalk.h"
#include "tests/skin/SkinTestFiles.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <random>

using namespace skinfmt;

namespace {

std::vector<uint8_t> Utf16Bytes(std::u16string_view s)
{
    std::vector<uint8_t> b;
    for (char16_t c : s) {
        b.push_back(uint8_t(c));
        b.push_back(uint8_t(c >> 8));
    }
    b.push_back(0);
    b.push_back(0);
    return b;
}

// A file laid out by hand: one tree entry named "kb" without children or keys.
std::vector<uint8_t> SingleEntryFile()
{
    std::vector<uint8_t> f(92, 0);
    for (int i = 0; i < 4; ++i)
        Put16(f, 2 * i, kMagic[i]);
    Put32(f, 72, 92); // root entry
    Put32(f, 84, 92); // text area: no strings
    f.resize(92 + 12 + 16);
    Put32(f, 92, uint32_t(-1));
    Put32(f, 96, uint32_t(-1));
    Put32(f, 100, 120); // name
    for (int i = 0; i < 7; ++i)
        Put16(f, 104 + 2 * i, 16); // every array empty
    auto name = Utf16Bytes(u"kb");
    f.insert(f.end(), name.begin(), name.end());
    return f;
}

// The record of the named node `name` in a checked file.
size_t Record(const std::vector<uint8_t>& f, std::u16string_view name)
{
    size_t at = FindNamedRecord(f.data(), name);
    EXPECT_NE(at, 0u) << "no node";
    return at;
}

size_t FirstChild(const std::vector<uint8_t>& f, size_t record)
{
    return ReadU32(f.data() + record + kRecordHeader);
}

skinc::Element Chain(int depth)
{
    skinc::Element e;
    e.keys.emplace_back(u"type", TextValue(NodeKind::String, u"node"));
    if (depth > 1)
        e.children.push_back(Chain(depth - 1));
    return e;
}

} // namespace

TEST(SkinFormat, SingleEntryTreeFindsOnlyItsOwnName)
{
    auto f = SingleEntryFile();
    ASSERT_EQ(CheckSkin(f.data(), f.size()), "");
    EXPECT_EQ(FindNamedRecord(f.data(), u"kb"), 104u);
    for (std::u16string_view other : { u"k", u"kbd", u"", u"KB", u"kc" })
        EXPECT_EQ(FindNamedRecord(f.data(), other), 0u);
    // The record has no keys at all: every typed search misses.
    for (int k = 0; k < kNodeKindCount; ++k) {
        EXPECT_EQ(ArrayOf(f.data(), 104, NodeKind(k)).count, 0u);
        EXPECT_EQ(FindNode(f.data(), 104, NodeKind(k), u"id"), 0u);
        EXPECT_EQ(FindNode(f.data(), 104, NodeKind(k), u""), 0u);
    }
}

TEST(SkinFormat, NamesCompareAsUnsignedCodeUnitsWithShorterFirst)
{
    auto abc = Utf16Bytes(u"abc");
    EXPECT_EQ(CompareName(u"abc", abc.data()), 0);
    EXPECT_LT(CompareName(u"ab", abc.data()), 0);
    EXPECT_GT(CompareName(u"abcd", abc.data()), 0);
    EXPECT_LT(CompareName(u"ABC", abc.data()), 0); // case matters
    EXPECT_GT(CompareName(u"\xFFFF", abc.data()), 0); // unsigned, not signed 16-bit
    auto empty = Utf16Bytes(u"");
    EXPECT_EQ(CompareName(u"", empty.data()), 0);
    EXPECT_GT(CompareName(u"a", empty.data()), 0);
}

TEST(SkinFormat, ArraySearchTellsPrefixesApart)
{
    skinc::Skin skin;
    skinc::Element e;
    for (auto [key, v] : { std::pair { u"abcd", 2 }, { u"abc", 1 }, { u"b", 3 }, { u"a", 4 }, { u"\x0416", 5 } })
        e.keys.emplace_back(key, IntValue(v));
    skin.nodes.emplace_back(u"n", e);
    auto f = skinc::WriteSkin(skin);
    ASSERT_EQ(CheckSkin(f.data(), f.size()), "");
    size_t rec = Record(f, u"n");
    NodeArray ints = ArrayOf(f.data(), rec, NodeKind::Integer);
    ASSERT_EQ(ints.count, 5u);
    // "abc" sorts before "abcd".
    EXPECT_EQ(ReadString(f.data(), ReadU16(f.data() + ints.first + 8)), u"abc");
    EXPECT_EQ(ReadString(f.data(), ReadU16(f.data() + ints.first + 16)), u"abcd");
    auto value = [&](std::u16string_view key) {
        size_t node = FindNode(f.data(), rec, NodeKind::Integer, key);
        return node ? ReadI32(f.data() + node + 4) : -1;
    };
    EXPECT_EQ(value(u"abc"), 1);
    EXPECT_EQ(value(u"abcd"), 2);
    EXPECT_EQ(value(u"\x0416"), 5);
    EXPECT_EQ(value(u"a"), 4);
    EXPECT_EQ(value(u"ab"), -1);
    EXPECT_EQ(value(u"abce"), -1);
    EXPECT_EQ(value(u"c"), -1);
    // Kinds are separate arrays: an integer key is no string key.
    EXPECT_EQ(FindNode(f.data(), rec, NodeKind::String, u"abc"), 0u);
}

TEST(SkinFormat, SampleSkinPassesTheChecks)
{
    auto f = ReadBytes(SampleSkinPath());
    ASSERT_GT(f.size(), 92u);
    EXPECT_EQ(CheckSkin(f.data(), f.size()), "");
    EXPECT_TRUE(WalkSkin(f.data(), f.size()));
}

// Every way the structure can point out of the file or into itself is refused, and the reason
// says which.
TEST(SkinFormat, CorruptedStructureIsRefused)
{
    const auto sample = ReadBytes(SampleSkinPath());
    const size_t size = sample.size();
    const size_t root = ReadU32(sample.data() + kRootOffset);
    const size_t portrait = Record(sample, u"kb_portrait");
    const size_t landscapeEntry = Record(sample, u"kb_landscape") - kTreeEntryHeader;
    const size_t key = FirstChild(sample, portrait);
    const NodeArray ints = ArrayOf(sample.data(), portrait, NodeKind::Integer);
    const NodeArray strings = ArrayOf(sample.data(), key, NodeKind::String);
    const NodeArray pictures = ArrayOf(sample.data(), key, NodeKind::Picture);
    const NodeArray fonts = ArrayOf(sample.data(), FirstChild(sample, key), NodeKind::Font);
    ASSERT_GT(ints.count, 0u);
    ASSERT_GT(fonts.count, 0u);

    struct Case {
        const char* what;
        std::function<void(std::vector<uint8_t>&)> damage;
        const char* reason;
    };
    const std::vector<Case> cases {
        { "root past the end", [&](auto& f) { Put32(f, kRootOffset, uint32_t(size + 40)); }, "outside" },
        { "root negative", [&](auto& f) { Put32(f, kRootOffset, uint32_t(-8)); }, "outside" },
        { "root on the last bytes", [&](auto& f) { Put32(f, kRootOffset, uint32_t(size - 4)); }, "outside" },
        { "tree entry is its own subtree", [&](auto& f) { Put32(f, root, uint32_t(root)); }, "loop" },
        { "tree loops back to the root", [&](auto& f) { Put32(f, landscapeEntry + 4, uint32_t(root)); }, "loop" },
        { "node name past the end", [&](auto& f) { Put32(f, root + 8, uint32_t(size + 2)); }, "node name" },
        { "child past the end", [&](auto& f) { Put32(f, portrait + kRecordHeader, uint32_t(size)); }, "outside" },
        { "child is its parent", [&](auto& f) { Put32(f, portrait + kRecordHeader, uint32_t(portrait)); }, "loop" },
        { "grandchild is the grandparent", [&](auto& f) { Put32(f, key + kRecordHeader, uint32_t(portrait)); }, "loop" },
        { "child list past the end", [&](auto& f) { Put16(f, portrait + 14, 0xFFFF); }, "child list" },
        { "arrays past the end", [&](auto& f) { Put16(f, portrait + 12, uint16_t(ReadU16(f.data() + portrait + 10) + 8 * 200)); }, "past the end" },
        { "arrays out of order", [&](auto& f) { Put16(f, portrait + 2, ReadU16(f.data() + portrait) - 8); }, "malformed" },
        { "array of half a node", [&](auto& f) { Put16(f, portrait + 2, ReadU16(f.data() + portrait + 2) - 4); }, "malformed" },
        { "key name past the end", [&](auto& f) { Put16(f, ints.first, 0xFFFF); }, "key name" },
        { "key name without its end", [&](auto& f) { Put16(f, ints.first, uint16_t(size - 1)); }, "key name" },
        { "string index past the table", [&](auto& f) { Put16(f, strings.first + 2, 500); }, "string index" },
        { "font index past the table", [&](auto& f) { Put32(f, fonts.first + 4, 2); }, "font index" },
        { "negative font index", [&](auto& f) { Put32(f, fonts.first + 4, uint32_t(-1)); }, "font index" },
        { "picture index past the table", [&](auto& f) { f[pictures.first + 18] = 2; }, "picture index" },
        { "text area past the end", [&](auto& f) { Put32(f, kTextAreaOffset, uint32_t(size + 1)); }, "text area" },
        { "more strings than bytes", [&](auto& f) { Put32(f, kStringCountOffset, 0xFFFFFFFF); }, "text area" },
        { "more pictures than strings", [&](auto& f) { Put32(f, kPictureCountOffset, 40); }, "text area" },
        { "bad magic", [&](auto& f) { f[6] ^= 1; }, "not a skin" },
    };
    for (const auto& c : cases) {
        auto f = sample;
        c.damage(f);
        std::string why = CheckSkin(f.data(), f.size());
        EXPECT_NE(why.find(c.reason), std::string::npos) << c.what << ": " << why;
        EXPECT_FALSE(WalkSkin(f.data(), f.size())) << c.what;
    }
}

TEST(SkinFormat, EveryTruncationIsRefused)
{
    const auto sample = ReadBytes(SampleSkinPath());
    for (size_t n = 0; n < sample.size(); ++n) {
        std::vector<uint8_t> f(sample.begin(), sample.begin() + long(n));
        EXPECT_NE(CheckSkin(f.data(), f.size()), "") << n << " bytes";
    }
}

TEST(SkinFormat, DeepNestingAndExponentialSharingAreRefused)
{
    // Two chains of 150; hooking one's leaf onto the other nests 300 deep, reached either
    // while the other is still on the path or after it was checked on its own.
    skinc::Skin skin;
    skin.nodes.emplace_back(u"a", Chain(150));
    skin.nodes.emplace_back(u"b", Chain(150));
    const auto base = skinc::WriteSkin(skin);
    ASSERT_EQ(CheckSkin(base.data(), base.size()), "");
    auto leafParent = [&](size_t record) {
        for (int i = 0; i < 148; ++i)
            record = FirstChild(base, record);
        return record;
    };
    for (auto [from, to] : { std::pair { u"a", u"b" }, { u"b", u"a" } }) {
        auto f = base;
        Put32(f, leafParent(Record(f, from)) + kRecordHeader, uint32_t(Record(f, to)));
        EXPECT_NE(CheckSkin(f.data(), f.size()).find("deeply"), std::string::npos);
    }

    // 24 levels whose two children are one and the same record: 2^24 elements once expanded.
    skinc::Element e;
    for (int i = 0; i < 24; ++i) {
        skinc::Element parent;
        parent.children = { e, skinc::Element {} };
        e = parent;
    }
    skinc::Skin wide;
    wide.nodes.emplace_back(u"w", e);
    auto f = skinc::WriteSkin(wide);
    ASSERT_EQ(CheckSkin(f.data(), f.size()), "");
    for (size_t rec = Record(f, u"w"); ReadU16(f.data() + rec + 14) == 2; rec = FirstChild(f, rec))
        Put32(f, rec + kRecordHeader + 4, ReadU32(f.data() + rec + kRecordHeader));
    EXPECT_NE(CheckSkin(f.data(), f.size()).find("too many"), std::string::npos);
}

// Random damage either passes the checks, and then every lookup path stays inside the file,
// or is refused. Run under AddressSanitizer this finds any read the checks missed.
TEST(SkinFormat, RandomDamageNeverEscapesTheFile)
{
    const auto sample = ReadBytes(SampleSkinPath());
    std::mt19937 random(4);
    int accepted = 0;
    for (int round = 0; round < 3000; ++round) {
        auto f = sample;
        int flips = 1 + int(random() % 4);
        for (int i = 0; i < flips; ++i)
            f[random() % f.size()] = uint8_t(random());
        if (round % 7 == 0)
            f.resize(random() % f.size());
        // Exactly sized copy so that ASan sees any overrun.
        std::vector<uint8_t> exact(f.begin(), f.end());
        accepted += WalkSkin(exact.data(), exact.size());
    }
    EXPECT_GT(accepted, 0);
}

// Inputs that once broke a parser stay here and are replayed.
TEST(SkinFormat, CrashInputsReplay)
{
    namespace fs = std::filesystem;
    fs::path dir = fs::path(MK_SOURCE_DIR) / "tests/fuzz/crashes";
    for (const auto& entry : fs::directory_iterator(dir)) {
        if (!entry.is_regular_file())
            continue; // the file targets' inputs, replayed by their own tests
        auto f = ReadBytes(entry.path().string());
        std::string name = entry.path().filename().string();
        SCOPED_TRACE(name);
        if (name.rfind("skin", 0) == 0)
            WalkSkin(f.data(), f.size());
        else if (name.rfind("bmp", 0) == 0)
            WalkBmp(f.data(), f.size());
    }
}
