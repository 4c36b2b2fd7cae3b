#include "panel_host/KeyboardKeys.h"

#include "runtime/Text.h"

#include <libloader.h>
#include <mkkeymap.h>

#include <cwctype>

namespace pocketsim {

namespace {

std::u16string text(const char16_t* chars, size_t size)
{
    size_t length = 0;
    while (length < size && chars[length])
        ++length;
    return std::u16string(chars, length);
}

std::u16string folded(const std::u16string& s)
{
    std::u16string out = s;
    for (auto& c : out)
        c = static_cast<char16_t>(std::towlower(c));
    return out;
}

}

std::vector<ScreenKey> CurrentKeyMap()
{
    std::vector<ScreenKey> keys;
    HMODULE library = GetModuleHandle(u"magnikeys.dll");
    if (!library)
        return keys;
    auto keyMap = reinterpret_cast<MagnikeysKeyMapProc>(GetProcAddress(library, u"MagnikeysKeyMap"));
    if (!keyMap)
        return keys;
    HWND window = nullptr;
    const size_t count = keyMap(nullptr, 0, &window);
    if (!count || !window || !IsWindowVisible(window))
        return keys; // a hidden panel has no keys to tap
    std::vector<KeyMapItem> items(count);
    const size_t filled = std::min(count, keyMap(items.data(), items.size(), &window));
    POINT origin { 0, 0 };
    ClientToScreen(window, &origin);
    for (size_t i = 0; i < filled; ++i) {
        const KeyMapItem& item = items[i];
        ScreenKey key;
        key.index = item.index;
        key.id = text(item.id, std::size(item.id));
        key.label = text(item.label, std::size(item.label));
        key.rect = RECT { item.rect.left + origin.x, item.rect.top + origin.y, item.rect.right + origin.x, item.rect.bottom + origin.y };
        key.visible = item.flags & 1;
        key.enabled = item.flags & 2;
        keys.push_back(key);
    }
    return keys;
}

const ScreenKey* FindScreenKey(const std::vector<ScreenKey>& keys, const std::u16string& label)
{
    const ScreenKey* found = nullptr;
    auto consider = [&](const ScreenKey& key) {
        if (!found || (key.visible && !found->visible))
            found = &key;
    };
    for (const auto& key : keys)
        if (key.label == label)
            consider(key);
    if (found)
        return found;
    const std::u16string wanted = folded(label);
    for (const auto& key : keys)
        if (folded(key.label) == wanted)
            consider(key);
    return found;
}

std::string FormatKeyMap(const std::vector<ScreenKey>& keys)
{
    std::string out;
    for (const auto& key : keys) {
        out += std::to_string(key.index) + " " + Utf8FromUtf16(key.id) + " " + Utf8FromUtf16(key.label) + " "
            + std::to_string(key.rect.left) + " " + std::to_string(key.rect.top) + " " + std::to_string(key.rect.right)
            + " " + std::to_string(key.rect.bottom) + "\n";
    }
    return out;
}

}
