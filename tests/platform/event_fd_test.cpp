// A host that waits in poll() of its own learns of the device's work through the thread's event
// descriptor and the next timer, without looking on a period.
#include <simhost.h>
#include <windows.h>

#include <gtest/gtest.h>

#include <poll.h>

#include <thread>

namespace {

bool readable(int fd, int milliseconds = 0)
{
    pollfd p { fd, POLLIN, 0 };
    return poll(&p, 1, milliseconds) == 1 && (p.revents & POLLIN);
}

LRESULT CALLBACK paintingProc(HWND w, UINT m, WPARAM wp, LPARAM lp)
{
    if (m == WM_PAINT) {
        PAINTSTRUCT ps;
        BeginPaint(w, &ps);
        EndPaint(w, &ps);
        return 0;
    }
    return DefWindowProc(w, m, wp, lp);
}

TEST(ThreadEventFd, ReadableExactlyWhileTheThreadHasWork)
{
    std::thread([] {
        SimUseRealClock();
        WNDCLASS wc {};
        wc.lpfnWndProc = paintingProc;
        wc.lpszClassName = u"event_fd_test";
        ASSERT_TRUE(RegisterClass(&wc));
        HWND window = CreateWindowEx(0, u"event_fd_test", u"", WS_VISIBLE, 0, 0, 40, 40, nullptr, nullptr, nullptr, nullptr);
        ASSERT_TRUE(window);
        const int fd = SimThreadEventFd();
        ASSERT_GE(fd, 0);
        EXPECT_EQ(SimThreadEventFd(), fd) << "one descriptor per thread";
        EXPECT_EQ(SimDisplayFd(), -1) << "no display is open";
        SimPumpMessages();
        EXPECT_FALSE(readable(fd));

        // A message from another thread wakes a poll() that sleeps without a time limit.
        std::thread poster([window] {
            std::this_thread::sleep_for(std::chrono::milliseconds(30));
            PostMessage(window, WM_USER + 1, 0, 0);
        });
        EXPECT_TRUE(readable(fd, 5000));
        poster.join();
        SimPumpMessages();
        EXPECT_FALSE(readable(fd)) << "handled: drained";

        // A window of the thread to paint.
        InvalidateRect(window, nullptr, FALSE);
        EXPECT_TRUE(readable(fd));
        SimPumpMessages();
        EXPECT_FALSE(readable(fd));

        // Timers: set one and the wait has a limit; none left, none.
        EXPECT_EQ(SimNextTimerDue(), DWORD(INFINITE));
        ASSERT_TRUE(SetTimer(window, 7, 200, nullptr));
        EXPECT_TRUE(readable(fd));
        SimPumpMessages();
        DWORD due = SimNextTimerDue();
        EXPECT_GT(due, 100u);
        EXPECT_LE(due, 200u);
        KillTimer(window, 7);
        EXPECT_EQ(SimNextTimerDue(), DWORD(INFINITE));

        PostQuitMessage(3);
        EXPECT_TRUE(readable(fd));
        EXPECT_FALSE(SimPumpMessages());
        MSG quit;
        EXPECT_TRUE(PeekMessage(&quit, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE));
        DestroyWindow(window);
        UnregisterClass(u"event_fd_test", nullptr);
    }).join();
}

}
