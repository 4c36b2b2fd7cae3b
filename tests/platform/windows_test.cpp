#include <simhost.h>
#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstring>
#include <map>

#include <thread>
#include <vector>

namespace {

struct Seen {
    HWND window;
    UINT message;
    WPARAM wParam;
    LPARAM lParam;
    DWORD tick;
};

std::vector<Seen> g_seen;
std::map<HWND, uint16_t> g_fill;

// Paints a window as device programs do: a 16-bit section copied onto the window's DC.
void fill(HDC dc, int width, int height, uint16_t color)
{
    BITMAPINFO bi {};
    bi.bmiHeader.biSize = sizeof bi.bmiHeader;
    bi.bmiHeader.biWidth = width;
    bi.bmiHeader.biHeight = -height;
    bi.bmiHeader.biPlanes = 1;
    bi.bmiHeader.biBitCount = 16;
    bi.bmiHeader.biCompression = BI_BITFIELDS;
    DWORD masks[3] = { 0xF800, 0x07E0, 0x001F };
    std::memcpy(bi.bmiColors, masks, sizeof masks);
    void* bits = nullptr;
    HDC mem = CreateCompatibleDC(dc);
    HBITMAP bmp = CreateDIBSection(mem, &bi, DIB_RGB_COLORS, &bits, nullptr, 0);
    std::fill_n(static_cast<uint16_t*>(bits), width * height, color);
    HGDIOBJ old = SelectObject(mem, bmp);
    BitBlt(dc, 0, 0, width, height, mem, 0, 0, SRCCOPY);
    SelectObject(mem, old);
    DeleteObject(bmp);
    DeleteDC(mem);
}
std::vector<RECT> g_paints;

LRESULT CALLBACK recordingProc(HWND w, UINT m, WPARAM wp, LPARAM lp)
{
    if (m == WM_PAINT) {
        PAINTSTRUCT ps;
        HDC dc = BeginPaint(w, &ps);
        g_paints.push_back(ps.rcPaint);
        if (auto it = g_fill.find(w); it != g_fill.end()) {
            RECT r;
            GetClientRect(w, &r);
            fill(dc, r.right, r.bottom, it->second);
        }
        EndPaint(w, &ps);
        return 0;
    }
    if (m != WM_NCCREATE && m != WM_CREATE && m != WM_SIZE && m != WM_MOVE && m != WM_SHOWWINDOW
        && m != WM_ERASEBKGND && m != WM_ACTIVATE && m != WM_SETFOCUS && m != WM_KILLFOCUS)
        g_seen.push_back(Seen { w, m, wp, lp, GetTickCount() });
    return DefWindowProc(w, m, wp, lp);
}


uint16_t screenPixel(int x, int y)
{
    int w, h, pitch;
    const uint16_t* p = SimScreenPixels(&w, &h, &pitch);
    return p[y * pitch + x];
}

struct WindowSystem : ::testing::Test {
    std::vector<HWND> made;

    void SetUp() override
    {
        SimUseVirtualClock(1000);
        SimSetGeometry("qvga");
        WNDCLASS wc {};
        wc.lpfnWndProc = recordingProc;
        wc.lpszClassName = u"TestWindow";
        RegisterClass(&wc);
        g_seen.clear();
        g_paints.clear();
        g_fill.clear();
    }

    void TearDown() override
    {
        ReleaseCapture();
        for (HWND h : made)
            if (IsWindow(h))
                DestroyWindow(h);
        SimPumpMessages();
        UnregisterClass(u"TestWindow", nullptr);
        SimUseRealClock();
    }

    HWND make(DWORD style, int x, int y, int w, int h, HWND parent = nullptr, DWORD exStyle = 0)
    {
        HWND hwnd = CreateWindowEx(exStyle, u"TestWindow", u"t", style, x, y, w, h, parent, nullptr, nullptr, nullptr);
        made.push_back(hwnd);
        return hwnd;
    }

