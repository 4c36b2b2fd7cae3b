#pragma once
// The keyboard form as the touch machine and the key actions see it: which key lies under the
// stylus, its name and index, and the looks that the keyboard's state puts on keys. The
// keyboard application hands over its form through this; tests hand over a stand-in.
#include <windows.h>

#include <optional>
#include <string>
#include <string_view>

// One stylus sample. Coordinates are keyboard-window pixels (keyboard-form pixels while the
// flat zoom magnifies); tick is the platform's tick count.
struct TouchSample {
    int x = 0;
    int y = 0;
    DWORD tick = 0;
    bool down = false;
};

class kbKeys {
public:
    virtual ~kbKeys() = default;

    // Letter keys are indices 0 .. letter_count() - 1; the function keys follow.
    virtual int letter_count() const = 0;
    // A touch (sample.down) presses the visible key under the point: false when there is none.
    // A release takes the pressed look off the current key.
    virtual bool stylus_state(const TouchSample& sample) = 0;
    virtual void stylus_move(POINT point) = 0;
    // -1 when the stylus is on no key.
    virtual int current_key() const = 0;
    // The current key's element id and index; false when there is no current key.
    virtual bool current_key_name(std::u16string& name, int& index) const = 0;
    // Index of a function key by name, -1 when the form has none of that name.
    virtual int key_index(std::u16string_view name) const = 0;
    virtual void set_modifier_look(std::u16string_view name, bool on) = 0;
    // The arrow characters name virtual keys; every other character none.
    virtual std::optional<int> virtual_key_for(char16_t character) const = 0;
    virtual bool is_repeatable() const = 0;
    virtual void show_backspace_as_delete(bool on) = 0;
    // Zoom anchor of the current key and its offset from the stylus, in form pixels.
    virtual POINT anchor() const = 0;
    virtual POINT anchor_offset() const = 0;
};
