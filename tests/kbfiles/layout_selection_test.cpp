// Layout files and the layout selection on a fresh device: the list and its fallback, loading
// the rows for every shift and symbol state, the "layout" key's walk, and virtual keys.
#include "kbfiles/LayoutSelection.h"
#include "runtime/Log.h"
#include "runtime/Path.h"
#include "runtime/Registry.h"
#include "runtime/Text.h"
#include "runtime/WideCase.h"
#include "tests/support/DeviceRoot.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <sys/stat.h>

namespace {

const std::u16string kDir = u"\\Program Files\\Tarn\\Magnikeys\\layouts\\";

std::string utf16File(std::u16string_view text)
{
    std::string bytes = "\xFF\xFE";
    for (char16_t c : text) {
        bytes.push_back(char(c & 0xFF));
        bytes.push_back(char(c >> 8));
    }
    return bytes;
}

std::u16string fromUtf16File(const std::string& bytes)
{
    std::u16string text;
    for (size_t i = 2; i + 1 < bytes.size(); i += 2)
        text.push_back(char16_t(uint8_t(bytes[i]) | uint8_t(bytes[i + 1]) << 8));
    return text;
}

struct Layouts : DeviceRootTest {
    void SetUp() override { std::filesystem::create_directories(device.hostPath(u"\\Program Files\\Tarn\\Magnikeys")); }
    void put(const std::u16string& name, std::u16string_view text) const { device.writeFile(kDir + name, utf16File(text)); }
    void putLayout(const std::u16string& name, std::u16string_view text) const { put(name + u".txt", text); }
    void putList(std::u16string_view text) const { put(u"layouts.ini", text); }
    std::u16string list() const
    {
        auto bytes = device.readFile(kDir + u"layouts.ini");
        return bytes ? fromUtf16File(*bytes) : u"<missing>";
    }
    static std::string u8(std::u16string_view s) { return Utf8FromUtf16(s); }
};

const char16_t kThreeRows[] = u"short ab\nline1 @qwertyuiop\nline2 /asdfghjkl'\nline3 !?zxcvbnm,.\n";

TEST_F(Layouts, MissingOrEmptyListIsCreatedWithTheBuiltInEnglishLayout)
{
    for (bool emptyList : { false, true }) {
        if (emptyList) {
            putList(u"");
            putLayout(u"english", u"short en\nline1 x\n"); // broken: fewer than four entries
        }
        LayoutSelection selection;
        EXPECT_EQ(u8(selection.current()), "english");
        EXPECT_EQ(selection.second(), u"");
        EXPECT_EQ(list(), u"layout_0=english\n");
        auto english = device.readFile(kDir + u"english.txt");
        ASSERT_TRUE(english);
        // Written where there was none; a file of the user's stays as it is.
        if (emptyList)
            EXPECT_EQ(*english, utf16File(u"short en\nline1 x\n"));
        else
            EXPECT_EQ(*english, utf16File(u"short en\nline1 @qwertyuiop\nline2 /asdfghjkl'\nline3 !?zxcvbnm,.\n"));
        std::u16string text, shortName;
        ASSERT_TRUE(selection.load(text, shortName, false, false));
        EXPECT_EQ(u8(text), "@qwertyuiop/asdfghjkl'!?zxcvbnm,.");
        EXPECT_EQ(shortName, u"en");
        EXPECT_FALSE(selection.needs_extended());
    }
}

TEST_F(Layouts, EnsureListLeavesAnExistingListAndAUsableEnglishFileAlone)
{
    putLayout(u"english", u"short EN\nline1 qwertyuiop[\nline2 asdfghjkl;'\nline3 zxcvbnm,./!\n");
    putLayout(u"other", kThreeRows);
    putList(u"layout_0=other\nlayout_1=english\n");
    LayoutSelection selection;
    EXPECT_EQ(selection.current(), u"other");
    EXPECT_EQ(selection.second(), u"english");
    std::u16string current = u"x", second = u"y";
    EXPECT_FALSE(selection.ensure_list(current, second));
    EXPECT_EQ(current, u"x");
    EXPECT_EQ(list(), u"layout_0=other\nlayout_1=english\n");
    EXPECT_NE(*device.readFile(kDir + u"english.txt"), utf16File(LayoutSelection::builtin_english()));
}

// The user edits english.txt (two lines so far): the keyboard keeps its keys from the built-in
// English in memory, says so in its log, and never writes over the user's file.
TEST_F(Layouts, AnUnusableEnglishFileOfTheUsersIsLeftAloneAndTheKeysComeFromMemory)
{
    const std::u16string editing = u"short en\nline1 qwertyuiop@\n";
    putLayout(u"english", editing);
    ASSERT_TRUE(RegWriteNumber(u"HKEY_CURRENT_USER\\Software\\Tarn", u"Log", 1));
    for (const std::u16string listText : { u"layout_0=english\n", u"layout_0=gone\nlayout_1=lost\n", u"" }) {
        SCOPED_TRACE(u8(listText));
        putList(listText);
        LayoutSelection selection;
        selection.refresh();
        EXPECT_EQ(selection.current(), u"english");
        std::u16string text, shortName;
        ASSERT_TRUE(selection.load(text, shortName, false, false));
        EXPECT_EQ(u8(text), "@qwertyuiop/asdfghjkl'!?zxcvbnm,.");
        EXPECT_EQ(shortName, u"en");
        ASSERT_TRUE(selection.load(text, shortName, true, false));
        EXPECT_EQ(u8(text), "@QWERTYUIOP/ASDFGHJKL'!?ZXCVBNM,.");
        EXPECT_FALSE(selection.needs_extended());
        EXPECT_EQ(device.readFile(kDir + u"english.txt"), utf16File(editing));
    }
    Log();
    auto log = device.readFile(u"\\Temp\\" + AppName() + u".txt");
    ASSERT_TRUE(log);
    EXPECT_NE(fromUtf16File(*log).find(u"english.txt is not usable"), std::u16string::npos);
    RegWriteNumber(u"HKEY_CURRENT_USER\\Software\\Tarn", u"Log", 0);

    // Once the user's file is complete, the keys are the user's.
    putLayout(u"english", u"short EN\nline1 qwertzuiopü\nline2 asdfghjklöä\nline3 yxcvbnm,.-ß\n");
    LayoutSelection selection;
    std::u16string text, shortName;
    ASSERT_TRUE(selection.load(text, shortName, false, false));
    EXPECT_EQ(u8(text), "qwertzuiopüasdfghjklöäyxcvbnm,.-ß");
}

TEST_F(Layouts, ThreeAndFourRowsCaseRulesAndShiftLines)
{
    putLayout(u"three", u"short ab\nline1 QWERTYUIOPÄ\nline2 asdfghjklöü\nline3 zxcvbnm,.-ß\n");
    putLayout(u"four", u"short ru\nline1=йцукенгшщзх\nline2=фывапролджэ\nline3=ячсмитьбюъё\nline4=1234567890-\n"
                       u"line4_with_shift=!\"№;%:?*()_\n");
    putList(u"layout_0=three\nlayout_1=four\n");
    LayoutSelection selection;
    std::u16string text, shortName;

    // Capitals in the file load as small letters; shift without its own lines upper-cases.
    ASSERT_TRUE(selection.load(text, shortName, false, false));
    EXPECT_EQ(u8(text), "qwertyuiopäasdfghjklöüzxcvbnm,.-ß");
    EXPECT_EQ(shortName, u"ab");
    ASSERT_TRUE(selection.load(text, shortName, true, false));
    EXPECT_EQ(u8(text), "QWERTYUIOPÄASDFGHJKLÖÜZXCVBNM,.-ß");
    EXPECT_FALSE(selection.needs_extended());

    selection.set_current(u"four");
    ASSERT_TRUE(selection.load(text, shortName, false, false));
    EXPECT_EQ(text.size(), 44u);
    EXPECT_EQ(shortName, u"RU");
    EXPECT_TRUE(selection.needs_extended());
    ASSERT_TRUE(selection.load(text, shortName, true, false));
    EXPECT_EQ(u8(text), "ЙЦУКЕНГШЩЗХФЫВАПРОЛДЖЭЯЧСМИТЬБЮЪЁ!\"№;%:?*()_");
}

TEST_F(Layouts, LeadingSpacesSurviveOnlyAfterEquals)
{
    putLayout(u"eq", u"short s\nline1=  abcdefghi\nline2 abcdefghijk\nline3 abcdefghijk\n");
    putLayout(u"sp", u"short s\nline1   abcdefghijk\nline2 abcdefghijk\nline3 abcdefghijk\n");
    putList(u"layout_0=eq\nlayout_1=sp\n");
    LayoutSelection selection;
    std::u16string text, shortName;
    ASSERT_TRUE(selection.load(text, shortName, false, false));
    EXPECT_EQ(u8(text.substr(0, 11)), "  abcdefghi");
    selection.set_current(u"sp");
    ASSERT_TRUE(selection.load(text, shortName, false, false));
    EXPECT_EQ(u8(text.substr(0, 11)), "abcdefghijk");
}

TEST_F(Layouts, RowsOfTheWrongLengthStayOnTheirOwnRow)
{
    // A short first row and a long second one would otherwise add up to 33 and shift keys.
    putLayout(u"odd", u"short o\nline1 qwertyuiop\nline2 asdfghjklöäü\nline3 zxcvbnm,.-_\n");
    putList(u"layout_0=odd\n");
    LayoutSelection selection;
    std::u16string text, shortName;
    ASSERT_TRUE(selection.load(text, shortName, false, false));
    EXPECT_EQ(u8(text), "qwertyuiop asdfghjklöäzxcvbnm,.-_");
}

TEST_F(Layouts, MissingPartsFail)
{
    putLayout(u"noshort", u"line1 a\nline2 b\nline3 c\nline4 d\n");
    putLayout(u"tworows", u"short t\nline1 qwertyuiopa\nline2 qwertyuiopa\nline3_with_shift QWERTYUIOPA\n");
    putLayout(u"english", kThreeRows);
    putList(u"layout_0=english\nlayout_1=noshort\nlayout_2=tworows\n");
    LayoutSelection selection;
    std::u16string text, shortName;
    selection.set_current(u"noshort");
    EXPECT_FALSE(selection.load(text, shortName, false, false));
    selection.set_current(u"tworows");
    EXPECT_FALSE(selection.load(text, shortName, false, false));
    EXPECT_TRUE(selection.load(text, shortName, true, false)); // shift finds its own third line
    selection.set_current(u"absent");
    EXPECT_FALSE(selection.load(text, shortName, false, false));
    EXPECT_FALSE(selection.is_valid(u"absent"));
    EXPECT_TRUE(selection.is_valid(u"english"));
    EXPECT_TRUE(selection.is_valid(u"noshort")); // four entries, listed: valid, though it will not load
    EXPECT_FALSE(selection.is_valid(u"unlisted"));
}

TEST_F(Layouts, SymbolLayerIsTakenAsWritten)
{
    putLayout(u"english", kThreeRows);
    put(u"symbolic_layout.xtr", u"line1 1234567890←\nline2 ABC-/:;()$↑\nline3 .,?!'\"@#→↓ \nline3_with_shift []{}<>|~\\^ \n");
    LayoutSelection selection;
    std::u16string text, shortName = u"keep";
    ASSERT_TRUE(selection.load(text, shortName, false, true));
    EXPECT_EQ(u8(text), "1234567890←ABC-/:;()$↑.,?!'\"@#→↓ ");
    EXPECT_EQ(shortName, u"keep");
    ASSERT_TRUE(selection.load(text, shortName, true, true));
    EXPECT_EQ(u8(text.substr(22)), "[]{}<>|~\\^ ");
    device.writeFile(kDir + u"symbolic_layout.xtr", "");
    EXPECT_FALSE(selection.load(text, shortName, false, true));
}

TEST_F(Layouts, LayoutKeyWalksTheListAndReturnsAfterTyping)
{
    for (auto name : { u"A", u"B", u"C" })
        putLayout(name, kThreeRows);
    putList(u"layout_0=A\nlayout_1=B\nlayout_2=C\n");
    LayoutSelection selection;
    ASSERT_EQ(selection.current(), u"A");
    ASSERT_EQ(selection.second(), u"B");

    selection.next_layout(false);
    EXPECT_EQ(selection.current(), u"B");
    EXPECT_EQ(selection.second(), u"A");
    EXPECT_EQ(list(), u"layout_0=B\nlayout_1=C\nlayout_2=A\n");

    selection.next_layout(false);
    EXPECT_EQ(selection.current(), u"C");
    EXPECT_EQ(selection.second(), u"B");
    EXPECT_EQ(list(), u"layout_0=C\nlayout_1=A\nlayout_2=B\n");

    selection.next_layout(true);
    EXPECT_EQ(selection.current(), u"B");
    EXPECT_EQ(selection.second(), u"C");
    EXPECT_EQ(list(), u"layout_0=B\nlayout_1=A\nlayout_2=C\n");

    // Closing stores with the second layout right after the current one.
    selection.store(false);
    EXPECT_EQ(list(), u"layout_0=B\nlayout_1=C\nlayout_2=A\n");
}

TEST_F(Layouts, LayoutKeyPassesOverLayoutsThatDoNotLoad)
{
    putLayout(u"A", kThreeRows);
    putLayout(u"C", kThreeRows);
    putList(u"layout_0=A\nlayout_1=gone\nlayout_2=C\n");
    LayoutSelection selection;
    selection.next_layout(false);
    EXPECT_EQ(selection.current(), u"C");
    std::u16string text, shortName;
    EXPECT_TRUE(selection.load(text, shortName, false, false));
    // Nothing is lost from the list.
    EXPECT_NE(list().find(u"=gone\n"), std::u16string::npos);
}

TEST_F(Layouts, AListNamingMissingFilesFallsBackToOneThatLoads)
{
    putLayout(u"C", kThreeRows);
    putList(u"layout_0=gone\nlayout_1=C\n");
    {
        LayoutSelection selection;
        EXPECT_EQ(selection.current(), u"C");
        EXPECT_EQ(selection.second(), u"");
    }
    // Nothing listed loads: English, written when needed.
    putList(u"layout_0=gone\nlayout_1=lost\n");
    LayoutSelection selection;
    EXPECT_EQ(selection.current(), u"english");
    std::u16string text, shortName;
    EXPECT_TRUE(selection.load(text, shortName, false, false));
    EXPECT_EQ(text.size(), 33u);
}

TEST_F(Layouts, NamesThatLeaveTheLayoutsFolderAreRefused)
{
    putLayout(u"english", kThreeRows);
    device.writeFile(u"\\Program Files\\Tarn\\Magnikeys\\outside.txt", utf16File(kThreeRows));
    putList(u"layout_0=..\\outside\nlayout_1=english\nlayout_2=" + std::u16string(300, u'x') + u"\n");
    LayoutSelection selection;
    EXPECT_EQ(selection.current(), u"english");
    EXPECT_FALSE(selection.is_valid(u"..\\outside"));
    EXPECT_FALSE(selection.is_valid(u"../outside"));
    selection.set_current(u"../outside");
    std::u16string text, shortName;
    EXPECT_FALSE(selection.load(text, shortName, false, false));
}

TEST_F(Layouts, RefreshFollowsTheSettingsProgram)
{
    for (auto name : { u"A", u"B", u"C" })
        putLayout(name, kThreeRows);
    putList(u"layout_0=A\nlayout_1=B\nlayout_2=C\n");
    LayoutSelection selection;
    putList(u"layout_0=C\nlayout_1=A\n"); // B removed
    selection.refresh();
    EXPECT_EQ(selection.current(), u"A");
    EXPECT_EQ(selection.second(), u"");
    putList(u"layout_0=C\nlayout_1=B\n"); // A removed
    selection.refresh();
    EXPECT_EQ(selection.current(), u"C");
    device.writeFile(kDir + u"layouts.ini", "");
    selection.refresh();
    EXPECT_EQ(selection.current(), u"english");
    EXPECT_EQ(list(), u"layout_0=english\n");
}

TEST_F(Layouts, StoreKeepsEntriesOfAListWithGaps)
{
    for (auto name : { u"A", u"B", u"C" })
        putLayout(name, kThreeRows);
    putList(u"layout_0=A\nlayout_4=B\nlayout_9=C\n");
    LayoutSelection selection;
    EXPECT_TRUE(selection.store(false));
    EXPECT_EQ(list(), u"layout_0=A\nlayout_1=B\nlayout_2=C\n");
    // The file is replaced in one step: nothing but the list is left in the folder.
    size_t files = 0;
    for (auto& entry : std::filesystem::directory_iterator(device.hostPath(kDir)))
        files += entry.path().filename().string().find("layouts.ini") != std::string::npos;
    EXPECT_EQ(files, 1u);

    // A store that says what the list says already leaves the file alone: each press of the
    // "layout" key stores, and a rewrite waits for the disk.
    struct stat first {}, again {};
    ASSERT_EQ(stat(device.hostPath(kDir + u"layouts.ini").c_str(), &first), 0);
    EXPECT_TRUE(selection.store(false));
    ASSERT_EQ(stat(device.hostPath(kDir + u"layouts.ini").c_str(), &again), 0);
    EXPECT_EQ(again.st_ino, first.st_ino);
    EXPECT_EQ(list(), u"layout_0=A\nlayout_1=B\nlayout_2=C\n");
}

TEST_F(Layouts, VirtualKeysFromTheLayoutFileThenTheSharedOne)
{
    putLayout(u"english", kThreeRows);
    putLayout(u"deutch", kThreeRows);
    put(u"virtual_keys\\vk_keys.ini", u"q q\na A\n, 188\nz Z\nbig 7\n- 300\n+ -5\n. 190 \n");
    put(u"virtual_keys\\vk_deutch.txt", u"z Y\ny Z\n");
    putList(u"layout_0=english\nlayout_1=deutch\n");
    LayoutSelection selection;
    EXPECT_EQ(selection.virtual_key(u'q'), 81);
    EXPECT_EQ(selection.virtual_key(u'Q'), 81);
    EXPECT_EQ(selection.virtual_key(u'a'), 65);
    EXPECT_EQ(selection.virtual_key(u','), 188);
    EXPECT_EQ(selection.virtual_key(u'.'), 190);
    EXPECT_EQ(selection.virtual_key(u'z'), 90);
    EXPECT_EQ(selection.virtual_key(u'ж'), 0);
    EXPECT_EQ(selection.virtual_key(u'-'), 0); // beyond one byte
    EXPECT_EQ(selection.virtual_key(u'+'), 0); // negative
    selection.set_current(u"deutch");
    EXPECT_EQ(selection.virtual_key(u'z'), 89);
    EXPECT_EQ(selection.virtual_key(u'y'), 90);
    EXPECT_EQ(selection.virtual_key(u'a'), 65);
}

TEST(WideCase, LettersOfTheShippedLayouts)
{
    EXPECT_EQ(Utf8FromUtf16(WideUpper(u"äöüéèàçßÿ")), "ÄÖÜÉÈÀÇßŸ");
    EXPECT_EQ(Utf8FromUtf16(WideUpper(u"йцукенгшщзхъёфывапролджэячсмитьбю")), "ЙЦУКЕНГШЩЗХЪЁФЫВАПРОЛДЖЭЯЧСМИТЬБЮ");
    EXPECT_EQ(Utf8FromUtf16(WideLower(u"ЙЁÄÉŸĄĹŁŽΑΣ")), "йёäéÿąĺłžασ");
    EXPECT_EQ(Utf8FromUtf16(WideUpper(u"ąĺłžας1,.@")), "ĄĹŁŽΑΣ1,.@");
}

} // namespace
