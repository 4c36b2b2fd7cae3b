#include "skin/file/Properties.h"

#include "runtime/Log.h"
#include "runtime/Registry.h"
#include "runtime/Text.h"
#include "skin/file/DisplayInfo.h"
#include "skin/elements/ElementRegistry.h"
#include "skin/text/FontRep.h"
#include "skin/file/Picture.h"
#include "skin/drawing/Canvas.h"
#include "skin/drawing/PixelBuffer.h"
#include "skin/drawing/PixelOps.h"
#include "skin/file/SkinFormat.h"
#include "skin/file/skinio.h"
#include "runtime/Path.h"
#include "tests/skin/SkinTestFiles.h"
#include "tests/support/DeviceRoot.h"
#include "tests/support/Golden.h"

#include <gtest/gtest.h>
#include <simhost.h>

#include <filesystem>
#include <random>

namespace {

const char16_t kTarn[] = u"HKEY_CURRENT_USER\\Software\\Tarn";
const char16_t kSkinDir[] = u"\\Program Files\\Tarn\\Magnikeys\\skins\\bin";

DisplayInfo Screen(int dpi)
{
    DisplayInfo d;
    d.width = d.current_width = 240;
    d.height = d.current_height = 320;
    d.dpi = dpi;
    return d;
}

std::string AsText(const std::vector<uint8_t>& bytes) { return std::string(bytes.begin(), bytes.end()); }

// A device with the sample skin installed and the log switched on.
struct SkinLoad : DeviceRootTest {
    void SetUp() override
    {
        ASSERT_TRUE(RegWriteNumber(kTarn, u"Log", 1));
        SimUseVirtualClock(5000); // timings in the log read 0.000
        install(u"default.skin", ReadBytes(SampleSkinPath()));
        for (const char* picture : { "keys", "lens" })
            install(Utf16FromUtf8(picture) + u".bmp", ReadBytes(std::string(MK_SAMPLE_SKIN_DIR) + "/" + picture + ".bmp"));
        clearLog();
    }
    void TearDown() override
    {
        RegWriteNumber(kTarn, u"Log", 0);
        Log();
        SimUseRealClock();
    }

    std::u16string skinPath(std::u16string_view name = u"default.skin") const { return std::u16string(kSkinDir) + u"\\" + std::u16string(name); }
    void install(std::u16string_view name, const std::vector<uint8_t>& bytes) { device.writeFile(skinPath(name), AsText(bytes)); }

    // The log's lines since the last clearLog, as UTF-8.
    std::string log()
    {
        Log().flush();
        auto bytes = device.readFile(u"\\Temp\\" + AppName() + u".txt").value_or("");
        std::u16string text;
        for (size_t i = 2; i + 1 < bytes.size(); i += 2)
            text.push_back(char16_t(uint8_t(bytes[i]) | uint8_t(bytes[i + 1]) << 8));
        return Utf8FromUtf16(text).substr(m_seen);
    }
    void clearLog() { m_seen = 0, m_seen = log().size(); }
    // Only the loader's own lines: fonts log their creation too.
    std::string loaderLog()
    {
        std::string all = log(), mine;
        for (size_t at = 0; at < all.size();) {
            size_t end = all.find('\n', at);
            end = end == std::string::npos ? all.size() : end + 1;
            std::string line = all.substr(at, end - at);
            if (line.rfind("Properties", 0) == 0 || line.rfind("load_565", 0) == 0 || line.rfind("Error", 0) == 0)
                mine += line;
            at = end;
        }
        return mine;
    }

    size_t m_seen = 0;
};

} // namespace

