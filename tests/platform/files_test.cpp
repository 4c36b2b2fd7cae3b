#include "tests/support/DeviceRoot.h"
#include "linux/files/host_io.h"

#include <shellapi.h>
#include <simhost.h>
#include <winbase.h>

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <set>
#include <string>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace {

using Files = DeviceRootTest;

std::vector<std::u16string> find(const std::u16string& pattern)
{
    std::vector<std::u16string> names;
    WIN32_FIND_DATA data;
    HANDLE search = FindFirstFile(pattern.c_str(), &data);
    if (search == INVALID_HANDLE_VALUE)
        return names;
    do
        names.emplace_back(data.cFileName);
    while (FindNextFile(search, &data));
    EXPECT_EQ(GetLastError(), DWORD(ERROR_NO_MORE_FILES));
    EXPECT_TRUE(FindClose(search));
    return names;
}

TEST_F(Files, DevicePathsMapIntoTheRootIgnoringCase)
{
    device.writeFile(u"\\Program Files\\Tarn\\Magnikeys\\settings.txt", "x");
    char host[1024];
    ASSERT_TRUE(SimHostPath(u"\\PROGRAM FILES\\tarn/MAGNIKEYS\\Settings.TXT", host, sizeof host));
    EXPECT_EQ(std::string(host), device.hostRoot() + "/Program Files/Tarn/Magnikeys/settings.txt");
    // Beyond ASCII too; and a name is not taken for a longer one that begins like it.
    device.writeFile(u"\\Temp\\Ärger Мир.txt", "x");
    device.writeFile(u"\\Temp\\Ab.txt.new", "x");
    ASSERT_TRUE(SimHostPath(u"\\temp\\äRGER мИР.TXT", host, sizeof host));
    EXPECT_EQ(std::string(host), device.hostRoot() + "/Temp/Ärger Мир.txt");
    ASSERT_TRUE(SimHostPath(u"\\TEMP\\AB.TXT", host, sizeof host));
    EXPECT_EQ(std::string(host), device.hostRoot() + "/Temp/AB.TXT");
    // Names that do not exist yet keep their case, so that a new file is named as written.
    ASSERT_TRUE(SimHostPath(u"\\program files\\Tarn\\New Folder\\A.txt", host, sizeof host));
    EXPECT_EQ(std::string(host), device.hostRoot() + "/Program Files/Tarn/New Folder/A.txt");
    // ".." never leaves the root.
    ASSERT_TRUE(SimHostPath(u"\\..\\..\\Windows", host, sizeof host));
    EXPECT_EQ(std::string(host), device.hostRoot() + "/Windows");
    EXPECT_FALSE(SimHostPath(u"relative\\x", host, sizeof host));
    EXPECT_FALSE(SimHostPath(u"\\x", host, 4)) << "a host path that does not fit";

    WCHAR back[MAX_PATH];
    ASSERT_TRUE(SimDevicePath((device.hostRoot() + "/Program Files/Tarn").c_str(), back, MAX_PATH));
    EXPECT_EQ(std::u16string(back), u"\\Program Files\\Tarn");
    EXPECT_FALSE(SimDevicePath("/etc/passwd", back, MAX_PATH));

    for (auto folder : { u"\\Windows", u"\\Windows\\StartUp", u"\\Windows\\Start Menu\\Programs", u"\\My Documents",
             u"\\Program Files", u"\\Temp" })
        EXPECT_EQ(GetFileAttributes(folder), DWORD(FILE_ATTRIBUTE_DIRECTORY)) << "standard folder missing";
}

