// The skin-drawn menu: screens of entries built from style nodes, taps that lead to the next
// screen, and what the skin must provide.
#include <gtest/gtest.h>

#include <fstream>
#include <string>
#include <vector>

#include "skin/elements/BasicElements.h"
#include "skin/drawing/Blit.h"
#include "skin/file/DisplayInfo.h"
#include "skin/elements/MenuForm.h"
#include "skin/drawing/PixelBuffer.h"
#include "skin/file/Properties.h"
#include "skin/drawing/RenderSurface.h"
#include "skin/elements/StandardElements.h"
#include "skin/elements/VListElement.h"
#include "skin/file/skinio.h"
#include "tests/skin/SkinTestFiles.h"
#include "tests/support/DeviceRoot.h"
#include "tests/support/Golden.h"

namespace {

const std::vector<std::u16string> kTypes = {u"node", u"text", u"color", u"image", u"edit", u"htable", u"vtable",
    u"button", u"vlist", u"checkbox", u"progress", u"oldtext", u"clip"};

std::u16string label_of(Element* entry)
{
    auto* text = entry ? dynamic_cast<OldTextElement*>(entry->find_child(u"#text")) : nullptr;
    return text ? text->text() : u"<none>";
}

bool shows(Element* entry, const char16_t* child)
{
    Element* e = entry->find_child(child);
    return e && e->is_visible();
}

class Menu : public ::testing::TestWithParam<int> {
protected:
    void SetUp() override
    {
        register_element_types(kTypes);
        InstallElementTestSkin(device);
        DisplayInfo display;
        display.dpi = shift() ? 192 : 96;
        ASSERT_TRUE(props.load_skin(u"\\Skins\\elements.skin", display));
        props.set_translation(u"Zoom_Types", u"Zoom types");
        props.set_translation(u"Close", u"Close");
        ASSERT_TRUE(menu.load_menu(props, u"Menu", u"MenuElement"));
        menu.set_callback([this](const std::u16string& id, std::vector<MenuEntry>& entries) {
            asked.push_back(id);
            if (id == u"Zoom_Types") {
                for (const char16_t* type : {u"flat_zoom", u"glass_zoom", u"i_zoom", u"simple"})
                    entries.push_back({type, type, u"", true, false, std::u16string(type) == u"glass_zoom"});
                entries.push_back({u"Cancel", u"", u"MenuElementRed", true, false, false});
                return;
            }
            if (id == u"Smart_Zoom")
                smart_zoom = !smart_zoom;
            else if (id != u"MainMenu")
                return;
            entries.push_back({u"Zoom_Types", u"", u"", true, false, false});
            entries.push_back({u"Smart_Zoom", u"Smart zoom", u"", true, false, smart_zoom});
            entries.push_back({u"line", u"Extras", u"", true, true, false});
            entries.push_back({u"Language", u"Language", u"", false, false, false});
            entries.push_back({u"Close", u"", u"MenuElementRed", true, false, false});
        });
        menu.set_visible(true);
        layout();
    }
    void TearDown() override { unregister_element_types(kTypes); }

    int shift() const { return GetParam(); }
    int width() const { return 240 << shift(); }
    int height() const { return 320 << shift(); }
    void layout()
    {
        menu.set_x(0, width());
        menu.set_y(0, height());
    }
    POINT centre(Element* e) const { return {e->position().x + e->size().x / 2, e->position().y + e->size().y / 2}; }
    void tap(Element* e)
    {
        layout();
        PressEvent down;
        down.point = centre(e);
        down.pressed = true;
        menu.pointer_press(down);
        PressEvent up = down;
        up.pressed = false;
        menu.pointer_press(up);
        layout();
    }
    void expect_golden(const std::string& name)
    {
        layout();
        RenderSurface surface;
        surface.recreate({width(), height()});
        fill(surface.canvas(), {0, 0}, {width(), height()}, SkinColor {0, 0, 0, 255});
        menu.paint(surface.canvas(), {0, 0});
        PixelBuffer* b = surface.buffer();
        ExpectMatchesGolden(b->pixels(), b->width(), b->height(), b->pitch() / 2, name + (shift() ? "_vga" : "_qvga"));
    }

