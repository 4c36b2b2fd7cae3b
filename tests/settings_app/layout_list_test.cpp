// The settings program's view of the layouts: the installed ones in menu order, the list file's
// entries, and adding or removing one with the list rewritten in one piece.
#include <gtest/gtest.h>

#include <windows.h>

#include <memory>

#include "kbfiles/LayoutSelection.h"
#include "settings_app/LayoutList.h"
#include "tests/settings_app/SettingsTestFiles.h"

namespace {

const std::u16string kLayouts = u"\\Program Files\\Tarn\\Magnikeys\\layouts\\";
const char* kLayoutBody = "short xx\nline1 qwertyuiop[\nline2 asdfghjkl;'\nline3 zxcvbnm,./-\n";

struct Layouts : DeviceRootTest {
    void install(std::initializer_list<const char16_t*> names)
    {
        for (const char16_t* name : names)
            device.writeFile(kLayouts + name, kLayoutBody);
    }
    void write_list(std::string_view utf8) { device.writeFile(kLayouts + u"layouts.ini", Utf16File(utf8)); }
    std::string list_file() { return device.readFile(kLayouts + u"layouts.ini").value_or("<missing>"); }
};

using Names = std::vector<std::u16string>;

TEST(LayoutNames, NormalisedToOneCapital)
{
    EXPECT_EQ(LayoutList::normalise(u"english.txt"), u"English");
    EXPECT_EQ(LayoutList::normalise(u"ENGLISH.TXT"), u"English");
    EXPECT_EQ(LayoutList::normalise(u"english"), u"English");
    EXPECT_EQ(LayoutList::normalise(u"РУССКАЯ.txt"), u"Русская");
    EXPECT_EQ(LayoutList::normalise(u"my.layout.txt"), u"My.layout");
    EXPECT_EQ(LayoutList::normalise(u""), u"");
}

TEST_F(Layouts, EnglishFirstDeutchSecondTheRestSorted)
{
    install({ u"russian.txt", u"english.txt", u"deutch.txt", u"french.txt" });
    write_list("layout_0=english\n");
    LayoutSelection selection;
    LayoutList list(selection);
    EXPECT_EQ(list.available_layouts(), (Names { u"English", u"Deutch", u"French", u"Russian" }));

    // Without English, Deutch leads; other files and folders are not layouts.
    ASSERT_TRUE(DeleteFile((kLayouts + u"english.txt").c_str()));
    install({ u"ZULU.TXT", u"armenian.txt", u"virtual_keys\\vk_keys.txt" });
    device.writeFile(kLayouts + u"symbolic_layout.xtr", "line1 x\n");
    EXPECT_EQ(list.available_layouts(), (Names { u"Deutch", u"Armenian", u"French", u"Russian", u"Zulu" }));

    ASSERT_TRUE(DeleteFile((kLayouts + u"deutch.txt").c_str()));
    EXPECT_EQ(list.available_layouts(), (Names { u"Armenian", u"French", u"Russian", u"Zulu" }));
}

TEST_F(Layouts, DisableIgnoresCaseAndRewritesTheListNumberedAfresh)
{
    install({ u"english.txt", u"russian.txt", u"german.txt" });
    write_list("layout_0=ENGLISH\nlayout_1=russian\nlayout_2=german\n");
    LayoutSelection selection;
    LayoutList list(selection);
    EXPECT_EQ(list.enabled_layouts(), (Names { u"English", u"Russian", u"German" }));

    EXPECT_EQ(list.disable(u"English"), 2);
    EXPECT_EQ(list_file(), Utf16File("layout_0=russian\nlayout_1=german\n"));
    EXPECT_EQ(list.enabled_layouts(), (Names { u"Russian", u"German" }));
    // The keyboard's current layout went with it: storing the list does not bring it back.
    EXPECT_TRUE(selection.current().empty());
    EXPECT_EQ(selection.second(), u"russian");

    // Removing a layout that is not listed rewrites the same list.
    EXPECT_EQ(list.disable(u"Dutch"), 2);
    EXPECT_EQ(list.enabled_layouts(), (Names { u"Russian", u"German" }));
}

TEST_F(Layouts, EnableAppendsAndMovesAListedLayoutToTheEnd)
{
    install({ u"english.txt", u"russian.txt", u"german.txt" });
    write_list("layout_0=english\nlayout_1=russian\n");
    LayoutSelection selection;
    LayoutList list(selection);
    list.enable(u"German");
    EXPECT_EQ(list_file(), Utf16File("layout_0=english\nlayout_1=russian\nlayout_2=German\n"));
    list.enable(u"Russian");
    EXPECT_EQ(list.enabled_layouts(), (Names { u"English", u"German", u"Russian" }));
    list.enable(u"russian");
    EXPECT_EQ(list.enabled_layouts(), (Names { u"English", u"German", u"Russian" })); // never twice
}

TEST_F(Layouts, ListWithGapsKeepsEveryEntry)
{
    install({ u"english.txt", u"russian.txt", u"german.txt" });
    write_list("layout_0=english\nlayout_3=russian\nlayout_7=german\nother=value\n");
    LayoutSelection selection;
    LayoutList list(selection);
    EXPECT_EQ(list.enabled_layouts(), (Names { u"English", u"Russian", u"German" }));
    EXPECT_EQ(list.disable(u"Russian"), 2);
    EXPECT_EQ(list_file(), Utf16File("layout_0=english\nlayout_1=german\n"));
}

TEST_F(Layouts, DisablingEveryLayoutLeavesAnEmptyListThatTheNextStartFills)
{
    install({ u"english.txt", u"russian.txt" });
    write_list("layout_0=english\nlayout_1=russian\n");
    {
        LayoutSelection selection;
        LayoutList list(selection);
        EXPECT_EQ(list.disable(u"Russian"), 1);
        EXPECT_EQ(list.disable(u"English"), 0);
        EXPECT_EQ(list_file(), Utf16File(""));
    } // the selection stores what is left: nothing
    EXPECT_TRUE(LayoutList(*std::make_unique<LayoutSelection>()).enabled_layouts().size() == 1);
    EXPECT_EQ(list_file(), Utf16File("layout_0=english\n"));
}

TEST_F(Layouts, ToggledLayoutsSurviveTheEndOfTheProgram)
{
    install({ u"english.txt", u"russian.txt", u"german.txt" });
    write_list("layout_0=english\nlayout_1=german\n");
    {
        LayoutSelection selection;
        LayoutList list(selection);
        list.enable(u"Russian");
        list.disable(u"German");
    }
    LayoutSelection selection;
    LayoutList list(selection);
    EXPECT_EQ(list.enabled_layouts(), (Names { u"English", u"Russian" }));
    EXPECT_EQ(selection.current(), u"english");
}

TEST_F(Layouts, AnUnreadableListIsLeftAlone)
{
    install({ u"english.txt" });
    LayoutSelection selection; // writes the English list
    LayoutList list(selection);
    ASSERT_TRUE(DeleteFile((kLayouts + u"layouts.ini").c_str()));
    EXPECT_TRUE(list.enabled_layouts().empty());
    EXPECT_EQ(list.disable(u"English"), 0);
    list.enable(u"Russian");
    EXPECT_FALSE(device.exists(kLayouts + u"layouts.ini"));
}

}
