#include "tests/support/DeviceRoot.h"

#include <simhost.h>
#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <csignal>
#include <functional>
#include <poll.h>
#include <string>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

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


// ---- conversations with another process ------------------------------------------------

constexpr UINT kAsk = WM_USER + 1; // answered 3 * wParam + 1
constexpr UINT kNote = WM_USER + 2; // posted: reported as "p<wParam>"
constexpr UINT kStall = WM_USER + 3; // reports "stall", then never answers
constexpr UINT kBecomeOther = WM_USER + 4; // answered, then the process becomes another program

LRESULT CALLBACK talkerProc(HWND w, UINT m, WPARAM wp, LPARAM lp)
{
    switch (m) {
    case kAsk:
        return static_cast<LRESULT>(3 * wp + 1);
    case kNote: {
        std::string line = "p" + std::to_string(wp) + "\n";
        (void)!write(g_report, line.data(), line.size());
        return 0;
    }
    case kStall:
        (void)!write(g_report, "stall\n", 6);
        for (;;)
            pause();
    case kBecomeOther:
        // After the answer is out: the process lives on as a program without windows.
        std::thread([] {
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
            execl("/bin/sleep", "sleep", "30", static_cast<char*>(nullptr));
            _exit(1);
        }).detach();
        return 1;
    case WM_COPYDATA: {
        auto* cds = reinterpret_cast<COPYDATASTRUCT*>(lp);
        const auto* bytes = static_cast<const unsigned char*>(cds->lpData);
        LRESULT sum = 0;
        for (DWORD i = 0; i < cds->cbData; ++i)
            sum += bytes[i];
        return static_cast<LRESULT>(cds->cbData) * 1000 + sum % 1000;
    }
    case WM_DESTROY:
        PostQuitMessage(0);
        return 0;
    }
    return DefWindowProc(w, m, wp, lp);
}

struct Talker {
    pid_t pid = -1;
    HWND window = nullptr;
    int report = -1; // its "p<n>" and "stall" lines
};

// A program of the device in a process of its own, with one window of the class "Talker".
Talker startTalker()
{
    int report[2], ready[2];
    if (pipe(report) != 0 || pipe(ready) != 0)
        return {};
    pid_t child = fork();
    if (child == 0) {
        g_report = report[1];
        WNDCLASS wc {};
        wc.lpfnWndProc = talkerProc;
        wc.lpszClassName = u"Talker";
        RegisterClass(&wc);
        HWND w = CreateWindowEx(0, u"Talker", u"Talker", WS_VISIBLE, 0, 0, 100, 100, nullptr, nullptr, nullptr, nullptr);
        (void)!write(ready[1], w ? "y" : "n", 1);
        MSG m;
        while (GetMessage(&m, nullptr, 0, 0) > 0)
            DispatchMessage(&m);
        _exit(0);
    }
    close(report[1]);
    close(ready[1]);
    char c = 0;
    bool up = read(ready[0], &c, 1) == 1 && c == 'y';
    close(ready[0]);
    Talker t;
    t.pid = child;
    t.report = report[0];
    if (!up)
        return t;
    EnumWindows(
        [](HWND w, LPARAM param) {
            WCHAR name[40];
            GetClassName(w, name, 40);
            auto* t = reinterpret_cast<Talker*>(param);
            if (std::u16string(name) == u"Talker" && static_cast<pid_t>(reinterpret_cast<uintptr_t>(w) >> 24) == t->pid) {
                t->window = w;
                return FALSE;
            }
            return TRUE;
        },
        reinterpret_cast<LPARAM>(&t));
    return t;
}

std::string readReportLine(int fd, int milliseconds = 5000)
{
    std::string line;
    char c;
    while (true) {
        pollfd p { fd, POLLIN, 0 };
        if (poll(&p, 1, milliseconds) <= 0 || read(fd, &c, 1) != 1 || c == '\n')
            return line;
        line += c;
    }
}

void endTalker(Talker& t)
{
    if (t.pid > 0) {
        kill(t.pid, SIGKILL);
        waitpid(t.pid, nullptr, 0);
    }
    if (t.report >= 0)
        close(t.report);
    t = {};
}

