#pragma once
// The key map: every key of the keyboard form with what it shows and where it is, for tests,
// hosts that tap keys by label, and accessibility.
#include <mkkeymap.h>
#include <windef.h>

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

class KeyboardForm;

struct KeyMapEntry {
    int index = -1;         // key index
    std::u16string id;      // skin id: "0".."10" for letter keys, the function name otherwise
    // What the key stands for: its character, the special name ("left", "right", "up",
    // "down", "settings") or the function name ("shift", "space", ...).
    std::u16string label;
    std::u16string text;    // the text drawn on it (empty for picture keys)
    RECT rect {};           // form coordinates, right and bottom exclusive
    bool visible = true;
    bool enabled = true;
};

std::vector<KeyMapEntry> BuildKeyMap(const KeyboardForm& form);

// The same as the exported records (<mkkeymap.h>): fills up to capacity items (texts cut to 15
// characters, NUL-terminated) and returns the number of keys; out may be null to ask for the
// count.
size_t CopyKeyMap(const KeyboardForm& form, KeyMapItem* out, size_t capacity);

// The entry whose label is `label` (exact match first, then letters without regard to case);
// null when none.
const KeyMapEntry* FindKey(const std::vector<KeyMapEntry>& map, std::u16string_view label);
