#include "keyboard/kbKeyActions.h"
#include "kbfiles/kbSettings.h"
#include "keyboard/kbTouch.h"
#include "runtime/Application.h"
#include "tests/keyboard/KeyboardFakes.h"
#include "tests/support/DeviceRoot.h"

#include <simhost.h>

#include <gtest/gtest.h>

#include <climits>
#include <cmath>
#include <optional>

namespace {

using Events = std::vector<std::string>;

struct Touch : DeviceRootTest {
    FakeKeys form;
    FakeApp app;
    std::optional<Application> core;
    std::optional<kbSettings> settings;
    std::optional<kbKeyActions> actions;
    std::optional<kbTouch> touch;
    POINT p1 {}, p2 {}; // the filter's history, mirrored to aim moves exactly

    void SetUp() override
    {
        SimUseVirtualClock(100000);
        if (!Application::instance()) // the input-method tests leave the library's core behind
            core.emplace(nullptr, u"Magnikeys");
        settings.emplace();
        actions.emplace(form, *settings, app);
        app.actions = &*actions;
        form.text = &app.text;
        app.set_current_layout();
        touch.emplace(form, *actions, *settings, app);
    }
    void TearDown() override
    {
        touch.reset();
        core.reset();
        SimUseRealClock();
    }

    void down(POINT p)
    {
        p1 = p2 = p;
        touch->on_touch(p);
    }
    // A raw move whose filtered point is `target`.
    void moveTo(POINT target)
    {
        auto aim = [](int t, int q1, int q2) {
            const double pull = 0.2 * q2 + 0.8 * q1;
            for (int raw = int(2 * t - pull) - 3; raw < int(2 * t - pull) + 4; ++raw)
                if (int((pull + raw) * 0.5 + 0.5) == t)
                    return raw;
            return 0;
        };
        touch->on_move(POINT { aim(target.x, p1.x, p2.x), aim(target.y, p1.y, p2.y) });
        p2 = p1;
        p1 = touch->current_point();
        ASSERT_EQ(p1.x, target.x);
        ASSERT_EQ(p1.y, target.y);
    }
    void up()
    {
        touch->release_point();
        touch->on_release();
    }
    // A touch at `from`, one move `ms` later that lands `dx`, `dy` away, and the lift.
    Events flick(POINT from, int dx, int dy, DWORD ms)
    {
        app.events.clear();
        down(from);
        SimAdvanceTicks(ms);
        moveTo(POINT { from.x + dx, from.y + dy });
        up();
        return app.events;
    }
    void paint(int timerPaints)
    {
        for (int i = 0; i < timerPaints; ++i)
            touch->advance_zoom(0.04);
    }
};

const Events kSpace { "vk 0x20 0x4", "vk 0x20 0x6" };
const Events kBackspace { "vk 0x8 0x4", "vk 0x8 0x6" };
const Events kEnter { "vk 0xd 0x4", "vk 0xd 0x6" };
Events typed(char c, unsigned vk)
{
    return { fmt("char 0x%x 0x80 0x80 U+%04X", vk, unsigned(c)), fmt("char 0x%x 0x40 0x10000 U+%04X", vk, unsigned(c)) };
}

TEST_F(Touch, FlicksAreStrokesOnlyStrictlyBeyondTheirThresholds)
{
    const POINT key12 = form.centre(12); // (30, 30): "s"
    EXPECT_EQ(flick(key12, 40, 5, 50), kSpace); // 800 px/s
    EXPECT_EQ(flick(key12, -40, 5, 50), kBackspace);
    // 400 px/s is a press, of the key under the flick's end (the touch sample expired)
    EXPECT_EQ(flick(key12, 40, 5, 100), typed('f', 'F'));
    // exactly 600 px/s, and a distance exactly 30 beyond the drift, are not strokes
    EXPECT_EQ(flick(key12, 36, 0, 60), typed('s', 'S'));
    EXPECT_EQ(flick(key12, 40, 10, 50), typed('s', 'S'));

    // vertical: up is shift, down is enter; |dy| must exceed |dx| + 20 and |vy| 300
    flick(POINT { 50, 50 }, 5, -40, 50);
    EXPECT_TRUE(actions->shift());
    flick(POINT { 50, 50 }, 5, -40, 50);
    EXPECT_TRUE(actions->caps_lock()); // two quick up-strokes lock capitals
    flick(POINT { 50, 50 }, 5, -40, 50);
    EXPECT_FALSE(actions->shift());
    EXPECT_EQ(flick(POINT { 50, 10 }, 5, 40, 50), kEnter);
    EXPECT_EQ(flick(POINT { 50, 10 }, 20, 40, 50), typed('e', 'E')); // 40 is not above 20 + 20
}

// A busy host handles a quick flick's events late: the flick is timed by when its events
// happened, so it stays a stroke; one that really was slow stays a press.
TEST_F(Touch, AFlickIsTimedByItsEventsNotByWhenTheyAreHandled)
{
    const POINT key12 = form.centre(12);
    auto flickStamped = [&](int dx, DWORD happened, DWORD handled) {
        app.events.clear();
        const DWORD start = GetTickCount();
        p1 = p2 = key12;
        touch->on_touch(key12, start);
        SimAdvanceTicks(handled);
        const POINT target { key12.x + dx, key12.y + 5 };
        auto aim = [](int t, int q1, int q2) {
            const double pull = 0.2 * q2 + 0.8 * q1;
            for (int raw = int(2 * t - pull) - 3; raw < int(2 * t - pull) + 4; ++raw)
                if (int((pull + raw) * 0.5 + 0.5) == t)
                    return raw;
            return 0;
        };
        touch->on_move(POINT { aim(target.x, p1.x, p2.x), aim(target.y, p1.y, p2.y) }, start + happened);
        touch->release_point(start + happened);
        touch->on_release();
        return app.events;
    };
    EXPECT_EQ(flickStamped(40, 50, 400), kSpace);
    EXPECT_EQ(flickStamped(-40, 50, 400), kBackspace);
    EXPECT_EQ(flickStamped(40, 100, 10), typed('f', 'F'));
}

TEST_F(Touch, StrokeThresholdsAreDesignPixelsAtTheScreensScale)
{
    // A desktop keyboard drawn three times the design's size: the flicks above, three times as
    // long in the same time, are the same strokes, and the same flicks as short as before are
    // taps.
    touch->set_gesture_scale(3.0);
    const POINT key12 = form.centre(12);
    EXPECT_EQ(flick(key12, 120, 15, 50), kSpace);
    EXPECT_EQ(flick(key12, -120, 15, 50), kBackspace);
    EXPECT_EQ(flick(key12, 40, 5, 50), typed('s', 'S'));
    // The bounds scale exactly: 1800 px/s (600 x 3) and 90 beyond the drift (30 x 3) are not
    // strokes; just past them is.
    EXPECT_EQ(flick(key12, 108, 0, 60), typed('s', 'S'));
    EXPECT_EQ(flick(key12, 120, 30, 50), typed('s', 'S'));
    EXPECT_EQ(flick(key12, 121, 30, 50), kSpace);
    flick(POINT { 50, 50 }, 5, -40, 50);
    EXPECT_FALSE(actions->shift()); // 40 is not above 5 + 60
    flick(POINT { 50, 50 }, 5, -70, 50);
    EXPECT_TRUE(actions->shift());
    flick(POINT { 50, 50 }, 5, -70, 50); // off again (and on to caps lock)
    flick(POINT { 50, 50 }, 5, -70, 50);
    ASSERT_FALSE(actions->shift());
    // A scale of nothing is no scale: the design's thresholds.
    touch->set_gesture_scale(0);
    EXPECT_EQ(flick(key12, 40, 5, 50), kSpace);
}

TEST_F(Touch, AZeroTickTouchIsAPressNotAnEndlessStroke)
{
    EXPECT_EQ(flick(form.centre(12), 40, 0, 0), typed('s', 'S'));
    // a touch and lift with no move at all presses the touched key
    app.events.clear();
    down(form.centre(0));
    up();
    EXPECT_EQ(app.events, typed('q', 'Q'));
}

TEST_F(Touch, TheKeyPressedOnLiftIsUnderTheOldestRetainedSample)
{
    down(POINT { 10, 10 }); // "q"
    SimAdvanceTicks(100);
    moveTo(POINT { 12, 10 });
    SimAdvanceTicks(50);
    moveTo(POINT { 30, 10 }); // "w"
    SimAdvanceTicks(50);
    moveTo(POINT { 50, 10 }); // "e": the last point, but only 50 ms after "w"
    ASSERT_EQ(touch->samples().size(), 2u);
    app.events.clear();
    up();
    EXPECT_EQ(app.events, typed('w', 'W'));
}

TEST_F(Touch, HeldBackspaceRepeatsAfterTheDelayWithTheZoomHidden)
{
    settings->board_style = 2; // a zoom style that shows the zoom window
    const DWORD start = GetTickCount();
    down(form.centre(35)); // backspace
    paint(12);
    ASSERT_TRUE(app.zoomVisible);
    std::vector<DWORD> repeats;
    for (int ms = 0; ms < 1400; ms += 10) {
        size_t before = app.events.size();
        SimRunFor(10);
        if (app.events.size() != before) {
            EXPECT_EQ(app.events.size() - before, 2u);
            repeats.push_back(GetTickCount() - start);
        }
    }
    // the timer runs at 450 ms and then every 150 ms; 900 ms is not more than the delay
    EXPECT_EQ(repeats, (std::vector<DWORD> { 1050, 1200, 1350 }));
    EXPECT_TRUE(touch->repeat_mode());
    EXPECT_EQ(app.zoomHides, 1);
    EXPECT_FALSE(app.zoomVisible);
    paint(1);
    EXPECT_FALSE(app.zoomVisible); // no zoom while repeating

    // another key restarts the delay and brings the zoom back
    moveTo(form.centre(36));
    moveTo(form.centre(36));
    EXPECT_FALSE(touch->repeat_mode());
    EXPECT_TRUE(app.zoomVisible);
    app.events.clear();
    up();
    EXPECT_EQ(app.events, kSpace); // the space key, pressed once on lift
    SimRunFor(1000);
    EXPECT_EQ(app.events, kSpace); // the timer stopped with the lift
}

TEST_F(Touch, OnlyArrowsAndBackspaceRepeat)
{
    down(form.centre(3)); // "r"
    SimRunFor(2000);
    EXPECT_TRUE(app.events.empty());
    up();
    EXPECT_EQ(app.events, typed('r', 'R'));

    app.events.clear();
    actions->process_key(form.key_index(u"extra"), u"extra");
    down(form.centre(11)); // left arrow
    SimRunFor(1100);
    EXPECT_EQ(app.events, (Events { "vk 0x25 0x4", "vk 0x25 0x6" }));
    up();
}

TEST_F(Touch, TouchOutsideEveryKeyTracksButArmsNoRepeat)
{
    down(POINT { 230, 70 }); // right of the function keys
    EXPECT_TRUE(touch->is_down());
    SimRunFor(2000);
    moveTo(POINT { 215, 70 }); // still right of "enter" (180..210)
    SimAdvanceTicks(100);
    moveTo(POINT { 200, 70 });
    EXPECT_EQ(form.current_key(), 33);
    up();
    EXPECT_EQ(app.events, kEnter);
}

TEST_F(Touch, ZoomGrowsAfterTheDelayAndSmartZoomSkipsItAfterFiveZooms)
{
    settings->board_style = 1;
    auto fullTouch = [&](DWORD holdMs) {
        down(form.centre(5));
        paint(8); // 0.32 s: still within the delay
        EXPECT_EQ(touch->zoom_level(), 1.0);
        paint(4); // 0.48 s
        EXPECT_EQ(touch->zoom_level(), 2.0);
        SimAdvanceTicks(holdMs);
        up();
    };
    touch->advance_zoom(0.04);
    EXPECT_EQ(touch->zoom_level(), 1.0); // stylus up
    down(form.centre(5));
    paint(8);
    touch->advance_zoom(0.04); // t = 0.36: r = 0.28
    EXPECT_NEAR(touch->zoom_level(), std::pow(0.28, 0.3) + 1, 1e-12);
    up();
    EXPECT_EQ(touch->zoom_count(), 0);
    for (int i = 0; i < 5; ++i)
        fullTouch(300);
    EXPECT_EQ(touch->zoom_count(), 5);
    down(form.centre(5));
    touch->advance_zoom(0.006);
    EXPECT_EQ(touch->zoom_level(), 2.0); // at once
    SimAdvanceTicks(300);
    up();

    // a pause of more than 3 s brings the delay back
    SimAdvanceTicks(3001);
    down(form.centre(5));
    EXPECT_EQ(touch->zoom_count(), 0);
    touch->advance_zoom(0.006);
    EXPECT_EQ(touch->zoom_level(), 1.0);
    up();
}

TEST_F(Touch, SmartZoomWaitsWhileTheLastThreeTouchesWereQuick)
{
    for (int i = 0; i < 5; ++i) {
        down(form.centre(5));
        paint(12);
        SimAdvanceTicks(100); // quick touches that still reached the full zoom
        up();
    }
    ASSERT_EQ(touch->zoom_count(), 5);
    down(form.centre(5));
    touch->advance_zoom(0.006);
    EXPECT_EQ(touch->zoom_level(), 1.0);
    SimAdvanceTicks(500);
    up(); // a slow touch ends the fast typing
    down(form.centre(5));
    touch->advance_zoom(0.006);
    EXPECT_EQ(touch->zoom_level(), 2.0);
    up();
}

TEST_F(Touch, SimpleStyleNeverShowsTheZoomWindow)
{
    down(form.centre(5));
    paint(20);
    EXPECT_EQ(touch->zoom_level(), 2.0);
    EXPECT_EQ(app.zoomShows, 0);
    up();
}

TEST_F(Touch, TheFirstTouchAfterTheSettingsProgramRereadsLayoutsAndSettings)
{
    actions->settings_changed = true;
    down(form.centre(5));
    up();
    EXPECT_EQ(app.reloads, 1);
    EXPECT_FALSE(actions->settings_changed);
    down(form.centre(5));
    up();
    EXPECT_EQ(app.reloads, 1);
}

TEST_F(Touch, AReleaseWithoutATouchPressesNothing)
{
    touch->on_release();
    down(form.centre(5));
    up();
    touch->on_release(); // the capture ends a second time
    EXPECT_EQ(app.events, typed('y', 'Y'));
}

TEST_F(Touch, FlatZoomMovesAreFormPointsAndShiftIsZeroAtLevelOne)
{
    settings->board_style = 1;
    down(POINT { 50, 30 });
    EXPECT_EQ(touch->zoom_shift(1.0).x, 0);
    EXPECT_EQ(touch->zoom_shift(1.0).y, 0);
    paint(12);
    // anchor offset (0, 5) for the fake form: shift = (50, 30 + 5)
    POINT shift = touch->zoom_shift(2.0);
    EXPECT_EQ(shift.x, 50);
    EXPECT_EQ(shift.y, 35);
    moveTo(POINT { 50, 30 });
    EXPECT_EQ(touch->samples().front().x, 50); // (50 + 50) / 2
    EXPECT_EQ(touch->samples().front().y, 33); // int((35 + 30) / 2 + 0.5)
    up();
}

// A person may type anything into "settings.txt": the keyboard must keep working.
TEST_F(Touch, AbsurdSettingsLeaveTheKeyboardWorking)
{
    struct Values {
        double zoomScale, showDelay, animation, power, repeatDelay, repeatInterval, ignore;
        kbIntPair speed, distance;
        int32_t zooms;
    };
    const Values cases[] = {
        { 0, 0, 0, 0, 0, 0, 0, { 0, 0 }, { 0, 0 }, 0 },
        { -5, -1, -1, -3, -1, -1, -1, { INT_MIN, INT_MIN }, { INT_MIN, INT_MIN }, INT_MIN },
        { 1e300, 1e300, 1e300, 1e300, 1e300, 1e300, 1e300, { INT_MAX, INT_MAX }, { INT_MAX, INT_MAX }, INT_MAX },
        { 1, 0.3, 1e-300, 1e-300, 1e-300, 1e-300, 1e-300, { 600, 300 }, { 30, 20 }, 5 },
        { HUGE_VAL, -HUGE_VAL, HUGE_VAL, HUGE_VAL, HUGE_VAL, -HUGE_VAL, HUGE_VAL, { 1, 1 }, { -1, -1 }, 1 },
    };
    for (const Values& v : cases) {
        settings->zoom_scale = v.zoomScale;
        settings->zoom_show_delay = v.showDelay;
        settings->animation_time = v.animation;
        settings->zoom_power = v.power;
        settings->repeat_delay = v.repeatDelay;
        settings->repeat_interval = v.repeatInterval;
        settings->last_movement_ignore = v.ignore;
        settings->stroke_speed = v.speed;
        settings->stroke_distance = v.distance;
        settings->zooms_count_to_disable_delay = v.zooms;
        for (int style = 0; style < 4; ++style) {
            settings->board_style = style;
            app.events.clear();
            down(form.centre(35));
            for (int i = 0; i < 30; ++i) {
                touch->advance_zoom(i % 2 ? 0.04 : 0.006);
                EXPECT_TRUE(std::isfinite(touch->zoom_level()));
                EXPECT_GE(touch->zoom_level(), 1.0);
                EXPECT_LE(touch->zoom_level(), 8.0);
                SimRunFor(10);
                POINT c = form.centre(35);
                touch->on_move(POINT { c.x + (i % 3), c.y });
            }
            EXPECT_LE(touch->samples().size(), kbTouch::kSampleLimit);
            up();
            // at most one repeat every 20 ms, and the lift still did something
            EXPECT_LE(app.events.size(), 2u * (300 / 20 + 2));
            EXPECT_FALSE(app.events.empty());
            EXPECT_FALSE(touch->is_down());
        }
    }
}

}
