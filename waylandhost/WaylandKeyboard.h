#pragma once
// The keyboard's output on Wayland, as users of Wayland keyboards expect it:
// - while a program's text field has activated the input method, characters are committed to it
//   as text;
// - everything else (backspace, enter, tab, arrows, control chords, and all typing into programs
//   without text input) goes out as keys of a virtual keyboard with a keymap of its own. A
//   character that no key of that keymap carries is put on a spare keycode of an updated keymap;
//   keys still held are released before the keymap changes, and the keyboard's held modifiers
//   pressed again after it.
#include "waylandhost/Keymap.h"

#include "panel_host/SipHost.h"

#include <cstdint>
#include <map>
#include <string>
#include <vector>

namespace waylandhost {

// Where keys go: a virtual keyboard.
class KeySink {
public:
    virtual ~KeySink() = default;
    // The keymap (XKB text) that the following keys are read with.
    virtual void keymap(const std::string& text) = 0;
    // key: the Linux input code (the xkb keycode minus 8).
    virtual void key(uint32_t code, bool down) = 0;
    virtual void modifiers(uint32_t depressed, uint32_t latched, uint32_t locked, uint32_t group) = 0;
};

// Where text goes: the input method of the focused text field.
class TextSink {
public:
    virtual ~TextSink() = default;
    // A text field has activated the input method.
    virtual bool active() const = 0;
    virtual void commit(const std::string& utf8) = 0;
};

class WaylandKeyboard final : public pocketsim::KeyOutput {
public:
    // text may be null (the compositor offers no input method).
    WaylandKeyboard(Keymap& keymap, KeySink& keys, TextSink* text);
    ~WaylandKeyboard() override;
    WaylandKeyboard(const WaylandKeyboard&) = delete;
    WaylandKeyboard& operator=(const WaylandKeyboard&) = delete;

    void virtual_key(BYTE virtualKey, DWORD flags) override;
    void char_events(UINT virtualKey, UINT keyFlags, UINT count, const UINT* shiftStates, const UINT* characters) override;
    void text(const WCHAR* text, DWORD count) override;

    // Every key still down comes up.
    void release_all();
    // Keycodes down now, for tests.
    size_t held() const;

    // The keysym for a character (control characters as their keys); 0 for none.
    static xkb_keysym_t keysym_for_character(unsigned c);
    // The keysym a virtual key names; 0 for none.
    static xkb_keysym_t keysym_for_virtual_key(unsigned virtualKey);

private:
    struct Pressed {
        uint32_t keycode = 0;
        bool shifted = false; // Shift was pressed around it
    };

    void sendKeymap();
    void key(uint32_t keycode, bool down);
    // A key that carries keysym, from the keymap or a spare keycode given it.
    std::optional<Keymap::Placement> placeFor(xkb_keysym_t keysym);
    bool typedAsText(unsigned c) const;
    void pressCharacter(unsigned c, UINT virtualKey);
    void releaseCharacters(UINT virtualKey);
    void commit(const std::u32string& text);

    Keymap& m_keymap;
    KeySink& m_keys;
    TextSink* m_text;
    xkb_state* m_state = nullptr;
    bool m_keymapSent = false;
    std::map<uint32_t, int> m_down; // keycode -> presses not yet released
    // Virtual keys the keyboard holds down (Shift, Control, Alt, a repeating key) by keycode.
    std::map<UINT, uint32_t> m_virtual;
    // Keys pressed for a virtual key's characters, released with it.
    std::map<UINT, std::vector<Pressed>> m_characters;
    std::map<uint32_t, uint64_t> m_spareUse; // spare keycode -> when it was last given a keysym
    uint64_t m_uses = 0;
    xkb_mod_mask_t m_sentMods[4] = {};
    uint32_t m_shiftKeycode = 0;
};

}
