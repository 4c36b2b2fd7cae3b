#include "settings_app/LayoutList.h"

#include <algorithm>

#include "kbfiles/KeyValueFile.h"
#include "kbfiles/LayoutSelection.h"
#include "kbfiles/WideCase.h"
#include "runtime/Log.h"
#include "runtime/Path.h"
#include "runtime/TextFile.h"

namespace {

constexpr char16_t kListKeyPrefix[] = u"layout_";
constexpr char16_t kEnglish[] = u"English";
constexpr char16_t kDeutch[] = u"Deutch";

std::u16string decimal(long long value)
{
    std::string s = std::to_string(value);
    return std::u16string(s.begin(), s.end());
}

bool sameName(std::u16string_view a, std::u16string_view b)
{
    return WideLower(a) == WideLower(b);
}

class LayoutFileCollector : public FolderVisitor {
public:
    bool file_found(const std::u16string& path) override
    {
        names.push_back(LayoutList::normalise(FileNameOf(path)));
        return true;
    }
    std::vector<std::u16string> names;
};

}

LayoutList::LayoutList(LayoutSelection& selection)
    : m_selection(selection)
{
}

std::u16string LayoutList::normalise(std::u16string_view name)
{
    std::u16string stem(name);
    size_t dot = stem.rfind(u'.');
    if (dot != std::u16string::npos && stem.find_first_of(u"\\/", dot) == std::u16string::npos)
        stem.erase(dot);
    stem = WideLower(stem);
    if (!stem.empty())
        stem[0] = WideUpper(stem[0]);
    return stem;
}

std::vector<std::u16string> LayoutList::enabled_layouts() const
{
    KeyValueFile list;
    list.load(kLayoutListPath);
    std::vector<std::u16string> names = ListedLayoutNames(list);
    for (std::u16string& name : names)
        name = normalise(name);
    return names;
}

std::vector<std::u16string> LayoutList::available_layouts() const
{
    LayoutFileCollector collector;
    WalkFolder(collector, ExpandPath(kLayoutFolder), u"*.txt", u"*", false);
    std::vector<std::u16string>& names = collector.names;
    size_t fixed = 0;
    auto bringForward = [&](std::u16string_view name) {
        auto found = std::find(names.begin() + fixed, names.end(), name);
        if (found == names.end())
            return;
        std::iter_swap(found, names.begin() + fixed);
        ++fixed;
    };
    bringForward(kEnglish);
    bringForward(kDeutch);
    std::sort(names.begin() + fixed, names.end());
    return names;
}

bool LayoutList::list_without(std::u16string_view name, std::u16string& text, int& count)
{
    KeyValueFile list;
    if (!list.load(kLayoutListPath))
        return false;
    text.clear();
    count = 0;
    for (const std::u16string& value : ListedLayoutNames(list)) {
        // An empty entry names no layout; it is not kept.
        if (value.empty() || sameName(value, name))
            continue;
        text += kListKeyPrefix + decimal(count++) + u"=" + value + u"\n";
    }
    // The selection writes its current and second layout back at the end; a removed layout
    // must not come back that way.
    if (sameName(m_selection.current(), name))
        m_selection.set_current(u"");
    if (sameName(m_selection.second(), name))
        m_selection.set_second(u"");
    return true;
}

int LayoutList::disable(std::u16string_view name)
{
    FileUpdateLock lock(kLayoutListPath);
    std::u16string text;
    int count = 0;
    if (!list_without(name, text, count))
        return 0;
    Log().append(u"LayoutList::disable ").append(name).append(u"\n");
    WriteWholeFile(kLayoutListPath, Utf16FileBytes(text));
    return count;
}

void LayoutList::enable(std::u16string_view name)
{
    FileUpdateLock lock(kLayoutListPath);
    std::u16string text;
    int count = 0;
    if (!list_without(name, text, count))
        return;
    // One write: the list never lacks the layout on its way to the end.
    text += kListKeyPrefix + decimal(count) + u"=" + std::u16string(name) + u"\n";
    Log().append(u"LayoutList::enable ").append(name).append(u"\n");
    WriteWholeFile(kLayoutListPath, Utf16FileBytes(text));
}