double secondsOf(const std::function<void()>& work)
{
    auto start = std::chrono::steady_clock::now();
    work();
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

TEST_F(OtherProcesses, RequestsKeepTheirOrderAndAnswersWhetherOneThreadOrManyAsk)
{
    Talker talker = startTalker();
    ASSERT_NE(talker.window, nullptr);

    // One thread: sends answered each with its own reply, posts heard in the order posted, and
    // copied data of every size (none, one byte, large) carried whole between them.
    std::vector<char> large(200000);
    for (size_t i = 0; i < large.size(); ++i)
        large[i] = static_cast<char>(i * 7);
    long largeSum = 0;
    for (char b : large)
        largeSum += static_cast<unsigned char>(b);
    for (int i = 0; i < 120; ++i) {
        EXPECT_EQ(SendMessage(talker.window, kAsk, i, 0), 3 * i + 1) << i;
        EXPECT_TRUE(PostMessage(talker.window, kNote, i, 0)) << i;
        if (i % 40 == 0) {
            char one = 9;
            COPYDATASTRUCT none { 0, 0, nullptr }, single { 0, 1, &one }, big { 0, DWORD(large.size()), large.data() };
            EXPECT_EQ(SendMessage(talker.window, WM_COPYDATA, 0, reinterpret_cast<LPARAM>(&none)), 0);
            EXPECT_EQ(SendMessage(talker.window, WM_COPYDATA, 0, reinterpret_cast<LPARAM>(&single)), 1009);
            EXPECT_EQ(SendMessage(talker.window, WM_COPYDATA, 0, reinterpret_cast<LPARAM>(&big)),
                LRESULT(large.size()) * 1000 + largeSum % 1000);
        }
    }
    for (int i = 0; i < 120; ++i)
        ASSERT_EQ(readReportLine(talker.report), "p" + std::to_string(i));

    // Threads at once: each its own answers, none another's.
    std::atomic<int> wrong { 0 };
    std::vector<std::thread> askers;
    for (int k = 0; k < 4; ++k)
        askers.emplace_back([&, k] {
            for (int i = 0; i < 60; ++i) {
                WPARAM asked = WPARAM(k * 1000 + i);
                if (SendMessage(talker.window, kAsk, asked, 0) != LRESULT(3 * asked + 1))
                    ++wrong;
            }
        });
    for (std::thread& t : askers)
        t.join();
    EXPECT_EQ(wrong.load(), 0);
    endTalker(talker);
}

TEST_F(OtherProcesses, AProgramThatEndsMidConversationFailsItsRequestsAndTheNextOneIsReached)
{
    Talker first = startTalker();
    ASSERT_NE(first.window, nullptr);
    ASSERT_EQ(SendMessage(first.window, kAsk, 5, 0), 16);

    // Killed while it works on a send: the sender hears it failed, and does not hang.
    std::atomic<LRESULT> stalled { -1 };
    std::thread sender([&] { stalled = SendMessage(first.window, kStall, 0, 0); });
    ASSERT_EQ(readReportLine(first.report), "stall");
    const HWND gone = first.window;
    kill(first.pid, SIGKILL);
    waitpid(first.pid, nullptr, 0);
    sender.join();
    EXPECT_EQ(stalled.load(), 0);
    EXPECT_LT(secondsOf([&] {
        EXPECT_EQ(SendMessage(gone, kAsk, 1, 0), 0);
        EXPECT_FALSE(PostMessage(gone, kNote, 1, 0));
    }),
        2.0);
    close(first.report);

    // Another instance of the program, started in its place: reached, answered in order.
    Talker second = startTalker();
    ASSERT_NE(second.window, nullptr);
    EXPECT_NE(second.pid, first.pid);
    for (int i = 0; i < 20; ++i) {
        EXPECT_EQ(SendMessage(second.window, kAsk, i, 0), 3 * i + 1);
        EXPECT_TRUE(PostMessage(second.window, kNote, i, 0));
    }
    for (int i = 0; i < 20; ++i)
        ASSERT_EQ(readReportLine(second.report), "p" + std::to_string(i));

    // A process that becomes another program keeps its process id, but not the conversation:
    // asked again, its old window is not reached, and nobody waits.
    EXPECT_EQ(SendMessage(second.window, kBecomeOther, 0, 0), 1);
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    ASSERT_EQ(kill(second.pid, 0), 0) << "still running, as sleep";
    EXPECT_LT(secondsOf([&] {
        EXPECT_EQ(SendMessage(second.window, kAsk, 1, 0), 0);
        EXPECT_FALSE(PostMessage(second.window, kNote, 1, 0));
    }),
        2.0);
    endTalker(second);
}

// A broadcast reaches every top-level window of the other programs, shown or hidden, once each,
// and is there by the time the poster goes on.
LRESULT CALLBACK settingHeardProc(HWND w, UINT m, WPARAM wp, LPARAM lp)
{
    if (m == WM_SETTINGCHANGE) {
        WCHAR title[40];
        GetWindowText(w, title, 40);
        std::string line(title, title + std::char_traits<char16_t>::length(title));
        line += ":" + std::to_string(wp) + "\n";
        (void)!write(g_report, line.c_str(), line.size());
    }
    if (m == WM_CLOSE)
        PostQuitMessage(0);
    return DefWindowProc(w, m, wp, lp);
}

TEST_F(OtherProcesses, ABroadcastReachesEachOfTheirTopLevelWindowsOnce)
{
    int report[2], ready[2];
    ASSERT_EQ(pipe(report), 0);
    ASSERT_EQ(pipe(ready), 0);
    pid_t child = fork();
    if (child == 0) {
        g_report = report[1];
        WNDCLASS wc {};
        wc.lpfnWndProc = settingHeardProc;
        wc.lpszClassName = u"Listener";
        RegisterClass(&wc);
        HWND shown = CreateWindowEx(0, u"Listener", u"shown", WS_VISIBLE, 0, 0, 100, 100, nullptr, nullptr, nullptr, nullptr);
        HWND hidden = CreateWindowEx(0, u"Listener", u"hidden", 0, 0, 0, 10, 10, nullptr, nullptr, nullptr, nullptr);
        HWND third = CreateWindowEx(0, u"Listener", u"third", WS_VISIBLE, 0, 0, 10, 10, nullptr, nullptr, nullptr, nullptr);
        (void)!write(ready[1], shown && hidden && third ? "y" : "n", 1);
        MSG m;
        while (GetMessage(&m, nullptr, 0, 0) > 0)
            DispatchMessage(&m);
        _exit(0);
    }
    char c = 0;
    ASSERT_EQ(read(ready[0], &c, 1), 1);
    ASSERT_EQ(c, 'y');

    EXPECT_TRUE(PostMessage(HWND_BROADCAST, WM_SETTINGCHANGE, 42, 0));
    ASSERT_TRUE(SimSyncDevice(5000));
    std::string heard;
    pollfd p { report[0], POLLIN, 0 };
    for (char buffer[256]; poll(&p, 1, 200) > 0;) {
        ssize_t n = read(report[0], buffer, sizeof buffer);
        if (n <= 0)
            break;
        heard.append(buffer, size_t(n));
    }
    std::vector<std::string> lines;
    for (size_t at = 0, end; (end = heard.find('\n', at)) != std::string::npos; at = end + 1)
        lines.push_back(heard.substr(at, end - at));
    std::sort(lines.begin(), lines.end());
    EXPECT_EQ(lines, (std::vector<std::string> { "hidden:42", "shown:42", "third:42" }));

    EnumWindows([](HWND w, LPARAM) {
        WCHAR name[40];
        GetClassName(w, name, 40);
        if (std::u16string(name) == u"Listener")
            PostMessage(w, WM_CLOSE, 0, 0);
        return TRUE;
    }, 0);
    int status = 0;
    waitpid(child, &status, 0);
    EXPECT_EQ(status, 0);
}

}