TEST_F(SkinLoad, SampleAnswersTypedLookups)
{
    Properties skin;
    EXPECT_TRUE(skin.empty());
    ASSERT_TRUE(skin.load_skin(skinPath(), Screen(96)));
    EXPECT_FALSE(skin.empty());
    EXPECT_EQ(skin.scale_shift(), 0);

    const ElementRecord* portrait = skin.find_node(u"kb_portrait");
    ASSERT_NE(portrait, nullptr);
    EXPECT_EQ(skin.find_node(u"kb_portrai"), nullptr);
    EXPECT_EQ(skin.get_string(*portrait, u"id", u"none"), u"keyboard");
    POINT border = skin.get_point(*portrait, u"border_min", POINT { 1, 1 });
    EXPECT_EQ(border.x, -3);
    EXPECT_EQ(border.y, 7);
    EXPECT_EQ(skin.get_int(*portrait, u"cache_alpha", 0), 128);
    EXPECT_EQ(skin.get_int(*portrait, u"id", 99), 99); // a string key is no integer key
    EXPECT_EQ(skin.get_color(*portrait, u"background", SkinColor {}), (SkinColor { 0x20, 0x30, 0x40, 255 }));
    EXPECT_EQ(skin.get_color(*portrait, u"missing", (SkinColor { 1, 2, 3, 4 })), (SkinColor { 1, 2, 3, 4 }));
    EXPECT_EQ(skin.point_count(*portrait), 2u);
    EXPECT_EQ(skin.integer_count(*portrait), 2u);
    EXPECT_EQ(skin.font_count(*portrait), 0u);

    ASSERT_EQ(skin.child_count(*portrait), 2u);
    const ElementRecord& key = skin.child(*portrait, 0);
    EXPECT_EQ(skin.get_string(key, u"id", u""), u"key_q");
    EXPECT_EQ(skin.get_string(skin.child(*portrait, 1), u"text", u""), u"Клавиатура");
    PictureRef src = skin.get_picture(key, u"src", PictureRef {});
    ASSERT_TRUE(src.image);
    EXPECT_EQ(src.image->width(), 24);
    EXPECT_EQ(src.image->height(), 16);
    EXPECT_EQ(src.p1.x, 3);
    EXPECT_EQ(src.p2.y, 12);
    EXPECT_EQ(src.p3.x, 24);
    EXPECT_EQ(src.flag, 1);
    EXPECT_EQ(src.image, skin.picture_table()[0].image);
    EXPECT_EQ(skin.picture_table()[0].p3.y, 16);

    ASSERT_EQ(skin.font_table().size(), 2u);
    EXPECT_EQ(skin.font_table()[0]->desc().scale, 1);
    EXPECT_NE(skin.font_table()[0]->handle(), nullptr);
    const ElementRecord& label = skin.child(key, 0);
    EXPECT_EQ(skin.get_font(label, u"font", nullptr), skin.font_table()[0]);
    EXPECT_EQ(skin.get_font(label, u"nofont", nullptr), nullptr);
    EXPECT_EQ(skin.get_font(skin.child(*portrait, 1), u"font", nullptr), skin.font_table()[1]);

    EXPECT_EQ(loaderLog(),
        "Properties::load_skin 1\n"
        "PropertiesImpl::PropertiesImpl picture load time=0.000 {keys}\n"
        "PropertiesImpl::PropertiesImpl picture load time=0.000 {lens}\n"
        "PropertiesImpl::PropertiesImpl fonts create time=0.000\n"
        "Properties::load_skin 2\n"
        "Properties::load_skin 3\n");
}

