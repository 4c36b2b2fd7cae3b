#include "kbfiles/LayoutSelection.h"

#include <winbase.h>

#include <algorithm>
#include <charconv>
#include <utility>
#include <vector>

#include "runtime/Log.h"
#include "runtime/Path.h"
#include "runtime/TextFile.h"
#include "runtime/WideCase.h"

namespace {

constexpr char16_t kListKeyPrefix[] = u"layout_";

std::u16string decimal(long long value)
{
    std::string s = std::to_string(value);
    return std::u16string(s.begin(), s.end());
}

KeyValueFile readFile(std::u16string_view path)
{
    KeyValueFile file;
    file.load(path);
    return file;
}

// Makes the folders of a device path that are missing.
void makeFolders(std::u16string_view path)
{
    std::u16string device = ExpandPath(path);
    for (size_t at = 1; at < device.size(); ++at) {
        if (device[at] != u'\\' && device[at] != u'/')
            continue;
        std::u16string folder = device.substr(0, at);
        if (GetFileAttributes(folder.c_str()) == INVALID_FILE_ATTRIBUTES)
            CreateDirectory(folder.c_str(), nullptr);
    }
}

bool writeText(std::u16string_view path, std::u16string_view text)
{
    std::string bytes = Utf16FileBytes(text);
    if (WriteWholeFile(path, bytes))
        return true;
    makeFolders(path);
    return WriteWholeFile(path, bytes);
}

// A row as the keys hold it: exactly one row of keys, so that a row written too short or too
// long cannot push the characters of every later row onto the wrong keys.
std::u16string fitRow(std::u16string_view row)
{
    std::u16string fitted(row.substr(0, std::min<size_t>(row.size(), kRowLength)));
    fitted.resize(kRowLength, u' ');
    return fitted;
}

// The rows of a layout or of the symbol layer; false when line1..line3 are not all there.
bool appendRows(const KeyValueFile& file, bool shift, bool caseRules, std::u16string& text, bool& fourth)
{
    fourth = false;
    for (int i = 1; i <= 4; ++i) {
        std::u16string key = u"line" + decimal(i);
        const std::u16string* shifted = shift ? file.find(key + u"_with_shift") : nullptr;
        const std::u16string* plain = file.find(key);
        std::u16string row;
        if (shifted)
            row = *shifted;
        else if (plain)
            row = caseRules ? (shift ? WideUpper(*plain) : WideLower(*plain)) : *plain;
        else
            return i > 3;
        // An empty fourth row means no fourth row.
        if (i == 4 && row.empty())
            return true;
        if (row.size() != size_t(kRowLength))
            Log().append(u"LayoutSelection: row ").append(i).append(u" has ").append(static_cast<long long>(row.size()))
                .append(u" characters, fitted to 11\n");
        text += fitRow(row);
        fourth = i == 4;
    }
    return true;
}

// A layout name is a file name in the layouts folder; a list edited by hand must not reach
// files elsewhere through it.
bool usableName(std::u16string_view name)
{
    if (name.empty() || name.size() > 200 || name == u"." || name == u"..")
        return false;
    return name.find_first_of(u"\\/:") == std::u16string_view::npos;
}

bool loadLayout(const KeyValueFile& file, std::u16string& text, std::u16string& shortName, bool shift)
{
    text.clear();
    const std::u16string* shortValue = file.find(u"short");
    if (!shortValue)
        return false;
    shortName = *shortValue;
    bool fourth = false;
    if (!appendRows(file, shift, true, text, fourth))
        return false;
    if (fourth)
        shortName = WideUpper(shortName);
    return true;
}

bool loadNamed(std::u16string_view name, std::u16string& text, std::u16string& shortName, bool shift)
{
    text.clear();
    if (!usableName(name))
        return false;
    return loadLayout(readFile(LayoutSelection::layout_path(name)), text, shortName, shift);
}

// The English layout file is written only where there is none. A file of the user's that does
// not load (being edited, say) stays as it is; the keys come from the built-in English meanwhile.
void ensureEnglishFile()
{
    const std::u16string path = LayoutSelection::layout_path(kDefaultLayout);
    if (GetFileAttributes(ExpandPath(path).c_str()) == INVALID_FILE_ATTRIBUTES) {
        writeText(path, LayoutSelection::builtin_english());
        return;
    }
    if (readFile(path).values().size() < 4)
        Log().append(u"LayoutSelection: ").append(ExpandPath(path)).append(u" is not usable; the built-in English is used\n");
}

}

