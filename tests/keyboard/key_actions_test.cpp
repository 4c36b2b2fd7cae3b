#include "keyboard/kbKeyActions.h"
#include "kbfiles/kbSettings.h"
#include "tests/keyboard/KeyboardFakes.h"
#include "tests/support/DeviceRoot.h"

#include <simhost.h>

#include <gtest/gtest.h>

#include <optional>

namespace {

using Events = std::vector<std::string>;

struct KeyActions : DeviceRootTest {
    FakeKeys form;
    FakeApp app;
    std::optional<kbSettings> settings;
    std::optional<kbKeyActions> actions;

    void SetUp() override
    {
        SimUseVirtualClock(100000);
        settings.emplace();
        actions.emplace(form, *settings, app);
        app.actions = &*actions;
        form.text = &app.text;
        app.set_current_layout();
        app.layoutLoads = 0;
    }
    void TearDown() override { SimUseRealClock(); }

    // Presses the key showing `c` in the layout now on the keys.
    void letter(char16_t c)
    {
        size_t at = app.text.find(c);
        ASSERT_NE(at, std::u16string::npos) << "no key shows U+" << std::hex << unsigned(c);
        actions->process_key(int(at), FakeKeys::to16(std::to_string(at % 11)));
    }
    void fn(const char16_t* name) { actions->process_key(form.key_index(name), name); }
    Events take()
    {
        Events e = std::move(app.events);
        app.events.clear();
        return e;
    }
};

TEST_F(KeyActions, ShiftThenALetterSendsTheCapitalOnceAndTheRowsGoBack)
{
    fn(u"shift");
    EXPECT_TRUE(actions->shift());
    EXPECT_TRUE(form.looks[u"shift"]);
    EXPECT_EQ(app.text[0], u'Q'); // the shifted rows are on the keys
    take();
    letter(u'A');
    EXPECT_EQ(take(), (Events { "char 0x41 0x80 0x80 U+0041", "char 0x41 0x40 0x10000 U+0041" }));
    EXPECT_FALSE(actions->shift());
    EXPECT_FALSE(form.looks[u"shift"]);
    EXPECT_EQ(app.text[0], u'q');
    letter(u'a');
    EXPECT_EQ(take(), (Events { "char 0x41 0x80 0x80 U+0061", "char 0x41 0x40 0x10000 U+0061" }));
}

TEST_F(KeyActions, QuickSecondShiftLocksCapitalsAndAThirdReleasesBoth)
{
    fn(u"shift");
    SimAdvanceTicks(400);
    fn(u"shift");
    EXPECT_TRUE(actions->caps_lock());
    EXPECT_TRUE(actions->shift());
    letter(u'A');
    letter(u'B');
    EXPECT_TRUE(actions->shift()); // letters stay capital
    EXPECT_EQ(take().back(), "char 0x42 0x40 0x10000 U+0042");
    fn(u"shift");
    EXPECT_FALSE(actions->caps_lock());
    EXPECT_FALSE(actions->shift());
}

TEST_F(KeyActions, SlowSecondShiftOnlyReleasesShift)
{
    fn(u"shift");
    SimAdvanceTicks(500); // not less than double_click_delay
    fn(u"shift");
    EXPECT_FALSE(actions->caps_lock());
    EXPECT_FALSE(actions->shift());
}

TEST_F(KeyActions, ShiftInTheSymbolLayerTurnsShiftAndCapsLockOnAtOnce)
{
    fn(u"extra");
    EXPECT_TRUE(actions->extra());
    EXPECT_EQ(app.text[0], u'1');
    fn(u"shift");
    EXPECT_TRUE(actions->shift());
    EXPECT_TRUE(actions->caps_lock());
}

TEST_F(KeyActions, BackspaceWithShiftDeletesForwardWithoutAShiftPress)
{
    fn(u"backspace");
    EXPECT_EQ(take(), (Events { "vk 0x8 0x4", "vk 0x8 0x6" }));
    fn(u"shift");
    EXPECT_EQ(form.deleteLooks.back(), true);
    take();
    fn(u"backspace");
    EXPECT_EQ(take(), (Events { "vk 0x2e 0x4", "vk 0x2e 0x6" }));
    EXPECT_TRUE(actions->shift());
    EXPECT_EQ(form.deleteLooks.back(), true);
}

TEST_F(KeyActions, EnterWithCapsLockKeepsCapsLockAndTheNextShiftEndsIt)
{
    fn(u"shift");
    fn(u"shift");
    ASSERT_TRUE(actions->caps_lock());
    take();
    fn(u"enter");
    // shift is on while enter goes out, so it wraps the return key
    EXPECT_EQ(take(), (Events { "vk 0x10 0x4", "vk 0xd 0x4", "vk 0xd 0x6", "vk 0x10 0x6" }));
    EXPECT_FALSE(actions->shift());
    EXPECT_TRUE(actions->caps_lock());
    fn(u"shift");
    EXPECT_FALSE(actions->caps_lock());
    EXPECT_FALSE(actions->shift());
}

TEST_F(KeyActions, CtrlWithALetterSendsTheKeyNotTheCharacter)
{
    fn(u"ctrl");
    EXPECT_TRUE(form.looks[u"ctrl"]);
    take();
    letter(u'c');
    EXPECT_EQ(take(), (Events { "vk 0x11 0x4", "vk 0x43 0x4", "vk 0x43 0x6", "vk 0x11 0x6" }));
    EXPECT_FALSE(actions->ctrl());
    EXPECT_FALSE(form.looks[u"ctrl"]);
}

TEST_F(KeyActions, CtrlWithArrowsStaysOnAndArrowsKeepShift)
{
    fn(u"extra");
    fn(u"ctrl");
    take();
    letter(u'\u2190');
    letter(u'\u2192');
    EXPECT_EQ(take(), (Events { "vk 0x11 0x4", "vk 0x25 0x4", "vk 0x25 0x6", "vk 0x11 0x6",
                          "vk 0x11 0x4", "vk 0x27 0x4", "vk 0x27 0x6", "vk 0x11 0x6" }));
    EXPECT_TRUE(actions->ctrl());
    fn(u"ctrl");
    fn(u"shift"); // caps lock in the symbol layer
    take();
    letter(u'\u2191');
    EXPECT_EQ(take(), (Events { "vk 0x10 0x4", "vk 0x26 0x4", "vk 0x26 0x6", "vk 0x10 0x6" }));
    EXPECT_TRUE(actions->shift());
}

TEST_F(KeyActions, SpaceLeavesTheSymbolLayerAndClearsModifiers)
{
    fn(u"extra");
    fn(u"ctrl");
    take();
    fn(u"space");
    // extra goes off first; ctrl still wraps the space
    EXPECT_EQ(take(), (Events { "vk 0x11 0x4", "vk 0x20 0x4", "vk 0x20 0x6", "vk 0x11 0x6" }));
    EXPECT_FALSE(actions->extra());
    EXPECT_FALSE(actions->ctrl());
    EXPECT_EQ(app.text[0], u'q');
}

TEST_F(KeyActions, SettingsKeyStartsTheProgramOnlyInTheSymbolLayer)
{
    // A stand-in settings program that leaves a mark when it runs.
    device.writeFile(u"\\Program Files\\Tarn\\Magnikeys\\optarix.exe",
        "#!/bin/sh\ntouch \"$POCKETSIM_ROOT/Temp/optarix-ran\"\n");
    chmod(device.hostPath(u"\\Program Files\\Tarn\\Magnikeys\\optarix.exe").c_str(), 0755);

    actions->process_key(32, u"10");
    EXPECT_EQ(take(), (Events { "char 0x0 0x80 0x80 U+002E", "char 0x0 0x40 0x10000 U+002E" }));
    EXPECT_FALSE(actions->settings_changed);

    fn(u"extra");
    ASSERT_EQ(app.text[32], u'\0'); // the filler at index 32 is the settings key
    take();
    actions->process_key(32, u"10");
    EXPECT_TRUE(take().empty());
    EXPECT_TRUE(actions->settings_changed);
    for (int i = 0; i < 200 && !device.exists(u"\\Temp\\optarix-ran"); ++i)
        usleep(10000);
    EXPECT_TRUE(device.exists(u"\\Temp\\optarix-ran"));
}

TEST_F(KeyActions, LayoutGoesBackAfterTypingAndOnWithout)
{
    fn(u"layout");
    EXPECT_EQ(app.layoutSwitches, (std::vector<bool> { false }));
    EXPECT_EQ(actions->layout_short_name(), u"ru");
    letter(u'й');
    EXPECT_TRUE(actions->typed_since_layout_switch());
    fn(u"layout");
    EXPECT_EQ(app.layoutSwitches, (std::vector<bool> { false, true }));
    EXPECT_FALSE(actions->typed_since_layout_switch());
    EXPECT_EQ(actions->layout_short_name(), u"en");

    // typing in the symbol layer does not count; layout leaves the layer and its shift
    fn(u"extra");
    fn(u"shift");
    letter(u'1');
    fn(u"layout");
    EXPECT_EQ(app.layoutSwitches.back(), false);
    EXPECT_FALSE(actions->extra());
    EXPECT_FALSE(actions->shift());
}

TEST_F(KeyActions, NoKeyAndUnknownNamesDoNothing)
{
    actions->process_key(-1, u"space");
    actions->process_key(-1, u"");
    actions->process_key(INT_MIN, u"0");
    actions->process_key(99, u"tab");
    EXPECT_TRUE(take().empty());
    EXPECT_EQ(app.layoutLoads, 0);
    // a layout shorter than the form (one that failed to load) is not read past its end
    actions->set_layout(u"ab", u"xx");
    actions->process_key(20, u"9");
    EXPECT_TRUE(take().empty());
}

TEST_F(KeyActions, CharactersWithoutAVirtualKeyGoOutWithZero)
{
    letter(u'@');
    EXPECT_EQ(take(), (Events { "char 0x0 0x80 0x80 U+0040", "char 0x0 0x40 0x10000 U+0040" }));
    letter(u',');
    EXPECT_EQ(take().front(), "char 0xbc 0x80 0x80 U+002C");
}

}