    std::vector<Seen> seen(UINT message)
    {
        std::vector<Seen> out;
        for (auto& s : g_seen)
            if (s.message == message)
                out.push_back(s);
        return out;
    }
};

TEST_F(WindowSystem, ClassesAreUniqueByNameIgnoringCaseAndStayWhileWindowsUseThem)
{
    WNDCLASS wc {};
    wc.lpfnWndProc = recordingProc;
    wc.lpszClassName = u"testWINDOW";
    EXPECT_EQ(RegisterClass(&wc), 0);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_CLASS_ALREADY_EXISTS));

    HWND w = make(WS_POPUP, 0, 0, 10, 10);
    ASSERT_NE(w, nullptr);
    EXPECT_FALSE(UnregisterClass(u"TestWindow", nullptr));
    DestroyWindow(w);
    EXPECT_TRUE(UnregisterClass(u"TestWindow", nullptr));
    EXPECT_EQ(CreateWindowEx(0, u"TestWindow", u"", WS_POPUP, 0, 0, 1, 1, nullptr, nullptr, nullptr, nullptr), nullptr);
    wc.lpszClassName = u"TestWindow";
    EXPECT_NE(RegisterClass(&wc), 0);
}

TEST_F(WindowSystem, CapturedStylusReportsNegativeCoordinatesAndTheLossOfCapture)
{
    HWND a = make(WS_POPUP | WS_VISIBLE, 20, 30, 100, 100);
    HWND b = make(WS_POPUP | WS_VISIBLE, 150, 200, 50, 50);
    SimPumpMessages();

    SimStylusDown(25, 40);
    SimPumpMessages();
    SetCapture(a);
    SimStylusMove(5, 10); // left of and above a
    SimStylusMove(170, 210); // over b: still a's
    SimStylusUp(3, 250);
    SimPumpMessages();

    auto moves = seen(WM_MOUSEMOVE);
    ASSERT_EQ(moves.size(), 2u);
    EXPECT_EQ(moves[0].window, a);
    EXPECT_EQ(GET_X_LPARAM(moves[0].lParam), -15);
    EXPECT_EQ(GET_Y_LPARAM(moves[0].lParam), -20);
    EXPECT_EQ(moves[1].window, a);
    EXPECT_EQ(GET_X_LPARAM(moves[1].lParam), 150);
    auto ups = seen(WM_LBUTTONUP);
    ASSERT_EQ(ups.size(), 1u);
    EXPECT_EQ(ups[0].window, a);
    EXPECT_EQ(GET_X_LPARAM(ups[0].lParam), -17);
    EXPECT_EQ(GET_Y_LPARAM(ups[0].lParam), 220);
    EXPECT_TRUE(seen(WM_CAPTURECHANGED).empty());

    ReleaseCapture();
    auto lost = seen(WM_CAPTURECHANGED);
    ASSERT_EQ(lost.size(), 1u);
    EXPECT_EQ(lost[0].window, a);
    EXPECT_EQ(lost[0].lParam, 0);
    EXPECT_EQ(GetCapture(), nullptr);

    // Without capture the stylus goes to the window under it.
    g_seen.clear();
    SimStylusDown(160, 210);
    SimPumpMessages();
    auto downs = seen(WM_LBUTTONDOWN);
    ASSERT_EQ(downs.size(), 1u);
    EXPECT_EQ(downs[0].window, b);
    EXPECT_EQ(GET_X_LPARAM(downs[0].lParam), 10);

    // Capture moving to another window tells the old one who took it; destroying the holder
    // ends the capture with a notice too.
    SetCapture(a);
    SetCapture(b);
    lost = seen(WM_CAPTURECHANGED);
    ASSERT_EQ(lost.size(), 1u);
    EXPECT_EQ(lost[0].window, a);
    EXPECT_EQ(reinterpret_cast<HWND>(lost[0].lParam), b);
    DestroyWindow(b);
    lost = seen(WM_CAPTURECHANGED);
    ASSERT_EQ(lost.size(), 2u);
    EXPECT_EQ(lost[1].window, b);
    EXPECT_EQ(GetCapture(), nullptr);
    SimStylusUp(160, 210);
}