TEST_F(Files, SearchMatchesPatternsWithoutRegardToCase)
{
    for (auto name : { u"\\Program Files\\L\\English.txt", u"\\Program Files\\L\\russian.TXT", u"\\Program Files\\L\\layouts.ini",
             u"\\Program Files\\L\\readme", u"\\Program Files\\L\\a.txt.bak", u"\\Program Files\\L\\sub\\x.txt" })
        device.writeFile(name, "1");

    using V = std::vector<std::u16string>;
    EXPECT_EQ(find(u"\\Program Files\\L\\*.txt"), (V { u"English.txt", u"russian.TXT" }));
    EXPECT_EQ(find(u"\\program files\\l\\*.TXT"), (V { u"English.txt", u"russian.TXT" }));
    EXPECT_EQ(find(u"\\Program Files\\L\\*"), (V { u"a.txt.bak", u"English.txt", u"layouts.ini", u"readme", u"russian.TXT", u"sub" }));
    EXPECT_EQ(find(u"\\Program Files\\L\\*.*"), find(u"\\Program Files\\L\\*")) << "*.* also matches names without a dot";
    EXPECT_EQ(find(u"\\Program Files\\L\\?ub"), (V { u"sub" }));
    EXPECT_EQ(find(u"\\Program Files\\L\\LAYOUTS.INI"), (V { u"layouts.ini" }));
    EXPECT_EQ(find(u"/Program Files/L/*s.i*"), (V { u"layouts.ini" }));

    WIN32_FIND_DATA data;
    EXPECT_EQ(FindFirstFile(u"\\Program Files\\L\\*.lng", &data), INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), DWORD(ERROR_FILE_NOT_FOUND));
    EXPECT_EQ(FindFirstFile(u"\\Nowhere\\*", &data), INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), DWORD(ERROR_PATH_NOT_FOUND));

    HANDLE search = FindFirstFile(u"\\Program Files\\L\\English.txt", &data);
    ASSERT_NE(search, INVALID_HANDLE_VALUE);
    EXPECT_EQ(data.nFileSizeLow, 1u);
    EXPECT_EQ(data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY, 0u);
    EXPECT_NE(data.ftLastWriteTime.dwHighDateTime, 0u);
    FindClose(search);
    EXPECT_FALSE(FindClose(search));

    // The host's own entries (the registry hive) are not part of the device.
    for (const auto& name : find(u"\\*"))
        EXPECT_NE(name.substr(0, 10), u".pocketsim");
    EXPECT_EQ(GetFileAttributes(u"\\.pocketsim"), INVALID_FILE_ATTRIBUTES);
}

TEST_F(Files, AttributesReadOnlyFolderAndStorageCard)
{
    device.writeFile(u"\\My Documents\\a.txt", "abc");
    EXPECT_EQ(GetFileAttributes(u"\\my documents\\A.TXT"), DWORD(FILE_ATTRIBUTE_ARCHIVE));
    ASSERT_TRUE(SetFileAttributes(u"\\My Documents\\a.txt", FILE_ATTRIBUTE_READONLY));
    EXPECT_EQ(GetFileAttributes(u"\\My Documents\\a.txt"), DWORD(FILE_ATTRIBUTE_ARCHIVE | FILE_ATTRIBUTE_READONLY));
    EXPECT_FALSE(DeleteFile(u"\\My Documents\\a.txt"));
    EXPECT_EQ(GetLastError(), DWORD(ERROR_ACCESS_DENIED));
    EXPECT_EQ(CreateFile(u"\\My Documents\\a.txt", GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr), INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), DWORD(ERROR_ACCESS_DENIED));
    ASSERT_TRUE(SetFileAttributes(u"\\My Documents\\a.txt", FILE_ATTRIBUTE_NORMAL));
    EXPECT_TRUE(DeleteFile(u"\\My Documents\\a.txt"));

    EXPECT_EQ(GetFileAttributes(u"\\My Documents\\a.txt"), INVALID_FILE_ATTRIBUTES);
    EXPECT_EQ(GetLastError(), DWORD(ERROR_FILE_NOT_FOUND));
    EXPECT_EQ(GetFileAttributes(u"\\No Folder\\a.txt"), INVALID_FILE_ATTRIBUTES);
    EXPECT_EQ(GetLastError(), DWORD(ERROR_PATH_NOT_FOUND));

    ASSERT_TRUE(SimMakeStorageCard(u"Storage Card"));
    EXPECT_EQ(GetFileAttributes(u"\\storage card"), DWORD(FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_TEMPORARY));
    EXPECT_TRUE(find(u"\\Storage Card\\*").empty()) << "the card's mark is not a device file";
    // Only a folder at the root can be a card.
    std::filesystem::create_directories(device.hostPath(u"\\Temp\\Inner"));
    std::ofstream(device.hostRoot() + "/Temp/Inner/.pocketsim-card").put('x');
    EXPECT_EQ(GetFileAttributes(u"\\Temp\\Inner"), DWORD(FILE_ATTRIBUTE_DIRECTORY));
    EXPECT_FALSE(SimMakeStorageCard(u"Temp\\Inner"));
}

