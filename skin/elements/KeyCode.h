#pragma once
// The framework's key numbers. Owners translate platform keys into these; skins name them in
// "bind_key"; log lines print their names.
#include <string_view>

enum class KeyCode : int {
    None = 0, Shift, Ctrl, Alt,
    Left, Right, Up, Down,
    Esc, Enter, Space, Backspace,
    Del, Insert, Home, End, PageDown, PageUp, Tab, ContextMenu,
    A = 20, /* ... */ Z = 45,
    Digit0 = 46, /* ... */ Digit9 = 55,
    Star = 56, Hash = 57,
    CALL_MAKE = 58, CALL_END = 59,
    SLIDE = 60,
    SOFT_LEFT = 61, SOFT_RIGHT = 62,
    VOLUME_UP = 63, VOLUME_DOWN = 64,
};

constexpr int kKeyCodeCount = 65;

// Exact ASCII names; a missing or unknown name gives None (0).
KeyCode key_code_from_name(std::u16string_view name);
// nullptr for a code without a name.
const char* key_code_name(int code);
