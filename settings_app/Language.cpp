#include "settings_app/Language.h"

#include <windows.h>

#include <algorithm>
#include <array>

#include "kbfiles/KeyValueFile.h"
#include "kbfiles/WideCase.h"
#include "runtime/Log.h"
#include "runtime/Path.h"
#include "runtime/Registry.h"
#include "skin/file/Properties.h"

namespace {

constexpr char16_t kLanguageFolder[] = u"%app_path%";
constexpr char16_t kExtension[] = u".lng";
constexpr char16_t kChoicePrefix[] = u"Language#";
constexpr char16_t kRegistryValue[] = u"Language";

struct SystemLanguage {
    const char16_t* code;
    const char16_t* name;
};

// Indexed by the platform's primary language number; numbers without a name stay empty.
const std::array<SystemLanguage, 99>& systemLanguages()
{
    static const std::array<SystemLanguage, 99> table = [] {
        std::array<SystemLanguage, 99> t {};
        const std::pair<unsigned, SystemLanguage> known[] = {
            { 0x01, { u"ar", u"ARABIC" } }, { 0x02, { u"bg", u"BULGARIAN" } }, { 0x03, { u"ca", u"CATALAN" } },
            { 0x04, { u"zh", u"CHINESE" } }, { 0x05, { u"cs", u"CZECH" } }, { 0x06, { u"da", u"DANISH" } },
            { 0x07, { u"de", u"GERMAN" } }, { 0x08, { u"el", u"GREEK" } }, { 0x09, { u"en", u"ENGLISH" } },
            { 0x0A, { u"es", u"SPANISH" } }, { 0x0B, { u"fi", u"FINNISH" } }, { 0x0C, { u"fr", u"FRENCH" } },
            { 0x0D, { u"he", u"HEBREW" } }, { 0x0E, { u"hu", u"HUNGARIAN" } }, { 0x0F, { u"is", u"ICELANDIC" } },
            { 0x10, { u"it", u"ITALIAN" } }, { 0x11, { u"ja", u"JAPANESE" } }, { 0x12, { u"ko", u"KOREAN" } },
            { 0x13, { u"nl", u"DUTCH" } }, { 0x14, { u"no", u"NORWEGIAN" } }, { 0x15, { u"pl", u"POLISH" } },
            { 0x16, { u"pt", u"PORTUGUESE" } }, { 0x18, { u"ro", u"ROMANIAN" } }, { 0x19, { u"ru", u"RUSSIAN" } },
            { 0x1A, { u"hr", u"CROATIAN" } }, { 0x1B, { u"sk", u"SLOVAK" } }, { 0x1C, { u"sq", u"ALBANIAN" } },
            { 0x1D, { u"sv", u"SWEDISH" } }, { 0x1E, { u"th", u"THAI" } }, { 0x1F, { u"tr", u"TURKISH" } },
            { 0x20, { u"ur", u"URDU" } }, { 0x21, { u"id", u"INDONESIAN" } }, { 0x22, { u"uk", u"UKRAINIAN" } },
            { 0x23, { u"be", u"BYELORUSSIAN" } }, { 0x24, { u"sl", u"SLOVENIAN" } }, { 0x25, { u"et", u"ESTONIAN" } },
            { 0x26, { u"lv", u"LATVIAN" } }, { 0x27, { u"lt", u"LITHUANIAN" } }, { 0x29, { u"fa", u"PERSIAN" } },
            { 0x2A, { u"vi", u"VIETNAMESE" } }, { 0x2B, { u"hy", u"ARMENIAN" } }, { 0x2C, { u"az", u"AZERBAIJANI" } },
            { 0x2D, { u"eu", u"BASQUE" } }, { 0x2F, { u"mk", u"MACEDONIAN" } }, { 0x36, { u"af", u"AFRIKAANS" } },
            { 0x37, { u"ka", u"GEORGIAN" } }, { 0x38, { u"fo", u"FAROESE" } }, { 0x39, { u"hi", u"HINDI" } },
            { 0x3E, { u"ms", u"MALAY" } }, { 0x3F, { u"kk", u"KAZAKH" } }, { 0x41, { u"sw", u"SWAHILI" } },
            { 0x43, { u"uz", u"UZBEK" } }, { 0x44, { u"tt", u"TATAR" } }, { 0x45, { u"bn", u"BENGALI" } },
            { 0x46, { u"pa", u"PUNJABI" } }, { 0x47, { u"gu", u"GUJARATI" } }, { 0x48, { u"or", u"ORIYA" } },
            { 0x49, { u"ta", u"TAMIL" } }, { 0x4A, { u"te", u"TELUGU" } }, { 0x4B, { u"kn", u"KANNADA" } },
            { 0x4C, { u"ml", u"MALAYALAM" } }, { 0x4D, { u"as", u"ASSAMESE" } }, { 0x4E, { u"mr", u"MARATHI" } },
            { 0x4F, { u"sa", u"SANSKRIT" } }, { 0x59, { u"sd", u"SINDHI" } }, { 0x60, { u"ks", u"KASHMIRI" } },
            { 0x61, { u"ne", u"NEPALI" } },
        };
        for (const auto& [number, language] : known)
            t[number] = language;
        return t;
    }();
    return table;
}

class LanguageFileCollector : public FolderVisitor {
public:
    bool file_found(const std::u16string& path) override
    {
        files.push_back(path);
        return true;
    }
    std::vector<std::u16string> files;
};

// The file name without folder and without its extension.
std::u16string stemOf(std::u16string_view path)
{
    std::u16string name = FileNameOf(path);
    size_t dot = name.rfind(u'.');
    if (dot != std::u16string::npos)
        name.erase(dot);
    return name;
}

}

