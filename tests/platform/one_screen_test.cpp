// Two processes of one device on one screen: the other's window is composed in z-order and
// read back by GetDC(NULL), the stylus and keys reach it, the foreground moves between the
// two, and a process that dies leaves nothing on the screen.
#include "tests/support/DeviceRoot.h"

#include <simhost.h>
#include <windows.h>

#include <gtest/gtest.h>

#include <chrono>
#include <atomic>
#include <sys/mman.h>
#include <fcntl.h>
#include <filesystem>
#include <csignal>
#include <poll.h>
#include <functional>
#include <string>
#include <sys/inotify.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace {

constexpr uint16_t kChild = 0x07E0; // green
constexpr uint16_t kParent = 0xF800; // red
int g_report = -1;
uint16_t g_colour = 0;

void say(const std::string& s)
{
    std::string line = s + "\n";
    (void)!write(g_report, line.data(), line.size());
}

LRESULT CALLBACK colouredProc(HWND w, UINT m, WPARAM wp, LPARAM lp)
{
    switch (m) {
    case WM_PAINT: {
        PAINTSTRUCT ps;
        HDC dc = BeginPaint(w, &ps);
        RECT r;
        GetClientRect(w, &r);
        HBRUSH b = CreateSolidBrush(RGB((g_colour >> 11) << 3, ((g_colour >> 5) & 63) << 2, (g_colour & 31) << 3));
        FillRect(dc, &r, b);
        DeleteObject(b);
        EndPaint(w, &ps);
        return 0;
    }
    case WM_LBUTTONDOWN:
        if (g_report >= 0)
            say("tap " + std::to_string(GET_X_LPARAM(lp)) + " " + std::to_string(GET_Y_LPARAM(lp)));
        return 0;
    case WM_KEYDOWN:
        if (g_report >= 0)
            say("key " + std::to_string(wp));
        return 0;
    case WM_ACTIVATE:
        if (g_report >= 0)
            say(LOWORD(wp) == WA_INACTIVE ? "inactive" : "active");
        break;
    }
    return DefWindowProc(w, m, wp, lp);
}