TEST_F(WindowSystem, ChildMadeTopLevelPaintsOverItsOldParent)
{
    const uint16_t red = 0xF800, blue = 0x001F, green = 0x07E0;
    HWND parent = make(WS_POPUP | WS_VISIBLE, 10, 10, 100, 100);
    g_fill[parent] = red;
    // As the keyboard makes its zoom window: a topmost tool child, then detached.
    HWND zoom = make(WS_CHILD, 80, 80, 60, 60, parent, WS_EX_TOPMOST | WS_EX_TOOLWINDOW);
    g_fill[zoom] = blue;
    ShowWindow(zoom, SW_SHOW);
    SimPumpMessages();
    // A child is clipped to its parent: inside at screen (95, 95), cut off at (120, 120).
    EXPECT_EQ(screenPixel(95, 95), blue);
    EXPECT_EQ(screenPixel(115, 115), screenPixel(230, 310)); // the desktop
    EXPECT_EQ(screenPixel(50, 50), red);

    SetParent(zoom, nullptr);
    EXPECT_EQ(GetParent(zoom), nullptr);
    ShowWindow(zoom, SW_HIDE);
    SimPumpMessages();
    EXPECT_EQ(screenPixel(95, 95), red);
    // Its numbers now count from the screen's corner: (80, 80) to (140, 140), over the parent.
    SetWindowPos(zoom, nullptr, 80, 80, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_SHOWWINDOW | SWP_NOACTIVATE);
    InvalidateRect(parent, nullptr, TRUE);
    SimPumpMessages();
    EXPECT_EQ(screenPixel(85, 85), blue);
    EXPECT_EQ(screenPixel(105, 105), blue);
    EXPECT_EQ(screenPixel(135, 135), blue);
    EXPECT_EQ(screenPixel(79, 79), red);
    RECT r;
    GetWindowRect(zoom, &r);
    EXPECT_EQ(r.left, 80);
    EXPECT_EQ(r.bottom, 140);

    // A newer ordinary window does not cover a topmost one.
    HWND later = make(WS_POPUP | WS_VISIBLE, 0, 0, 240, 320);
    g_fill[later] = green;
    SimPumpMessages();
    EXPECT_EQ(screenPixel(100, 100), blue);
    EXPECT_EQ(screenPixel(50, 50), green);
}

TEST_F(WindowSystem, InvalidationsCoalesceIntoOnePaintOfTheirBoundingBox)
{
    HWND w = make(WS_POPUP | WS_VISIBLE, 0, 0, 200, 200);
    SimPumpMessages();
    g_paints.clear();

    RECT a { 10, 10, 20, 20 }, b { 50, 5, 60, 15 }, c { 30, 40, 35, 45 };
    InvalidateRect(w, &a, FALSE);
    InvalidateRect(w, &b, FALSE);
    InvalidateRect(w, &c, TRUE);
    PostMessage(w, WM_USER, 0, 0);
    SimPumpMessages();
    ASSERT_EQ(g_paints.size(), 1u);
    EXPECT_EQ(g_paints[0].left, 10);
    EXPECT_EQ(g_paints[0].top, 5);
    EXPECT_EQ(g_paints[0].right, 60);
    EXPECT_EQ(g_paints[0].bottom, 45);
    // Posted messages come before the paint.
    ASSERT_EQ(seen(WM_USER).size(), 1u);

    // A hidden window keeps its update for when it shows.
    ShowWindow(w, SW_HIDE);
    InvalidateRect(w, &a, FALSE);
    SimPumpMessages();
    EXPECT_EQ(g_paints.size(), 1u);
    ShowWindow(w, SW_SHOWNA);
    SimPumpMessages();
    EXPECT_EQ(g_paints.size(), 2u);
    EXPECT_EQ(g_paints[1].right, 200);

    // Outside the client area nothing is due.
    RECT outside { 300, 300, 310, 310 };
    InvalidateRect(w, &outside, FALSE);
    SimPumpMessages();
    EXPECT_EQ(g_paints.size(), 2u);
}

