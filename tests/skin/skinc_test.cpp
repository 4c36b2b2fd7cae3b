#include "tools/skinc/SkinSource.h"

#include "skin/file/BmpFormat.h"
#include "skin/file/SkinFormat.h"
#include "tests/skin/SkinTestFiles.h"

#include <gtest/gtest.h>
#include <simhost.h>

#include <cstdio>
#include <filesystem>

namespace fs = std::filesystem;

namespace {

std::string RunCommand(const std::string& command, int& status)
{
    std::string out;
    FILE* p = popen(command.c_str(), "r");
    char buf[4096];
    size_t n;
    while (p && (n = fread(buf, 1, sizeof buf, p)) > 0)
        out.append(buf, n);
    status = p ? pclose(p) : -1;
    return out;
}

std::string ReadText(const std::string& path)
{
    auto b = ReadBytes(path);
    return std::string(b.begin(), b.end());
}

std::string CompileError(const std::string& yaml)
{
    try {
        skinc::WriteSkin(skinc::ParseYaml(yaml, "test.yaml"));
    } catch (const skinc::Error& e) {
        return e.what();
    }
    return "";
}

} // namespace

TEST(Skinc, DumpOfTheSampleIsTheCheckedInText)
{
    int status = 0;
    std::string dump = RunCommand(std::string(MK_SKINC) + " --dump " + SampleSkinPath(), status);
    EXPECT_EQ(status, 0);
    EXPECT_EQ(dump, ReadText(std::string(MK_SOURCE_DIR) + "/tests/skin/sample/sample.dump.yaml"));
}

TEST(Skinc, DumpCompiledAgainGivesTheSameBytes)
{
    const auto sample = ReadBytes(SampleSkinPath());
    std::string dump = skinc::WriteYaml(skinc::ReadSkin(sample));
    EXPECT_EQ(skinc::WriteSkin(skinc::ParseYaml(dump, "dump")), sample);

    // And through the tool, file to file.
    fs::path dir = fs::temp_directory_path() / ("skinc_test_" + std::to_string(getpid()));
    fs::create_directories(dir);
    std::string text = (dir / "dump.yaml").string();
    std::string again = (dir / "again.skin").string();
    int status = 0;
    RunCommand(std::string(MK_SKINC) + " --dump " + SampleSkinPath() + " -o " + text, status);
    EXPECT_EQ(status, 0);
    RunCommand(std::string(MK_SKINC) + " " + text + " -o " + again, status);
    EXPECT_EQ(status, 0);
    EXPECT_EQ(ReadBytes(again), sample);
    fs::remove_all(dir);
}

TEST(Skinc, PngPicturesBecomeKeyedRgb565)
{
    auto file = ReadBytes(std::string(MK_SAMPLE_SKIN_DIR) + "/keys.bmp");
    BmpLayout layout;
    ASSERT_TRUE(ParseBmp565(file.data(), file.size(), layout));
    ASSERT_EQ(layout.width, 24);
    ASSERT_EQ(layout.height, 16);
    EXPECT_FALSE(layout.topDown);
    std::vector<uint16_t> px(24 * 16);
    CopyBmpRows(file.data(), layout, px.data(), 48);
    auto at = [&](int x, int y) { return px[size_t(y) * 24 + size_t(x)]; };
    EXPECT_EQ(at(0, 0), 0xF81F); // transparent corner
    // Opaque border (40, 60, 120) and middle (230, 235, 245) carry the opacity bit.
    EXPECT_EQ(at(1, 1), ((40 >> 3) << 11 | (60 >> 2) << 5 | (120 >> 3)) | 0x0020);
    EXPECT_EQ(at(10, 8), ((230 >> 3) << 11 | (235 >> 2) << 5 | (245 >> 3)) | 0x0020);
    // The half-transparent black shadow: weighted colour black, bit clear: translucent.
    EXPECT_EQ(at(10, 15), 0x0000);
    EXPECT_EQ(at(0, 15), 0xF81F);
}

