// Every screen of the settings program as the window layer composes it, at QVGA and VGA,
// compared pixel for pixel with its golden picture.
#include <gtest/gtest.h>

#include "skin/drawing/PixelBuffer.h"
#include "tests/settings_app/SettingsRun.h"
#include "tests/support/Golden.h"

namespace {

class Screens : public ::testing::TestWithParam<const char*> {
protected:
    void SetUp() override
    {
        InstallSettingsData(device);
        device.writeFile(u"\\Program Files\\Tarn\\Magnikeys\\layouts\\layouts.ini", Utf16File("layout_0=english\nlayout_1=russian\n"));
        run = std::make_unique<SettingsRun>(GetParam());
    }
    void TearDown() override
    {
        run.reset();
        SimSetUserLanguage(0);
    }
    void expect_golden(const std::string& name)
    {
        RenderSurface& s = run->settled_frame();
        PixelBuffer* b = s.buffer();
        ASSERT_NE(b, nullptr);
        ExpectMatchesGolden(b->pixels(), b->width(), b->height(), b->pitch() / 2, "settings/" + name + "_" + GetParam());
    }

    TempDeviceRoot device;
    std::unique_ptr<SettingsRun> run;
};

TEST_P(Screens, MainMenu)
{
    expect_golden("main");
}

TEST_P(Screens, ZoomTypesWithGlassChosen)
{
    run->choose(u"Zoom_Types");
    run->choose(u"glass_zoom");
    run->choose(u"Zoom_Types");
    expect_golden("zoom_types");
}

TEST_P(Screens, PressedEntry)
{
    run->choose(u"Zoom_Types");
    run->choose(u"glass_zoom");
    run->choose(u"Zoom_Types");
    run->layout();
    Element* e = run->menu().entry_element(1);
    PointerEvent press;
    press.x = e->position().x + e->size().x / 2;
    press.y = e->position().y + e->size().y / 2;
    press.down = true;
    run->app->pointer_pressed(press);
    expect_golden("zoom_types_pressed");
}

TEST_P(Screens, LayoutsList)
{
    run->choose(u"Layouts_List");
    expect_golden("layouts");
}

TEST_P(Screens, Languages)
{
    run->choose(u"Language");
    expect_golden("languages");
}

TEST_P(Screens, About)
{
    run->choose(u"About");
    expect_golden("about");
}

TEST_P(Screens, MainMenuInRussianWithDefaultKeyboardOn)
{
    run->choose(u"Language");
    run->choose(u"Language#russian");
    run->choose(u"default_keyboard");
    expect_golden("main_russian");
}

TEST_P(Screens, AboutInGerman)
{
    run->choose(u"Language");
    run->choose(u"Language#german");
    run->choose(u"About");
    expect_golden("about_german");
}

INSTANTIATE_TEST_SUITE_P(Geometries, Screens, ::testing::Values("qvga", "vga"),
    [](const auto& info) { return std::string(info.param); });

// Sideways the main menu does not fit: the list scrolls inside its panel.
class ScreensSideways : public Screens { };

TEST_P(ScreensSideways, MainMenu)
{
    expect_golden("main");
}

TEST_P(ScreensSideways, MainMenuScrolledToTheEnd)
{
    run->layout();
    VListElement* list = run->menu().list();
    list->set_scroll(list->min_scroll());
    expect_golden("main_scrolled");
}

INSTANTIATE_TEST_SUITE_P(Geometries, ScreensSideways, ::testing::Values("qvga-landscape", "vga-landscape"),
    [](const auto& info) { return info.param[0] == 'q' ? std::string("qvga_landscape") : std::string("vga_landscape"); });

}
