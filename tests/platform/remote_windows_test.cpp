#include "tests/support/DeviceRoot.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <sys/wait.h>
#include <unistd.h>

namespace {

int g_report = -1;

LRESULT CALLBACK runningInstanceProc(HWND w, UINT m, WPARAM wp, LPARAM lp)
{
    if (m == WM_COPYDATA) {
        auto* cds = reinterpret_cast<COPYDATASTRUCT*>(lp);
        std::u16string text(static_cast<const char16_t*>(cds->lpData), cds->cbData / 2);
        std::string bytes(text.begin(), text.end());
        bytes += cds->dwData == 0 ? "|0" : "|?";
        (void)!write(g_report, bytes.c_str(), bytes.size());
        return 7;
    }
    if (m == WM_DESTROY)
        PostQuitMessage(0);
    return DefWindowProc(w, m, wp, lp);
}

struct Found {
    HWND window = nullptr;
    std::u16string title;
};

BOOL CALLBACK findRunningInstance(HWND w, LPARAM param)
{
    WCHAR name[40];
    GetClassName(w, name, 40);
    if (std::u16string(name) != u"ZazizurClass_Magnikeys" || GetParent(w))
        return TRUE;
    auto* found = reinterpret_cast<Found*>(param);
    found->window = w;
    WCHAR title[260];
    GetWindowText(w, title, 260);
    found->title = title;
    return FALSE;
}

using OtherProcesses = DeviceRootTest;

TEST_F(OtherProcesses, TheirTopLevelWindowsAreEnumeratedAndTakeCopiedData)
{
    int report[2], ready[2];
    ASSERT_EQ(pipe(report), 0);
    ASSERT_EQ(pipe(ready), 0);
    pid_t child = fork();
    if (child == 0) {
        // The running instance of a program: its main window, and its message loop.
        g_report = report[1];
        WNDCLASS wc {};
        wc.lpfnWndProc = runningInstanceProc;
        wc.lpszClassName = u"ZazizurClass_Magnikeys";
        RegisterClass(&wc);
        HWND w = CreateWindowEx(0, u"ZazizurClass_Magnikeys", u"Magnikeys", WS_VISIBLE, 0, 0, 240, 320, nullptr,
            nullptr, nullptr, nullptr);
        (void)!write(ready[1], w ? "y" : "n", 1);
        MSG m;
        while (GetMessage(&m, nullptr, 0, 0) > 0)
            DispatchMessage(&m);
        _exit(0);
    }
    char c = 0;
    ASSERT_EQ(read(ready[0], &c, 1), 1);
    ASSERT_EQ(c, 'y');

    Found found;
    EnumWindows(findRunningInstance, reinterpret_cast<LPARAM>(&found));
    ASSERT_NE(found.window, nullptr);
    EXPECT_EQ(found.title, u"Magnikeys");
    EXPECT_TRUE(IsWindow(found.window));

    std::u16string commandLine = u"-open notes.txt";
    COPYDATASTRUCT cds { 0, static_cast<DWORD>(commandLine.size() * 2), commandLine.data() };
    EXPECT_EQ(SendMessage(found.window, WM_COPYDATA, 0, reinterpret_cast<LPARAM>(&cds)), 7);
    char received[64] = {};
    ssize_t n = read(report[0], received, sizeof received - 1);
    EXPECT_EQ(std::string(received, n > 0 ? static_cast<size_t>(n) : 0), "-open notes.txt|0");
    EXPECT_TRUE(SetForegroundWindow(found.window));

    // Closed by a posted message, it leaves the list.
    EXPECT_TRUE(PostMessage(found.window, WM_CLOSE, 0, 0));
    int status = 0;
    waitpid(child, &status, 0);
    EXPECT_EQ(status, 0);
    Found again;
    EnumWindows(findRunningInstance, reinterpret_cast<LPARAM>(&again));
    EXPECT_EQ(again.window, nullptr);
    EXPECT_FALSE(IsWindow(found.window));
    EXPECT_EQ(SendMessage(found.window, WM_COPYDATA, 0, reinterpret_cast<LPARAM>(&cds)), 0);
}

}
