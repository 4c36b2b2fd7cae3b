// The desktop's device screen and the keyboard's keysyms, without an X server.
#include "x11host/DesktopGeometry.h"
#include "x11host/XTestKeyboard.h"

#include <gtest/gtest.h>

#include <X11/keysym.h>

using x11host::ChooseGeometry;
using x11host::SkinSize;
using x11host::XTestKeyboard;

TEST(DesktopGeometry, TheDesignWidthIsMagnifiedToTheScreenAndTheSkinFollowsTheDensity)
{
    // 96 dpi: QVGA, three times on a 720-pixel screen; the menu bar's strip falls off the bottom.
    auto g = ChooseGeometry(720, 960, 254);
    EXPECT_EQ(g.dpi, 96);
    EXPECT_DOUBLE_EQ(g.scale, 3.0);
    EXPECT_EQ(g.width, 240);
    EXPECT_EQ(g.height, 320 + 26);
    EXPECT_EQ(g.name(), "240x346@96");

    // About 193 dpi: VGA.
    g = ChooseGeometry(1920, 1080, 142);
    EXPECT_EQ(g.dpi, 192);
    EXPECT_DOUBLE_EQ(g.scale, 4.0);
    EXPECT_EQ(g.width, 480);
    EXPECT_EQ(g.height, 270 + 52);

    // Unknown size in millimetres counts as 96 dpi; a skin asked for wins over the density.
    EXPECT_EQ(ChooseGeometry(1024, 768, 0).dpi, 96);
    EXPECT_EQ(ChooseGeometry(1024, 768, 0, SkinSize::Vga).dpi, 192);
    EXPECT_EQ(ChooseGeometry(1920, 1080, 142, SkinSize::Qvga).dpi, 96);
}

TEST(DesktopGeometry, ANarrowerKeyboardSitsInAWiderDeviceScreen)
{
    auto g = ChooseGeometry(1280, 800, 0, SkinSize::Automatic, 480);
    EXPECT_DOUBLE_EQ(g.scale, 2.0);
    EXPECT_EQ(g.width, 640);
    EXPECT_EQ(g.height, 400 + 26);
    // Wider than the screen is the screen's width.
    EXPECT_DOUBLE_EQ(ChooseGeometry(1280, 800, 0, SkinSize::Automatic, 5000).scale, 1280.0 / 240);
    // Absurd screens stay within the device's limits.
    g = ChooseGeometry(100000, 5, 0);
    EXPECT_LE(g.height, 4096);
    EXPECT_GE(g.height, 16);
}

TEST(XTestKeysyms, CharactersAndVirtualKeys)
{
    EXPECT_EQ(XTestKeyboard::keysym_for_character('A'), static_cast<unsigned long>(XK_A));
    EXPECT_EQ(XTestKeyboard::keysym_for_character(0xE9), static_cast<unsigned long>(XK_eacute));
    EXPECT_EQ(XTestKeyboard::keysym_for_character(0x043F), 0x0100043Ful); // п
    EXPECT_EQ(XTestKeyboard::keysym_for_character(0x20AC), 0x010020ACul); // €
    EXPECT_EQ(XTestKeyboard::keysym_for_character('\r'), static_cast<unsigned long>(XK_Return));
    EXPECT_EQ(XTestKeyboard::keysym_for_character('\b'), static_cast<unsigned long>(XK_BackSpace));
    // Nothing for control characters without a key, lone surrogates and beyond Unicode.
    EXPECT_EQ(XTestKeyboard::keysym_for_character(0x01), 0ul);
    EXPECT_EQ(XTestKeyboard::keysym_for_character(0x85), 0ul);
    EXPECT_EQ(XTestKeyboard::keysym_for_character(0xD801), 0ul);
    EXPECT_EQ(XTestKeyboard::keysym_for_character(0x110000), 0ul);

    EXPECT_EQ(XTestKeyboard::keysym_for_virtual_key('C'), static_cast<unsigned long>(XK_c));
    EXPECT_EQ(XTestKeyboard::keysym_for_virtual_key('7'), static_cast<unsigned long>(XK_7));
    EXPECT_EQ(XTestKeyboard::keysym_for_virtual_key(0x08), static_cast<unsigned long>(XK_BackSpace));
    EXPECT_EQ(XTestKeyboard::keysym_for_virtual_key(0x2E), static_cast<unsigned long>(XK_Delete));
    EXPECT_EQ(XTestKeyboard::keysym_for_virtual_key(0x11), static_cast<unsigned long>(XK_Control_L));
    EXPECT_EQ(XTestKeyboard::keysym_for_virtual_key(0x25), static_cast<unsigned long>(XK_Left));
    EXPECT_EQ(XTestKeyboard::keysym_for_virtual_key(0xBC), static_cast<unsigned long>(XK_comma));
    EXPECT_EQ(XTestKeyboard::keysym_for_virtual_key(0xFF), 0ul);
}
