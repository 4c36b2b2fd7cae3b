// Language files: the line rules, both encodings, the start-up choice and its fallbacks, the
// device language table and the language screen.
#include <gtest/gtest.h>

#include <simhost.h>
#include <windows.h>

#include "runtime/Registry.h"
#include "settings_app/Language.h"
#include "skin/file/Properties.h"
#include "tests/settings_app/SettingsTestFiles.h"

namespace {

const std::u16string kKey = u"HKEY_CURRENT_USER\\Software\\Tarn\\Magnikeys";

struct LanguageFiles : DeviceRootTest {
    Properties props;
    Language language { props };

    void TearDown() override { SimSetUserLanguage(0); }
    std::u16string registry_choice()
    {
        std::u16string name = u"<none>";
        RegReadText(kKey, u"Language", name);
        return name;
    }
};

TEST_F(LanguageFiles, LinesMapIdsToTextsAsWritten)
{
    WriteProgramFile(device, u"english.lng",
        "Zoom_Types=Zoom types\n"
        "About = About this\n"
        "Layouts_List     My layouts  \n"
        "  Smart_Zoom\tSmart zoom\r\n"
        "Close\n"
        "Cancel=\n"
        "   \n"
        "=orphan\n"
        "Back=first\n"
        "Back=second\n");
    ASSERT_TRUE(language.LoadLanguageFile(u"%app_path%/english.lng"));
    EXPECT_EQ(language.Text(u"Zoom_Types"), u"Zoom types");
    EXPECT_EQ(language.Text(u"About"), u"= About this"); // blanks, then "=" belongs to the text
    EXPECT_EQ(language.Text(u"Layouts_List"), u"My layouts  "); // trailing blanks kept
    EXPECT_EQ(language.Text(u"Smart_Zoom"), u"Smart zoom");
    EXPECT_EQ(language.Text(u"Close", u"x"), u"");
    EXPECT_EQ(language.Text(u"Cancel", u"x"), u"");
    EXPECT_EQ(language.Text(u"Back"), u"second");
    EXPECT_EQ(language.texts().size(), 7u);
    // An id without an entry shows as itself; lookups respect case.
    EXPECT_EQ(language.Text(u"default_keyboard"), u"default_keyboard");
    EXPECT_EQ(language.Text(u"zoom_types"), u"zoom_types");
    EXPECT_EQ(language.Text(u"zoom_types", u"fallback"), u"fallback");
    // The menu finds the texts in the skin's text map.
    EXPECT_EQ(props.translate(u"Zoom_Types"), u"Zoom types");
    EXPECT_EQ(props.translate(u"Language"), u"Language");
}

TEST_F(LanguageFiles, Utf16And8BitFilesGiveTheSameMap)
{
    const char* lines = "MainMenu=Settings\nZoom_Types = Zoom types\nSmart_Zoom  Smart zoom\nClose\n";
    WriteProgramFile(device, u"a.lng", lines);
    WriteProgramFile(device, u"b.lng", Utf16File(lines));
    ASSERT_TRUE(language.LoadLanguageFile(u"%app_path%/a.lng"));
    auto eight = language.texts();
    ASSERT_TRUE(language.LoadLanguageFile(u"%app_path%/b.lng"));
    EXPECT_EQ(language.texts(), eight);
    EXPECT_EQ(eight.size(), 4u);

    // Cyrillic needs the UTF-16 form.
    WriteProgramFile(device, u"russian.lng", Utf16File("Close=Закрыть\n"));
    ASSERT_TRUE(language.LoadLanguageFile(u"%app_path%/russian.lng"));
    EXPECT_EQ(language.Text(u"Close"), u"Закрыть");
}

TEST_F(LanguageFiles, AFileThatCannotBeOpenedKeepsThePreviousLanguage)
{
    WriteProgramFile(device, u"english.lng", "Close=Close\n");
    ASSERT_TRUE(language.LoadLanguageFile(u"%app_path%/english.lng"));
    EXPECT_FALSE(language.LoadLanguageFile(u"%app_path%/klingon.lng"));
    EXPECT_EQ(language.path(), u"%app_path%/english.lng");
    EXPECT_EQ(language.name(), u"english");
    EXPECT_EQ(props.translate(u"Close"), u"Close");
    // An empty file is a language without texts, not a failure.
    WriteProgramFile(device, u"empty.lng", "");
    EXPECT_TRUE(language.LoadLanguageFile(u"%app_path%/empty.lng"));
    EXPECT_TRUE(language.texts().empty());
    EXPECT_EQ(props.translate(u"Close"), u"Close");
}

TEST_F(LanguageFiles, StartUpTriesRegistryThenDeviceLanguageThenEnglishThenAnyFile)
{
    WriteProgramFile(device, u"german.lng", "Close=Schlie\xDF" "en\n"); // 8-bit: one character a byte
    WriteProgramFile(device, u"english.lng", "Close=Close\n");
    WriteProgramFile(device, u"russian.lng", Utf16File("Close=Закрыть\n"));
    SimSetUserLanguage(MAKELANGID(LANG_GERMAN, SUBLANG_DEFAULT));

    // The registry's choice wins.
    ASSERT_TRUE(RegWriteText(kKey, u"Language", u"russian"));
    ASSERT_TRUE(language.LoadLanguage(u"Magnikeys"));
    EXPECT_EQ(language.path(), u"%app_path%/russian.lng");

    // A registry value naming a missing file: the device's language, "GERMAN" (file names
    // ignore case), then English.
    ASSERT_TRUE(RegWriteText(kKey, u"Language", u"french"));
    ASSERT_TRUE(language.LoadLanguage(u"Magnikeys"));
    EXPECT_EQ(language.path(), u"%app_path%/GERMAN.lng");
    EXPECT_EQ(language.Text(u"Close"), u"Schließen");

    ASSERT_TRUE(DeleteFile(u"\\Program Files\\Tarn\\Magnikeys\\german.lng"));
    ASSERT_TRUE(language.LoadLanguage(u"Magnikeys"));
    EXPECT_EQ(language.path(), u"%app_path%/english.lng");

    // Without English, the first file the folder lists.
    ASSERT_TRUE(DeleteFile(u"\\Program Files\\Tarn\\Magnikeys\\english.lng"));
    ASSERT_TRUE(language.LoadLanguage(u"Magnikeys"));
    EXPECT_EQ(language.name(), u"russian");
    // The start-up choice never writes the registry.
    EXPECT_EQ(registry_choice(), u"french");

    ASSERT_TRUE(DeleteFile(u"\\Program Files\\Tarn\\Magnikeys\\russian.lng"));
    Properties other;
    Language none(other);
    EXPECT_FALSE(none.LoadLanguage(u"Magnikeys"));
    EXPECT_TRUE(none.path().empty());
}

// The registry value is a name of the program's folder: one with a folder in it does not
// reach a ".lng" file elsewhere on the device.
TEST_F(LanguageFiles, RegistryValueWithAFolderIsNotFollowed)
{
    WriteProgramFile(device, u"english.lng", "Close=Close\n");
    device.writeFile(u"\\My Documents\\evil.lng", "Close=Gotcha\n");
    for (const char16_t* value : { u"..\\..\\..\\My Documents\\evil", u"../../../My Documents/evil", u"\\My Documents\\evil" }) {
        ASSERT_TRUE(RegWriteText(kKey, u"Language", value));
        ASSERT_TRUE(language.LoadLanguage(u"Magnikeys"));
        EXPECT_EQ(language.path().find(u"evil"), std::u16string::npos);
        EXPECT_EQ(language.Text(u"Close"), u"Close");
    }
}

TEST_F(LanguageFiles, MissingRegistryValueStartsWithTheDeviceLanguage)
{
    WriteProgramFile(device, u"english.lng", "Close=Close\n");
    WriteProgramFile(device, u"russian.lng", Utf16File("Close=Закрыть\n"));
    SimSetUserLanguage(MAKELANGID(LANG_RUSSIAN, SUBLANG_DEFAULT));
    ASSERT_TRUE(language.LoadLanguage(u"Magnikeys"));
    EXPECT_EQ(language.Text(u"Close"), u"Закрыть");
    EXPECT_EQ(registry_choice(), u"<none>");
    // A device language the table does not name goes straight to English.
    SimSetUserLanguage(0x0417);
    ASSERT_TRUE(language.LoadLanguage(u"Magnikeys"));
    EXPECT_EQ(language.Text(u"Close"), u"Close");
}

TEST(SystemLanguages, TableFollowsThePlatformNumbering)
{
    EXPECT_EQ(Language::SystemLanguageName(0), u"");
    EXPECT_EQ(Language::SystemLanguageName(1), u"ARABIC");
    EXPECT_EQ(Language::SystemLanguageName(7), u"GERMAN");
    EXPECT_EQ(Language::SystemLanguageName(9), u"ENGLISH");
    EXPECT_EQ(Language::SystemLanguageName(22), u"PORTUGUESE");
    EXPECT_EQ(Language::SystemLanguageName(23), u"");
    EXPECT_EQ(Language::SystemLanguageName(24), u"ROMANIAN");
    EXPECT_EQ(Language::SystemLanguageName(25), u"RUSSIAN");
    EXPECT_EQ(Language::SystemLanguageName(40), u"");
    EXPECT_EQ(Language::SystemLanguageName(41), u"PERSIAN");
    EXPECT_EQ(Language::SystemLanguageName(97), u"NEPALI");
    EXPECT_EQ(Language::SystemLanguageName(98), u"");
    EXPECT_EQ(Language::SystemLanguageName(1023), u"");
    EXPECT_EQ(Language::SystemLanguageCode(7), u"de");
    EXPECT_EQ(Language::SystemLanguageCode(25), u"ru");
    int named = 0;
    for (unsigned n = 0; n < 99; ++n)
        named += Language::SystemLanguageName(n).empty() ? 0 : 1;
    EXPECT_EQ(named, 67);

    // The sublanguage does not matter.
    SimSetUserLanguage(MAKELANGID(LANG_ENGLISH, 0x02));
    EXPECT_EQ(Language::SystemLanguageName(), u"ENGLISH");
    SimSetUserLanguage(0);
    EXPECT_EQ(GetUserDefaultLangID(), MAKELANGID(LANG_ENGLISH, SUBLANG_DEFAULT));
}

TEST_F(LanguageFiles, LanguageScreenListsSortedFilesAndChoosesOne)
{
    EXPECT_FALSE(Language::LanguageCount());
    WriteProgramFile(device, u"russian.lng", Utf16File("Close=Закрыть\n"));
    EXPECT_FALSE(Language::LanguageCount());
    WriteProgramFile(device, u"English.lng", "Close=Close\n");
    EXPECT_TRUE(Language::LanguageCount());
    WriteProgramFile(device, u"german.lng", Utf16File("Close=Schließen\n"));
    device.writeFile(u"\\Program Files\\Tarn\\Magnikeys\\old\\french.lng", "Close=Fermer\n"); // not searched
    WriteProgramFile(device, u"notes.txt", "Close=no\n");
    EXPECT_TRUE(Language::LanguageCount());
    EXPECT_EQ(Language::LanguageFiles().size(), 3u);

    ASSERT_TRUE(language.LoadLanguageFile(u"%app_path%/english.lng"));
    std::vector<MenuEntry> entries;
    language.OnMenu(u"Language", entries, u"Magnikeys", u"MenuElementRed");
    ASSERT_EQ(entries.size(), 4u);
    EXPECT_EQ(entries[0].id, u"Language#English");
    EXPECT_EQ(entries[0].text, u"English");
    EXPECT_TRUE(entries[0].checked); // "english" loaded, "English" listed
    EXPECT_EQ(entries[1].id, u"Language#german");
    EXPECT_FALSE(entries[1].checked);
    EXPECT_EQ(entries[2].id, u"Language#russian");
    EXPECT_EQ(entries[3].id, u"Cancel");
    EXPECT_EQ(entries[3].style, u"MenuElementRed");
    EXPECT_TRUE(entries[3].text.empty());

    // A choice loads the language and remembers it; the list stays empty.
    entries.clear();
    language.OnMenu(u"Language#russian", entries, u"Magnikeys", u"MenuElementRed");
    EXPECT_TRUE(entries.empty());
    EXPECT_EQ(language.Text(u"Close"), u"Закрыть");
    EXPECT_EQ(registry_choice(), u"russian");

    // Choosing the loaded language again neither reloads nor writes.
    ASSERT_TRUE(RegWriteText(kKey, u"Language", u"other"));
    WriteProgramFile(device, u"russian.lng", Utf16File("Close=Changed\n"));
    language.OnMenu(u"Language#russian", entries, u"Magnikeys", u"MenuElementRed");
    EXPECT_EQ(language.Text(u"Close"), u"Закрыть");
    EXPECT_EQ(registry_choice(), u"other");

    // A language whose file has gone: nothing changes.
    language.OnMenu(u"Language#dutch", entries, u"Magnikeys", u"MenuElementRed");
    EXPECT_EQ(language.name(), u"russian");
    EXPECT_EQ(registry_choice(), u"other");

    // Other ids are not the language screen's.
    language.OnMenu(u"Zoom_Types", entries, u"Magnikeys", u"MenuElementRed");
    EXPECT_TRUE(entries.empty());
}

}
