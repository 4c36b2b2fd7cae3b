// When the desktop keyboard shows, on its own clock: the focus, a hardware keyboard, the screen
// touched and the commands of later starts.
#include "x11host/AutoShow.h"
#include "x11host/InputSources.h"

#include <gtest/gtest.h>

namespace {

using x11host::AutoShow;
using x11host::InputSources;
using x11host::PanelCommand;

TEST(AutoShow, ATextFieldShowsAtOnceAndFocusElsewhereHidesAMomentLater)
{
    AutoShow a(false, PanelCommand::Hide);
    EXPECT_FALSE(a.shown());
    a.focus(true, 1000);
    EXPECT_TRUE(a.shown());
    a.focus(false, 2000);
    a.tick(2000 + AutoShow::kHideDelay - 1);
    EXPECT_TRUE(a.shown()) << "hidden before the moment passed";
    EXPECT_TRUE(a.hide_due(2000 + AutoShow::kHideDelay));
    a.tick(2000 + AutoShow::kHideDelay);
    EXPECT_FALSE(a.shown());
    // Focus moving between objects that take no text changes nothing.
    a.focus(false, 3000);
    a.tick(4000);
    EXPECT_FALSE(a.shown());
}

TEST(AutoShow, MovingFromOneFieldToTheNextNeverHides)
{
    AutoShow a(false, PanelCommand::Unset);
    a.focus(true, 100);
    // Either order of "lost" and "gained" that programs report.
    a.focus(false, 200);
    a.focus(true, 200);
    a.tick(200 + AutoShow::kHideDelay * 4);
    EXPECT_TRUE(a.shown());
    a.focus(true, 300);
    a.focus(false, 300); // a stale "lost" that came last does hide, in due time
    a.tick(300 + AutoShow::kHideDelay);
    EXPECT_FALSE(a.shown());
}

TEST(AutoShow, ALeaveThatReturnsWithinTheMomentRestartsTheDelayNextTime)
{
    AutoShow a(false, PanelCommand::Unset);
    a.focus(true, 0);
    a.focus(false, 100);
    a.focus(true, 200);
    a.focus(false, 300);
    a.tick(100 + AutoShow::kHideDelay);
    EXPECT_TRUE(a.shown()) << "the first leave's moment is not the second's";
    a.tick(300 + AutoShow::kHideDelay);
    EXPECT_FALSE(a.shown());
}

TEST(AutoShow, TheKeyboardsOwnWindowTakingTheFocusKeepsItUp)
{
    AutoShow a(false, PanelCommand::Unset);
    a.focus(true, 0);
    a.focus(false, 10);
    a.tick(10 + AutoShow::kHideDelay, true);
    EXPECT_TRUE(a.shown());
    EXPECT_FALSE(a.hide_due(10 + AutoShow::kHideDelay * 2));
}

TEST(AutoShow, AHardwareKeyboardKeepsItHiddenUntilTheScreenIsTouched)
{
    AutoShow a(false, PanelCommand::Unset);
    a.focus(true, 0);
    a.hardware_key(); // typing on a hardware keyboard while the panel is up changes nothing
    EXPECT_FALSE(a.hardware_keyboard());
    a.focus(false, 10);
    a.tick(10 + AutoShow::kHideDelay);
    ASSERT_FALSE(a.shown());
    a.hardware_key();
    EXPECT_TRUE(a.hardware_keyboard());
    a.focus(true, 1000);
    EXPECT_FALSE(a.shown()) << "a text field took the focus while the hardware keyboard is in use";
    // The finger on the screen: the field that has the focus gets the panel.
    a.touch();
    EXPECT_TRUE(a.shown());
    EXPECT_FALSE(a.hardware_keyboard());
    // A touch while no field has the focus shows nothing, but the next field does.
    a.focus(false, 2000);
    a.tick(3000);
    a.hardware_key();
    a.touch();
    EXPECT_FALSE(a.shown());
    a.focus(true, 4000);
    EXPECT_TRUE(a.shown());
}

TEST(AutoShow, CommandsActAtOnceAndTheNextFocusDecidesAgain)
{
    AutoShow a(false, PanelCommand::Unset);
    EXPECT_TRUE(a.shown()) << "a plain start shows the keyboard";
    a.focus(false, 0);
    a.command(PanelCommand::Show); // asked for: a pending hide is forgotten
    a.tick(AutoShow::kHideDelay * 2);
    EXPECT_TRUE(a.shown());
    a.command(PanelCommand::Toggle);
    EXPECT_FALSE(a.shown());
    a.command(PanelCommand::Toggle);
    EXPECT_TRUE(a.shown());
    a.command(PanelCommand::Hide);
    EXPECT_FALSE(a.shown());
    a.focus(true, 1000);
    EXPECT_TRUE(a.shown());
    // Show also ends the hardware keyboard's hold.
    a.command(PanelCommand::Hide);
    a.hardware_key();
    a.command(PanelCommand::Show);
    EXPECT_FALSE(a.hardware_keyboard());
}

TEST(AutoShow, AlwaysIgnoresTheFocusAndTheHardwareKeyboard)
{
    AutoShow a(true, PanelCommand::Unset);
    a.focus(false, 0);
    a.tick(10000);
    EXPECT_TRUE(a.shown());
    a.command(PanelCommand::Hide);
    a.hardware_key();
    EXPECT_FALSE(a.hardware_keyboard());
    a.focus(true, 20000);
    EXPECT_FALSE(a.shown()) << "with --always only a command shows it again";
    a.command(PanelCommand::Toggle);
    EXPECT_TRUE(a.shown());
}

TEST(AutoShow, WithoutTheFocusItStaysUpEvenWhenStartedHidden)
{
    AutoShow a(false, PanelCommand::Hide);
    a.focus_unavailable();
    EXPECT_TRUE(a.shown());
    a.focus(false, 0);
    a.tick(10000);
    EXPECT_TRUE(a.shown());
    a.command(PanelCommand::Hide);
    EXPECT_FALSE(a.shown());
    a.hardware_key();
    a.touch();
    EXPECT_FALSE(a.shown());
}

TEST(InputSources, DevicesCountByWhatTheySayOfThemselves)
{
    using D = InputSources::Device;
    using S = InputSources::Source;
    // name, keyboard, xtest, core, direct touch, absolute
    EXPECT_EQ(InputSources::Classify(D { "AT Translated Set 2 keyboard", true, false, true, false, false }), S::HardwareKeyboard);
    EXPECT_EQ(InputSources::Classify(D { "Virtual core XTEST keyboard", true, true, true, false, false }), S::Other);
    // Another master's XTEST keyboard is a keyboard of its own.
    EXPECT_EQ(InputSources::Classify(D { "second XTEST keyboard", true, true, false, false, false }), S::HardwareKeyboard);
    EXPECT_EQ(InputSources::Classify(D { "ELAN touchscreen", false, false, true, true, true }), S::ScreenPointer);
    EXPECT_EQ(InputSources::Classify(D { "Wacom pen stylus", false, false, true, false, true }), S::ScreenPointer);
    EXPECT_EQ(InputSources::Classify(D { "Virtual core XTEST pointer", false, true, true, false, false }), S::ScreenPointer);
    EXPECT_EQ(InputSources::Classify(D { "Logitech mouse", false, false, true, false, false }), S::Other);
    EXPECT_EQ(InputSources::Classify(D { "SynPS/2 touchpad", false, false, true, false, false }), S::Other);
}

TEST(InputSources, OnlyKeysThatTypeCount)
{
    EXPECT_TRUE(InputSources::KeyTypes(0x61));       // a
    EXPECT_TRUE(InputSources::KeyTypes(0xFF08));     // BackSpace
    EXPECT_TRUE(InputSources::KeyTypes(0x10006C0));  // a Unicode keysym
    EXPECT_FALSE(InputSources::KeyTypes(0));
    EXPECT_FALSE(InputSources::KeyTypes(0xFFE1));     // Shift_L
    EXPECT_FALSE(InputSources::KeyTypes(0xFFEB));     // Super_L
    EXPECT_FALSE(InputSources::KeyTypes(0xFE03));     // ISO_Level3_Shift
    EXPECT_FALSE(InputSources::KeyTypes(0x1008FF13)); // XF86AudioRaiseVolume
    EXPECT_FALSE(InputSources::KeyTypes(0x1008FF2A)); // XF86PowerOff
}

}
