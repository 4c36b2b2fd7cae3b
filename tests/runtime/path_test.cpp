#include "runtime/Execute.h"
#include "runtime/Log.h"
#include "runtime/Path.h"
#include "runtime/Registry.h"
#include "tests/support/DeviceRoot.h"

#include <shellapi.h>
#include <simhost.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <thread>

namespace {

// The program file is known once per process, before anything expands a path.
const bool g_program = (SimSetModulePath(u"\\Program Files\\Tarn\\Magnikeys\\optarix.exe"), true);

using PathMacros = DeviceRootTest;

TEST_F(PathMacros, ExpandAtTheStartOnly)
{
    ASSERT_TRUE(g_program);
    EXPECT_EQ(ExpandPath(u"%program_files%/Tarn/Magnikeys/settings.txt"), u"\\Program Files\\Tarn\\Magnikeys\\settings.txt");
    EXPECT_EQ(ExpandPath(u"%app_path%"), u"\\Program Files\\Tarn\\Magnikeys");
    EXPECT_EQ(ExpandPath(u"%app_path%/"), u"\\Program Files\\Tarn\\Magnikeys\\");
    EXPECT_EQ(ExpandPath(u"%app_name%.txt"), u"optarix.exe.txt");
    EXPECT_EQ(ExpandPath(u"%app_full_name%"), u"\\Program Files\\Tarn\\Magnikeys\\optarix.exe");
    EXPECT_EQ(ExpandPath(u"/x/%app_path%/y"), u"\\x\\%app_path%\\y");
    EXPECT_EQ(ExpandPath(u"%unknown%/a/b"), u"%unknown%\\a\\b");
    EXPECT_EQ(ExpandPath(u"%my_documents%/a"), u"\\My Documents\\a");
    EXPECT_EQ(ExpandPath(u"%windows%"), u"\\Windows");
    EXPECT_EQ(ExpandPath(u"%startup%/mk_select.exe"), u"\\Windows\\StartUp\\mk_select.exe");
    EXPECT_EQ(ExpandPath(u"%programs%"), u"\\Windows\\Start Menu\\Programs");
    EXPECT_EQ(ExpandPath(u"%start_menu%/"), u"\\Windows\\Start Menu\\");
    EXPECT_EQ(ExpandPath(u""), u"");
    EXPECT_EQ(AppPath(), u"\\Program Files\\Tarn\\Magnikeys");
    EXPECT_EQ(AppName(), u"optarix.exe");

    // The platform cannot tell the folder: empty, and the rest still follows.
    SimSetSpecialFolder(CSIDL_STARTUP, nullptr);
    EXPECT_EQ(ExpandPath(u"%startup%/mk_select.exe"), u"\\mk_select.exe");
    // Special folders are asked at every expansion.
    SimSetSpecialFolder(CSIDL_PERSONAL, u"\\Storage Card\\Docs");
    EXPECT_EQ(ExpandPath(u"%my_documents%/a"), u"\\Storage Card\\Docs\\a");
}

TEST(ProgramFilePath, LongerThanTheBufferIsAFatalReport)
{
    // A fresh process that has not asked for its program file yet; it runs this test's body
    // again, so the device root is a fixed folder both processes know.
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    std::string root = ::testing::TempDir() + "mk-long-program-path";
    std::u16string longPath;
    for (int i = 0; i < 6; ++i)
        longPath += u"\\" + std::u16string(200, u'a');
    longPath += u"\\x.exe";
    EXPECT_EXIT(
        {
            std::filesystem::remove_all(root);
            SimSetDeviceRoot(root.c_str());
            RegWriteNumber(u"HKEY_CURRENT_USER\\Software\\Tarn", u"Log", 1);
            SimSetModulePath(longPath.c_str());
            ExpandPath(u"%app_path%");
        },
        ::testing::ExitedWithCode(1), "");
    GTEST_FLAG_SET(death_test_style, "fast");

    // The name is cut with the path: 1023 characters hold five folders and 17 letters more.
    std::ifstream log(root + "/Temp/" + std::string(17, 'a') + ".txt", std::ios::binary);
    std::string bytes((std::istreambuf_iterator<char>(log)), std::istreambuf_iterator<char>());
    std::string expected = "\xFF\xFE";
    for (char c : std::string("Snag: path is more then MAX_PATH long @ get_app_path()\n"))
        expected += std::string { c, '\0' };
    EXPECT_EQ(bytes, expected);
    std::filesystem::remove_all(root);
}

TEST(PathHelpers, SplitJoinAndCompare)
{
    EXPECT_EQ(FolderOf(u"\\a\\b/c.txt"), u"\\a\\b/");
    EXPECT_EQ(FolderOf(u"c.txt"), u"");
    EXPECT_EQ(FileNameOf(u"\\a/b\\c.txt"), u"c.txt");
    EXPECT_EQ(FileNameOf(u"c.txt"), u"c.txt");
    EXPECT_EQ(FileNameOf(u"\\a\\"), u"");
    EXPECT_EQ(StripSeparator(u"\\a\\"), u"\\a");
    EXPECT_EQ(StripSeparator(u"\\a//"), u"\\a/");
    EXPECT_EQ(StripSeparator(u""), u"");
    EXPECT_EQ(JoinPath(u"", u"x"), u"x");
    EXPECT_EQ(JoinPath(u"\\a\\", u"x"), u"\\a\\x");
    EXPECT_EQ(JoinPath(u"%app_path%", u"x"), u"%app_path%\\x");
    EXPECT_TRUE(SamePath(u"%program_files%/Tarn/", u"\\PROGRAM FILES\\tarn"));
    EXPECT_TRUE(SamePath(u"\\Мои\\", u"\\мои"));
    // Every letter pair the device's file system takes as one name.
    EXPECT_TRUE(SamePath(u"\\ΑΛΦΑ\\Łódź Œuvre", u"\\αλφα\\łÓDŹ œUVRE"));
    EXPECT_FALSE(SamePath(u"\\ı", u"\\I")) << "dotless i has no capital of its own here";
    EXPECT_FALSE(SamePath(u"\\a\\b", u"\\a\\c"));
}

struct Recorder : FolderVisitor {
    std::vector<std::u16string> seen;
    size_t stopAfter = 1000;
    bool file_found(const std::u16string& path) override
    {
        seen.push_back(u"file " + path);
        return seen.size() < stopAfter;
    }
    bool folder_found(const std::u16string& path) override
    {
        seen.push_back(u"folder " + path);
        return seen.size() < stopAfter;
    }
};

TEST_F(PathMacros, WalkFolderFilesFirstThenFolders)
{
    for (auto name : { u"\\Program Files\\Tarn\\Magnikeys\\layouts\\english.txt", u"\\Program Files\\Tarn\\Magnikeys\\layouts\\russian.txt",
             u"\\Program Files\\Tarn\\Magnikeys\\layouts\\layouts.ini", u"\\Program Files\\Tarn\\Magnikeys\\layouts\\virtual_keys\\vk.txt",
             u"\\Program Files\\Tarn\\Magnikeys\\layouts\\virtual_keys\\deep\\d.txt" })
        device.writeFile(name, "x");

    Recorder all;
    EXPECT_TRUE(WalkFolder(all, u"%app_path%/layouts", u"*.txt", u"*", true));
    EXPECT_EQ(all.seen, (std::vector<std::u16string> { u"file %app_path%/layouts\\english.txt", u"file %app_path%/layouts\\russian.txt",
                            u"folder %app_path%/layouts\\virtual_keys", u"file %app_path%/layouts\\virtual_keys\\vk.txt",
                            u"folder %app_path%/layouts\\virtual_keys\\deep", u"file %app_path%/layouts\\virtual_keys\\deep\\d.txt" }));

    Recorder flat;
    WalkFolder(flat, u"%app_path%/layouts/", u"*.ini", u"*", false);
    EXPECT_EQ(flat.seen, (std::vector<std::u16string> { u"file %app_path%/layouts\\layouts.ini", u"folder %app_path%/layouts\\virtual_keys" }));

    Recorder stopped;
    stopped.stopAfter = 3;
    EXPECT_TRUE(WalkFolder(stopped, u"%app_path%/layouts", u"*.txt", u"*", true));
    EXPECT_EQ(stopped.seen.size(), 3u) << "a visitor's false stops the whole walk, nested folders too";

    Recorder none;
    EXPECT_TRUE(WalkFolder(none, u"%app_path%/missing", u"*.txt", u"*", true));
    EXPECT_TRUE(none.seen.empty());
}

TEST_F(PathMacros, WalkFolderWithoutAFolderWalksTheRoot)
{
    // A program installed in the root has an empty "%app_path%": its language files are there.
    device.writeFile(u"\\english.lng", "x");
    device.writeFile(u"\\Temp\\other.lng", "x");
    Recorder root;
    EXPECT_TRUE(WalkFolder(root, u"", u"*.lng", u"do_not_search", false));
    EXPECT_EQ(root.seen, (std::vector<std::u16string> { u"file \\english.lng" }));

    Recorder deep;
    WalkFolder(deep, u"", u"*.lng", u"Temp", true);
    EXPECT_EQ(deep.seen, (std::vector<std::u16string> { u"file \\english.lng", u"folder \\Temp", u"file \\Temp\\other.lng" }));
}

TEST_F(PathMacros, FindDrivesSkipsTheCardHoldingTheDocuments)
{
    ASSERT_TRUE(SimMakeStorageCard(u"SD"));
    ASSERT_TRUE(SimMakeStorageCard(u"SDCard"));
    ASSERT_TRUE(SimMakeStorageCard(u"Storage Card"));
    std::filesystem::create_directories(device.hostPath(u"\\Plain Folder"));

    Recorder cards;
    FindDrives(cards);
    EXPECT_EQ(cards.seen, (std::vector<std::u16string> { u"folder \\SD", u"folder \\SDCard", u"folder \\Storage Card" }));

    SimSetSpecialFolder(CSIDL_PERSONAL, u"\\sdcard\\My Documents");
    Recorder withDocuments;
    FindDrives(withDocuments);
    EXPECT_EQ(withDocuments.seen, (std::vector<std::u16string> { u"folder \\SD", u"folder \\Storage Card" }));

    // The file system ignores case beyond Latin too: the documents on "\ΚΑΡΤΑ" are on that card.
    ASSERT_TRUE(SimMakeStorageCard(u"ΚΑΡΤΑ"));
    SimSetSpecialFolder(CSIDL_PERSONAL, u"\\καρτα\\My Documents");
    Recorder greek;
    FindDrives(greek);
    EXPECT_EQ(greek.seen, (std::vector<std::u16string> { u"folder \\SD", u"folder \\SDCard", u"folder \\Storage Card" }));

    Recorder first;
    first.stopAfter = 1;
    FindDrives(first);
    EXPECT_EQ(first.seen.size(), 1u);
}

TEST_F(PathMacros, ExecuteFileStartsTheProgramAndLogsIt)
{
    const std::u16string program = u"\\Program Files\\Tarn\\Magnikeys\\optarix.exe";
    // The mark is written aside and moved into place, so a mark seen is complete.
    device.writeFile(program, "#!/bin/sh\nprintf '%s' \"$1\" > \"$POCKETSIM_ROOT/Temp/args.txt.part\" && mv \"$POCKETSIM_ROOT/Temp/args.txt.part\" \"$POCKETSIM_ROOT/Temp/args.txt\"\n");
    std::filesystem::permissions(device.hostPath(program), std::filesystem::perms::owner_exec, std::filesystem::perm_options::add);
    ASSERT_TRUE(RegWriteNumber(u"HKEY_CURRENT_USER\\Software\\Tarn", u"Log", 1));

    EXPECT_TRUE(ExecuteFile(u"%app_path%/optarix.exe", u"settings"));
    EXPECT_FALSE(ExecuteFile(u"%app_path%/missing.exe", u""));
    for (int i = 0; i < 500 && !device.exists(u"\\Temp\\args.txt"); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    EXPECT_EQ(device.readFile(u"\\Temp\\args.txt"), "settings");

    Log().flush();
    auto log = device.readFile(u"\\Temp\\optarix.exe.txt");
    ASSERT_TRUE(log);
    std::u16string text;
    for (size_t i = 2; i + 1 < log->size(); i += 2)
        text.push_back(char16_t(uint8_t((*log)[i]) | uint8_t((*log)[i + 1]) << 8));
    EXPECT_EQ(text, u"execute_file(\\Program Files\\Tarn\\Magnikeys\\optarix.exe} {settings)\n"
                    u"execute_file(\\Program Files\\Tarn\\Magnikeys\\missing.exe} {)\n");
    RegWriteNumber(u"HKEY_CURRENT_USER\\Software\\Tarn", u"Log", 0);
    Log();
}

}
