#pragma once
// The bodies of the layout fuzz targets, shared with the unit test that replays their inputs
// on a device root of its own.
#include "kbfiles/LayoutSelection.h"
#include "runtime/TextFile.h"
#include "tests/fuzz/FuzzDevice.h"

#include <algorithm>
#include <cstdio>

// An input holds, cut by lines "--8<--", a layout file, the layout list, the layout's own
// virtual keys, the shared virtual keys and the symbol layer; a missing part is a missing file.
inline void FuzzLayoutFiles(const uint8_t* data, size_t size)
{
    static const char* const files[] = {
        "Program Files/Tarn/Magnikeys/layouts/fz.txt",
        "Program Files/Tarn/Magnikeys/layouts/layouts.ini",
        "Program Files/Tarn/Magnikeys/layouts/virtual_keys/vk_fz.txt",
        "Program Files/Tarn/Magnikeys/layouts/virtual_keys/vk_keys.ini",
        "Program Files/Tarn/Magnikeys/layouts/symbolic_layout.xtr",
    };
    std::vector<std::string_view> parts = FuzzParts(data, size, 5);
    for (size_t i = 0; i < 5; ++i)
        FuzzWriteFile(files[i], parts[i], parts[i].empty() && i > 0);
    FuzzWriteFile("Program Files/Tarn/Magnikeys/layouts/english.txt", {}, true);
    LayoutSelection layouts;
    std::u16string text, short_name;
    for (int state = 0; state < 4; ++state)
        layouts.load(text, short_name, state & 1, state & 2);
    layouts.needs_extended();
    layouts.is_valid(u"fz");
    for (char16_t c : { u'a', u'Q', u'1', u' ', u'\u00e4', u'\u0416', char16_t(0xD800) })
        layouts.virtual_key(c);
    layouts.next_layout(false);
    layouts.next_layout(true);
    layouts.refresh();
    layouts.load(text, short_name, false, false);
}

// The input is "layouts.ini"; three loadable layouts exist. What one selection stores, the
// next reads back the same (current and second layout, the list), and no listed name is lost
// on the way. Returns what broke, or null.
inline const char* FuzzLayoutSelection(const uint8_t* data, size_t size)
{
    auto listText = [] { return ReadTextFile(kLayoutListPath).value_or(u"<missing>"); };
    auto listedNames = [] {
        KeyValueFile list;
        list.load(kLayoutListPath);
        return ListedLayoutNames(list);
    };
    for (const char* name : { "english", "alpha", "beta" })
        FuzzWriteFile(std::string("Program Files/Tarn/Magnikeys/layouts/") + name + ".txt",
            "short xx\nline1 qwertyuiop@\nline2 asdfghjkl'/\nline3 zxcvbnm,.!?\n");
    FuzzWriteFile("Program Files/Tarn/Magnikeys/layouts/layouts.ini",
        std::string_view(reinterpret_cast<const char*>(data), size));

    std::u16string current, second;
    std::vector<std::u16string> before = listedNames();
    {
        LayoutSelection first;
        current = first.current();
        second = first.second();
    }
    std::u16string stored = listText();
    std::vector<std::u16string> after = listedNames();
    for (const std::u16string& name : before)
        if (!name.empty() && name != current && std::count(after.begin(), after.end(), name) == 0)
            return "a listed name was lost";
    {
        LayoutSelection again;
        if (again.current() != current)
            return "the current layout changed";
        if (!second.empty() && second != current && again.second() != second)
            return "the second layout changed";
    }
    if (listText() != stored)
        return "the list changed on the second store";
    return nullptr;
}