TEST_F(SkinLoad, HighDensityScreenDoublesPointsAndPictures)
{
    Properties skin;
    ASSERT_TRUE(skin.load_skin(skinPath(), Screen(192)));
    EXPECT_EQ(skin.scale_shift(), 1);
    const ElementRecord& portrait = *skin.find_node(u"kb_portrait");
    POINT border = skin.get_point(portrait, u"border_min", POINT {});
    EXPECT_EQ(border.x, -6);
    EXPECT_EQ(border.y, 14);
    POINT fallback = skin.get_point(portrait, u"nothing", POINT { 5, 5 });
    EXPECT_EQ(fallback.x, 5); // defaults are never scaled
    EXPECT_EQ(fallback.y, 5);
    EXPECT_EQ(skin.get_int(portrait, u"cache_alpha", 0), 128); // integers are not scaled
    // Fonts are made at twice the size: the descriptor stays, the scale doubles.
    ASSERT_EQ(skin.font_table().size(), 2u);
    const FontDesc& title = skin.font_table()[1]->desc();
    EXPECT_EQ(title.size, 14);
    EXPECT_EQ(title.scale, 2);
    EXPECT_TRUE(title.bold);
    EXPECT_FALSE(title.italic);
    EXPECT_TRUE(title.underline);
    EXPECT_EQ(title.face, u"Courier New");
    EXPECT_EQ(title.logical_height(), 14 * 2 * -96 / 72);

    PictureRef src = skin.get_picture(skin.child(portrait, 0), u"src", PictureRef {});
    EXPECT_EQ(src.scale_shift, 1);
    long corners[8] = { src.p0.x, src.p0.y, src.p1.x, src.p1.y, src.p2.x, src.p2.y, src.p3.x, src.p3.y };
    long expected[8] = { 0, 0, 6, 6, 42, 24, 48, 32 };
    for (int i = 0; i < 8; ++i)
        EXPECT_EQ(corners[i], expected[i]) << i;
    // The same rectangle read at 96 dpi is a different reference.
    Properties low;
    ASSERT_TRUE(low.load_skin(skinPath(), Screen(131)));
    EXPECT_EQ(low.scale_shift(), 0);
    EXPECT_FALSE(low.get_picture(low.child(*low.find_node(u"kb_portrait"), 0), u"src", PictureRef {}) == src);
}

TEST_F(SkinLoad, ASkinDrawnForItsScreenIsNeverReplicated)
{
    skinc::Skin source = skinc::ParseYaml(R"(
nodes:
  form:
    design_size: !point [240, 85]
    font: !font "11 1 0 0 Tahoma"
)", "t");
    skinc::ScaleSkin(source, 2.5);
    install(u"scaled.skin", skinc::WriteSkin(source));
    // A 192 dpi screen doubles the device's skin; this one is its screen's pixels already.
    Properties skin;
    ASSERT_TRUE(skin.load_skin(skinPath(u"scaled.skin"), Screen(192)));
    EXPECT_TRUE(skin.drawn_for_screen());
    EXPECT_EQ(skin.scale_shift(), 0);
    EXPECT_DOUBLE_EQ(skin.pixel_scale(), 2.5);
    EXPECT_EQ(skin.pixels(26), 65);
    EXPECT_EQ(skin.pixels(-6), -15);
    const POINT size = skin.get_point(*skin.find_node(u"form"), u"design_size", POINT {});
    EXPECT_EQ(size.x, 600);
    EXPECT_EQ(size.y, 213);
    ASSERT_EQ(skin.font_table().size(), 1u);
    EXPECT_EQ(skin.font_table()[0]->desc().size, 28);
    EXPECT_EQ(skin.font_table()[0]->desc().scale, 1);

    // The device's skin answers with its own scale: 2^scale_shift.
    Properties device;
    ASSERT_TRUE(device.load_skin(skinPath(), Screen(192)));
    EXPECT_FALSE(device.drawn_for_screen());
    EXPECT_DOUBLE_EQ(device.pixel_scale(), 2.0);
    EXPECT_EQ(device.pixels(26), 52);
    ASSERT_TRUE(device.load_skin(skinPath(), Screen(96)));
    EXPECT_EQ(device.pixels(26), 26);

    // A scale no tool writes (none, or past any screen) is no scale: the device's rules.
    for (int32_t thousandths : { 0, -2500, 100000 }) {
        skinc::Skin odd = skinc::ParseYaml("nodes:\n  scale: {thousandths: " + std::to_string(thousandths) + "}\n", "t");
        install(u"odd.skin", skinc::WriteSkin(odd));
        Properties p;
        ASSERT_TRUE(p.load_skin(skinPath(u"odd.skin"), Screen(192)));
        EXPECT_FALSE(p.drawn_for_screen()) << thousandths;
        EXPECT_EQ(p.scale_shift(), 1) << thousandths;
    }
}

