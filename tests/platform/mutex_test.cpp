#include "tests/support/DeviceRoot.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

using NamedMutex = DeviceRootTest;

TEST_F(NamedMutex, OneObjectPerNameAcrossTheProcessesOfADevice)
{
    int ready[2], go[2];
    ASSERT_EQ(pipe(ready), 0);
    ASSERT_EQ(pipe(go), 0);
    pid_t child = fork();
    if (child == 0) {
        // Another program of the device starts first and owns the name.
        HANDLE m = CreateMutex(nullptr, TRUE, u"ZazizurClass_Magnikeys");
        char c = m && GetLastError() == ERROR_SUCCESS ? 'y' : 'n';
        (void)!write(ready[1], &c, 1);
        (void)!read(go[0], &c, 1);
        ReleaseMutex(m);
        usleep(300 * 1000); // still open, no longer owned
        _exit(0);
    }
    char c = 0;
    ASSERT_EQ(read(ready[0], &c, 1), 1);
    ASSERT_EQ(c, 'y');

    HANDLE m = CreateMutex(nullptr, TRUE, u"zazizurclass_MAGNIKEYS");
    ASSERT_NE(m, nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ALREADY_EXISTS));
    EXPECT_EQ(WaitForSingleObject(m, 30), WAIT_TIMEOUT) << "initial ownership is not granted for an existing name";
    EXPECT_FALSE(ReleaseMutex(m));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_NOT_OWNER));

    (void)!write(go[1], "x", 1);
    EXPECT_EQ(WaitForSingleObject(m, 5000), WAIT_OBJECT_0);
    // Recursive for its owner, exclusive for other threads until fully released.
    EXPECT_EQ(WaitForSingleObject(m, 0), WAIT_OBJECT_0);
    DWORD other = 0;
    std::thread([&] { other = WaitForSingleObject(m, 20); }).join();
    EXPECT_EQ(other, WAIT_TIMEOUT);
    EXPECT_TRUE(ReleaseMutex(m));
    std::thread([&] { other = WaitForSingleObject(m, 20); }).join();
    EXPECT_EQ(other, WAIT_TIMEOUT);
    EXPECT_TRUE(ReleaseMutex(m));
    std::thread([&] {
        other = WaitForSingleObject(m, 20);
        ReleaseMutex(m);
    }).join();
    EXPECT_EQ(other, WAIT_OBJECT_0);
    EXPECT_TRUE(CloseHandle(m));
    int status = 0;
    waitpid(child, &status, 0);
    EXPECT_EQ(status, 0);
}

TEST_F(NamedMutex, AProcessThatEndsWhileOwningFreesTheName)
{
    pid_t child = fork();
    if (child == 0) {
        CreateMutex(nullptr, TRUE, u"held");
        _exit(0);
    }
    int status = 0;
    waitpid(child, &status, 0);
    HANDLE m = CreateMutex(nullptr, FALSE, u"held");
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_SUCCESS));
    EXPECT_EQ(WaitForSingleObject(m, 100), WAIT_OBJECT_0);
    ReleaseMutex(m);
    CloseHandle(m);
}

// A program waiting for a name that another program holds takes it as soon as that one lets go,
// not at its next look: the keyboard and the settings program take turns on the layout list
// many times a second.
TEST_F(NamedMutex, AnotherProcessWaitingTakesTheNameAtItsRelease)
{
    using Clock = std::chrono::steady_clock;
    constexpr int kRounds = 31;
    int go[2], held[2], released[2];
    ASSERT_EQ(pipe(go), 0);
    ASSERT_EQ(pipe(held), 0);
    ASSERT_EQ(pipe(released), 0);
    pid_t child = fork();
    if (child == 0) {
        HANDLE m = CreateMutex(nullptr, FALSE, u"FileUpdate turns");
        for (int i = 0; i < kRounds; ++i) {
            char c;
            if (read(go[0], &c, 1) != 1 || WaitForSingleObject(m, 5000) != WAIT_OBJECT_0)
                _exit(1);
            (void)!write(held[1], "h", 1);
            usleep(3000); // the other side is waiting by now
            const Clock::rep at = Clock::now().time_since_epoch().count();
            ReleaseMutex(m);
            (void)!write(released[1], &at, sizeof at);
        }
        _exit(0);
    }
    HANDLE m = CreateMutex(nullptr, FALSE, u"FileUpdate turns");
    ASSERT_NE(m, nullptr);
    std::vector<double> handover;
    for (int i = 0; i < kRounds; ++i) {
        char c;
        ASSERT_EQ(write(go[1], "g", 1), 1);
        ASSERT_EQ(read(held[0], &c, 1), 1);
        ASSERT_EQ(WaitForSingleObject(m, 5000), WAIT_OBJECT_0);
        const Clock::rep taken = Clock::now().time_since_epoch().count();
        ReleaseMutex(m);
        Clock::rep freed = 0;
        ASSERT_EQ(read(released[0], &freed, sizeof freed), ssize_t(sizeof freed));
        handover.push_back(std::chrono::duration<double, std::milli>(Clock::duration(taken - freed)).count());
    }
    std::sort(handover.begin(), handover.end());
    EXPECT_LT(handover[kRounds / 2], 0.7) << "median time from one program's release to the other's taking, ms";
    CloseHandle(m);
    int status = 0;
    waitpid(child, &status, 0);
    EXPECT_EQ(status, 0);
}

}
