#include <winbase.h>

#include <gtest/gtest.h>

#include <thread>
#include <vector>

namespace {

TEST(CriticalSection, SerialisesThreadsAndNestsOnOneThread)
{
    CRITICAL_SECTION lock;
    InitializeCriticalSection(&lock);
    long counter = 0;
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([&] {
            for (int i = 0; i < 20000; ++i) {
                EnterCriticalSection(&lock);
                EnterCriticalSection(&lock); // the owner may enter again
                long seen = counter;
                counter = seen + 1;
                LeaveCriticalSection(&lock);
                LeaveCriticalSection(&lock);
            }
        });
    }
    for (auto& t : threads)
        t.join();
    EXPECT_EQ(counter, 80000);

    EnterCriticalSection(&lock);
    std::thread other([&] { EXPECT_FALSE(TryEnterCriticalSection(&lock)); });
    other.join();
    LeaveCriticalSection(&lock);
    DeleteCriticalSection(&lock);
}

TEST(LastError, BelongsToTheThread)
{
    SetLastError(ERROR_FILE_NOT_FOUND);
    std::thread other([] {
        EXPECT_EQ(GetLastError(), DWORD(ERROR_SUCCESS));
        SetLastError(ERROR_ACCESS_DENIED);
    });
    other.join();
    EXPECT_EQ(GetLastError(), DWORD(ERROR_FILE_NOT_FOUND));
}

}