TEST_F(SkinLoad, SkinWithoutTablesOrNodesLoads)
{
    install(u"empty.skin", skinc::WriteSkin(skinc::Skin {}));
    Properties skin;
    ASSERT_TRUE(skin.load_skin(skinPath(u"empty.skin"), Screen(96)));
    EXPECT_FALSE(skin.empty());
    EXPECT_EQ(skin.find_node(u""), nullptr);
    EXPECT_EQ(loaderLog(),
        "Properties::load_skin 1\n"
        "PropertiesImpl::PropertiesImpl fonts create time=0.000\n"
        "Properties::load_skin 2\n"
        "Properties::load_skin 3\n");
}

// Every failure leaves the skin that was there complete and usable.
TEST_F(SkinLoad, FailedLoadsKeepTheOldSkin)
{
    Properties skin;
    ASSERT_TRUE(skin.load_skin(skinPath(), Screen(96)));
    auto stillThere = [&] {
        const ElementRecord* n = skin.find_node(u"kb_landscape");
        return n && skin.get_string(*n, u"id", u"") == u"keyboard" && skin.scale_shift() == 0;
    };
    const auto sample = ReadBytes(SampleSkinPath());

    // Too short or not a skin: refused without a word.
    for (size_t size : { size_t(0), size_t(91) }) {
        install(u"short.skin", std::vector<uint8_t>(sample.begin(), sample.begin() + long(size)));
        clearLog();
        EXPECT_FALSE(skin.load_skin(skinPath(u"short.skin"), Screen(192))) << size;
        EXPECT_EQ(loaderLog(), "Properties::load_skin 1\nProperties::load_skin 2\n") << size;
        EXPECT_TRUE(stillThere());
    }

    clearLog();
    EXPECT_FALSE(skin.load_skin(skinPath(u"absent.skin"), Screen(192)));
    EXPECT_EQ(loaderLog(), "Properties::load_skin 1\nError: skin [" + Utf8FromUtf16(skinPath(u"absent.skin")) + "] failed to load\nProperties::load_skin 2\n");
    EXPECT_TRUE(stillThere());

    // A picture that is missing, or not 16 bits per pixel, no longer fails the load: the skin
    // loads, says so, and the keys naming that picture answer with their defaults.
    std::vector<uint8_t> eightBit = ReadBytes(std::string(MK_SAMPLE_SKIN_DIR) + "/lens.bmp");
    eightBit[28] = 8;
    std::u16string lens = skinPath(u"lens");
    for (bool present : { false, true }) {
        std::filesystem::remove(device.hostPath(skinPath(u"lens.bmp")));
        if (present)
            install(u"lens.bmp", eightBit);
        clearLog();
        Properties partial;
        EXPECT_TRUE(partial.load_skin(skinPath(), Screen(192)));
        EXPECT_EQ(loaderLog(),
            "Properties::load_skin 1\n"
            "PropertiesImpl::PropertiesImpl picture load time=0.000 {keys}\n"
            "load_565 " + Utf8FromUtf16(lens) + " is not 16bit bitmap\n"
            "PropertiesImpl::PropertiesImpl picture failed to load {lens}, its keys take their defaults\n"
            "PropertiesImpl::PropertiesImpl fonts create time=0.000\n"
            "Properties::load_skin 2\n"
            "Properties::load_skin 3\n");
        EXPECT_TRUE(stillThere());
    }
}

