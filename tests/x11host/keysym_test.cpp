// The keyboard's keysyms, without an X server (the desktop's sizes are panel_host's:
// tests/panel_host/desktop_size_test.cpp).
#include "x11host/XTestKeyboard.h"

#include <gtest/gtest.h>

#include <X11/keysym.h>

using x11host::XTestKeyboard;

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
