#include "tools/skinc/SkinSource.h"

#include <algorithm>

#include "runtime/Text.h"

namespace skinc {

template<typename T, typename Key>
static size_t IndexOf(std::vector<T>& table, const Key& key, auto matches, auto make)
{
    auto found = std::find_if(table.begin(), table.end(), [&](const T& e) { return matches(e, key); });
    if (found != table.end())
        return size_t(found - table.begin());
    table.push_back(make(key));
    return table.size() - 1;
}

size_t Skin::picture_index(const std::u16string& name)
{
    return IndexOf(pictures, name, [](const Picture& p, const std::u16string& n) { return p.name == n; },
        [](const std::u16string& n) { return Picture { n, {} }; });
}

size_t Skin::font_index(const std::u16string& descriptor)
{
    auto same = [](const std::u16string& a, const std::u16string& b) { return a == b; };
    auto copy = [](const std::u16string& s) { return s; };
    return IndexOf(fonts, descriptor, same, copy);
}

size_t Skin::string_index(const std::u16string& text)
{
    auto same = [](const std::u16string& a, const std::u16string& b) { return a == b; };
    auto copy = [](const std::u16string& s) { return s; };
    return IndexOf(strings, text, same, copy);
}

Skin MergeSkins(std::vector<std::pair<std::string, Skin>> sources)
{
    Skin merged;
    std::vector<std::string> nodeSource;
    for (auto& [source, skin] : sources) {
        for (auto& picture : skin.pictures) {
            bool known = std::any_of(merged.pictures.begin(), merged.pictures.end(),
                [&](const Picture& p) { return p.name == picture.name; });
            if (!known)
                merged.pictures.push_back(std::move(picture));
        }
        for (auto& font : skin.fonts)
            merged.font_index(font);
        for (auto& text : skin.strings)
            merged.string_index(text);
        for (auto& node : skin.nodes) {
            for (size_t i = 0; i < merged.nodes.size(); ++i) {
                if (merged.nodes[i].first == node.first)
                    throw Error(source + ": node \"" + Utf8FromUtf16(node.first) + "\" is also defined in " + nodeSource[i]);
            }
            merged.nodes.push_back(std::move(node));
            nodeSource.push_back(source);
        }
    }
    return merged;
}

} // namespace skinc