    TempDeviceRoot device;
    Properties props;
    MenuForm menu;
    std::vector<std::u16string> asked;
    bool smart_zoom = true;
};

TEST_P(Menu, EntriesTakeTheirLookFromTheirStyle)
{
    ASSERT_TRUE(menu.show(u"MainMenu", u""));
    layout();
    ASSERT_EQ(menu.list()->item_count(), 5);
    EXPECT_EQ(label_of(menu.entry_element(0)), u"Zoom types"); // translated id
    EXPECT_EQ(label_of(menu.entry_element(1)), u"Smart zoom");
    EXPECT_TRUE(shows(menu.entry_element(1), u"checked"));
    EXPECT_FALSE(shows(menu.entry_element(0), u"checked"));
    EXPECT_TRUE(shows(menu.entry_element(2), u"separator"));
    EXPECT_FALSE(shows(menu.entry_element(1), u"separator"));
    // The disabled entry comes from "MenuElementDisabled", which has no check mark at all.
    EXPECT_EQ(menu.entry_element(3)->find_child(u"checked"), nullptr);
    EXPECT_EQ(menu.entry_element(4)->find_child(u"checked"), nullptr);
    // Entries stack from the top of the list, one entry height apart.
    EXPECT_EQ(menu.entry_element(1)->position().y - menu.entry_element(0)->position().y, 28 << shift());
    expect_golden("menu_main");
}

TEST_P(Menu, ATapLeadsToTheNextScreenWithItsCaption)
{
    menu.show(u"MainMenu", u"");
    tap(menu.entry_element(0));
    EXPECT_EQ(asked, (std::vector<std::u16string> {u"MainMenu", u"Zoom_Types"}));
    EXPECT_EQ(menu.caption(), u"Zoom types");
    ASSERT_EQ(menu.list()->item_count(), 5);
    EXPECT_TRUE(shows(menu.entry_element(1), u"checked"));
    EXPECT_EQ(label_of(menu.entry_element(4)), u"Cancel"); // no translation: the id

    // Press an entry and hold it: the picture shows the pressed look under the caption.
    layout();
    PressEvent down;
    down.point = centre(menu.entry_element(2));
    down.pressed = true;
    menu.pointer_press(down);
    expect_golden("menu_zoom_types_pressed");
    PressEvent up = down;
    up.pressed = false;
    menu.pointer_press(up);
    EXPECT_EQ(asked.back(), u"i_zoom");
    // That choice gave no entries: the screen stays.
    EXPECT_EQ(menu.caption(), u"Zoom types");
    EXPECT_EQ(menu.list()->item_count(), 5);
}

TEST_P(Menu, DisabledEntriesAndSeparatorsCannotBeChosen)
{
    menu.show(u"MainMenu", u"");
    tap(menu.entry_element(2));
    tap(menu.entry_element(3));
    EXPECT_EQ(asked, (std::vector<std::u16string> {u"MainMenu"}));
    // A toggle rebuilds the screen from inside the tap; the check mark follows the setting.
    tap(menu.entry_element(1));
    EXPECT_FALSE(smart_zoom);
    EXPECT_FALSE(shows(menu.entry_element(1), u"checked"));
    EXPECT_FALSE(menu.has_holders());
}

TEST_P(Menu, TheSkinMustProvideTheMenuParts)
{
    MenuForm broken;
    try {
        broken.load_menu(props, u"MenuWithoutPanel", u"MenuElement");
        ADD_FAILURE() << "a menu without a panel loaded";
    } catch (const skinio::NodeNotFound& e) {
        EXPECT_EQ(e.parent_id, u"broken");
        EXPECT_EQ(e.id, u"panel");
    }
    EXPECT_FALSE(broken.load_menu(props, u"NoSuchMenu", u"MenuElement"));

    menu.set_callback([](const std::u16string&, std::vector<MenuEntry>& entries) {
        entries.push_back({u"x", u"x", u"NoSuchStyle", true, false, false});
    });
    try {
        menu.show(u"MainMenu", u"");
        ADD_FAILURE() << "an entry without its style node was built";
    } catch (const skinio::NodeNotFoundInSkin& e) {
        EXPECT_EQ(e.name, u"NoSuchStyle");
    }
}

INSTANTIATE_TEST_SUITE_P(Screens, Menu, ::testing::Values(0, 1));

} // namespace