const char16_t* LayoutSelection::builtin_english()
{
    return u"short en\nline1 @qwertyuiop\nline2 /asdfghjkl'\nline3 !?zxcvbnm,.\n";
}

std::u16string LayoutSelection::layout_path(std::u16string_view name)
{
    return std::u16string(kLayoutFolder) + std::u16string(name) + u".txt";
}

std::u16string LayoutSelection::virtual_key_path(std::u16string_view name)
{
    return std::u16string(kVirtualKeyFolder) + u"vk_" + std::u16string(name) + u".txt";
}

LayoutSelection::LayoutSelection()
{
    m_shared_keys.load(kSharedVirtualKeyPath);
    if (!ensure_list(m_current, m_second)) {
        KeyValueFile list = readFile(kLayoutListPath);
        const std::u16string* first = list.find(u"layout_0");
        const std::u16string* second = list.find(u"layout_1");
        m_current = first ? *first : std::u16string();
        m_second = second ? *second : std::u16string();
        // A list without "layout_0" (numbered from elsewhere) still names layouts.
        if (m_current.empty()) {
            std::vector<std::u16string> names = ListedLayoutNames(list);
            if (!names.empty())
                m_current = names.front();
        }
    }
    fall_back_to_loadable();
}

LayoutSelection::~LayoutSelection()
{
    store(false);
}

bool LayoutSelection::ensure_list(std::u16string& current, std::u16string& second)
{
    FileUpdateLock lock(kLayoutListPath);
    if (!readFile(kLayoutListPath).values().empty())
        return false;
    current = kDefaultLayout;
    second.clear();
    ensureEnglishFile();
    writeText(kLayoutListPath, std::u16string(u"layout_0=") + kDefaultLayout + u"\n");
    return true;
}

bool LayoutSelection::is_valid(std::u16string_view name) const
{
    if (!usableName(name) || readFile(layout_path(name)).values().size() <= 3)
        return false;
    for (const std::u16string& listed : ListedLayoutNames(readFile(kLayoutListPath)))
        if (listed == name)
            return true;
    return false;
}

bool LayoutSelection::loadable(std::u16string_view name) const
{
    std::u16string text;
    std::u16string shortName;
    return !name.empty() && loadNamed(name, text, shortName, false);
}

// A list that names a layout whose file is missing or broken would leave the keyboard without
// keys; the first listed layout that loads takes its place, and English when none does.
void LayoutSelection::fall_back_to_loadable()
{
    if (loadable(m_current))
        return;
    Log().append(u"LayoutSelection: layout {").append(m_current).append(u"} does not load\n");
    for (const std::u16string& name : ListedLayoutNames(readFile(kLayoutListPath))) {
        if (name != m_current && loadable(name)) {
            m_current = name;
            if (m_second == m_current)
                m_second.clear();
            return;
        }
    }
    ensureEnglishFile();
    m_current = kDefaultLayout;
    if (m_second == m_current)
        m_second.clear();
}

bool LayoutSelection::load(std::u16string& text, std::u16string& short_name, bool shift, bool extra) const
{
    if (extra) {
        text.clear();
        bool fourth = false;
        return appendRows(readFile(kSymbolLayerPath), shift, false, text, fourth);
    }
    // The layout's files are read afresh at each load, its virtual keys with them: typing
    // then reads no file.
    m_own_keys_read = false;
    own_keys();
    if (loadNamed(m_current, text, short_name, shift))
        return true;
    // English always has its keys, from memory when its file does not load.
    if (m_current != kDefaultLayout)
        return false;
    KeyValueFile builtin;
    builtin.parse(builtin_english());
    return loadLayout(builtin, text, short_name, shift);
}

bool LayoutSelection::needs_extended() const
{
    std::u16string text;
    std::u16string shortName;
    return load(text, shortName, false, false) && text.size() == size_t(4 * kRowLength);
}

void LayoutSelection::next_layout(bool typed_since_switch)
{
    if (typed_since_switch && !m_second.empty() && is_valid(m_second)) {
        std::swap(m_current, m_second);
        store(true);
        return;
    }
    // Stepping on passes over listed layouts that do not load (they move to the end), so a
    // press of the key always shows a layout; at most one round of the list.
    size_t rounds = ListedLayoutNames(readFile(kLayoutListPath)).size();
    for (size_t step = 0; step < std::max<size_t>(rounds, 1); ++step) {
        KeyValueFile list = readFile(kLayoutListPath);
        const std::u16string* next = list.find(u"layout_1");
        if (next) {
            m_second = m_current;
            m_current = *next;
        }
        store(true);
        if (!next || loadable(m_current))
            return;
    }
}

