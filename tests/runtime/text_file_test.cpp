#include "runtime/TextFile.h"
#include "tests/support/DeviceRoot.h"

#include <winbase.h>

#include <gtest/gtest.h>

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
