// The demonstration program driven in this process as a user would: screenshots of its forms at
// QVGA and VGA (written to the build folder to look at), a popup, a transition caught half-way,
// and typing into its text field.
#include <gtest/gtest.h>

#include <simhost.h>
#include <windows.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <tuple>

#include "ui/Transition.h"
#include "skin/elements/ButtonElement.h"
#include "skin/elements/FormElement.h"
#include "skin/elements/LabelEditElement.h"
#include "skin/elements/TextElement.h"
#include "tests/demo/DemoApp.h"
#include "tests/support/DeviceRoot.h"

namespace {

std::string read_host(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

struct DemoScreens : ::testing::TestWithParam<std::tuple<const char*, bool>> {
    TempDeviceRoot device;
    std::unique_ptr<DemoApp> demo;
    std::string shots;

    void SetUp() override
    {
        SimUseVirtualClock(1000);
        SimSetGeometry(geometry());
        device.writeFile(u"\\Program Files\\UiDemo\\demo.skin", read_host(MK_DEMO_DIR "/demo.skin"));
        shots = std::string(MK_BINARY_DIR) + "/demo_shots";
        std::filesystem::create_directories(shots);
        demo = std::make_unique<DemoApp>(nullptr);
        ASSERT_TRUE(demo->load(u"\\Program Files\\UiDemo\\demo.skin"));
    }
    void TearDown() override
    {
        demo.reset();
        SimPumpMessages();
        SimUseRealClock();
        SimSetGeometry("qvga");
    }
    const char* geometry() const { return std::get<0>(GetParam()); }
    bool windowed() const { return std::get<1>(GetParam()); }
    // Time passes as in the program's loop: drawing into the frame buffer happens between
    // messages, the window timer drives the windowed mode.
    void run(int ms)
    {
        for (int t = 0; t < ms; t += 10) {
            SimRunFor(10);
            if (demo->app().platform().direct_display_open())
                demo->app().platform().tick(false);
        }
    }
    void shot(const std::string& name)
    {
        run(10);
        SimSaveScreenshot((shots + "/" + geometry() + (windowed() ? "_windowed_" : "_") + name + ".png").c_str());
    }
    POINT centre_of(Element& e)
    {
        RECT r {};
        GetWindowRect(demo->app().platform().main_window(), &r);
        return {r.left + e.position().x + e.size().x / 2, r.top + e.position().y + e.size().y / 2};
    }
    void tap(SkinForm& form, std::u16string_view id)
    {
        Element* e = form.root().find_child(id);
        ASSERT_NE(e, nullptr);
        POINT p = centre_of(*e);
        SimStylusDown(p.x, p.y);
        run(40);
        SimStylusUp(p.x, p.y);
        SimRunFor(1);
    }
    uint16_t screen(int x, int y)
    {
        int w, h, pitch;
        const uint16_t* p = SimScreenPixels(&w, &h, &pitch);
        return p[y * pitch + x];
    }
};

} // namespace

TEST_P(DemoScreens, FormsPopupsTransitionAndTextField)
{
    demo->start(windowed());
    EXPECT_EQ(demo->app().platform().direct_display_open(), !windowed());
    run(200);
    EXPECT_EQ(demo->app().top_form(), &demo->main_form());
    shot("main");

    // A popup: the main form darkens beneath it over eight frames.
    tap(demo->main_form(), u"popup");
    EXPECT_EQ(demo->app().top_form(), &demo->popup());
    run(80);
    shot("popup_opening");
    run(400);
    EXPECT_EQ(demo->app().dimming_level(), 128);
    shot("popup");
    tap(demo->popup(), u"more");
    run(400);
    shot("popup_second");
    tap(demo->second_popup(), u"ok");
    tap(demo->popup(), u"ok");
    run(400);
    EXPECT_EQ(demo->app().top_form(), &demo->main_form());
    EXPECT_EQ(demo->app().dimming_level(), 256);

    // The details form slides in; caught half-way.
    tap(demo->main_form(), u"open");
    ASSERT_NE(demo->app().transition(), nullptr);
    run(40);
    ASSERT_NE(demo->app().transition(), nullptr);
    shot("transition");
    run(400);
    EXPECT_EQ(demo->app().transition(), nullptr);
    EXPECT_EQ(demo->app().top_form(), &demo->details());
    shot("details");
    tap(demo->details(), u"back");
    run(400);
    EXPECT_EQ(demo->app().top_form(), &demo->main_form());

    // Typing into the field: a tap on its caption gives it the focus.
    auto* row = dynamic_cast<LabelEditElement*>(demo->main_form().root().find_child(u"name_row"));
    ASSERT_NE(row, nullptr);
    tap(demo->main_form(), u"#label");
    EXPECT_EQ(demo->app().platform().focused_edit(), row->edit());
    // The platform's edit window does the editing over the field, drawn by the window system.
    EXPECT_NE(demo->app().platform().edit_window(), nullptr);
    EXPECT_NE(demo->app().platform().sip_preference_window(), nullptr);
    EXPECT_FALSE(demo->app().platform().direct_display_open());
    for (char16_t c : std::u16string(u"Ada L."))
        SimTypeChar(c);
    run(80);
    EXPECT_EQ(row->edit()->text(), u"Ada L.");
    shot("typing");
    // A tap beside the field ends the editing.
    tap(demo->main_form(), u"intro");
    EXPECT_EQ(demo->app().platform().focused_edit(), nullptr);
    EXPECT_EQ(demo->app().platform().edit_window(), nullptr);
    EXPECT_EQ(demo->app().platform().direct_display_open(), !windowed());
    EXPECT_EQ(row->edit()->text(), u"Ada L.");

    EXPECT_EQ(demo->events(), (std::vector<std::string>{"opened main", "opened popup", "opened popup2",
        "closed popup2", "closed popup", "opened details", "closed details"}));
}

INSTANTIATE_TEST_SUITE_P(Geometries, DemoScreens,
    ::testing::Combine(::testing::Values("qvga", "vga"), ::testing::Bool()));
