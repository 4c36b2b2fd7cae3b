// The form stack and frame composition: popups over the dimmed picture beneath, transitions
// that turn round, the clear colour and the frame-time overlay.
#include <gtest/gtest.h>

#include <simhost.h>
#include <windows.h>

#include <memory>

#include "runtime/Registry.h"
#include "ui/SkinApplication.h"
#include "ui/SkinForm.h"
#include "ui/Transition.h"
#include "skin/elements/BasicElements.h"
#include "skin/drawing/Canvas.h"
#include "skin/elements/FormElement.h"
#include "skin/drawing/PixelBuffer.h"
#include "skin/drawing/RenderSurface.h"
#include "tests/support/DeviceRoot.h"

namespace {

// A form that is one colour all over, optionally with a small square (popups: only the square).
class PlainForm final : public SkinForm {
public:
    PlainForm(SkinColor colour, bool whole, bool slides = false)
        : m_slides(slides)
    {
        m_fill = new ColorElement(&root());
        m_fill->set_color(colour);
        if (!whole) {
            m_fill->set_anchors(AnchorMode::MIN_SIDE, AnchorMode::MIN_SIDE);
            m_fill->set_borders({0, 0}, {20, 20}, {0, 0});
        }
    }
    std::unique_ptr<Transition> make_transition() override
    {
        return m_slides ? std::make_unique<SlideTransition>() : nullptr;
    }
    void recolour(SkinColor c) { m_fill->set_color(c); }

private:
    ColorElement* m_fill;
    bool m_slides;
};

struct FormStack : ::testing::Test {
    TempDeviceRoot device;
    std::unique_ptr<SkinApplication> app;
    RenderSurface frame;
    PlainForm red{{248, 0, 0, 255}, true};
    PlainForm blue{{0, 0, 248, 255}, true, true};
    PlainForm popup{{0, 252, 0, 255}, false};
    PlainForm popup2{{248, 252, 0, 255}, false};

    void SetUp() override
    {
        SimUseVirtualClock(1000);
        SimSetGeometry("qvga");
        app = std::make_unique<SkinApplication>(nullptr, u"StackTest");
        ScreenRecord area = app->platform().ClientArea();
        frame.recreate({area.client_width, area.client_height});
    }
    void TearDown() override
    {
        app.reset();
        SimPumpMessages();
        SimUseRealClock();
    }
    uint16_t paint(int x = 100, int y = 100)
    {
        app->paint(frame.canvas());
        return frame.buffer()->row(y)[x];
    }
};

} // namespace

TEST_F(FormStack, PopupDarkensOverEightFramesAndBrightensBack)
{
    app->OpenForm(red, false);
    EXPECT_EQ(paint(), 0xF800);
    app->OpenForm(popup, true);
    EXPECT_TRUE(app->top_is_popup());
    EXPECT_FALSE(red.visible()); // drawn from the snapshot now
    std::vector<int> levels;
    for (int i = 0; i < 10; ++i) {
        app->tick(0.04);
        paint();
        levels.push_back(app->dimming_level());
    }
    EXPECT_EQ(levels, (std::vector<int>{240, 224, 208, 192, 176, 160, 144, 128, 128, 128}));
    // Half brightness under the popup; the popup itself is not dimmed.
    EXPECT_EQ(paint() >> 11, 0x1F / 2);
    EXPECT_EQ(paint(5, 5), 0x07E0);
    EXPECT_FALSE(app->needs_redraw(false));

    EXPECT_TRUE(app->CloseForm(popup));
    EXPECT_TRUE(red.visible());
    levels.clear();
    for (int i = 0; i < 9; ++i) {
        paint();
        levels.push_back(app->dimming_level());
    }
    EXPECT_EQ(levels, (std::vector<int>{144, 160, 176, 192, 208, 224, 240, 256, 256}));
    EXPECT_EQ(paint(), 0xF800);
    EXPECT_FALSE(app->needs_redraw(false));
}

TEST_F(FormStack, SecondPopupKeepsTheFirstSnapshot)
{
    app->OpenForm(red, false);
    paint();
    app->OpenForm(popup, true);
    // The full form changes after it was captured: the second popup must not capture it again.
    red.recolour({0, 0, 248, 255});
    app->OpenForm(popup2, true);
    for (int i = 0; i < 10; ++i)
        paint();
    EXPECT_EQ(paint() >> 11, 0x1F / 2); // still the red picture
    EXPECT_EQ(paint(5, 5), 0xFFE0); // the second popup, the first one hidden
    EXPECT_FALSE(popup.visible());
    EXPECT_TRUE(app->CloseForm(popup2));
    EXPECT_TRUE(popup.visible());
    EXPECT_EQ(paint(5, 5), 0x07E0);
}