TEST_F(Files, FoldersCopyMoveAndReplace)
{
    EXPECT_TRUE(CreateDirectory(u"\\Program Files\\Tarn", nullptr));
    EXPECT_FALSE(CreateDirectory(u"\\PROGRAM FILES\\tarn", nullptr));
    EXPECT_EQ(GetLastError(), DWORD(ERROR_ALREADY_EXISTS));
    EXPECT_FALSE(CreateDirectory(u"\\Missing\\Tarn", nullptr));
    EXPECT_EQ(GetLastError(), DWORD(ERROR_PATH_NOT_FOUND));

    device.writeFile(u"\\Program Files\\Tarn\\mk_select.exe", "selector");
    EXPECT_TRUE(CopyFile(u"\\Program Files\\Tarn\\MK_SELECT.EXE", u"\\Windows\\StartUp\\mk_select.exe", TRUE));
    EXPECT_EQ(device.readFile(u"\\Windows\\StartUp\\mk_select.exe"), "selector");
    device.writeFile(u"\\Program Files\\Tarn\\mk_select.exe", "newer");
    EXPECT_FALSE(CopyFile(u"\\Program Files\\Tarn\\mk_select.exe", u"\\Windows\\StartUp\\mk_select.exe", TRUE));
    EXPECT_EQ(GetLastError(), DWORD(ERROR_FILE_EXISTS));
    EXPECT_TRUE(CopyFile(u"\\Program Files\\Tarn\\mk_select.exe", u"\\Windows\\StartUp\\mk_select.exe", FALSE));
    EXPECT_EQ(device.readFile(u"\\Windows\\StartUp\\mk_select.exe"), "newer");
    EXPECT_FALSE(CopyFile(u"\\Program Files\\Tarn\\none.exe", u"\\Windows\\x.exe", FALSE));
    EXPECT_EQ(GetLastError(), DWORD(ERROR_FILE_NOT_FOUND));
    EXPECT_FALSE(RemoveDirectory(u"\\Program Files\\Tarn"));
    EXPECT_EQ(GetLastError(), DWORD(ERROR_DIR_NOT_EMPTY));

    EXPECT_TRUE(MoveFile(u"\\Windows\\StartUp\\mk_select.exe", u"\\Temp\\moved.exe"));
    EXPECT_FALSE(device.exists(u"\\Windows\\StartUp\\mk_select.exe"));
    EXPECT_FALSE(MoveFile(u"\\Temp\\moved.exe", u"\\Program Files\\Tarn\\mk_select.exe"));
    EXPECT_EQ(GetLastError(), DWORD(ERROR_ALREADY_EXISTS));
    EXPECT_TRUE(MoveFile(u"\\Temp\\moved.exe", u"\\Temp\\MOVED.exe")) << "a change of case only";
    EXPECT_EQ(find(u"\\Temp\\*.exe"), std::vector<std::u16string> { u"MOVED.exe" });

    EXPECT_TRUE(DeleteAndRenameFile(u"\\Program Files\\Tarn\\mk_select.exe", u"\\Temp\\moved.exe"));
    EXPECT_EQ(device.readFile(u"\\Program Files\\Tarn\\mk_select.exe"), "newer");
    EXPECT_FALSE(device.exists(u"\\Temp\\MOVED.exe"));
    EXPECT_FALSE(DeleteAndRenameFile(u"\\Program Files\\Tarn\\none.exe", u"\\Program Files\\Tarn\\mk_select.exe"));
    EXPECT_EQ(GetLastError(), DWORD(ERROR_FILE_NOT_FOUND));
}

TEST_F(Files, ReadWriteSeekAndCreationModes)
{
    const char16_t* path = u"\\Temp\\data.bin";
    HANDLE file = CreateFile(path, GENERIC_READ | GENERIC_WRITE, 0, nullptr, CREATE_NEW, 0, nullptr);
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    DWORD done = 0;
    ASSERT_TRUE(WriteFile(file, "hello world", 11, &done, nullptr));
    EXPECT_EQ(done, 11u);
    EXPECT_EQ(GetFileSize(file, nullptr), 11u);
    EXPECT_EQ(SetFilePointer(file, 6, nullptr, FILE_BEGIN), 6u);
    char buffer[16] = {};
    ASSERT_TRUE(ReadFile(file, buffer, sizeof buffer, &done, nullptr));
    EXPECT_EQ(std::string(buffer, done), "world");
    ASSERT_TRUE(ReadFile(file, buffer, sizeof buffer, &done, nullptr));
    EXPECT_EQ(done, 0u) << "end of file is success with nothing read";
    EXPECT_EQ(SetFilePointer(file, -6, nullptr, FILE_END), 5u);
    EXPECT_TRUE(SetEndOfFile(file));
    EXPECT_TRUE(CloseHandle(file));
    EXPECT_FALSE(CloseHandle(file));
    EXPECT_FALSE(ReadFile(file, buffer, 1, &done, nullptr));
    EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_HANDLE));
    EXPECT_EQ(device.readFile(path), "hello");

    EXPECT_EQ(CreateFile(path, GENERIC_WRITE, 0, nullptr, CREATE_NEW, 0, nullptr), INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), DWORD(ERROR_FILE_EXISTS));
    file = CreateFile(u"\\TEMP\\DATA.BIN", GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), DWORD(ERROR_ALREADY_EXISTS));
    CloseHandle(file);
    EXPECT_EQ(device.readFile(path), "");
    EXPECT_EQ(CreateFile(u"\\Temp\\none", GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr), INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), DWORD(ERROR_FILE_NOT_FOUND));
    EXPECT_EQ(CreateFile(u"\\Temp", GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr), INVALID_HANDLE_VALUE);
    EXPECT_EQ(CreateFile(u"\\Nowhere\\x", GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr), INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), DWORD(ERROR_PATH_NOT_FOUND));
}

