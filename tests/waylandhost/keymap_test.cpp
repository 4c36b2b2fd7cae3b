// The virtual keyboard's keymap and the panel's size on an output, without a compositor.
#include "waylandhost/Keymap.h"
#include "waylandhost/OutputScreen.h"

#include <gtest/gtest.h>

#include <xkbcommon/xkbcommon-keysyms.h>

#include <set>

using waylandhost::Keymap;
using waylandhost::DesktopScreenOf;
using waylandhost::OutputSize;

namespace {

// What a program makes of the keymap text it receives: the keysym of a keycode, with or
// without Shift.
xkb_keysym_t keysymAt(const std::string& text, uint32_t keycode, bool shift)
{
    xkb_context* context = xkb_context_new(XKB_CONTEXT_NO_FLAGS);
    xkb_keymap* keymap = xkb_keymap_new_from_string(context, text.c_str(), XKB_KEYMAP_FORMAT_TEXT_V1, XKB_KEYMAP_COMPILE_NO_FLAGS);
    xkb_keysym_t sym = XKB_KEY_NoSymbol;
    if (keymap) {
        xkb_state* state = xkb_state_new(keymap);
        if (shift)
            xkb_state_update_mask(state, 1u << xkb_keymap_mod_get_index(keymap, XKB_MOD_NAME_SHIFT), 0, 0, 0, 0, 0);
        sym = xkb_state_key_get_one_sym(state, keycode);
        xkb_state_unref(state);
        xkb_keymap_unref(keymap);
    }
    xkb_context_unref(context);
    return sym;
}

}

TEST(VirtualKeyboardKeymap, CarriesTheUsLayoutAndSparesThatCarryNothing)
{
    Keymap keymap;
    std::string why;
    ASSERT_TRUE(keymap.ok(why)) << why;
    auto a = keymap.find(XKB_KEY_a), capitalA = keymap.find(XKB_KEY_A), bang = keymap.find(XKB_KEY_exclam);
    ASSERT_TRUE(a && capitalA && bang);
    EXPECT_EQ(a->keycode, 38u); // KEY_A + 8
    EXPECT_FALSE(a->shifted);
    EXPECT_EQ(capitalA->keycode, a->keycode);
    EXPECT_TRUE(capitalA->shifted);
    EXPECT_EQ(bang->keycode, 10u); // on the 1
    EXPECT_TRUE(bang->shifted);
    for (xkb_keysym_t sym : { XKB_KEY_BackSpace, XKB_KEY_Return, XKB_KEY_Tab, XKB_KEY_Left, XKB_KEY_Shift_L, XKB_KEY_Control_L })
        EXPECT_TRUE(keymap.find(sym)) << sym;
    EXPECT_FALSE(keymap.find(XKB_KEY_Cyrillic_pe));
    EXPECT_FALSE(keymap.find(XKB_KEY_NoSymbol));

    // Spares: real keycodes of the X range that the program sees carrying nothing.
    ASSERT_GE(keymap.spares().size(), 16u);
    std::set<uint32_t> distinct(keymap.spares().begin(), keymap.spares().end());
    EXPECT_EQ(distinct.size(), keymap.spares().size());
    for (uint32_t code : keymap.spares()) {
        EXPECT_GE(code, 8u);
        EXPECT_LE(code, 255u);
        EXPECT_EQ(keysymAt(keymap.text(), code, false), XKB_KEY_NoSymbol) << code;
    }
}