Language::Language(Properties& props)
    : m_props(props)
{
}

std::u16string Language::registry_key(std::u16string_view application_name)
{
    return u"HKEY_CURRENT_USER\\Software\\Tarn\\" + std::u16string(application_name);
}

std::u16string Language::file_path(std::u16string_view name)
{
    return std::u16string(kLanguageFolder) + u"/" + std::u16string(name) + kExtension;
}

bool Language::LoadLanguageFile(std::u16string_view path)
{
    KeyValueFile file;
    if (!file.load(path))
        return false;
    m_texts = file.values();
    m_path = path;
    m_props.clear_translations();
    for (const auto& [id, text] : m_texts)
        m_props.set_translation(id, text);
    Log().append(u"Language::LoadLanguageFile ").append(path).append(u"\n");
    return true;
}

bool Language::LoadLanguage(std::u16string_view application_name)
{
    std::u16string name;
    RegReadText(registry_key(application_name), kRegistryValue, name);
    // The value names a file of the program's folder; one with a folder in it (written by
    // hand or by another program) would reach files elsewhere.
    const bool plainName = !name.empty() && name.find_first_of(u"\\/:") == std::u16string::npos;
    if (plainName && LoadLanguageFile(file_path(name)))
        return true;
    if (LoadLanguageFile(file_path(SystemLanguageName())))
        return true;
    if (LoadLanguageFile(file_path(u"english")))
        return true;
    for (const std::u16string& path : LanguageFiles()) {
        if (LoadLanguageFile(path))
            return true;
    }
    return false;
}

std::vector<std::u16string> Language::LanguageFiles()
{
    LanguageFileCollector collector;
    // No folder is called "do_not_search": the walk stays in the program's folder.
    WalkFolder(collector, ExpandPath(kLanguageFolder), u"*.lng", u"do_not_search", false);
    return std::move(collector.files);
}

bool Language::LanguageCount()
{
    return LanguageFiles().size() > 1;
}

std::u16string Language::SystemLanguageName(unsigned primary)
{
    const auto& table = systemLanguages();
    if (primary >= table.size() || !table[primary].name)
        return {};
    return table[primary].name;
}

std::u16string Language::SystemLanguageCode(unsigned primary)
{
    const auto& table = systemLanguages();
    if (primary >= table.size() || !table[primary].code)
        return {};
    return table[primary].code;
}

std::u16string Language::SystemLanguageName()
{
    return SystemLanguageName(PRIMARYLANGID(GetUserDefaultLangID()));
}

std::u16string Language::Text(std::u16string_view id) const
{
    return Text(id, id);
}

std::u16string Language::Text(std::u16string_view id, std::u16string_view fallback) const
{
    auto found = m_texts.find(id);
    return found == m_texts.end() ? std::u16string(fallback) : found->second;
}

std::u16string Language::name() const
{
    return stemOf(m_path);
}

void Language::OnMenu(const std::u16string& id, std::vector<MenuEntry>& entries, std::u16string_view application_name,
    std::u16string_view red_style)
{
    if (id == u"Language") {
        std::vector<std::u16string> files = LanguageFiles();
        std::sort(files.begin(), files.end());
        std::u16string current = WideLower(name());
        for (const std::u16string& file : files) {
            std::u16string language = stemOf(file);
            MenuEntry entry;
            entry.id = kChoicePrefix + language;
            entry.text = language;
            entry.checked = WideLower(language) == current;
            entries.push_back(std::move(entry));
        }
        MenuEntry cancel;
        cancel.id = u"Cancel";
        cancel.style = red_style;
        entries.push_back(std::move(cancel));
    }
    std::u16string_view prefix = kChoicePrefix;
    if (!id.starts_with(prefix))
        return;
    std::u16string chosen = id.substr(prefix.size());
    std::u16string path = file_path(chosen);
    if (path == m_path)
        return;
    if (LoadLanguageFile(path))
        RegWriteText(registry_key(application_name), kRegistryValue, chosen);
}
