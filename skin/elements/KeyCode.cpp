#include "skin/elements/KeyCode.h"

#include <string>

namespace {

const char* const kFixedNames[] = {
    "None", "Shift", "Ctrl", "Alt", "Left", "Right", "Up", "Down", "Esc", "Enter", "Space",
    "Backspace", "Del", "Insert", "Home", "End", "PageDown", "PageUp", "Tab", "ContextMenu",
};

const char* const kHighNames[] = {
    "*", "#", "CALL_MAKE", "CALL_END", "SLIDE", "SOFT_LEFT", "SOFT_RIGHT", "VOLUME_UP", "VOLUME_DOWN",
};

// Letters and digits are one character each; keep them in static storage for the name lookup.
struct SingleNames {
    char text[36][2];
    SingleNames()
    {
        for (int i = 0; i < 26; ++i)
            text[i][0] = static_cast<char>('A' + i), text[i][1] = 0;
        for (int i = 0; i < 10; ++i)
            text[26 + i][0] = static_cast<char>('0' + i), text[26 + i][1] = 0;
    }
};

const SingleNames& single_names()
{
    static const SingleNames names;
    return names;
}

} // namespace

const char* key_code_name(int code)
{
    if (code >= 0 && code < 20)
        return kFixedNames[code];
    if (code >= 20 && code < 56)
        return single_names().text[code - 20];
    if (code >= 56 && code < kKeyCodeCount)
        return kHighNames[code - 56];
    return nullptr;
}

KeyCode key_code_from_name(std::u16string_view name)
{
    for (int code = 0; code < kKeyCodeCount; ++code) {
        const char* n = key_code_name(code);
        size_t i = 0;
        while (n[i] && i < name.size() && name[i] == static_cast<char16_t>(n[i]))
            ++i;
        if (!n[i] && i == name.size())
            return static_cast<KeyCode>(code);
    }
    return KeyCode::None;
}