TEST_F(Files, SpecialFolders)
{
    WCHAR path[MAX_PATH];
    struct Expected {
        int csidl;
        const char16_t* path;
    };
    for (auto [csidl, expected] : { Expected { CSIDL_PROGRAMS, u"\\Windows\\Start Menu\\Programs" },
             Expected { CSIDL_PERSONAL, u"\\My Documents" }, Expected { CSIDL_STARTUP, u"\\Windows\\StartUp" },
             Expected { CSIDL_STARTMENU, u"\\Windows\\Start Menu" }, Expected { CSIDL_WINDOWS, u"\\Windows" },
             Expected { CSIDL_PROGRAM_FILES, u"\\Program Files" } }) {
        ASSERT_TRUE(SHGetSpecialFolderPath(nullptr, path, csidl, FALSE));
        EXPECT_EQ(std::u16string(path), expected);
    }
    EXPECT_FALSE(SHGetSpecialFolderPath(nullptr, path, 0x7f, FALSE));

    SimSetSpecialFolder(CSIDL_PERSONAL, u"\\Storage Card\\My Documents");
    EXPECT_TRUE(SHGetSpecialFolderPath(nullptr, path, CSIDL_PERSONAL, TRUE));
    EXPECT_EQ(std::u16string(path), u"\\Storage Card\\My Documents");
    SimSetSpecialFolder(CSIDL_STARTUP, nullptr);
    EXPECT_FALSE(SHGetSpecialFolderPath(nullptr, path, CSIDL_STARTUP, FALSE));
}

// The host's small state files (window lists, the panel's state) are rewritten in place while
// other programs read them: a reader sees one whole version or the other, never a mix or a
// cut, and the file stays the same file.
TEST_F(Files, ASharedStateFileIsReadWholeWhileAnotherProcessRewritesIt)
{
    const std::string path = device.hostRoot() + "/shared.state";
    const std::string longer(3000, 'L'), shorter = "short\n";
    ASSERT_TRUE(sim::writeSharedFile(path, longer));
    struct stat before {};
    ASSERT_EQ(stat(path.c_str(), &before), 0);
    pid_t child = fork();
    if (child == 0) {
        for (int i = 0; i < 4000; ++i)
            if (!sim::writeSharedFile(path, i % 2 ? longer : shorter))
                _exit(1);
        _exit(0);
    }
    int reads = 0, mixed = 0, status = 0;
    for (; waitpid(child, &status, WNOHANG) == 0; ++reads) {
        std::optional<std::string> bytes = sim::readSharedFile(path);
        mixed += !bytes || (*bytes != longer && *bytes != shorter);
    }
    EXPECT_EQ(status, 0);
    EXPECT_GT(reads, 0);
    EXPECT_EQ(mixed, 0) << "of " << reads << " reads";
    struct stat after {};
    ASSERT_EQ(stat(path.c_str(), &after), 0);
    EXPECT_EQ(after.st_ino, before.st_ino);
    EXPECT_EQ(sim::readSharedFile(path), longer) << "the last version written";
    EXPECT_FALSE(sim::readSharedFile(device.hostRoot() + "/missing.state"));

    // A reader stopped while it holds the file (a debugger) holds up a write for a moment only.
    int stuck = open(path.c_str(), O_RDONLY | O_CLOEXEC);
    ASSERT_GE(stuck, 0);
    ASSERT_EQ(flock(stuck, LOCK_SH), 0);
    const auto start = std::chrono::steady_clock::now();
    EXPECT_TRUE(sim::writeSharedFile(path, shorter));
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(2));
    close(stuck);
    EXPECT_EQ(sim::readSharedFile(path), shorter);
}

}
