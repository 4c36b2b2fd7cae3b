#pragma once
// The keymap of the keyboard's virtual keyboard: a US keymap (so that where each character
// sits is known, whatever keymap the desktop's own keyboards have), plus keysyms that it lacks
// on spare keycodes (those that carry nothing in it), compiled here and sent whole.
#include <xkbcommon/xkbcommon.h>

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

namespace waylandhost {

class Keymap {
public:
    struct Placement {
        uint32_t keycode = 0; // xkb keycode (the Linux input code plus 8)
        bool shifted = false; // on the level that Shift reaches
    };

    Keymap();
    ~Keymap();
    Keymap(const Keymap&) = delete;
    Keymap& operator=(const Keymap&) = delete;

    // False (with the reason) when the base keymap does not compile (no XKB data here).
    bool ok(std::string& why) const;

    // Where the keysym sits on the first two levels; spare keycodes given one included.
    std::optional<Placement> find(xkb_keysym_t keysym) const;
    // The keycodes that carry nothing in the base keymap, from the top of the range down.
    const std::vector<uint32_t>& spares() const { return m_spares; }
    // The keysym a spare keycode carries now (0: nothing).
    xkb_keysym_t spareKeysym(uint32_t keycode) const;
    // Gives a spare keycode a keysym (0: nothing again) and compiles the keymap anew; false
    // for a keycode that is no spare or a keymap that does not compile (the previous stays).
    bool assign(uint32_t keycode, xkb_keysym_t keysym);

    // The compiled keymap as the compositor receives it (XKB text, without the final NUL).
    const std::string& text() const { return m_text; }
    xkb_keymap* keymap() const { return m_keymap; }

private:
    xkb_keymap* compile(const std::map<uint32_t, xkb_keysym_t>& extra) const;
    void index();

    xkb_context* m_context = nullptr;
    xkb_keymap* m_keymap = nullptr;
    std::string m_text;
    std::vector<uint32_t> m_spares;
    std::map<uint32_t, xkb_keysym_t> m_extra; // spare keycode -> keysym
    std::unordered_map<xkb_keysym_t, Placement> m_places;
};

}