TEST(Skinc, OpaqueMagentaIsTheColourKeyToo)
{
    fs::path dir = fs::temp_directory_path() / ("skinc_magenta_" + std::to_string(getpid()));
    fs::create_directories(dir);
    // Pure magenta, a colour one step away from it, and white, all opaque.
    const uint16_t source[3] = { 0xF81F, 0xF01F, 0xFFFF };
    ASSERT_TRUE(SimWritePng565((dir / "m.png").c_str(), source, 3, 1, 3));
    skinc::ConvertPngToBmp((dir / "m.png").string(), (dir / "m.bmp").string());
    auto file = ReadBytes((dir / "m.bmp").string());
    BmpLayout layout;
    ASSERT_TRUE(ParseBmp565(file.data(), file.size(), layout));
    uint16_t px[3] = {};
    CopyBmpRows(file.data(), layout, px, 6);
    EXPECT_EQ(px[0], 0xF81F);
    EXPECT_EQ(px[1], 0xF01F | 0x0020);
    EXPECT_EQ(px[2], 0xFFFF);
    fs::remove_all(dir);
}

TEST(Skinc, TablesAreSharedAndTypedValuesLandAsWritten)
{
    auto f = skinc::WriteSkin(skinc::ParseYaml(R"(
nodes:
  n:
    a: !font "10"
    b: !font "10"
    c: "x"
    d: "x"
    e: !str 12
    f: 12
    g: !int -0x10
    p: !point [-32768, 32767]
    q: !picture [atlas, 1, 2, 3, 4]
    r: !color [1, 2, 3]
)", "t"));
    using namespace skinfmt;
    ASSERT_EQ(CheckSkin(f.data(), f.size()), "");
    EXPECT_EQ(ReadU32(f.data() + kFontCountOffset), 1u);
    EXPECT_EQ(ReadU32(f.data() + kStringCountOffset), 2u);
    EXPECT_EQ(ReadU32(f.data() + kPictureCountOffset), 1u);
    size_t rec = FindNamedRecord(f.data(), u"n");
    EXPECT_EQ(ArrayOf(f.data(), rec, NodeKind::Integer).count, 2u);
    EXPECT_EQ(ArrayOf(f.data(), rec, NodeKind::String).count, 3u);
    EXPECT_EQ(ReadI32(f.data() + FindNode(f.data(), rec, NodeKind::Integer, u"g") + 4), -16);
    size_t p = FindNode(f.data(), rec, NodeKind::Point, u"p");
    EXPECT_EQ(ReadI16(f.data() + p + 4), -32768);
    EXPECT_EQ(ReadI16(f.data() + p + 6), 32767);
    // Without guides the whole rectangle is the middle: x1 = x0, x2 = x3.
    size_t q = FindNode(f.data(), rec, NodeKind::Picture, u"q");
    EXPECT_EQ(ReadU16(f.data() + q + 2), 1);
    EXPECT_EQ(ReadU16(f.data() + q + 6), 1);
    EXPECT_EQ(ReadU16(f.data() + q + 10), 3);
    EXPECT_EQ(ReadU16(f.data() + q + 16), 4);
    size_t r = FindNode(f.data(), rec, NodeKind::Color, u"r");
    EXPECT_EQ(f[r + 4] << 16 | f[r + 5] << 8 | f[r + 6], 0x010203);
}

TEST(Skinc, SourceMistakesAreReportedWithTheirLine)
{
    EXPECT_NE(CompileError("nodes:\n  n:\n    a: !pointy [1, 2]\n").find("test.yaml:3"), std::string::npos);
    EXPECT_NE(CompileError("nodes:\n  n:\n    a: !point [1, 40000]\n").find("outside"), std::string::npos);
    EXPECT_NE(CompileError("nodes:\n  n:\n    a: !picture {image: x, rect: [0, 0, 4, 4], guides: [3, 0, 2, 4]}\n").find("x1"), std::string::npos);
    EXPECT_NE(CompileError("nodes:\n  n:\n    a: !color \"#12345\"\n").find("colour"), std::string::npos);
    EXPECT_NE(CompileError("nodes:\n  n:\n    a:\n").find("without a value"), std::string::npos);
    EXPECT_NE(CompileError("skins: []\n").find("unknown section"), std::string::npos);
    EXPECT_NE(CompileError("nodes: [\n").find("test.yaml"), std::string::npos);

    // Key names past the reach of 16-bit offsets cannot be written.
    std::string many = "nodes:\n  n:\n";
    for (int i = 0; i < 700; ++i)
        many += "    key_" + std::to_string(i) + std::string(40, 'x') + ": 1\n";
    EXPECT_NE(CompileError(many).find("65536"), std::string::npos);

    std::string pictures = "nodes:\n  n:\n";
    for (int i = 0; i < 257; ++i)
        pictures += "    p" + std::to_string(i) + ": !picture [img" + std::to_string(i) + ", 0, 0, 1, 1]\n";
    EXPECT_NE(CompileError(pictures).find("256"), std::string::npos);
}

TEST(Skinc, DamagedBinaryIsNotDumped)
{
    auto f = ReadBytes(SampleSkinPath());
    Put32(f, skinfmt::kRootOffset, uint32_t(f.size()));
    EXPECT_THROW(skinc::ReadSkin(f), skinc::Error);
}

TEST(Skinc, AScaleMultipliesLengthsOnceAndRecordsItself)
{
    skinc::Skin skin = skinc::ParseYaml(R"(
fonts: ["11 0 0 0 Tahoma"]
nodes:
  form:
    design_size: !point [240, 85]
    border: !point [-1, 1]
    ratio: 3
    label: "9 items"
    colour: !color [1, 2, 3]
    face: !picture {image: keys, rect: [12, 0, 24, 12], guides: [16, 4, 20, 8]}
    children:
      - id: "key"
        font: !font "8 1 0 0 Tahoma"
        bare: !font "Courier New"
        size: !point [21, 0]
)", "t");
    skinc::ScaleSkin(skin, 3.125);
    auto f = skinc::WriteSkin(skin);
    using namespace skinfmt;
    ASSERT_EQ(CheckSkin(f.data(), f.size()), "");
    const size_t form = FindNamedRecord(f.data(), u"form");
    auto point = [&](size_t record, std::u16string_view key) {
        const size_t n = FindNode(f.data(), record, NodeKind::Point, key);
        return std::pair<int, int> { ReadI16(f.data() + n + 4), ReadI16(f.data() + n + 6) };
    };
    // Rounded as the art tools round: floor(v * scale + 0.5).
    EXPECT_EQ(point(form, u"design_size"), (std::pair<int, int> { 750, 266 }));
    EXPECT_EQ(point(form, u"border"), (std::pair<int, int> { -3, 3 }));
    const size_t face = FindNode(f.data(), form, NodeKind::Picture, u"face");
    const int corners[8] = { 38, 0, 50, 13, 63, 25, 75, 38 }; // x0 y0 x1 y1 x2 y2 x3 y3
    for (int i = 0; i < 8; ++i)
        EXPECT_EQ(ReadU16(f.data() + face + 2 + 2 * i), corners[i]) << i;
    // Integers, strings and colours are no lengths.
    EXPECT_EQ(ReadI32(f.data() + FindNode(f.data(), form, NodeKind::Integer, u"ratio") + 4), 3);
    const size_t key = ReadU32(f.data() + form + kRecordHeader);
    EXPECT_EQ(point(key, u"size"), (std::pair<int, int> { 66, 0 }));
    // Font sizes: the size field only; a descriptor without one keeps the loader's default.
    std::vector<std::u16string> fonts;
    size_t text = ReadU32(f.data() + kTextAreaOffset);
    for (uint32_t i = 0; i < ReadU32(f.data() + kPictureCountOffset); ++i)
        text += (ReadString(f.data(), text).size() + 1) * 2;
    for (uint32_t i = 0; i < ReadU32(f.data() + kFontCountOffset); ++i) {
        fonts.push_back(ReadString(f.data(), text));
        text += (fonts.back().size() + 1) * 2;
    }
    EXPECT_NE(std::find(fonts.begin(), fonts.end(), u"34 0 0 0 Tahoma"), fonts.end());
    EXPECT_NE(std::find(fonts.begin(), fonts.end(), u"25 1 0 0 Tahoma"), fonts.end());
    EXPECT_NE(std::find(fonts.begin(), fonts.end(), u"Courier New"), fonts.end());
    // The scale, in thousandths.
    const size_t scale = FindNamedRecord(f.data(), kDrawnScaleNode);
    ASSERT_NE(scale, 0u);
    EXPECT_EQ(ReadI32(f.data() + FindNode(f.data(), scale, NodeKind::Integer, kDrawnScaleKey) + 4), 3125);

    // Never twice: a scaled skin's lengths are pixels already.
    EXPECT_THROW(skinc::ScaleSkin(skin, 2.0), skinc::Error);

    // A form given its screen's size; a node without a size, or none, is an error.
    skinc::ResizeNode(skin, u"form", 1920, 300);
    f = skinc::WriteSkin(skin);
    EXPECT_EQ(point(FindNamedRecord(f.data(), u"form"), u"design_size"), (std::pair<int, int> { 1920, 300 }));
    EXPECT_THROW(skinc::ResizeNode(skin, u"scale", 10, 10), skinc::Error);
    EXPECT_THROW(skinc::ResizeNode(skin, u"nothing", 10, 10), skinc::Error);
}

TEST(Skinc, AScaledTableRowIsAsLongAsTheRowScaledWhole)
{
    // The keyboard's function row at 3.115: each key rounded alone would make 750 pixels of a
    // 748-pixel keyboard; each key ending where its end scales to makes exactly 748.
    skinc::Skin skin = skinc::ParseYaml(R"(
nodes:
  form:
    type: vtable
    children:
      - type: htable
        id: "row"
        design_size: !point [0, 21]
        children:
          - {id: "a", design_size: !point [33, 0]}
          - {id: "b", design_size: !point [22, 0]}
          - {id: "c", design_size: !point [22, 0]}
          - {id: "d", design_size: !point [22, 0]}
          - {type: htable, id: "nested", children: [{design_size: !point [38, 0]}, {design_size: !point [38, 0]}]}
          - {id: "f", design_size: !point [32, 0]}
          - {id: "g", design_size: !point [33, 0]}
      - {type: htable, id: "second", design_size: !point [0, 21]}
)", "t");
    skinc::ScaleSkin(skin, 3.115);
    const skinc::Element& row = skin.nodes.front().second.children[0];
    int sum = 0;
    std::vector<int> widths;
    for (const skinc::Element& cell : row.children) {
        int width = 0;
        for (const auto& [key, value] : cell.keys)
            if (key == u"design_size")
                width = value.x;
        if (width == 0) // the nested row: its own cells
            for (const skinc::Element& inner : cell.children)
                width += inner.keys.front().second.x;
        widths.push_back(width);
        sum += width;
    }
    EXPECT_EQ(sum, 748);
    EXPECT_EQ(widths, (std::vector<int> { 103, 68, 69, 68, 237, 100, 103 }));
    // Down the table alike: 21 rows scale to 65 and 66 by where they end.
    auto height = [](const skinc::Element& e) {
        for (const auto& [key, value] : e.keys)
            if (key == u"design_size")
                return int(value.y);
        return -1;
    };
    EXPECT_EQ(height(skin.nodes.front().second.children[0]), 65);
    EXPECT_EQ(height(skin.nodes.front().second.children[1]), 66);
}
