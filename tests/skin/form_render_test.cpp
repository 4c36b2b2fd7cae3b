// The element test skin as a user sees it: laid out at QVGA and VGA, drawn into golden
// images, driven by pointer and key scripts, and its panel shown through every animation.
#include <gtest/gtest.h>

#include <simhost.h>

#include <fstream>
#include <string>
#include <vector>

#include "skin/drawing/Blit.h"
#include "skin/elements/ButtonElement.h"
#include "skin/drawing/Canvas.h"
#include "skin/drawing/ClipGuard.h"
#include "skin/elements/CheckboxElement.h"
#include "skin/file/DisplayInfo.h"
#include "skin/elements/FormElement.h"
#include "skin/drawing/PixelBuffer.h"
#include "skin/elements/ProgressElement.h"
#include "skin/file/Properties.h"
#include "skin/drawing/RenderSurface.h"
#include "skin/elements/StandardElements.h"
#include "skin/elements/VListElement.h"
#include "skin/elements/VisibilityAnimation.h"
#include "skin/elements/WidgetListener.h"
#include "tests/skin/SkinTestFiles.h"
#include "tests/support/DeviceRoot.h"
#include "tests/support/Golden.h"

namespace {

const std::vector<std::u16string> kTypes = {u"node", u"text", u"color", u"image", u"edit", u"htable", u"vtable",
    u"button", u"vlist", u"checkbox", u"progress", u"oldtext", u"clip"};

struct Recorder : WidgetListener {
    std::vector<std::string> calls;
    static std::string name(Element& w) { return std::string(w.id().begin(), w.id().end()); }
    bool on_click(Element& w, const WidgetEvent& e) override
    {
        calls.push_back(name(w) + " click " + std::to_string(e.point.x) + "," + std::to_string(e.point.y));
        return false;
    }
    bool on_press_changed(Element& w, const WidgetEvent& e) override
    {
        calls.push_back(name(w) + " press " + std::to_string(e.value));
        return true;
    }
    void on_drag(Element& w, const WidgetEvent& e) override
    {
        calls.push_back(name(w) + " drag " + std::to_string(e.delta.x) + "," + std::to_string(e.delta.y));
    }
};

class SkinForm : public ::testing::TestWithParam<int> {
protected:
    void SetUp() override
    {
        register_element_types(kTypes);
        InstallElementTestSkin(device);
        DisplayInfo display;
        display.dpi = shift() ? 192 : 96;
        ASSERT_TRUE(props.load_skin(u"\\Skins\\elements.skin", display));
        ASSERT_TRUE(form.load_from_skin(props, u"demo"));
        form.set_visible(true);
        form.set_x(0, width());
        form.set_y(0, height());
        ok = dynamic_cast<ButtonElement*>(&form.require_child(u"ok"));
        cancel = dynamic_cast<ButtonElement*>(&form.require_child(u"cancel"));
        help = dynamic_cast<ButtonElement*>(&form.require_child(u"help"));
        check = dynamic_cast<CheckboxElement*>(&form.require_child(u"check"));
        progress = dynamic_cast<ProgressElement*>(&form.require_child(u"progress"));
        list = dynamic_cast<VListElement*>(&form.require_child(u"list"));
        ASSERT_TRUE(ok && cancel && help && check && progress && list);
        for (ButtonElement* b : {ok, cancel, help})
            b->set_listener(&recorder);
        list->set_listener(&recorder);
        progress->set_value(0.4);
        form.set_x(0, width());
        form.set_y(0, height());
    }
    void TearDown() override
    {
        unregister_element_types(kTypes);
    }

    int shift() const { return GetParam(); }
    int width() const { return 240 << shift(); }
    int height() const { return 320 << shift(); }
    POINT at(int x, int y) const { return {x << shift(), y << shift()}; }
    POINT centre(Element* e) const { return {e->position().x + e->size().x / 2, e->position().y + e->size().y / 2}; }

