#pragma once
// The key map that magnikeys.dll exports for hosts, automation and accessibility: every key of
// the running keyboard with its texts and rectangle, as fixed-size records for a plain C entry
// point across the library boundary.
#include <windef.h>

#include <cstddef>
#include <cstdint>

struct KeyMapItem {
    int32_t index;
    char16_t id[16];
    char16_t label[16];
    char16_t text[16];
    RECT rect;
    int32_t flags; // 1 visible, 2 enabled
};

// The export "MagnikeysKeyMap": fills up to capacity items (texts cut to 15 characters,
// NUL-terminated) in keyboard-window coordinates, stores the keyboard window in *window, and
// returns the number of keys; 0 without a keyboard. items may be null to ask for the count.
using MagnikeysKeyMapProc = size_t (*)(KeyMapItem* items, size_t capacity, HWND* window);