TEST_F(WindowSystem, WindowTimersFireAtExactVirtualTicksInDueOrder)
{
    HWND w = make(WS_POPUP, 0, 0, 10, 10);
    SetTimer(w, 7, 100, nullptr);
    SetTimer(w, 3, 40, nullptr);
    SimRunFor(199);
    SimRunFor(1);
    std::vector<std::pair<DWORD, WPARAM>> fired;
    for (auto& s : seen(WM_TIMER))
        fired.push_back({ s.tick - 1000, s.wParam });
    std::vector<std::pair<DWORD, WPARAM>> expected { { 40, 3 }, { 80, 3 }, { 100, 7 }, { 120, 3 }, { 160, 3 },
        { 200, 7 }, { 200, 3 } };
    EXPECT_EQ(fired, expected);
    EXPECT_EQ(GetTickCount(), 1200u);

    // Setting a running timer again restarts it; a killed one stays quiet.
    g_seen.clear();
    SimRunFor(30);
    SetTimer(w, 3, 40, nullptr);
    KillTimer(w, 7);
    SimRunFor(100);
    fired.clear();
    for (auto& s : seen(WM_TIMER))
        fired.push_back({ s.tick - 1000, s.wParam });
    expected = { { 270, 3 }, { 310, 3 } };
    EXPECT_EQ(fired, expected);
}

TEST_F(WindowSystem, TimersKeepTimeAcrossTheWrapOfTheTickCount)
{
    SimSetTicks(0xFFFFFFF0u);
    HWND w = make(WS_POPUP, 0, 0, 10, 10);
    SetTimer(w, 1, 25, nullptr);
    SimRunFor(60);
    auto fired = seen(WM_TIMER);
    ASSERT_EQ(fired.size(), 2u);
    EXPECT_EQ(fired[0].tick, 0x9u);
    EXPECT_EQ(fired[1].tick, 0x22u);
}

TEST_F(WindowSystem, FilteredRetrievalLeavesOtherMessagesAndTheQuitInPlace)
{
    HWND a = make(WS_POPUP, 0, 0, 10, 10);
    HWND b = make(WS_POPUP, 0, 0, 10, 10);
    PostMessage(a, WM_USER + 1, 1, 0);
    PostMessage(b, WM_USER + 5, 2, 0);
    PostMessage(a, WM_USER + 5, 3, 0);
    PostQuitMessage(4);

    MSG m;
    ASSERT_TRUE(GetMessage(&m, a, WM_USER + 5, WM_USER + 5));
    EXPECT_EQ(m.wParam, 3u);
    EXPECT_FALSE(PeekMessage(&m, a, WM_USER + 5, WM_USER + 5, PM_REMOVE));
    ASSERT_TRUE(PeekMessage(&m, nullptr, 0, 0, PM_REMOVE));
    EXPECT_EQ(m.wParam, 1u);
    ASSERT_TRUE(PeekMessage(&m, nullptr, 0, 0, PM_REMOVE));
    EXPECT_EQ(m.wParam, 2u);
    EXPECT_FALSE(GetMessage(&m, nullptr, 0, 0));
    EXPECT_EQ(m.message, static_cast<UINT>(WM_QUIT));
    EXPECT_EQ(m.wParam, 4u);
    EXPECT_FALSE(PeekMessage(&m, nullptr, 0, 0, PM_REMOVE));
}

// A filtered wait with other messages in the queue sleeps until a matching one comes, as an
// empty queue's wait does, instead of looking again and again at what it leaves there.
TEST_F(WindowSystem, AFilteredWaitOverMessagesItLeavesSleeps)
{
    HWND w = make(WS_POPUP, 0, 0, 10, 10);
    PostMessage(w, WM_USER + 1, 1, 0);
    PostQuitMessage(0);
    std::thread poster([w] {
        std::this_thread::sleep_for(std::chrono::milliseconds(150));
        PostMessage(w, WM_USER + 5, 5, 0);
    });
    timespec before {}, after {};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &before);
    MSG m;
    ASSERT_TRUE(GetMessage(&m, w, WM_USER + 5, WM_USER + 5));
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &after);
    poster.join();
    EXPECT_EQ(m.wParam, 5u);
    const double cpuMs = (after.tv_sec - before.tv_sec) * 1e3 + (after.tv_nsec - before.tv_nsec) * 1e-6;
    EXPECT_LT(cpuMs, 30.0) << "ms on a CPU while it waited 150 ms";
    // What it left is still there, in order, and the quit after it.
    ASSERT_TRUE(PeekMessage(&m, nullptr, 0, 0, PM_REMOVE));
    EXPECT_EQ(m.wParam, 1u);
    EXPECT_FALSE(GetMessage(&m, nullptr, 0, 0));
}

