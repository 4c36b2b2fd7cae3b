// Elements read from compiled skins: which keys a record changes and which it leaves, children
// made through the registry, the cache drawn once and freed when hidden, and the dump.
#include <gtest/gtest.h>

#include <simhost.h>

#include <limits>
#include <string>
#include <vector>

#include "runtime/Log.h"
#include "runtime/Path.h"
#include "runtime/Registry.h"
#include "runtime/Text.h"
#include "skin/drawing/Blit.h"
#include "skin/file/DisplayInfo.h"
#include "skin/elements/Element.h"
#include "skin/elements/ElementRegistry.h"
#include "skin/drawing/PixelBuffer.h"
#include "skin/file/Properties.h"
#include "skin/drawing/RenderSurface.h"
#include "skin/elements/StandardElements.h"
#include "skin/elements/VisibilityAnimation.h"
#include "skin/file/skinio.h"
#include "tests/support/DeviceRoot.h"
#include "tools/skinc/SkinSource.h"

namespace {

const char kSkin[] = R"(
nodes:
  first:
    id: "first"
    anchor_x: MIN_SIDE
    anchor_y: CENTER
    border_min: !point [3, 4]
    design_size: !point [30, 20]
    border_max: !point [5, -6]
    table_ratio: 2
    cache: 1
    visibility_animation: "pop"
    children:
      - type: probe
        id: "a"
  second:
    id: "second"
    children:
      - type: probe
        id: "b"
        children:
          - type: probe
            id: "b1"
      - type: probe
        id: "c"
  third:
    anchor_x: "sideways"
    anchor_y: "MAX_SIDE_NO_SIZE"
    visibility_animation: "spin"
    table_ratio: 0
  broken:
    id: "broken"
    children:
      - type: probe
        id: "before"
      - type: nosuch
      - type: probe
        id: "after"
  opaque_cache:
    design_size: !point [20, 10]
    cache: 1
    children:
      - type: probe
        anchor_x: MIN_SIDE
        design_size: !point [10, 10]
  keyed_cache:
    design_size: !point [20, 10]
    cache: 1
    cache_alpha: 0
    children:
      - type: probe
        anchor_x: MIN_SIDE
        design_size: !point [10, 10]
)";

constexpr uint16_t kRed = 0xF800;
constexpr uint16_t kBlue = 0x001F;

// Fills itself red and counts how often it is drawn.
struct Probe : Element {
    using Element::Element;
    static inline int draws = 0;
    void draw(Canvas& canvas, POINT position) override
    {
        ++draws;
        fill(canvas, position, size(), SkinColor { 255, 0, 0, 255 });
        Element::draw(canvas, position);
    }
};

struct ElementLoad : ::testing::TestWithParam<int> {
    void SetUp() override
    {
        ElementRegistry::instance().register_type(u"probe", [](Element& parent) -> Element* { return new Probe(&parent); });
        auto bytes = skinc::WriteSkin(skinc::ParseYaml(kSkin, "test"));
        device.writeFile(u"\\Skins\\t.skin", std::string(bytes.begin(), bytes.end()));
        DisplayInfo display;
        display.dpi = GetParam() ? 192 : 96;
        ASSERT_TRUE(props.load_skin(u"\\Skins\\t.skin", display));
        Probe::draws = 0;
    }
    void TearDown() override { ElementRegistry::instance().unregister_type(u"probe"); }
    int s(int v) const { return v << GetParam(); }

    TempDeviceRoot device;
    Properties props;
};

std::vector<std::u16string> ids(const Element& e)
{
    std::vector<std::u16string> out;
    for (Element* child : e.children())
        out.push_back(child->id());
    return out;
}