// Skins written by hand or by another tool: they may name pictures and faces the device does
// not have. They load, fall back to the defaults and leave a trace in the log.
TEST_F(SkinLoad, MissingPicturesAndFacesLoadWithTheDefaults)
{
    install(u"hostile.skin", skinc::WriteSkin(skinc::ParseYaml(
        "pictures: [keys, nowhere]\n"
        "nodes:\n"
        "  n:\n"
        "    here: !picture {image: keys, rect: [0, 0, 8, 8]}\n"
        "    gone: !picture {image: nowhere, rect: [0, 0, 400, 400]}\n"
        "    font: !font \"10 0 0 0 No Such Face Anywhere\"\n"
        "    tahoma: !font \"10 0 0 0 tahoma\"\n",
        "t")));
    Properties skin;
    ASSERT_TRUE(skin.load_skin(skinPath(u"hostile.skin"), Screen(96)));
    const ElementRecord* n = skin.find_node(u"n");
    ASSERT_NE(n, nullptr);
    EXPECT_TRUE(skin.get_picture(*n, u"here", PictureRef {}).image);
    PictureRef fallback;
    fallback.p3 = POINT { 5, 5 };
    PictureRef gone = skin.get_picture(*n, u"gone", fallback);
    EXPECT_EQ(gone.image, nullptr);
    EXPECT_EQ(gone.p3.x, 5) << "the caller's default, not the rectangle of a missing picture";

    // The face the device lacks: the font exists (the platform draws a similar face) and the
    // log names both; a face that exists, in another case, is not reported.
    std::shared_ptr<FontRep> font = skin.get_font(*n, u"font", nullptr);
    ASSERT_TRUE(font);
    EXPECT_NE(font->handle(), nullptr);
    EXPECT_GT(font->measure(u"abc", 0).width, 0);
    std::string all = log();
    EXPECT_NE(all.find("picture failed to load {nowhere}, its keys take their defaults"), std::string::npos) << all;
    EXPECT_NE(all.find("FontRep: no face {No Such Face Anywhere} on this device, using {"), std::string::npos) << all;
    EXPECT_EQ(all.find("FontRep: no face {tahoma}"), std::string::npos) << all;
}

// The deliberately damaged corpus: structure out of the file, loops, truncations and random
// damage all fail as a load, with at most one line saying why, and never read outside the file
// (this suite also runs under AddressSanitizer).
TEST_F(SkinLoad, DamagedSkinsFailCleanly)
{
    Properties skin;
    ASSERT_TRUE(skin.load_skin(skinPath(), Screen(96)));
    const auto sample = ReadBytes(SampleSkinPath());
    const size_t root = skinfmt::ReadU32(sample.data() + skinfmt::kRootOffset);
    const size_t portrait = root + skinfmt::kTreeEntryHeader;
    std::vector<std::vector<uint8_t>> corpus;
    for (size_t n = 92; n < sample.size(); n += 7)
        corpus.emplace_back(sample.begin(), sample.begin() + long(n));
    auto damaged = [&](auto change) {
        auto f = sample;
        change(f);
        corpus.push_back(f);
    };
    damaged([&](auto& f) { Put32(f, skinfmt::kRootOffset, uint32_t(f.size() + 100)); });
    damaged([&](auto& f) { Put32(f, root, uint32_t(root)); });
    damaged([&](auto& f) { Put32(f, portrait + skinfmt::kRecordHeader, uint32_t(portrait)); });
    damaged([&](auto& f) { Put32(f, portrait + skinfmt::kRecordHeader + 4, 0x7FFFFFF0); });
    damaged([&](auto& f) { Put16(f, portrait + skinfmt::ReadU16(f.data() + portrait), 0xFFFE); });
    damaged([&](auto& f) { Put32(f, skinfmt::kFontCountOffset, 1000000); });

    for (size_t i = 0; i < corpus.size(); ++i) {
        install(u"bad.skin", corpus[i]);
        clearLog();
        EXPECT_FALSE(skin.load_skin(skinPath(u"bad.skin"), Screen(192))) << i;
        std::string lines = loaderLog();
        EXPECT_EQ(lines.rfind("Properties::load_skin 1\n", 0), 0u) << i;
        size_t errors = 0;
        for (size_t at = lines.find("is damaged"); at != std::string::npos; at = lines.find("is damaged", at + 1))
            ++errors;
        EXPECT_EQ(errors, 1u) << i << ": " << lines;
        EXPECT_EQ(lines.find("picture load"), std::string::npos) << i;
    }
    EXPECT_EQ(skin.scale_shift(), 0);
    EXPECT_NE(skin.find_node(u"kb_portrait"), nullptr);

    // Random damage: whatever loads must answer every lookup from inside the file.
    std::mt19937 random(7);
    for (int round = 0; round < 150; ++round) {
        auto f = sample;
        for (int i = 0; i < 3; ++i)
            f[random() % f.size()] = uint8_t(random());
        install(u"bad.skin", f);
        Properties other;
        if (!other.load_skin(skinPath(u"bad.skin"), Screen(96)))
            continue;
        for (const char16_t* name : { u"kb_portrait", u"kb_landscape" }) {
            if (const ElementRecord* n = other.find_node(name)) {
                for (size_t c = 0; c < other.child_count(*n); ++c) {
                    const ElementRecord& child = other.child(*n, c);
                    other.get_picture(child, u"src", PictureRef {});
                    other.get_font(child, u"font", nullptr);
                    other.get_string(child, u"type", u"");
                }
            }
        }
    }
}