TEST_F(WindowSystem, SendMessageFromAnotherThreadRunsOnTheOwnersThread)
{
    HWND w = make(WS_POPUP, 0, 0, 10, 10);
    DWORD owner = GetCurrentThreadId();
    static DWORD handledOn;
    SetWindowLongPtr(w, GWL_WNDPROC, reinterpret_cast<LONG_PTR>(+[](HWND h, UINT m, WPARAM wp, LPARAM lp) -> LRESULT {
        if (m == WM_USER + 9) {
            handledOn = GetCurrentThreadId();
            return static_cast<LRESULT>(wp * 2);
        }
        return DefWindowProc(h, m, wp, lp);
    }));
    LRESULT result = 0;
    std::thread sender([&] { result = SendMessage(w, WM_USER + 9, 21, 0); });
    MSG m;
    // The filtered wait below never matches; sent messages are handled while waiting.
    for (int i = 0; i < 2000 && !result; ++i) {
        PeekMessage(&m, w, WM_USER + 100, WM_USER + 100, PM_NOREMOVE);
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    sender.join();
    EXPECT_EQ(result, 42);
    EXPECT_EQ(handledOn, owner);
}

TEST_F(WindowSystem, DeviceGeometryAndOrientationAsTheDisplaySettingsReportThem)
{
    ASSERT_TRUE(SimSetGeometry("vga-landscape"));
    EXPECT_EQ(GetSystemMetrics(SM_CXSCREEN), 640);
    EXPECT_EQ(GetSystemMetrics(SM_CYSCREEN), 480);
    DEVMODE dm {};
    dm.dmSize = sizeof dm;
    dm.dmFields = DM_DISPLAYORIENTATION;
    EXPECT_EQ(ChangeDisplaySettingsEx(nullptr, &dm, nullptr, CDS_TEST, nullptr), DISP_CHANGE_SUCCESSFUL);
    EXPECT_EQ(dm.dmDisplayOrientation, static_cast<DWORD>(DMDO_90));

    // Turning the screen upright swaps its sides and tells the top-level windows.
    HWND w = make(WS_POPUP, 0, 0, 10, 10);
    dm.dmDisplayOrientation = DMDO_0;
    EXPECT_EQ(ChangeDisplaySettingsEx(nullptr, &dm, nullptr, 0, nullptr), DISP_CHANGE_SUCCESSFUL);
    EXPECT_EQ(GetSystemMetrics(SM_CXSCREEN), 480);
    EXPECT_EQ(GetSystemMetrics(SM_CYSCREEN), 640);
    auto changes = seen(WM_SETTINGCHANGE);
    ASSERT_EQ(changes.size(), 1u);
    EXPECT_EQ(changes[0].window, w);

    EXPECT_FALSE(SimSetGeometry("huge"));
    ASSERT_TRUE(SimSetGeometry("qvga"));
    EXPECT_EQ(GetSystemMetrics(SM_CXSCREEN), 240);
}

TEST_F(WindowSystem, HeadlessMessageBoxIsAnsweredOk)
{
    EXPECT_EQ(MessageBox(nullptr, u"No skins", u"Magnikeys", MB_OK | MB_ICONERROR), IDOK);
}

// A device host that loads a library while it boots, before its screen is open: a box of that
// library on the host's own thread could never be tapped, so it is answered as a headless one.
TEST_F(WindowSystem, ABoxOnTheHostsThreadBeforeItHasAScreenIsAnsweredOk)
{
    std::atomic<int> answer { -1 };
    std::thread host([&] {
        HWND shell = CreateWindowEx(WS_EX_NOACTIVATE, u"TestWindow", u"shell", WS_POPUP, 0, 0, 1, 1, nullptr, nullptr, nullptr, nullptr);
        SimSetShellWindow(shell);
        answer = MessageBox(nullptr, u"No skins", u"magniKeys", MB_OK);
        SimSetShellWindow(nullptr);
        DestroyWindow(shell);
    });
    for (int i = 0; i < 500 && answer.load() == -1; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    const bool answered = answer.load() != -1;
    if (!answered) {
        // Still waiting: close the box, so that the test fails instead of hanging.
        HWND box = FindWindow(u"Dialog", u"magniKeys");
        if (box)
            PostMessage(box, WM_CLOSE, 0, 0);
    }
    host.join();
    EXPECT_TRUE(answered) << "the box waited for a tap nobody could give";
    EXPECT_EQ(answer.load(), IDOK);
}

std::vector<std::pair<WPARAM, bool>> g_ctrlAtKey; // each key-down and whether ctrl was down then

LRESULT CALLBACK keyStateProc(HWND w, UINT m, WPARAM wp, LPARAM lp)
{
    if (m == WM_KEYDOWN)
        g_ctrlAtKey.emplace_back(wp, (GetKeyState(VK_CONTROL) & 0x8000) != 0);
    return DefWindowProc(w, m, wp, lp);
}

// An input method sends ctrl, an arrow and ctrl up in one go, before the program's thread looks
// at its queue: while it handles the arrow, the key state is the one of that message.
TEST_F(WindowSystem, KeyStateIsTheOneOfTheMessageBeingHandled)
{
    WNDCLASS wc {};
    wc.lpfnWndProc = keyStateProc;
    wc.lpszClassName = u"KeyStateWindow";
    RegisterClass(&wc);
    HWND w = CreateWindowEx(0, u"KeyStateWindow", u"k", WS_POPUP | WS_VISIBLE, 0, 0, 50, 50, nullptr, nullptr, nullptr, nullptr);
    made.push_back(w);
    SetForegroundWindow(w);
    SetFocus(w);
    SimPumpMessages();
    g_ctrlAtKey.clear();

    SimSendVirtualKey(VK_CONTROL, KEYEVENTF_SILENT);
    EXPECT_TRUE(GetAsyncKeyState(VK_CONTROL) & 0x8000) << "the keys as they are now";
    EXPECT_FALSE(GetKeyState(VK_CONTROL) & 0x8000) << "not yet taken from the queue";
    SimSendVirtualKey(VK_LEFT, KEYEVENTF_SILENT);
    SimSendVirtualKey(VK_LEFT, KEYEVENTF_SILENT | KEYEVENTF_KEYUP);
    SimSendVirtualKey(VK_CONTROL, KEYEVENTF_SILENT | KEYEVENTF_KEYUP);
    SimSendVirtualKey(VK_RIGHT, KEYEVENTF_SILENT);
    SimSendVirtualKey(VK_RIGHT, KEYEVENTF_SILENT | KEYEVENTF_KEYUP);
    EXPECT_FALSE(GetAsyncKeyState(VK_CONTROL) & 0x8000);
    SimPumpMessages();
    EXPECT_EQ(g_ctrlAtKey, (std::vector<std::pair<WPARAM, bool>> { { VK_CONTROL, true }, { VK_LEFT, true }, { VK_RIGHT, false } }));
    EXPECT_FALSE(GetKeyState(VK_CONTROL) & 0x8000);

    // A key message that a program posts is no key transition: the state stays.
    PostMessage(w, WM_KEYDOWN, VK_LCONTROL, 1);
    SimPumpMessages();
    EXPECT_FALSE(GetKeyState(VK_CONTROL) & 0x8000);

    // Caps Lock turns over as its key-down is taken.
    const SHORT capsBefore = GetKeyState(VK_CAPITAL) & 1;
    SimKeyDown(VK_CAPITAL);
    SimKeyUp(VK_CAPITAL);
    EXPECT_EQ(GetKeyState(VK_CAPITAL) & 1, capsBefore);
    SimPumpMessages();
    EXPECT_NE(GetKeyState(VK_CAPITAL) & 1, capsBefore);
    SimKeyDown(VK_CAPITAL);
    SimKeyUp(VK_CAPITAL);
    SimPumpMessages();
    EXPECT_EQ(GetKeyState(VK_CAPITAL) & 1, capsBefore);
    DestroyWindow(w);
    UnregisterClass(u"KeyStateWindow", nullptr);
}

TEST_F(WindowSystem, DestroyingAParentDestroysItsChildrenParentFirst)
{
    HWND p = make(WS_POPUP | WS_VISIBLE, 0, 0, 50, 50);
    HWND c = make(WS_CHILD | WS_VISIBLE, 0, 0, 10, 10, p);
    SetTimer(c, 1, 10, nullptr);
    PostMessage(c, WM_USER, 0, 0);
    DestroyWindow(p);
    EXPECT_FALSE(IsWindow(c));
    auto gone = seen(WM_DESTROY);
    ASSERT_EQ(gone.size(), 2u);
    EXPECT_EQ(gone[0].window, p);
    EXPECT_EQ(gone[1].window, c);
    g_seen.clear();
    SimRunFor(50);
    EXPECT_TRUE(g_seen.empty()); // its timer and posted message went with it
}

}

TEST_F(WindowSystem, TheScreenDcReadsTheScreenAsItIsWhenRead)
{
    const uint16_t red = 0xF800, blue = 0x001F;
    HWND w = make(WS_POPUP | WS_VISIBLE, 20, 20, 100, 100);
    g_fill[w] = red;
    SimPumpMessages();

    // Taken for its metrics while the window changes: the reads that follow see the change.
    HDC screen = GetDC(nullptr);
    ASSERT_NE(screen, nullptr);
    EXPECT_EQ(GetDeviceCaps(screen, LOGPIXELSY), 96);
    g_fill[w] = blue;
    InvalidateRect(w, nullptr, FALSE);
    UpdateWindow(w);
    EXPECT_EQ(GetPixel(screen, 50, 50), RGB(0, 0, 255));
    EXPECT_EQ(GetPixel(screen, 10, 10), GetPixel(screen, 230, 310)) << "the desktop around it";

    // A blit from it copies the screen of that moment, moved windows included.
    SetWindowPos(w, nullptr, 120, 200, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
    SimPumpMessages();
    BITMAPINFO bi {};
    bi.bmiHeader.biSize = sizeof bi.bmiHeader;
    bi.bmiHeader.biWidth = 240;
    bi.bmiHeader.biHeight = -320;
    bi.bmiHeader.biPlanes = 1;
    bi.bmiHeader.biBitCount = 16;
    bi.bmiHeader.biCompression = BI_BITFIELDS;
    DWORD masks[3] = { 0xF800, 0x07E0, 0x001F };
    std::memcpy(bi.bmiColors, masks, sizeof masks);
    void* bits = nullptr;
    HDC memory = CreateCompatibleDC(screen);
    HBITMAP bitmap = CreateDIBSection(memory, &bi, DIB_RGB_COLORS, &bits, nullptr, 0);
    HGDIOBJ old = SelectObject(memory, bitmap);
    ASSERT_TRUE(BitBlt(memory, 0, 0, 240, 320, screen, 0, 0, SRCCOPY));
    EXPECT_EQ(GetPixel(memory, 150, 250), RGB(0, 0, 255));
    EXPECT_EQ(GetPixel(memory, 50, 50), GetPixel(memory, 230, 10));
    SelectObject(memory, old);
    DeleteObject(bitmap);
    DeleteDC(memory);
    ReleaseDC(nullptr, screen);

    // What the screen shows agrees with what the DC read.
    EXPECT_EQ(screenPixel(150, 250), blue);
}