bool eventually(const std::function<bool()>& test)
{
    for (int i = 0; i < 300; ++i) {
        SimPumpMessages();
        if (test())
            return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return false;
}

uint16_t screenAt(int x, int y)
{
    int width, height, pitch;
    const uint16_t* p = SimScreenPixels(&width, &height, &pitch);
    return p[y * pitch + x];
}

// The next line the child said; empty when it said nothing for 10 s.
std::string readLine(int fd)
{
    std::string line;
    char c;
    pollfd p { fd, POLLIN, 0 };
    while (poll(&p, 1, 10000) == 1 && read(fd, &c, 1) == 1 && c != '\n')
        line += c;
    return line;
}

// A second program of the device: a green window at (40, 40), 100 x 100, saying what it hears
// on a pipe whose reading end comes back in `report`.
pid_t startColouredChild(int& report)
{
    int fds[2];
    if (pipe(fds) != 0)
        return -1;
    pid_t child = fork();
    if (child == 0) {
        g_report = fds[1];
        g_colour = kChild;
        WNDCLASS wc {};
        wc.lpfnWndProc = colouredProc;
        wc.lpszClassName = u"Coloured";
        RegisterClass(&wc);
        HWND w = CreateWindowEx(0, u"Coloured", u"Child", WS_VISIBLE, 40, 40, 100, 100, nullptr, nullptr, nullptr, nullptr);
        say(w ? "ready" : "failed");
        MSG m;
        while (GetMessage(&m, nullptr, 0, 0) > 0)
            DispatchMessage(&m);
        _exit(0);
    }
    close(fds[1]);
    report = fds[0];
    return child;
}

using OneScreen = DeviceRootTest;

constexpr UINT kTakeCapture = WM_APP + 1;
bool g_lostHere = false;

// Holds the stylus from its press; says when the capture goes.
LRESULT CALLBACK capturingProc(HWND w, UINT m, WPARAM wp, LPARAM lp)
{
    switch (m) {
    case WM_LBUTTONDOWN:
    case kTakeCapture:
        SetCapture(w);
        if (g_report >= 0)
            say("captured");
        return 0;
    case WM_CAPTURECHANGED:
        if (g_report >= 0)
            say("capture changed");
        else
            g_lostHere = true;
        return 0;
    }
    return DefWindowProc(w, m, wp, lp);
}

TEST_F(OneScreen, AnotherProcesssWindowIsComposedTakesInputAndGoesWithItsProcess)
{
    WNDCLASS wc {};
    wc.lpfnWndProc = colouredProc;
    wc.lpszClassName = u"Coloured";
    int report = -1;
    pid_t child = startColouredChild(report);
    ASSERT_GT(child, 0);
    ASSERT_EQ(readLine(report), "active");
    ASSERT_EQ(readLine(report), "ready");

    // Composed into this process's screen, and read back through the screen's DC.
    ASSERT_TRUE(eventually([] { return screenAt(50, 50) == kChild; }));
    HDC screen = GetDC(nullptr);
    EXPECT_EQ(GetPixel(screen, 139, 139), RGB(0, 255, 0));
    EXPECT_NE(GetPixel(screen, 140, 140), RGB(0, 255, 0));
    ReleaseDC(nullptr, screen);
    HWND other = WindowFromPoint(POINT { 50, 50 });
    ASSERT_NE(other, nullptr);
    EXPECT_EQ(GetForegroundWindow(), other);
    EXPECT_TRUE(IsWindowVisible(other));
    RECT r {};
    EXPECT_TRUE(GetWindowRect(other, &r));
    EXPECT_EQ(r.left, 40);
    EXPECT_EQ(r.bottom, 140);

    // The stylus and keys go to the process that owns the window.
    SimStylusDown(50, 60);
    SimStylusUp(50, 60);
    EXPECT_EQ(readLine(report), "tap 10 20");
    SimKeyDown('A');
    SimKeyUp('A');
    EXPECT_EQ(readLine(report), "key 65");

    // A window of this process in front: one z-order; the foreground moves, both hear it.
    RegisterClass(&wc);
    g_colour = kParent;
    HWND mine = CreateWindowEx(0, u"Coloured", u"Parent", WS_VISIBLE, 0, 0, 100, 100, nullptr, nullptr, nullptr, nullptr);
    UpdateWindow(mine);
    EXPECT_EQ(readLine(report), "inactive");
    EXPECT_EQ(GetForegroundWindow(), mine);
    EXPECT_TRUE(eventually([] { return screenAt(50, 50) == kParent && screenAt(120, 120) == kChild; }));
    EXPECT_TRUE(SetForegroundWindow(other));
    EXPECT_EQ(readLine(report), "active");
    EXPECT_TRUE(eventually([&] { return screenAt(50, 50) == kChild && GetForegroundWindow() == other; }));
    EXPECT_EQ(GetActiveWindow(), nullptr) << "this process is not in front";

    // A crash: its window leaves the screen, and the foreground comes back here.
    kill(child, SIGKILL);
    waitpid(child, nullptr, 0);
    SimReapEndedPrograms();
    EXPECT_TRUE(eventually([&] { return screenAt(50, 50) == kParent && screenAt(120, 120) == 0x2945; }));
    EXPECT_EQ(GetForegroundWindow(), mine);
    EXPECT_FALSE(IsWindow(other));
    DestroyWindow(mine);
    UnregisterClass(u"Coloured", nullptr);
    SimPumpMessages();
    EXPECT_EQ(SimSharedPictureCount(), 0);
    close(report);
}

TEST_F(OneScreen, AWindowThatLosesTheCaptureToAnotherProcessHearsIt)
{
    WNDCLASS wc {};
    wc.lpfnWndProc = capturingProc;
    wc.lpszClassName = u"Capturing";
    int report[2];
    ASSERT_EQ(pipe(report), 0);
    pid_t child = fork();
    if (child == 0) {
        g_report = report[1];
        RegisterClass(&wc);
        HWND w = CreateWindowEx(0, u"Capturing", u"Child", WS_VISIBLE, 40, 40, 100, 100, nullptr, nullptr, nullptr, nullptr);
        say(w ? "ready" : "failed");
        MSG m;
        while (GetMessage(&m, nullptr, 0, 0) > 0)
            DispatchMessage(&m);
        _exit(0);
    }
    close(report[1]);
    ASSERT_EQ(readLine(report[0]), "ready");
    HWND other = nullptr;
    ASSERT_TRUE(eventually([&] { return (other = WindowFromPoint(POINT { 50, 50 })) != nullptr; }));

    // The other program's window takes the stylus at its press; one of ours takes it away.
    SimStylusDown(50, 60);
    ASSERT_EQ(readLine(report[0]), "captured");
    RegisterClass(&wc);
    HWND mine = CreateWindowEx(0, u"Capturing", u"Mine", WS_VISIBLE, 150, 150, 50, 50, nullptr, nullptr, nullptr, nullptr);
    SetCapture(mine);
    EXPECT_EQ(readLine(report[0]), "capture changed");
    EXPECT_EQ(GetCapture(), mine);
    SimStylusUp(50, 60);

    // And the other way round: ours hears it when the other program takes the stylus.
    g_lostHere = false;
    ASSERT_TRUE(PostMessage(other, kTakeCapture, 0, 0));
    EXPECT_EQ(readLine(report[0]), "captured");
    EXPECT_TRUE(eventually([] { return g_lostHere; }));
    EXPECT_EQ(GetCapture(), nullptr);
    // Releasing what we no longer hold leaves the other's capture alone: a second change would
    // end its touch.
    ReleaseCapture();
    SetCapture(mine);
    EXPECT_EQ(readLine(report[0]), "capture changed");

    ReleaseCapture();
    kill(child, SIGKILL);
    waitpid(child, nullptr, 0);
    SimReapEndedPrograms();
    DestroyWindow(mine);
    UnregisterClass(u"Capturing", nullptr);
    SimPumpMessages();
    close(report[0]);
}

TEST_F(OneScreen, AMessagePostedToAnotherProcessIsQueuedThereWhenThePostReturns)
{
    // A host that waits for its programs to be at rest and then handles its queue must find
    // there what they posted to it.
    constexpr int kPosts = 300;
    int report[2], ask[2];
    ASSERT_EQ(pipe(report), 0);
    ASSERT_EQ(pipe(ask), 0);
    pid_t child = fork();
    if (child == 0) {
        close(ask[1]);
        g_report = report[1];
        WNDCLASS wc {};
        wc.lpfnWndProc = DefWindowProc;
        wc.lpszClassName = u"Posted";
        RegisterClass(&wc);
        HWND w = CreateWindowEx(0, u"Posted", u"Posted", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr, nullptr, nullptr);
        say(std::to_string(reinterpret_cast<uintptr_t>(w)));
        for (int i = 0; i < kPosts && readLine(ask[0]) == "posted"; ++i) {
            MSG m {};
            say(PeekMessage(&m, w, WM_APP, WM_APP, PM_REMOVE) && m.wParam == static_cast<WPARAM>(i) ? "here" : "late");
            if (m.message != WM_APP) // take it, so that the next one is counted right
                for (int t = 0; t < 1000 && !PeekMessage(&m, w, WM_APP, WM_APP, PM_REMOVE); ++t)
                    std::this_thread::sleep_for(std::chrono::microseconds(100));
        }
        _exit(0);
    }
    close(report[1]);
    close(ask[0]);
    HWND other = reinterpret_cast<HWND>(static_cast<uintptr_t>(std::stoull(readLine(report[0]))));
    int here = 0;
    for (int i = 0; i < kPosts; ++i) {
        ASSERT_TRUE(PostMessage(other, WM_APP, static_cast<WPARAM>(i), 0));
        ASSERT_EQ(write(ask[1], "posted\n", 7), 7);
        here += readLine(report[0]) == "here";
    }
    EXPECT_EQ(here, kPosts);
    close(ask[1]);
    waitpid(child, nullptr, 0);
    close(report[0]);
}

// A program of the device that looks at its queue only every 300 ms, busy in between (as the
// settings program is while it writes its files); it says each message it handled.
LRESULT CALLBACK busyProc(HWND w, UINT m, WPARAM wp, LPARAM lp)
{
    if (m == WM_APP)
        say("handled " + std::to_string(wp));
    return DefWindowProc(w, m, wp, lp);
}

// The host waits after each script line until the device's programs are done with what the
// line gave them: a program that got nothing is not waited for, however busy it is.
TEST_F(OneScreen, SyncWaitsForTheProgramsThatGotSomethingAndForNewOnes)
{
    int report[2];
    ASSERT_EQ(pipe(report), 0);
    pid_t child = fork();
    if (child == 0) {
        g_report = report[1];
        WNDCLASS wc {};
        wc.lpfnWndProc = busyProc;
        wc.lpszClassName = u"Busy";
        RegisterClass(&wc);
        HWND w = CreateWindowEx(0, u"Busy", u"Busy", WS_VISIBLE, 0, 0, 50, 50, nullptr, nullptr, nullptr, nullptr);
        say(std::to_string(reinterpret_cast<uintptr_t>(w)));
        for (;;) {
            SimPumpMessages();
            std::this_thread::sleep_for(std::chrono::milliseconds(300));
        }
    }
    close(report[1]);
    HWND busy = reinterpret_cast<HWND>(static_cast<uintptr_t>(std::stoull(readLine(report[0]))));
    // A new program: waited for once, so that what it shows first is drawn.
    EXPECT_TRUE(SimSyncDevice(5000));
    auto started = std::chrono::steady_clock::now();
    for (int i = 0; i < 5; ++i)
        EXPECT_TRUE(SimSyncDevice(5000));
    auto idle = std::chrono::steady_clock::now() - started;
    EXPECT_LT(idle, std::chrono::milliseconds(600)) << "five syncs with nothing sent must not wait for the busy program";

    // Given something, it is waited for until it handled it.
    ASSERT_TRUE(PostMessage(busy, WM_APP, 7, 0));
    EXPECT_TRUE(SimSyncDevice(5000));
    pollfd p { report[0], POLLIN, 0 };
    ASSERT_EQ(poll(&p, 1, 0), 1) << "the sync returned before the program handled its message";
    EXPECT_EQ(readLine(report[0]), "handled 7");
    kill(child, SIGKILL);
    waitpid(child, nullptr, 0);
    close(report[0]);
}

// A program that closes its window when asked, says so, and then still has work to finish (its
// files written, its last messages out) before it ends.
LRESULT CALLBACK closingProc(HWND w, UINT m, WPARAM wp, LPARAM lp)
{
    if (m == WM_APP) {
        DestroyWindow(w);
        say("closed");
        return 0;
    }
    if (m == WM_DESTROY)
        PostQuitMessage(0);
    return DefWindowProc(w, m, wp, lp);
}

TEST_F(OneScreen, SyncWaitsForAProgramThatGotSomethingUntilItEndsEvenAfterItsWindowsAreGone)
{
    int report[2];
    ASSERT_EQ(pipe(report), 0);
    pid_t child = fork();
    if (child == 0) {
        g_report = report[1];
        WNDCLASS wc {};
        wc.lpfnWndProc = closingProc;
        wc.lpszClassName = u"Closing";
        RegisterClass(&wc);
        HWND w = CreateWindowEx(0, u"Closing", u"Closing", WS_VISIBLE, 0, 0, 50, 50, nullptr, nullptr, nullptr, nullptr);
        say(std::to_string(reinterpret_cast<uintptr_t>(w)));
        MSG m;
        while (GetMessage(&m, nullptr, 0, 0) > 0)
            DispatchMessage(&m);
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
        say("finished");
        _exit(0);
    }
    close(report[1]);
    HWND closing = reinterpret_cast<HWND>(static_cast<uintptr_t>(std::stoull(readLine(report[0]))));
    EXPECT_TRUE(SimSyncDevice(5000));
    ASSERT_TRUE(PostMessage(closing, WM_APP, 0, 0));
    ASSERT_EQ(readLine(report[0]), "closed");
    EXPECT_TRUE(SimSyncDevice(5000));
    pollfd p { report[0], POLLIN, 0 };
    ASSERT_EQ(poll(&p, 1, 0), 1) << "the sync returned while the program, its window gone, was still at work";
    EXPECT_EQ(readLine(report[0]), "finished");
    waitpid(child, nullptr, 0);
    close(report[0]);
}

// What the programs of a device publish in files (the panel's state, each program's list of
// windows) is rewritten only when it changes, and in place: other programs read it all the
// time, and a file made or freed on the disk waits behind every other program's writes when the
// device is busy.
TEST_F(OneScreen, PublishedStateFilesAreRewrittenInPlaceOnlyWhenTheyChange)
{
    auto inode = [](const std::string& path) {
        struct stat st {};
        return stat(path.c_str(), &st) == 0 ? st.st_ino : ino_t(0);
    };
    // Writes to the file since the last look.
    const int watch = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    ASSERT_GE(watch, 0);
    auto writes = [&] {
        int n = 0;
        alignas(inotify_event) char events[4096];
        for (ssize_t got; (got = read(watch, events, sizeof events)) > 0;)
            for (char* at = events; at < events + got;) {
                auto* e = reinterpret_cast<inotify_event*>(at);
                n += (e->mask & IN_MODIFY) ? 1 : 0;
                at += sizeof(inotify_event) + e->len;
            }
        return n;
    };
    const std::string state = device.hostRoot() + "/.pocketsim/sip.state";
    SIPINFO info {};
    info.cbSize = sizeof info;
    info.fdwFlags = SIPF_ON;
    info.rcSipRect = RECT { 0, 214, 240, 294 };
    SimPublishSipState(info, CLSID {});
    const ino_t first = inode(state);
    ASSERT_NE(first, ino_t(0));
    ASSERT_GE(inotify_add_watch(watch, state.c_str(), IN_MODIFY), 0);
    SimPublishSipState(info, CLSID {});
    EXPECT_EQ(writes(), 0) << "the same state again: the file stays";
    info.fdwFlags = SIPF_OFF;
    SimPublishSipState(info, CLSID {});
    EXPECT_GT(writes(), 0);
    EXPECT_EQ(inode(state), first);
    SIPINFO read {};
    read.cbSize = sizeof read;
    ASSERT_TRUE(SipGetInfo(&read));
    EXPECT_EQ(read.fdwFlags, DWORD(SIPF_OFF));
    // Cleared, then the same state once more: written again.
    SimClearSipState();
    SimPublishSipState(info, CLSID {});
    EXPECT_NE(inode(state), ino_t(0));
    SimClearSipState();

    WNDCLASS wc {};
    wc.lpfnWndProc = DefWindowProc;
    wc.lpszClassName = u"Listed";
    RegisterClass(&wc);
    HWND w = CreateWindowEx(0, u"Listed", u"Listed", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr, nullptr, nullptr);
    const std::string list = device.hostRoot() + "/.pocketsim/windows/" + std::to_string(getpid()) + ".lst";
    const ino_t listed = inode(list);
    ASSERT_NE(listed, ino_t(0));
    ASSERT_GE(inotify_add_watch(watch, list.c_str(), IN_MODIFY), 0);
    SetWindowText(w, u"Listed");
    EXPECT_EQ(writes(), 0) << "titled as it was: the same list";
    SetWindowText(w, u"Renamed");
    EXPECT_GT(writes(), 0);
    HWND second = CreateWindowEx(0, u"Listed", u"Second", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr, nullptr, nullptr);
    EXPECT_GT(writes(), 0);
    EXPECT_EQ(inode(list), listed);
    DestroyWindow(second);
    DestroyWindow(w);
    UnregisterClass(u"Listed", nullptr);
    close(watch);
}

TEST_F(OneScreen, AWindowStaysWhileItsProgramRewritesItsPicture)
{
    int report = -1;
    pid_t child = startColouredChild(report);
    ASSERT_GT(child, 0);
    ASSERT_EQ(readLine(report), "active");
    ASSERT_EQ(readLine(report), "ready");
    ASSERT_TRUE(eventually([] { return screenAt(50, 50) == kChild; }));
    HWND other = WindowFromPoint(POINT { 50, 50 });
    ASSERT_NE(other, nullptr);

    // This test plays the child caught in the middle of rewriting its picture: the picture's
    // sequence number (after its magic) is odd while its owner writes.
    std::string name;
    const std::string mark = "-" + std::to_string(child) + "-";
    for (const auto& entry : std::filesystem::directory_iterator("/dev/shm"))
        if (entry.path().filename().string().rfind("pocketsim-", 0) == 0 && entry.path().filename().string().find(mark) != std::string::npos)
            name = "/" + entry.path().filename().string();
    ASSERT_FALSE(name.empty());
    int fd = shm_open(name.c_str(), O_RDWR, 0);
    ASSERT_GE(fd, 0);
    void* map = mmap(nullptr, 64, PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0);
    close(fd);
    ASSERT_NE(map, MAP_FAILED);
    auto* sequence = reinterpret_cast<std::atomic<uint32_t>*>(static_cast<char*>(map) + 4);
    sequence->fetch_add(1);
    SimPresent();
    EXPECT_EQ(WindowFromPoint(POINT { 50, 50 }), other) << "the stylus would go to what lies behind";
    EXPECT_EQ(GetForegroundWindow(), other);
    EXPECT_EQ(screenAt(50, 50), kChild);
    SimStylusDown(50, 60);
    SimStylusUp(50, 60);
    EXPECT_EQ(readLine(report), "tap 10 20");
    sequence->fetch_add(1);
    munmap(map, 64);

    kill(child, SIGKILL);
    waitpid(child, nullptr, 0);
    SimReapEndedPrograms();
    close(report);
}

// A program busy with a message that another program sent it, which meanwhile taps it (as a
// host's script does while the program still works): the tap is a request queued for the
// program's thread, carried out after the sent message, never handed to the program's own loop
// as a message it cannot know (which would lose the tap).
constexpr UINT kTapMeNow = WM_APP + 2;
constexpr UINT kAskBack = WM_APP + 3;

LRESULT CALLBACK askingBackProc(HWND w, UINT m, WPARAM wp, LPARAM lp)
{
    switch (m) {
    case kAskBack:
        // While this program handles the sent message, the sender taps it.
        SendMessage(reinterpret_cast<HWND>(wp), kTapMeNow, 0, 0);
        return 1;
    case WM_LBUTTONDOWN:
        say("down " + std::to_string(GET_X_LPARAM(lp)) + " " + std::to_string(GET_Y_LPARAM(lp)));
        return 0;
    case WM_LBUTTONUP:
        say("up");
        return 0;
    }
    return DefWindowProc(w, m, wp, lp);
}

LRESULT CALLBACK tappingProc(HWND w, UINT m, WPARAM wp, LPARAM lp)
{
    if (m == kTapMeNow) {
        SimStylusDown(50, 60);
        SimStylusUp(50, 60);
        return 0;
    }
    return DefWindowProc(w, m, wp, lp);
}

TEST_F(OneScreen, ATapArrivingWhileTheProgramHandlesASentMessageStillReachesIt)
{
    int report[2];
    ASSERT_EQ(pipe(report), 0);
    pid_t child = fork();
    if (child == 0) {
        g_report = report[1];
        WNDCLASS wc {};
        wc.lpfnWndProc = askingBackProc;
        wc.lpszClassName = u"AskingBack";
        RegisterClass(&wc);
        HWND w = CreateWindowEx(0, u"AskingBack", u"Child", WS_VISIBLE, 40, 40, 100, 100, nullptr, nullptr, nullptr, nullptr);
        say(w ? "ready" : "failed");
        MSG m;
        while (GetMessage(&m, nullptr, 0, 0) > 0) {
            if (!m.hwnd && m.message >= 0xBF00 && m.message <= 0xBFFF)
                say("the platform's own request came out of the queue");
            DispatchMessage(&m);
        }
        _exit(0);
    }
    close(report[1]);
    ASSERT_EQ(readLine(report[0]), "ready");
    HWND other = nullptr;
    ASSERT_TRUE(eventually([&] { return (other = WindowFromPoint(POINT { 50, 50 })) != nullptr; }));

    WNDCLASS wc {};
    wc.lpfnWndProc = tappingProc;
    wc.lpszClassName = u"Tapping";
    RegisterClass(&wc);
    HWND mine = CreateWindowEx(WS_EX_NOACTIVATE, u"Tapping", u"Mine", WS_POPUP, 0, 0, 1, 1, nullptr, nullptr, nullptr, nullptr);
    EXPECT_EQ(SendMessage(other, kAskBack, reinterpret_cast<WPARAM>(mine), 0), 1);
    EXPECT_EQ(readLine(report[0]), "down 10 20");
    EXPECT_EQ(readLine(report[0]), "up");

    kill(child, SIGKILL);
    waitpid(child, nullptr, 0);
    SimReapEndedPrograms();
    DestroyWindow(mine);
    UnregisterClass(u"Tapping", nullptr);
    SimPumpMessages();
    close(report[0]);
}

}
