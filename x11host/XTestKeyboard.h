#pragma once
// The keyboard's output as real key events in the focused X program, through XTest.
//
// Virtual keys become the keys whose keysyms they name. Characters become the key that carries
// them in the current keymap (with Shift around it when it sits on the shifted level); for a
// character the keymap lacks, a spare keycode (one that carries nothing) is given its keysym for
// a while. Programs look a key up when they handle its event, possibly long after it was sent, so
// a remapped keycode keeps its keysym until it is needed for another character or the keyboard
// has been idle for a moment; then it carries nothing again, as before.
#include "panel_host/SipHost.h"


#include <chrono>
#include <map>
#include <optional>
#include <string>
#include <vector>

typedef struct _XDisplay Display; // as <X11/Xlib.h> has it, without its macros

namespace x11host {

class XTestKeyboard final : public pocketsim::KeyOutput {
public:
    using Clock = std::chrono::steady_clock;

    // Takes over display (closes it). Check ready() before use.
    explicit XTestKeyboard(Display* display);
    ~XTestKeyboard() override;
    XTestKeyboard(const XTestKeyboard&) = delete;
    XTestKeyboard& operator=(const XTestKeyboard&) = delete;

    // False (with a reason) when the server lacks XTest.
    bool ready(std::string& why) const;

    void virtual_key(BYTE virtualKey, DWORD flags) override;
    void char_events(UINT virtualKey, UINT keyFlags, UINT count, const UINT* shiftStates, const UINT* characters) override;
    void text(const WCHAR* text, DWORD count) override;

    // Hands back the remapped keycodes that rested for longer than the hold time; reads the
    // keymap again when another client changed it. Called from the host's loop.
    void idle(Clock::time_point now = Clock::now());
    // Every remapped keycode carries nothing again.
    void restore_all();
    void set_hold(std::chrono::milliseconds hold) { m_hold = hold; }
    // For the host's poll(): the connection to wait on (keymap changes of other clients), and
    // when idle() next has a keycode to hand back (none: nothing is remapped, or a key is held).
    int connection() const;
    std::optional<Clock::time_point> next_release() const;
    size_t remapped() const;

    // The keysym for a character (Latin-1 as it is, the rest as Unicode keysyms, control
    // characters as their keys); 0 for none.
    static unsigned long keysym_for_character(unsigned c);
    // The keysym a virtual key names; 0 for none.
    static unsigned long keysym_for_virtual_key(unsigned virtualKey);

private:
    struct Placement {
        unsigned keycode = 0;
        bool shifted = false;
    };
    struct Spare {
        unsigned keycode = 0;
        unsigned long keysym = 0; // 0: carries nothing
        Clock::time_point used {};
        int held = 0; // presses not yet released
    };

    void loadKeymap();
    std::optional<Placement> find(unsigned long keysym) const;
    // A key carrying keysym: from the keymap, else a spare keycode remapped for it.
    std::optional<Placement> placeFor(unsigned long keysym);
    void setSpare(Spare& spare, unsigned long keysym);
    void key(unsigned keycode, bool down);
    void pressCharacter(unsigned c, UINT virtualKey);
    bool capsLocked();
    // Reads the server's notices that arrived: keymap changes and the lock state.
    void takeEvents();
    void releaseCharacters(UINT virtualKey);

    Display* m_display;
    bool m_xtest = false;
    int m_minKeycode = 8;
    int m_maxKeycode = 255;
    int m_perKeycode = 0;
    std::vector<unsigned long> m_keymap; // (keycode - min) * per + column
    std::vector<Spare> m_spares;
    unsigned m_shiftKeycode = 0;
    std::chrono::milliseconds m_hold { 2000 };
    // Keys pressed for a virtual key's characters, released with it: keycode, and whether
    // Shift was pressed for it.
    std::map<UINT, std::vector<Placement>> m_held;
    bool m_shiftDown = false; // the keyboard holds Shift through a virtual key
    int m_xkbEvent = -1; // the XKB extension's event code; -1 without it
    bool m_locked = false; // Caps Lock, as the server last announced it
    bool m_mappingChanged = false; // another client changed the keymap: idle() reads it again
};

}