    void expect_golden(const std::string& name)
    {
        RenderSurface surface;
        surface.recreate({width(), height()});
        fill(surface.canvas(), {0, 0}, {width(), height()}, SkinColor{0, 0, 0, 255});
        form.paint(surface.canvas(), {0, 0});
        PixelBuffer* b = surface.buffer();
        ExpectMatchesGolden(b->pixels(), b->width(), b->height(), b->pitch() / 2,
            name + (shift() ? "_vga" : "_qvga"));
    }
    PressEvent press(POINT p, bool down)
    {
        PressEvent e;
        e.point = p;
        e.pressed = down;
        return e;
    }

    TempDeviceRoot device;
    Properties props;
    FormElement form;
    Recorder recorder;
    ButtonElement* ok = nullptr;
    ButtonElement* cancel = nullptr;
    ButtonElement* help = nullptr;
    CheckboxElement* check = nullptr;
    ProgressElement* progress = nullptr;
    VListElement* list = nullptr;
};

TEST_P(SkinForm, LaysOutAndDraws)
{
    // The three buttons share the row (the extra splits to within a pixel); the list takes
    // what the other rows leave.
    EXPECT_NEAR(ok->size().x, cancel->size().x, 1);
    EXPECT_NEAR(cancel->size().x, help->size().x, 1);
    EXPECT_EQ(list->position().y + list->size().y, height() - (5 << shift()));
    EXPECT_GT(list->size().y, 100 << shift());
    help->set_enabled(false);
    check->set_state(2, false);
    expect_golden("elements_form");
}

TEST_P(SkinForm, PointerScript)
{
    // Press OK, drag within it, release inside: one click.
    form.pointer_press(press(centre(ok), true));
    form.pointer_move({centre(ok).x + 3, centre(ok).y});
    expect_golden("elements_form_ok_pressed");
    form.pointer_press(press({centre(ok).x + 3, centre(ok).y}, false));
    // Press Cancel, slide off, release outside: no click.
    form.pointer_press(press(centre(cancel), true));
    form.pointer_press(press(at(5, 300), false));
    // Keys: Esc presses and releases Cancel; a key nobody binds goes nowhere.
    EXPECT_TRUE(form.key_event(static_cast<int>(KeyCode::Esc), true));
    EXPECT_TRUE(form.key_event(static_cast<int>(KeyCode::Esc), false));
    EXPECT_FALSE(form.key_event(static_cast<int>(KeyCode::Z), true));
    std::string dx = std::to_string(3);
    std::string okc = std::to_string(centre(ok).x + 3) + "," + std::to_string(centre(ok).y);
    std::string cc = std::to_string(centre(cancel).x) + "," + std::to_string(centre(cancel).y);
    EXPECT_EQ(recorder.calls, (std::vector<std::string>{"ok press 0", "ok drag 0,0", "ok drag " + dx + ",0",
        "ok press 0", "ok click " + okc, "cancel press 0", "cancel drag 0,0", "cancel press 0", "cancel press 0",
        "cancel press 0", "cancel click " + cc}));

    // Tap the checkbox twice: 0 -> 1 -> 2.
    for (int i = 0; i < 2; ++i) {
        form.pointer_press(press(centre(check), true));
        form.pointer_press(press(centre(check), false));
    }
    EXPECT_EQ(check->state(), 2);

    // Drag the list up by 60 pixels, slowly, then tap the item now under the pointer.
    SimUseVirtualClock(5000);
    recorder.calls.clear();
    POINT start{centre(list).x, list->position().y + list->size().y - (10 << shift())};
    form.pointer_press(press(start, true));
    for (int k = 1; k <= 6; ++k) {
        SimAdvanceTicks(200);
        form.pointer_move({start.x, start.y - (k * 10 << shift())});
    }
    SimAdvanceTicks(200);
    form.pointer_press(press({start.x, start.y - (60 << shift())}, false));
    EXPECT_TRUE(recorder.calls.empty());
    // A slow drag leaves no speed: the list stays where the finger left it.
    for (int i = 0; i < 50 && list->moving(); ++i)
        form.animate(0.04);
    EXPECT_DOUBLE_EQ(list->scroll(), -(60 << shift()));
    POINT tap{centre(list).x, list->position().y + (30 << shift())};
    int expected = list->item_at(tap);
    EXPECT_GT(expected, 0);
    form.pointer_press(press(tap, true));
    form.pointer_press(press(tap, false));
    EXPECT_EQ(recorder.calls, (std::vector<std::string>{"list press " + std::to_string(expected)}));
    EXPECT_EQ(list->selected(), expected);
    SimUseRealClock();
    expect_golden("elements_form_scrolled");
}

INSTANTIATE_TEST_SUITE_P(Screens, SkinForm, ::testing::Values(0, 1));

class Animations : public ::testing::TestWithParam<const char16_t*> { };

TEST_P(Animations, DrawnAtQuarterSteps)
{
    register_element_types(kTypes);
    TempDeviceRoot device;
    InstallElementTestSkin(device);
    Properties props;
    ASSERT_TRUE(props.load_skin(u"\\Skins\\elements.skin", DisplayInfo{}));
    {
        Element panel(nullptr);
        ASSERT_TRUE(panel.load_from_skin(props, u"panel"));
        panel.set_visible(true);
        panel.set_x(0, 120);
        panel.set_y(0, 80);
        panel.set_animation(VisibilityAnimation::from_name(GetParam()));
        ASSERT_NE(panel.animation(), nullptr);

        // Background: horizontal stripes, so that every slide and scale shows.
        auto background = std::make_unique<RenderSurface>();
        background->recreate({120, 80});
        for (int y = 0; y < 80; y += 8)
            fill(background->canvas(), {0, y}, {120, 8}, (y / 8) % 2 ? SkinColor{0, 255, 0, 255} : SkinColor{0, 0, 255, 255});
        auto snapshot = std::make_unique<RenderSurface>();
        snapshot->recreate({120, 80});
        fill(snapshot->canvas(), {0, 0}, {120, 80}, SkinColor{0xF8, 0, 0xF8, 255});
        panel.paint(snapshot->canvas(), {0, 0});

        panel.start_animation(background, 1, snapshot);
        double step = 0.25 / (5.0 * panel.animation()->speed());
        std::u16string name16 = GetParam();
        std::string name(name16.begin(), name16.end());
        for (int quarter = 1; quarter <= 3; ++quarter) {
            panel.animate(step);
            ASSERT_NEAR(panel.animation()->progress(), quarter * 0.25, 1e-9);
            // The panel sits inside a larger screen, so that drawing outside its rectangle
            // (the overshoot of "pop") shows and everything else must stay clipped.
            RenderSurface screen;
            screen.recreate({160, 120});
            fill(screen.canvas(), {0, 0}, {160, 120}, SkinColor{64, 64, 64, 255});
            panel.paint(screen.canvas(), {20, 20});
            PixelBuffer* b = screen.buffer();
            ExpectMatchesGolden(b->pixels(), 160, 120, b->pitch() / 2,
                "elements_anim_" + name + "_" + std::to_string(quarter * 25));
        }
        panel.animate(step * 2);
        EXPECT_FALSE(panel.animation_running());
    }
    unregister_element_types(kTypes);
}

INSTANTIATE_TEST_SUITE_P(Kinds, Animations,
    ::testing::Values(u"scale", u"pop", u"right", u"bottom", u"left", u"top", u"flip"));

TEST(Animation, PopOvershootsAndEndsAtOne)
{
    EXPECT_DOUBLE_EQ(VisibilityAnimation::pop_curve(0.0), 0.0);
    EXPECT_NEAR(VisibilityAnimation::pop_curve(1.0), 1.0, 1e-12);
    EXPECT_NEAR(VisibilityAnimation::pop_curve(2.0 / 3.0), 1.0 + 1.0 / (3.14159265358979 + 1.0), 1e-9);
    EXPECT_EQ(VisibilityAnimation::from_name(u"spin"), nullptr);
}

} // namespace
