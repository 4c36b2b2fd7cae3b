// The settings program's menus on the installed data: what each choice writes, which screen it
// leads to, and what the main menu shows.
#include <gtest/gtest.h>

#include "runtime/Registry.h"
#include "tests/settings_app/SettingsRun.h"

namespace {

using Ids = std::vector<std::u16string>;
const std::u16string kSettingsFile = u"\\Program Files\\Tarn\\Magnikeys\\settings.txt";
const std::u16string kLayoutList = u"\\Program Files\\Tarn\\Magnikeys\\layouts\\layouts.ini";
const std::u16string kStartupCopy = u"\\Windows\\StartUp\\mk_select.exe";
const std::u16string kSelector = u"\\Program Files\\Tarn\\Magnikeys\\mk_select.exe";

struct Settings : DeviceRootTest {
    void SetUp() override
    {
        InstallSettingsData(device);
        device.writeFile(kSelector, "selector");
    }
    void TearDown() override { SimSetUserLanguage(0); }
    std::string settings_text()
    {
        auto bytes = device.readFile(kSettingsFile);
        if (!bytes || bytes->size() < 2)
            return "<missing>";
        std::u16string text(reinterpret_cast<const char16_t*>(bytes->data() + 2), (bytes->size() - 2) / 2);
        return Utf8FromUtf16(text);
    }
};

TEST_F(Settings, TheProgramsDataIsInstalled)
{
    SettingsRun run("qvga");
    EXPECT_TRUE(run.skin_loaded);
    EXPECT_TRUE(run.language_loaded);
    EXPECT_TRUE(run.form->loaded());
    EXPECT_TRUE(run.form->about().loaded());
    // An English device: the device language's file, named as the platform names the language.
    EXPECT_EQ(run.language.name(), u"ENGLISH");
}

TEST_F(Settings, MainMenuInItsOrderWithChecksAndStyles)
{
    SettingsRun run("qvga");
    EXPECT_EQ(run.ids(), (Ids { u"Language", u"Layouts_List", u"Smart_Zoom", u"default_keyboard", u"Zoom_Types", u"About", u"Close" }));
    EXPECT_EQ(run.menu().caption(), u"");
    EXPECT_TRUE(run.checked(u"Smart_Zoom")); // the default
    EXPECT_FALSE(run.checked(u"default_keyboard"));
    EXPECT_EQ(run.menu().entries().back().style, u"MenuElementRed");
    EXPECT_EQ(run.label(u"Zoom_Types"), u"Zoom style");
    EXPECT_EQ(run.label(u"Close"), u"Close");
}

TEST_F(Settings, OneLanguageFileHidesTheLanguageEntry)
{
    ASSERT_TRUE(DeleteFile(u"\\Program Files\\Tarn\\Magnikeys\\german.lng"));
    ASSERT_TRUE(DeleteFile(u"\\Program Files\\Tarn\\Magnikeys\\russian.lng"));
    SettingsRun run("qvga");
    EXPECT_EQ(run.ids(), (Ids { u"Layouts_List", u"Smart_Zoom", u"default_keyboard", u"Zoom_Types", u"About", u"Close" }));
}

TEST_F(Settings, ChoosingAZoomTypeWritesItAndReturnsToTheMainMenu)
{
    SettingsRun run("qvga");
    run.choose(u"Zoom_Types");
    EXPECT_EQ(run.ids(), (Ids { u"flat_zoom", u"glass_zoom", u"i_zoom", u"simple", u"Cancel" }));
    EXPECT_EQ(run.menu().caption(), u"Zoom style");
    EXPECT_TRUE(run.checked(u"simple"));
    EXPECT_FALSE(run.checked(u"glass_zoom"));

    run.choose(u"glass_zoom");
    EXPECT_EQ(run.id(0), u"Language"); // the main menu
    EXPECT_NE(settings_text().find("board_style glass_zoom\n"), std::string::npos) << settings_text();
    EXPECT_EQ(run.settings->board_style, 2);

    run.choose(u"Zoom_Types");
    EXPECT_TRUE(run.checked(u"glass_zoom"));
    EXPECT_FALSE(run.checked(u"simple"));
    run.choose(u"Cancel");
    EXPECT_EQ(run.id(0), u"Language");
    EXPECT_NE(settings_text().find("board_style glass_zoom\n"), std::string::npos);

    run.choose(u"Zoom_Types");
    run.choose(u"i_zoom");
    EXPECT_NE(settings_text().find("board_style i_zoom\n"), std::string::npos);
}

TEST_F(Settings, SmartZoomTwiceLeavesTheFileAsBefore)
{
    SettingsRun run("qvga");
    std::string before = settings_text();
    ASSERT_NE(before.find("smart_zoom true\n"), std::string::npos);
    run.choose(u"Smart_Zoom");
    EXPECT_NE(settings_text().find("smart_zoom false\n"), std::string::npos);
    EXPECT_FALSE(run.checked(u"Smart_Zoom"));
    EXPECT_EQ(run.id(0), u"Language");
    run.choose(u"Smart_Zoom");
    EXPECT_EQ(settings_text(), before);
    EXPECT_TRUE(run.checked(u"Smart_Zoom"));
}

TEST_F(Settings, MenuShowsWhatTheSettingsFileSaysNow)
{
    SettingsRun run("qvga");
    // Another program changed the file meanwhile: the next screen shows it.
    kbSettings other;
    other.smart_zoom = false;
    other.board_style = 1;
    other.write();
    run.choose(u"Zoom_Types");
    run.choose(u"Cancel");
    EXPECT_FALSE(run.checked(u"Smart_Zoom"));
    run.choose(u"Zoom_Types");
    EXPECT_TRUE(run.checked(u"flat_zoom"));
}

// The record in memory is as old as the screen; another program's change to the file since
// then survives a choice that changes one value.
TEST_F(Settings, AChoiceKeepsWhatAnotherProgramWroteMeanwhile)
{
    SettingsRun run("qvga");
    ASSERT_TRUE(run.checked(u"Smart_Zoom"));
    kbSettings other;
    other.zoom_scale = 3.5;
    other.glass_radius = 77;
    ASSERT_TRUE(other.write());

    run.choose(u"Smart_Zoom");
    std::string text = settings_text();
    EXPECT_NE(text.find("smart_zoom false\n"), std::string::npos) << text;
    EXPECT_NE(text.find("zoom_scale 3.500000\n"), std::string::npos) << text;
    EXPECT_NE(text.find("glass_radius 77.000000\n"), std::string::npos) << text;

    other.zoom_scale = 1.25;
    other.smart_zoom = false;
    ASSERT_TRUE(other.write());
    run.choose(u"Zoom_Types");
    run.choose(u"glass_zoom");
    text = settings_text();
    EXPECT_NE(text.find("board_style glass_zoom\n"), std::string::npos) << text;
    EXPECT_NE(text.find("zoom_scale 1.250000\n"), std::string::npos) << text;
}

TEST_F(Settings, DefaultKeyboardIsAppliedWhenTheFormGoes)
{
    {
        SettingsRun run("qvga");
        run.choose(u"default_keyboard");
        EXPECT_TRUE(run.checked(u"default_keyboard"));
        EXPECT_TRUE(run.form->default_keyboard_changed());
        EXPECT_FALSE(device.exists(kStartupCopy)); // only at the end
    }
    EXPECT_EQ(device.readFile(kStartupCopy), "selector");

    // On and off again: the final state (on, as it was) is still applied afresh.
    device.writeFile(kStartupCopy, "stale selector");
    ASSERT_TRUE(SetFileAttributes(kStartupCopy.c_str(), FILE_ATTRIBUTE_READONLY));
    {
        SettingsRun run("qvga");
        EXPECT_TRUE(run.checked(u"default_keyboard"));
        run.choose(u"default_keyboard");
        run.choose(u"default_keyboard");
        EXPECT_TRUE(run.checked(u"default_keyboard"));
    }
    EXPECT_EQ(device.readFile(kStartupCopy), "selector");

    {
        SettingsRun run("qvga");
        run.choose(u"default_keyboard");
    }
    EXPECT_FALSE(device.exists(kStartupCopy));

    // Untouched, the switch changes nothing.
    device.writeFile(kStartupCopy, "stale selector");
    {
        SettingsRun run("qvga");
        run.choose(u"Smart_Zoom");
    }
    EXPECT_EQ(device.readFile(kStartupCopy), "stale selector");
}

TEST_F(Settings, TogglingALayoutStaysOnTheListWithNewChecks)
{
    device.writeFile(kLayoutList, Utf16File("layout_0=english\n"));
    SettingsRun run("qvga");
    run.choose(u"Layouts_List");
    EXPECT_EQ(run.ids(), (Ids { u"English", u"Deutch", u"French", u"Russian", u"Back" }));
    EXPECT_EQ(run.menu().caption(), u"Keyboard layouts");
    EXPECT_EQ(run.label(u"Deutch"), u"German"); // the language names the layout
    EXPECT_TRUE(run.checked(u"English"));
    EXPECT_FALSE(run.checked(u"Russian"));

    run.choose(u"Russian");
    EXPECT_EQ(run.id(0), u"English");
    EXPECT_TRUE(run.checked(u"Russian"));
    EXPECT_EQ(run.layouts->enabled_layouts().back(), u"Russian");

    run.choose(u"English");
    EXPECT_FALSE(run.checked(u"English"));
    EXPECT_EQ(run.layouts->enabled_layouts(), (Ids { u"Russian" }));

    run.choose(u"Back");
    EXPECT_EQ(run.id(0), u"Language");
}

TEST_F(Settings, LanguageScreenSwitchesTheTextsAndRemembersTheChoice)
{
    SettingsRun run("qvga");
    run.choose(u"Language");
    EXPECT_EQ(run.ids(), (Ids { u"Language#english", u"Language#german", u"Language#russian", u"Cancel" }));
    EXPECT_TRUE(run.checked(u"Language#english"));
    run.choose(u"Language#russian");
    EXPECT_EQ(run.id(0), u"Language");
    EXPECT_EQ(run.label(u"Close"), u"Закрыть");
    EXPECT_EQ(run.menu().caption(), u"Русский");
    std::u16string chosen;
    EXPECT_TRUE(RegReadText(u"HKEY_CURRENT_USER\\Software\\Tarn\\Magnikeys", u"Language", chosen));
    EXPECT_EQ(chosen, u"russian");
}

TEST_F(Settings, CloseEndsTheLoopAndAboutOpensOverTheMenu)
{
    SettingsRun run("qvga");
    run.choose(u"About");
    EXPECT_EQ(run.app->top_form(), &run.form->about());
    EXPECT_TRUE(run.app->top_is_popup());
    EXPECT_EQ(run.id(0), u"Language"); // the main menu lies beneath
    // A tap closes it.
    PointerEvent tap;
    tap.x = 20;
    tap.y = 20;
    tap.down = true;
    run.app->pointer_pressed(tap);
    tap.down = false;
    run.app->pointer_pressed(tap);
    EXPECT_EQ(run.app->top_form(), run.form.get());

    run.choose(u"Close");
    MSG msg;
    EXPECT_TRUE(PeekMessage(&msg, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE));
    EXPECT_EQ(run.id(0), u"Language"); // the screen stays as it was
}

}