TEST_P(ElementLoad, ARecordChangesOnlyTheKeysItHas)
{
    Element root(nullptr);
    ASSERT_TRUE(root.load_from_skin(props, u"first"));
    EXPECT_EQ(root.id(), u"first");
    EXPECT_EQ(root.anchor_x(), AnchorMode::MIN_SIDE);
    EXPECT_EQ(root.anchor_y(), AnchorMode::CENTER);
    EXPECT_EQ(root.border_min().x, s(3));
    EXPECT_EQ(root.border_max().y, s(-6));
    EXPECT_EQ(root.design_size().x, s(30));
    EXPECT_EQ(root.table_ratio(), 2);
    EXPECT_TRUE(root.cached());
    ASSERT_NE(root.animation(), nullptr);
    EXPECT_EQ(root.animation()->kind(), AnimationKind::Pop);
    EXPECT_EQ(ids(root), std::vector<std::u16string> { u"a" });

    // No points, no integers, no animation name: those fields stay; anchors start afresh.
    ASSERT_TRUE(root.load_from_skin(props, u"second"));
    EXPECT_EQ(root.id(), u"second");
    EXPECT_EQ(root.anchor_x(), AnchorMode::BOTH_SIDE);
    EXPECT_EQ(root.border_min().x, s(3));
    EXPECT_EQ(root.design_size().y, s(20));
    EXPECT_EQ(root.table_ratio(), 2);
    EXPECT_TRUE(root.cached());
    ASSERT_NE(root.animation(), nullptr);
    EXPECT_EQ(ids(root), (std::vector<std::u16string> { u"b", u"c" }));
    EXPECT_EQ(root.find_child(u"b1")->parent(), root.find_child(u"b"));
    EXPECT_TRUE(root.needs_layout());

    // An unknown anchor keeps BOTH_SIDE, an unknown animation removes it, and a record with
    // integers resets the cache flag it does not set.
    ASSERT_TRUE(root.load_from_skin(props, u"third"));
    EXPECT_EQ(root.id(), u"");
    EXPECT_EQ(root.anchor_x(), AnchorMode::BOTH_SIDE);
    EXPECT_EQ(root.anchor_y(), AnchorMode::MAX_SIDE_NO_SIZE);
    EXPECT_EQ(root.animation(), nullptr);
    EXPECT_EQ(root.table_ratio(), 0);
    EXPECT_FALSE(root.cached());
    EXPECT_TRUE(root.children().empty());

    // A node the skin lacks changes nothing.
    EXPECT_FALSE(root.load_from_skin(props, u"fourth"));
    EXPECT_EQ(root.anchor_y(), AnchorMode::MAX_SIDE_NO_SIZE);
}

TEST_P(ElementLoad, AnUnregisteredTypeStopsTheLoadAndKeepsWhatWasMade)
{
    Element root(nullptr);
    try {
        root.load_from_skin(props, u"broken");
        ADD_FAILURE() << "the load went through";
    } catch (const skinio::NodeNotRegistered& e) {
        EXPECT_EQ(e.type, u"nosuch");
    }
    EXPECT_EQ(ids(root), std::vector<std::u16string> { u"before" });
}

// Paints the node into a blue screen 64 wide and returns the pixels of its first row.
std::vector<uint16_t> paint_row(Element& e)
{
    RenderSurface screen;
    screen.recreate({ 64, 20 });
    fill(screen.canvas(), { 0, 0 }, { 64, 20 }, SkinColor { 0, 0, 255, 255 });
    e.paint(screen.canvas(), { 0, 0 });
    const uint16_t* row = screen.buffer()->row(0);
    return std::vector<uint16_t>(row, row + 64);
}

TEST_P(ElementLoad, TheCacheIsDrawnOnceAndFreedWhenHidden)
{
    Element keyed(nullptr);
    ASSERT_TRUE(keyed.load_from_skin(props, u"keyed_cache"));
    keyed.set_visible(true);
    keyed.set_x(0, s(20));
    keyed.set_y(0, s(10));
    std::vector<uint16_t> row = paint_row(keyed);
    EXPECT_EQ(row[0], kRed);
    EXPECT_EQ(row[s(15)], kBlue); // the unpainted half stays transparent
    EXPECT_EQ(row[s(25)], kBlue); // outside the element
    EXPECT_EQ(keyed.cache_surface()->size().x, s(20));
    paint_row(keyed);
    EXPECT_EQ(Probe::draws, 1);

    // A change below redraws the cache; hiding frees it, showing draws it again.
    keyed.children()[0]->invalidate_redraw();
    paint_row(keyed);
    EXPECT_EQ(Probe::draws, 2);
    keyed.set_visible(false);
    EXPECT_EQ(keyed.cache_surface()->size().x, 0);
    EXPECT_EQ(paint_row(keyed)[0], kBlue);
    keyed.set_visible(true);
    EXPECT_EQ(paint_row(keyed)[0], kRed);
    EXPECT_EQ(Probe::draws, 3);

    // Without "cache_alpha" the cache is copied opaquely: the colour key shows.
    Element opaque(nullptr);
    ASSERT_TRUE(opaque.load_from_skin(props, u"opaque_cache"));
    opaque.set_visible(true);
    opaque.set_x(0, s(20));
    opaque.set_y(0, s(10));
    EXPECT_EQ(paint_row(opaque)[s(15)], 0xF81F);
}

