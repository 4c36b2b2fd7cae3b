#include "keyboard/KeyMap.h"

#include <algorithm>

#include "keyboard/KeyboardForm.h"
#include "kbfiles/WideCase.h"
#include "skin/elements/ButtonElement.h"

std::vector<KeyMapEntry> BuildKeyMap(const KeyboardForm& form)
{
    std::vector<KeyMapEntry> map;
    for (int i = 0; i < form.key_count(); ++i) {
        ButtonElement* key = form.key(i);
        if (!key)
            continue;
        KeyMapEntry entry;
        entry.index = i;
        entry.id = key->id();
        entry.label = i < form.letter_count() ? form.letter_label(i) : form.function_name(i);
        entry.text = key->text();
        POINT p = key->position();
        POINT s = key->size();
        entry.rect = { p.x, p.y, p.x + s.x, p.y + s.y };
        entry.visible = key->is_visible();
        entry.enabled = key->is_enabled();
        map.push_back(std::move(entry));
    }
    return map;
}

namespace {

void copyText(char16_t (&out)[16], const std::u16string& text)
{
    size_t n = std::min<size_t>(text.size(), 15);
    std::copy_n(text.begin(), n, out);
    out[n] = 0;
}

}

size_t CopyKeyMap(const KeyboardForm& form, KeyMapItem* out, size_t capacity)
{
    std::vector<KeyMapEntry> map = BuildKeyMap(form);
    for (size_t i = 0; out && i < std::min(capacity, map.size()); ++i) {
        const KeyMapEntry& entry = map[i];
        KeyMapItem& item = out[i];
        item.index = entry.index;
        copyText(item.id, entry.id);
        copyText(item.label, entry.label);
        copyText(item.text, entry.text);
        item.rect = entry.rect;
        item.flags = (entry.visible ? 1 : 0) | (entry.enabled ? 2 : 0);
    }
    return map.size();
}

const KeyMapEntry* FindKey(const std::vector<KeyMapEntry>& map, std::u16string_view label)
{
    for (const KeyMapEntry& entry : map)
        if (entry.label == label)
            return &entry;
    for (const KeyMapEntry& entry : map)
        if (entry.label.size() == 1 && label.size() == 1 && WideLower(entry.label[0]) == WideLower(label[0]))
            return &entry;
    return nullptr;
}