TEST(VirtualKeyboardKeymap, ASpareCarriesAGivenKeysymOnEveryLevelUntilTakenBack)
{
    Keymap keymap;
    std::string why;
    ASSERT_TRUE(keymap.ok(why)) << why;
    const uint32_t spare = keymap.spares().front(), other = keymap.spares().back();
    ASSERT_TRUE(keymap.assign(spare, XKB_KEY_Cyrillic_pe));
    ASSERT_TRUE(keymap.assign(other, 0x100263a)); // a character without a keysym name of its own
    auto pe = keymap.find(XKB_KEY_Cyrillic_pe);
    ASSERT_TRUE(pe);
    EXPECT_EQ(pe->keycode, spare);
    EXPECT_FALSE(pe->shifted);
    EXPECT_EQ(keymap.spareKeysym(spare), static_cast<xkb_keysym_t>(XKB_KEY_Cyrillic_pe));
    // As a program reads the text it receives: the same keysym whatever Shift does.
    EXPECT_EQ(keysymAt(keymap.text(), spare, false), static_cast<xkb_keysym_t>(XKB_KEY_Cyrillic_pe));
    EXPECT_EQ(keysymAt(keymap.text(), spare, true), static_cast<xkb_keysym_t>(XKB_KEY_Cyrillic_pe));
    EXPECT_EQ(keysymAt(keymap.text(), other, false), 0x100263au);
    // The rest of the keymap stays.
    EXPECT_EQ(keysymAt(keymap.text(), 38, false), static_cast<xkb_keysym_t>(XKB_KEY_a));
    EXPECT_EQ(keysymAt(keymap.text(), 38, true), static_cast<xkb_keysym_t>(XKB_KEY_A));

    // Given another keysym, then nothing again.
    ASSERT_TRUE(keymap.assign(spare, XKB_KEY_Cyrillic_er));
    EXPECT_FALSE(keymap.find(XKB_KEY_Cyrillic_pe));
    EXPECT_EQ(keymap.find(XKB_KEY_Cyrillic_er)->keycode, spare);
    ASSERT_TRUE(keymap.assign(spare, 0));
    EXPECT_FALSE(keymap.find(XKB_KEY_Cyrillic_er));
    EXPECT_EQ(keysymAt(keymap.text(), spare, false), XKB_KEY_NoSymbol);

    // Only spares can be given keysyms: the letters stay where they are.
    EXPECT_FALSE(keymap.assign(38, XKB_KEY_Cyrillic_pe));
    EXPECT_EQ(keymap.find(XKB_KEY_a)->keycode, 38u);
}

TEST(OutputScreen, TheKeyboardIsSizedInTheOutputsOwnPixelsAtItsDensity)
{
    // A monitor that tells its size: 1920 pixels in 527 mm is 92.5 dpi.
    pocketsim::DesktopScreen screen = DesktopScreenOf(OutputSize { 1920, 1080, 527, 296, 1 });
    EXPECT_EQ(screen.width, 1920);
    EXPECT_EQ(screen.height, 1080);
    EXPECT_NEAR(screen.dpi(), 92.7, 0.5);
    // Outputs that do not: 96 dpi at scale 1, twice that for an output drawn at scale 2, so that
    // the keys keep their size in millimetres on a dense screen.
    EXPECT_NEAR(DesktopScreenOf(OutputSize { 1920, 1080, 0, 0, 1 }).dpi(), 96, 0.5);
    screen = DesktopScreenOf(OutputSize { 3840, 2160, 0, 0, 2 });
    EXPECT_EQ(screen.width, 3840);
    EXPECT_NEAR(screen.dpi(), 192, 1);
    // One side unknown is no size.
    EXPECT_NEAR(DesktopScreenOf(OutputSize { 720, 1440, 68, 0, 1 }).dpi(), 96, 0.5);

    // The keys then take the same millimetres at scale 1 and 2: a 4K output at scale 2 gets
    // the keyboard of its 1920x1080 logical screen at twice the pixels.
    const pocketsim::DesktopPanel one = pocketsim::ChooseDesktopPanel(DesktopScreenOf(OutputSize { 1920, 1080, 0, 0, 1 }));
    const pocketsim::DesktopPanel two = pocketsim::ChooseDesktopPanel(DesktopScreenOf(OutputSize { 3840, 2160, 0, 0, 2 }));
    EXPECT_NEAR(two.width, 2 * one.width, 4);
    EXPECT_NEAR(two.height, 2 * one.height, 4);
    // Absurd reports stay absurd-free.
    screen = DesktopScreenOf(OutputSize { -5, 0, -1, -1, 0 });
    EXPECT_EQ(screen.width, 0);
    EXPECT_GT(screen.dpi(), 0);
}