TEST_P(ElementLoad, DumpWritesTheTreeIndented)
{
    const char16_t kTarn[] = u"HKEY_CURRENT_USER\\Software\\Tarn";
    ASSERT_TRUE(RegWriteNumber(kTarn, u"Log", 1));
    Log();
    Element root(nullptr);
    ASSERT_TRUE(root.load_from_skin(props, u"second"));
    root.set_x(0, 40);
    root.set_y(0, 30);
    root.dump(0);
    Log().flush();
    auto bytes = device.readFile(u"\\Temp\\" + AppName() + u".txt").value_or("");
    std::u16string text;
    for (size_t i = 2; i + 1 < bytes.size(); i += 2)
        text.push_back(char16_t(uint8_t(bytes[i]) | uint8_t(bytes[i + 1]) << 8));
    RegWriteNumber(kTarn, u"Log", 0);
    Log();
    EXPECT_NE(text.find(u"{second} position=(0, 0) size=(40, 30) design_size=(0, 0) rs.size=(0, 0)\n"
                        u"\t{b} position=(0, 0) size=(40, 30) design_size=(0, 0) rs.size=(0, 0)\n"
                        u"\t\t{b1} position=(0, 0) size=(40, 30) design_size=(0, 0) rs.size=(0, 0)\n"
                        u"\t{c} position=(0, 0) size=(40, 30)"),
        std::u16string::npos)
        << Utf8FromUtf16(text);
}

// A skin with absurd geometry: tables whose children want less than their minimum, negative
// and extreme sizes, margins and ratios. It loads, lays out at any size in bounded time, and
// paints without touching memory outside the screen (this suite also runs under ASan).
TEST_P(ElementLoad, AbsurdTablesLayOutAndPaint)
{
    const char hostile[] = R"(
nodes:
  absurd:
    children:
      - type: htable
        children:
          - type: probe
            design_size: !point [-32768, 32767]
            border_min: !point [32767, -32768]
            table_ratio: 2147483647
          - type: vtable
            table_ratio: -5
            border_max: !point [-32768, -32768]
            children:
              - type: probe
                design_size: !point [32767, 32767]
                anchor_y: CENTER
              - type: probe
                anchor_x: MAX_SIDE
                border_max: !point [32767, 1]
                design_size: !point [1, -1]
          - type: htable
            design_size: !point [32767, 0]
            table_ratio: 2147483647
            children:
              - type: probe
                table_ratio: 2147483647
                design_size: !point [5, 5]
)";
    auto bytes = skinc::WriteSkin(skinc::ParseYaml(hostile, "hostile"));
    device.writeFile(u"\\Skins\\hostile.skin", std::string(bytes.begin(), bytes.end()));
    Properties skin;
    DisplayInfo display;
    display.dpi = GetParam() ? 192 : 96;
    ASSERT_TRUE(skin.load_skin(u"\\Skins\\hostile.skin", display));
    register_element_types({ u"htable", u"vtable" });
    {
        Element root(nullptr);
        ASSERT_TRUE(root.load_from_skin(skin, u"absurd"));
        root.set_visible(true);
        for (int length : { 0, 1, 64, 1 << 20, std::numeric_limits<int>::max() }) {
            root.set_x(0, length);
            root.set_y(0, length);
            paint_row(root);
        }
        for (const Element* e = &root; e; e = e->children().empty() ? nullptr : e->children().back())
            EXPECT_GE(e->size().x, 0);
    }
    unregister_element_types({ u"htable", u"vtable" });
}

INSTANTIATE_TEST_SUITE_P(Screens, ElementLoad, ::testing::Values(0, 1));

} // namespace