TEST_F(SkinLoad, PictureRectanglesMustLieInsideTheirPicture)
{
    auto source = [](const char* rect) {
        return std::string("pictures: [lens]\nnodes:\n  n:\n    src: !picture {image: lens, rect: ") + rect + "}\n";
    };
    install(u"fits.skin", skinc::WriteSkin(skinc::ParseYaml(source("[0, 0, 8, 8]"), "t")));
    install(u"wide.skin", skinc::WriteSkin(skinc::ParseYaml(source("[0, 0, 9, 8]"), "t")));
    Properties skin;
    EXPECT_TRUE(skin.load_skin(skinPath(u"fits.skin"), Screen(96)));
    clearLog();
    EXPECT_FALSE(skin.load_skin(skinPath(u"wide.skin"), Screen(96)));
    EXPECT_NE(loaderLog().find("picture key \"src\" lies outside its picture"), std::string::npos);

    // Guides out of order, written behind the compiler's back.
    auto f = skinc::WriteSkin(skinc::ParseYaml(source("[0, 0, 8, 8], guides: [2, 2, 6, 6]"), "t"));
    size_t rec = skinfmt::FindNamedRecord(f.data(), u"n");
    size_t node = skinfmt::ArrayOf(f.data(), rec, skinfmt::NodeKind::Picture).first;
    Put16(f, node + 6, 7); // x1 = 7 > x2 = 6
    install(u"guides.skin", f);
    EXPECT_FALSE(skin.load_skin(skinPath(u"guides.skin"), Screen(96)));
}

TEST_F(SkinLoad, ChildWithoutTypeAsksTheRegistryForTheEmptyName)
{
    install(u"untyped.skin", skinc::WriteSkin(skinc::ParseYaml("nodes:\n  n:\n    children:\n      - id: \"x\"\n", "t")));
    Properties skin;
    ASSERT_TRUE(skin.load_skin(skinPath(u"untyped.skin"), Screen(96)));
    const ElementRecord& node = *skin.find_node(u"n");
    // A record with children but no keys at all answers every lookup with the default.
    EXPECT_EQ(skin.get_int(node, u"x", 7), 7);
    EXPECT_EQ(skin.get_point(node, u"x", POINT { -1, 2 }).x, -1);
    EXPECT_EQ(skin.get_string(node, u"type", u"dflt"), u"dflt");
    EXPECT_EQ(skin.get_font(node, u"font", nullptr), nullptr);
    EXPECT_EQ(skin.get_color(node, u"c", (SkinColor { 9, 9, 9, 9 })), (SkinColor { 9, 9, 9, 9 }));
    EXPECT_FALSE(skin.get_picture(node, u"src", PictureRef {}).image);
    const ElementRecord& child = skin.child(node, 0);
    std::u16string type = skin.get_string(child, u"type", u"");
    EXPECT_EQ(type, u"");
    Element& parent = *reinterpret_cast<Element*>(0x5678); // never touched: nothing is created
    try {
        ElementRegistry::instance().create(type, parent);
        FAIL() << "created an element of no type";
    } catch (const skinio::NodeNotRegistered& e) {
        EXPECT_EQ(e.type, u"");
    }
}