void LayoutSelection::refresh()
{
    KeyValueFile list = readFile(kLayoutListPath);
    std::vector<std::u16string> names = ListedLayoutNames(list);
    bool currentListed = std::find(names.begin(), names.end(), m_current) != names.end();
    bool secondListed = std::find(names.begin(), names.end(), m_second) != names.end();
    if (!secondListed)
        m_second.clear();
    if (!currentListed) {
        if (list.values().empty() || names.empty())
            ensure_list(m_current, m_second);
        else
            m_current = names.front();
    }
    fall_back_to_loadable();
}

bool LayoutSelection::store(bool second_last)
{
    // The list is read and written back whole; the settings program's change in between
    // would be lost.
    FileUpdateLock lock(kLayoutListPath);
    const std::optional<std::u16string> before = ReadTextFile(kLayoutListPath);
    KeyValueFile list;
    if (before)
        list.parse(*before);
    std::vector<std::u16string> old = ListedLayoutNames(list);
    std::u16string text;
    int n = 0;
    auto line = [&](const std::u16string& value) {
        std::u16string entry = kListKeyPrefix + decimal(n++) + u"=" + value + u"\n";
        Log().append(entry);
        text += entry;
    };
    bool secondToWrite = !m_second.empty() && m_second != m_current;
    if (!m_current.empty())
        line(m_current);
    if (secondToWrite && !second_last)
        line(m_second);
    // A name listed twice (a list edited by hand) is kept once: otherwise the first store keeps
    // both and a later one, with that name as the second layout, keeps one.
    std::vector<std::u16string> kept;
    for (const std::u16string& value : old) {
        if (value.empty() || value == m_current || value == m_second
            || std::find(kept.begin(), kept.end(), value) != kept.end())
            continue;
        kept.push_back(value);
        line(value);
    }
    if (secondToWrite && second_last)
        line(m_second);
    // The list as it stands says it already: a rewrite would only wait for the disk.
    if (before && *before == text)
        return true;
    return writeText(kLayoutListPath, text);
}

const KeyValueFile& LayoutSelection::own_keys() const
{
    if (!m_own_keys_read || m_own_keys_for != m_current) {
        m_own_keys = KeyValueFile();
        if (usableName(m_current))
            m_own_keys.load(virtual_key_path(m_current));
        m_own_keys_for = m_current;
        m_own_keys_read = true;
    }
    return m_own_keys;
}

int LayoutSelection::virtual_key(char16_t character) const
{
    std::u16string key(1, WideLower(character));
    const std::u16string* value = own_keys().find(key);
    if (!value)
        value = m_shared_keys.find(key);
    if (!value)
        return 0;
    std::u16string_view v = *value;
    while (!v.empty() && (v.back() == u' ' || v.back() == u'\t'))
        v.remove_suffix(1);
    long long code = 0;
    if (v.size() < 2) {
        code = v.empty() ? 0 : WideUpper(v[0]);
    } else {
        size_t i = 0;
        bool negative = false;
        if (v[0] == u'+' || v[0] == u'-') {
            negative = v[0] == u'-';
            ++i;
        }
        size_t digitsFrom = i;
        while (i < v.size() && v[i] >= u'0' && v[i] <= u'9' && i - digitsFrom < 6)
            code = code * 10 + (v[i++] - u'0');
        if (negative)
            code = -code;
    }
    // The platform's virtual keys are one byte; anything else is no key at all.
    return (code >= 1 && code <= 255) ? static_cast<int>(code) : 0;
}

std::vector<std::u16string> ListedLayoutNames(const KeyValueFile& list)
{
    std::vector<std::pair<long long, std::u16string>> entries;
    std::u16string_view prefix = u"layout_";
    for (const auto& [key, value] : list.values()) {
        if (key.size() <= prefix.size() || key.compare(0, prefix.size(), prefix) != 0)
            continue;
        std::u16string_view digits = std::u16string_view(key).substr(prefix.size());
        if (digits.size() > 9 || !std::all_of(digits.begin(), digits.end(), [](char16_t c) { return c >= u'0' && c <= u'9'; }))
            continue;
        long long n = 0;
        for (char16_t c : digits)
            n = n * 10 + (c - u'0');
        entries.emplace_back(n, value);
    }
    std::stable_sort(entries.begin(), entries.end(), [](const auto& a, const auto& b) { return a.first < b.first; });
    std::vector<std::u16string> names;
    for (auto& entry : entries)
        names.push_back(std::move(entry.second));
    return names;
}

