#pragma once
// The keys of the keyboard in the input panel, as the input method's library lists them for
// automation: found by what they show, in screen coordinates.
#include <windows.h>

#include <string>
#include <vector>

namespace pocketsim {

struct ScreenKey {
    int index = -1;
    std::u16string id;    // skin id
    std::u16string label; // character, special name or function name
    RECT rect {};         // screen pixels, right and bottom exclusive
    bool visible = true;
    bool enabled = true;

    POINT centre() const { return POINT { (rect.left + rect.right) / 2, (rect.top + rect.bottom) / 2 }; }
};

// The current key map; empty when no keyboard library is loaded or its panel is not showing.
std::vector<ScreenKey> CurrentKeyMap();
// The key showing `label`: a character (exact, then letters without regard to case) or a
// name such as "shift", "space", "backspace", "enter", "layout", "ctrl", "extra", "left",
// "settings". Visible keys win over hidden ones. Null when none shows it.
const ScreenKey* FindScreenKey(const std::vector<ScreenKey>& keys, const std::u16string& label);
// "index id label left top right bottom", one key a line.
std::string FormatKeyMap(const std::vector<ScreenKey>& keys);

}
