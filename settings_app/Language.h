#pragma once
// The interface language of the settings program: "*.lng" files in the program's folder, each
// a key-value text file that maps a text id ("Zoom_Types", "MainMenu", "NoSkins") to the text
// shown. The chosen language is remembered in the registry value "Language".
#include <map>
#include <string>
#include <string_view>
#include <vector>

#include "skin/elements/MenuForm.h"

class Properties;

class Language {
public:
    // The texts go into the skin's text map, where the menu finds them.
    explicit Language(Properties& props);

    // Parses the file and, when it could be opened, makes it the current language.
    bool LoadLanguageFile(std::u16string_view path);
    // The start-up choice: the registry's language, the device's, English, then any file found.
    // Never writes the registry.
    bool LoadLanguage(std::u16string_view application_name);

    // More than one language file is installed.
    static bool LanguageCount();
    // The ".lng" files of the program's folder, in the order the folder lists them.
    static std::vector<std::u16string> LanguageFiles();
    // The device's user language as a file name ("GERMAN"), or empty.
    static std::u16string SystemLanguageName();
    // The English name (in capitals) of a primary language number, or empty.
    static std::u16string SystemLanguageName(unsigned primary);
    // The two-letter code of a primary language number, or empty.
    static std::u16string SystemLanguageCode(unsigned primary);

    // The text for id, or the id itself (or the default) when the language has none.
    std::u16string Text(std::u16string_view id) const;
    std::u16string Text(std::u16string_view id, std::u16string_view fallback) const;

    // The language screen: "Language" fills entries with the installed languages (the loaded
    // one checked) and a red "Cancel"; "Language#<name>" loads that language and remembers it.
    void OnMenu(const std::u16string& id, std::vector<MenuEntry>& entries, std::u16string_view application_name,
        std::u16string_view red_style);

    // The file the current texts came from (as it was asked for), or empty.
    const std::u16string& path() const { return m_path; }
    // Its name without folder and ".lng".
    std::u16string name() const;
    const std::map<std::u16string, std::u16string, std::less<>>& texts() const { return m_texts; }

    static std::u16string registry_key(std::u16string_view application_name);
    static std::u16string file_path(std::u16string_view name);

private:
    Properties& m_props;
    std::u16string m_path;
    std::map<std::u16string, std::u16string, std::less<>> m_texts;
};
