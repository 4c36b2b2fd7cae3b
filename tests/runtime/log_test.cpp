#include "runtime/Log.h"
#include "runtime/Path.h"
#include "runtime/Registry.h"
#include "tests/support/DeviceRoot.h"

#include <gtest/gtest.h>

#include <atomic>
#include <filesystem>
#include <thread>
#include <sys/wait.h>
#include <unistd.h>

namespace {

const char16_t kTarn[] = u"HKEY_CURRENT_USER\\Software\\Tarn";

std::string utf16(std::u16string_view text)
{
    std::string bytes;
    for (char16_t c : text) {
        bytes.push_back(char(c & 0xFF));
        bytes.push_back(char(c >> 8));
    }
    return bytes;
}

struct LogSwitch : DeviceRootTest {
    std::u16string logFile() const { return u"\\Temp\\" + AppName() + u".txt"; }
    void TearDown() override
    {
        RegWriteNumber(kTarn, u"Log", 0);
        Log();
    }
};

TEST_F(LogSwitch, FollowsTheRegistryWhileRunning)
{
    Log().append(u"dropped\n");
    EXPECT_FALSE(device.exists(logFile())) << "the log is off while the value is missing";

    ASSERT_TRUE(RegWriteNumber(kTarn, u"Log", 1));
    Log().append(u"MyIInputMethod::Showing : ").append(42LL).append(u"\n");
    Log().append(-7).append(u" ünï\n");
    EXPECT_EQ(device.readFile(logFile()), "\xFF\xFE" + utf16(u"MyIInputMethod::Showing : 42\n-7 ünï\n"));

    // Another process turns it off: the next line closes the file and writes nothing.
    pid_t child = fork();
    if (child == 0)
        _exit(RegWriteNumber(kTarn, u"Log", 0) ? 0 : 1);
    int status = 0;
    waitpid(child, &status, 0);
    ASSERT_EQ(status, 0);
    Log().append(u"while off\n");
    EXPECT_EQ(device.readFile(logFile()), "\xFF\xFE" + utf16(u"MyIInputMethod::Showing : 42\n-7 ünï\n"));

    // On again: the file starts afresh.
    ASSERT_TRUE(RegWriteNumber(kTarn, u"Log", 2));
    Log().append(u"again\n");
    EXPECT_EQ(device.readFile(logFile()), "\xFF\xFE" + utf16(u"again\n"));
}

TEST_F(LogSwitch, SwitchingWhileOtherThreadsComposeLines)
{
    // One thread's Log() replaces the log while the others are in the middle of a line on
    // the one it handed out before.
    std::atomic<bool> stop { false };
    auto compose = [&] {
        while (!stop) {
            LogBase& log = Log();
            for (int piece = 0; piece < 200; ++piece)
                log.append(u"piece ").append(piece);
            log.append(u"\n");
        }
    };
    std::thread a(compose), b(compose);
    for (DWORD i = 0; i < 60; ++i) {
        RegWriteNumber(kTarn, u"Log", i % 2);
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    stop = true;
    a.join();
    b.join();

    ASSERT_TRUE(RegWriteNumber(kTarn, u"Log", 1));
    Log().append(u"after\n");
    auto text = device.readFile(logFile());
    ASSERT_TRUE(text);
    EXPECT_EQ(text->substr(0, 2), "\xFF\xFE");
    EXPECT_NE(text->find(utf16(u"after\n")), std::string::npos);
}

TEST_F(LogSwitch, APartialLineReachesTheFileAtOnceAndSurvivesACrash)
{
    ASSERT_TRUE(RegWriteNumber(kTarn, u"Log", 1));
    Log().append(u"kbApplication::process_key ").append(12);
    EXPECT_EQ(device.readFile(logFile()), "\xFF\xFE" + utf16(u"kbApplication::process_key 12"));

    // A program that dies in the middle of a line leaves what it had written of it.
    EXPECT_DEATH(
        {
            Log().append(u"\nabout to fail: ");
            std::abort();
        },
        "");
    EXPECT_EQ(device.readFile(logFile()), "\xFF\xFE" + utf16(u"kbApplication::process_key 12\nabout to fail: "));
}

TEST_F(LogSwitch, LogWithoutItsFolderDropsLines)
{
    ASSERT_TRUE(RegWriteNumber(kTarn, u"Log", 1));
    std::filesystem::remove_all(device.hostPath(u"\\Temp"));
    ASSERT_TRUE(RegWriteNumber(kTarn, u"Log", 3));
    Log().append(u"nowhere\n").flush();
    EXPECT_FALSE(device.exists(logFile()));
}

using FatalReport = LogSwitch;

TEST_F(FatalReport, LogsTheSnagAndEndsWithFailure)
{
    ASSERT_TRUE(RegWriteNumber(kTarn, u"Log", 1));
    Log().append(u"before\n");
    EXPECT_EXIT(Fatal(u"Singleton is already instantiated", u"Singleton::Singleton"), ::testing::ExitedWithCode(1), "");
    EXPECT_EQ(device.readFile(logFile()),
        "\xFF\xFE" + utf16(u"before\nSnag: Singleton is already instantiated @ Singleton::Singleton\n"));
}

TEST(FatalReportWithoutLog, StillEndsWithFailure)
{
    TempDeviceRoot device;
    EXPECT_EXIT(Fatal(u"x", u"y"), ::testing::ExitedWithCode(1), "");
}

}
