#include "runtime/TextFile.h"
#include "tests/support/DeviceRoot.h"

#include <winbase.h>

#include <gtest/gtest.h>

#include <csignal>
#include <cstring>
#include <sys/wait.h>
#include <unistd.h>

namespace {

using TextFiles = DeviceRootTest;

TEST_F(TextFiles, ReadsUtf16WithMarkElseOneCharacterPerByte)
{
    device.writeFile(u"\\Temp\\wide.txt", std::string("\xFF\xFE" "a\0\x04\x04\r\0\n\0", 10));
    EXPECT_EQ(ReadTextFile(u"\\Temp\\wide.txt"), std::u16string(u"a\u0404\r\n"));
    device.writeFile(u"\\Temp\\odd.txt", std::string("\xFF\xFE" "a\0b", 5));
    EXPECT_EQ(ReadTextFile(u"\\Temp\\odd.txt"), std::u16string(u"a")) << "half a character is dropped";

    // Bytes above 0x7F are Latin-1 characters, not U+FF80 and up.
    device.writeFile(u"\\Temp\\narrow.txt", "zoom_scale 2\r\nna\xEFve\xFF\x80");
    EXPECT_EQ(ReadTextFile(u"/temp/NARROW.txt"), std::u16string(u"zoom_scale 2\r\nna\u00EFve\u00FF\u0080"));

    device.writeFile(u"\\Temp\\empty.txt", "");
    EXPECT_EQ(ReadTextFile(u"\\Temp\\empty.txt"), std::u16string());
    device.writeFile(u"\\Temp\\mark.txt", "\xFF\xFE");
    EXPECT_EQ(ReadTextFile(u"\\Temp\\mark.txt"), std::u16string());
    device.writeFile(u"\\Temp\\ff.txt", "\xFF");
    EXPECT_EQ(ReadTextFile(u"\\Temp\\ff.txt"), std::u16string(u"\u00FF"));
    EXPECT_EQ(ReadTextFile(u"\\Temp\\missing.txt"), std::nullopt);
    EXPECT_EQ(ReadTextFile(u"\\Temp"), std::nullopt);
}

TEST_F(TextFiles, WholeFileIsReplacedNeverTruncatedInPlace)
{
    EXPECT_TRUE(WriteWholeFile(u"%program_files%/new.txt", Utf16FileBytes(u"first\n")));
    EXPECT_EQ(device.readFile(u"\\Program Files\\new.txt"), std::string("\xFF\xFE" "f\0i\0r\0s\0t\0\n\0", 14));
    EXPECT_TRUE(WriteWholeFile(u"%program_files%/new.txt", "second"));
    EXPECT_EQ(device.readFile(u"\\Program Files\\new.txt"), "second");

    SetFileAttributes(u"\\Program Files\\new.txt", FILE_ATTRIBUTE_READONLY);
    EXPECT_FALSE(WriteWholeFile(u"%program_files%/new.txt", "third"));
    EXPECT_EQ(device.readFile(u"\\Program Files\\new.txt"), "second");
    EXPECT_FALSE(WriteWholeFile(u"%program_files%/missing/new.txt", "x"));

    // A reader in another process only ever sees one whole version.
    const std::string a(200000, 'a'), b(300000, 'b');
    WriteWholeFile(u"\\Temp\\busy.txt", a);
    pid_t writer = fork();
    if (writer == 0) {
        for (int i = 0; i < 200; ++i)
            WriteWholeFile(u"\\Temp\\busy.txt", i % 2 ? a : b);
        _exit(0);
    }
    int torn = 0;
    for (int i = 0; i < 400; ++i) {
        auto content = device.readFile(u"\\Temp\\busy.txt");
        if (!content || (*content != a && *content != b))
            ++torn;
    }
    int status = 0;
    waitpid(writer, &status, 0);
    EXPECT_EQ(status, 0);
    EXPECT_EQ(torn, 0);
    WIN32_FIND_DATA data;
    HANDLE leftovers = FindFirstFile(u"\\Temp\\*.new", &data);
    EXPECT_EQ(leftovers, INVALID_HANDLE_VALUE) << "no temporary files stay behind";
}

// A writer killed in the middle of its write leaves "<name>.<its id>.new" behind. The next
// writer of that file removes what programs that ended left, and nothing of a program that
// still runs (it may be writing) or of another file.
TEST_F(TextFiles, TheNextWriterRemovesWhatKilledWritersOfTheFileLeft)
{
    pid_t ended = fork();
    if (ended == 0)
        _exit(0);
    waitpid(ended, nullptr, 0);
    pid_t running = fork();
    if (running == 0) {
        pause();
        _exit(0);
    }
    auto leftover = [](const char* name, pid_t pid) {
        std::string digits = std::to_string(pid);
        return u"\\Temp\\" + std::u16string(name, name + std::strlen(name)) + u"." + std::u16string(digits.begin(), digits.end()) + u".new";
    };
    device.writeFile(leftover("shared.txt", ended), "half a");
    device.writeFile(leftover("SHARED.TXT", ended + 1000000), "half a"); // no such process either
    device.writeFile(leftover("shared.txt", running), "being written");
    device.writeFile(leftover("other.txt", ended), "half an other");
    device.writeFile(u"\\Temp\\shared.txt.notes.new", "not a writer's");

    EXPECT_TRUE(WriteWholeFile(u"\\Temp\\shared.txt", "whole"));
    EXPECT_EQ(device.readFile(u"\\Temp\\shared.txt"), "whole");
    EXPECT_FALSE(device.exists(leftover("shared.txt", ended)));
    EXPECT_FALSE(device.exists(leftover("SHARED.TXT", ended + 1000000)));
    EXPECT_TRUE(device.exists(leftover("shared.txt", running))) << "its writer still runs";
    EXPECT_TRUE(device.exists(leftover("other.txt", ended))) << "another file's, for its own next writer";
    EXPECT_TRUE(device.exists(u"\\Temp\\shared.txt.notes.new"));

    kill(running, SIGKILL);
    waitpid(running, nullptr, 0);
    EXPECT_TRUE(WriteWholeFile(u"\\Temp\\shared.txt", "again"));
    EXPECT_FALSE(device.exists(leftover("shared.txt", running)));
    EXPECT_TRUE(WriteWholeFile(u"\\Temp\\other.txt", "x"));
    EXPECT_FALSE(device.exists(leftover("other.txt", ended)));
}

// A read, change and write of a shared file under the lock is not interleaved with another
// program's: the second update waits for the first, and one file's lock leaves others free.
TEST_F(TextFiles, UpdateLockKeepsReadChangeWriteWhole)
{
    WriteWholeFile(u"\\Temp\\count.txt", "0");
    auto bump = [] {
        FileUpdateLock lock(u"\\Temp\\count.txt");
        EXPECT_TRUE(lock.held());
        auto text = ReadTextFile(u"\\Temp\\count.txt");
        int n = text ? std::stoi(std::string(text->begin(), text->end())) : -1000000;
        usleep(200);
        WriteWholeFile(u"\\Temp\\count.txt", std::to_string(n + 1));
    };
    pid_t other = fork();
    if (other == 0) {
        for (int i = 0; i < 150; ++i)
            bump();
        _exit(::testing::Test::HasFailure() ? 1 : 0);
    }
    for (int i = 0; i < 150; ++i)
        bump();
    int status = 0;
    waitpid(other, &status, 0);
    EXPECT_EQ(status, 0);
    EXPECT_EQ(device.readFile(u"\\Temp\\count.txt"), "300") << "no update lost";

    FileUpdateLock held(u"%program_files%/a.txt");
    ASSERT_TRUE(held.held());
    pid_t free = fork();
    if (free == 0) {
        FileUpdateLock elsewhere(u"%program_files%/b.txt");
        _exit(elsewhere.held() ? 0 : 1);
    }
    waitpid(free, &status, 0);
    EXPECT_EQ(status, 0);
}

}