TEST_F(FormStack, ClosingAFormBelowTheTopChangesNothingOnScreen)
{
    app->OpenForm(red, false);
    app->OpenForm(blue, false);
    for (int i = 0; i < 20; ++i)
        app->tick(0.04);
    EXPECT_EQ(app->transition(), nullptr);
    uint16_t before = paint();
    EXPECT_TRUE(app->CloseForm(red));
    EXPECT_EQ(app->form_count(), 1u);
    EXPECT_EQ(app->transition(), nullptr);
    EXPECT_EQ(paint(), before);
    EXPECT_FALSE(app->CloseForm(red)); // no longer open: nothing changes
    EXPECT_EQ(app->form_count(), 1u);
}

TEST_F(FormStack, EmptyStackClearsWithTheClearColour)
{
    EXPECT_EQ(paint(), 0x0000);
    app->OpenForm(red, false);
    EXPECT_EQ(paint(), 0xF800);
    EXPECT_TRUE(app->CloseForm(red));
    EXPECT_EQ(app->form_count(), 0u);
    for (int y : {0, 150, 267})
        EXPECT_EQ(paint(0, y), 0x0000);
    // Events without a form are dropped.
    app->pointer_pressed(PointerEvent{10, 10, 0, true, false});
    app->key(KeyEvent{KeyCode::Enter, true, true});
}

TEST_F(FormStack, ClosingDuringTheOpeningTransitionPlaysItBackwards)
{
    app->OpenForm(red, false);
    paint();
    app->OpenForm(blue, false);
    Transition* t = app->transition();
    ASSERT_NE(t, nullptr);
    EXPECT_EQ(t->direction(), 1);
    app->tick(0.1);
    double reached = t->progress();
    EXPECT_GT(reached, 0.0);
    EXPECT_LT(reached, 1.0);
    // Mid-way the new form covers the right part of the screen, the old one the left.
    paint();
    EXPECT_EQ(frame.buffer()->row(100)[frame.size().x - 2], 0x001F);
    EXPECT_NE(frame.buffer()->row(100)[2], 0x001F);

    EXPECT_TRUE(app->CloseForm(blue));
    EXPECT_EQ(app->transition(), t); // the same movement, turned round
    EXPECT_EQ(t->direction(), -1);
    EXPECT_TRUE(red.visible());
    app->tick(0.02);
    EXPECT_LT(t->progress(), reached);
    for (int i = 0; i < 10 && app->transition(); ++i)
        app->tick(0.04);
    EXPECT_EQ(app->transition(), nullptr);
    EXPECT_EQ(paint(), 0xF800);

    // And reopening while it closes turns it forward again.
    app->OpenForm(blue, false);
    app->tick(0.3);
    EXPECT_EQ(app->transition(), nullptr);
    app->CloseForm(blue);
    t = app->transition();
    ASSERT_NE(t, nullptr);
    EXPECT_EQ(t->direction(), -1);
    app->tick(0.05);
    app->OpenForm(blue, false);
    EXPECT_EQ(app->transition(), t);
    EXPECT_EQ(t->direction(), 1);
}

TEST_F(FormStack, NeedsRedrawRemembersTheLastFrame)
{
    EXPECT_TRUE(app->needs_redraw(false)); // a new application draws its first frame
    app->OpenForm(red, false);
    paint();
    EXPECT_TRUE(app->needs_redraw(true)); // the frame drawn had something to draw
    paint();
    EXPECT_FALSE(app->needs_redraw(false));
    EXPECT_FALSE(app->needs_redraw(true));
    red.recolour({0, 252, 0, 255});
    EXPECT_TRUE(app->needs_redraw(false));
}

TEST_F(FormStack, FrameTimesOnlyWhileLogging)
{
    app->OpenForm(red, false);
    EXPECT_EQ(paint(20, 10), 0xF800);
    ASSERT_TRUE(RegWriteNumber(u"HKEY_CURRENT_USER\\Software\\Tarn", u"Log", 1));
    for (int i = 0; i < 25; ++i) {
        red.recolour(i % 2 ? SkinColor{240, 0, 0, 255} : SkinColor{248, 0, 0, 255});
        SimAdvanceTicks(40);
        paint();
        EXPECT_LE(app->frame_time_count(), 20u);
    }
    EXPECT_EQ(app->frame_time_count(), 20u);
    // The box is darkened to half; the rest of the form is not.
    EXPECT_EQ(frame.buffer()->row(18)[148] >> 11, 0x1F / 2);
    EXPECT_EQ(frame.buffer()->row(25)[148] >> 11, 0x1F);
    ASSERT_TRUE(RegWriteNumber(u"HKEY_CURRENT_USER\\Software\\Tarn", u"Log", 0));
    red.recolour({248, 0, 0, 255});
    EXPECT_EQ(paint(148, 18), 0xF800);
}