TEST(ElementRegistry, NamesRegisterOnceAndCreateThroughTheirCreator)
{
    ElementRegistry& registry = ElementRegistry::instance();
    Element* made = reinterpret_cast<Element*>(0x1234);
    Element* seenParent = nullptr;
    registry.register_type(u"test_kind", [&](Element& parent) { seenParent = &parent; return made; });
    try {
        registry.register_type(u"test_kind", nullptr);
        ADD_FAILURE() << "registered twice";
    } catch (const skinio::NodeAlreadyRegistered& e) {
        EXPECT_EQ(e.type, u"test_kind");
    }
    Element& parent = *reinterpret_cast<Element*>(0x5678);
    EXPECT_EQ(registry.create(u"test_kind", parent), made);
    EXPECT_EQ(seenParent, &parent);
    EXPECT_EQ(registry.unregister_type(u"test_kind"), 1u);
    EXPECT_EQ(registry.unregister_type(u"test_kind"), 0u);
    EXPECT_THROW(registry.create(u"test_kind", parent), skinio::NodeNotRegistered);
}

TEST_F(SkinLoad, TranslationsSurviveLoadsAndFallBackToTheKey)
{
    Properties skin;
    skin.set_translation(u"NoSkins", u"Скин не найден");
    EXPECT_EQ(skin.translate(u"NoSkins"), u"Скин не найден");
    EXPECT_EQ(skin.translate(u"Other"), u"Other");
    ASSERT_TRUE(skin.load_skin(skinPath(), Screen(96)));
    EXPECT_EQ(skin.translate(u"NoSkins"), u"Скин не найден");
}

TEST(Picture, RedOnlyKeepsRedAndTheOpacityBitButNotTheKey)
{
    auto pixels = PixelBuffer::create(3, 1);
    ASSERT_TRUE(pixels);
    pixels->row(0)[0] = 0xFFFF;
    pixels->row(0)[1] = 0xF81F;
    pixels->row(0)[2] = 0x07C0;
    Picture picture(std::move(pixels), u"\\x");
    picture.make_red_only();
    EXPECT_EQ(picture.pixels().row(0)[0], 0xF820);
    EXPECT_EQ(picture.pixels().row(0)[1], 0xF81F);
    EXPECT_EQ(picture.pixels().row(0)[2], 0x0000);
}

// The key picture of the sample skin drawn stretched at both densities over grey: rounded
// corners stay transparent, the borders keep their width (doubled at 192 dpi), the middle is
// tiled and the shadow row lets half of the grey through.
TEST_F(SkinLoad, PicturesDrawAsNinePatchesAtBothDensities)
{
    Properties low, high;
    ASSERT_TRUE(low.load_skin(skinPath(), Screen(96)));
    ASSERT_TRUE(high.load_skin(skinPath(), Screen(192)));
    auto canvasPixels = PixelBuffer::create(120, 56);
    ASSERT_TRUE(canvasPixels);
    for (int y = 0; y < 56; ++y)
        for (int x = 0; x < 120; ++x)
            canvasPixels->row(y)[x] = 0x8410;
    Canvas canvas(canvasPixels.get());
    PictureRef small = low.get_picture(low.child(*low.find_node(u"kb_portrait"), 0), u"src", PictureRef {});
    PictureRef large = high.get_picture(high.child(*high.find_node(u"kb_portrait"), 0), u"src", PictureRef {});
    small.draw(canvas, POINT { 4, 4 }, POINT { 30, 20 }, level_op(2));
    large.draw(canvas, POINT { 40, 4 }, POINT { 76, 48 }, level_op(2));
    ExpectMatchesGolden(canvasPixels->pixels(), 120, 56, canvasPixels->pitch() / 2, "skin/sample_key_nine_patch");
}
