// The shell's services and the platform's own controls: the edit control with the input panel
// preference, the menu bar and its soft keys, full-screen state, message boxes on the screen,
// the direct display and the device kind.
#include "tests/support/DeviceRoot.h"

#include <aygshell.h>
#include <gx.h>
#include <simhost.h>
#include <sip.h>
#include <windows.h>

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>
#include <vector>

namespace {

struct Heard {
    std::vector<std::pair<WPARAM, LPARAM>> shell; // SIM_WM_SHELL
    std::vector<WPARAM> sip; // SIM_WM_SIPSHOW to the panel
    std::vector<WORD> edits; // EN_* from WM_COMMAND
    std::vector<UINT> keys; // WM_KEYDOWN
    COLORREF editBack = RGB(255, 255, 224);
    COLORREF editInk = RGB(0, 0, 160);
    HBRUSH brush = nullptr;
};
Heard* g_heard = nullptr;

LRESULT CALLBACK parentProc(HWND w, UINT m, WPARAM wp, LPARAM lp)
{
    switch (m) {
    case SIM_WM_SHELL:
        g_heard->shell.emplace_back(wp, lp);
        return 0;
    case SIM_WM_SIPSHOW:
        g_heard->sip.push_back(wp);
        return 0;
    case WM_COMMAND:
        g_heard->edits.push_back(HIWORD(wp));
        return 0;
    case WM_CTLCOLOREDIT:
        SetTextColor(reinterpret_cast<HDC>(wp), g_heard->editInk);
        SetBkColor(reinterpret_cast<HDC>(wp), g_heard->editBack);
        return reinterpret_cast<LRESULT>(g_heard->brush);
    case WM_KEYDOWN:
        g_heard->keys.push_back(static_cast<UINT>(wp));
        return 0;
    }
    return DefWindowProc(w, m, wp, lp);
}

struct Shell : DeviceRootTest {
    Heard heard;
    HWND shellWindow = nullptr;
    HWND main = nullptr;
    void SetUp() override
    {
        g_heard = &heard;
        heard.brush = CreateSolidBrush(heard.editBack);
        WNDCLASS wc {};
        wc.lpfnWndProc = parentProc;
        wc.lpszClassName = u"ShellTestParent";
        RegisterClass(&wc);
        // The device host's shell window, as pocketsim names it.
        shellWindow = CreateWindowEx(WS_EX_NOACTIVATE, u"ShellTestParent", u"shell", WS_POPUP, 0, 0, 1, 1, nullptr, nullptr, nullptr, nullptr);
        SimSetShellWindow(shellWindow);
        main = CreateWindowEx(0, u"ShellTestParent", u"Program", WS_VISIBLE, 0, 0, 240, 320, nullptr, nullptr, nullptr, nullptr);
        SimPumpMessages();
        heard.shell.clear();
    }
    void TearDown() override
    {
        SimSetShellWindow(nullptr);
        DestroyWindow(main);
        DestroyWindow(shellWindow);
        SimPumpMessages();
        UnregisterClass(u"ShellTestParent", nullptr);
        DeleteObject(heard.brush);
        SimSetDeviceKind("pocketpc");
        SimSetGeometry("qvga");
        g_heard = nullptr;
    }
    std::u16string text(HWND w)
    {
        WCHAR buffer[256] = {};
        GetWindowText(w, buffer, 256);
        return buffer;
    }
    void tap(HWND w, int x, int y)
    {
        POINT p { x, y };
        ClientToScreen(w, &p);
        SimStylusDown(p.x, p.y);
        SimStylusUp(p.x, p.y);
        SimPumpMessages();
    }
    void type(std::u16string_view s)
    {
        for (char16_t c : s)
            SimTypeChar(c);
        SimPumpMessages();
    }
    std::vector<WPARAM> sipRequests() const { return heard.sip; }
    // The device's input panel, as the panel host publishes it: what it is asked is heard.
    HWND openPanel()
    {
        WNDCLASS panelClass {};
        panelClass.lpfnWndProc = parentProc;
        panelClass.lpszClassName = SIM_SIP_CLASS;
        RegisterClass(&panelClass);
        HWND panel = CreateWindowEx(WS_EX_NOACTIVATE, SIM_SIP_CLASS, u"", WS_POPUP, 0, 200, 240, 80, nullptr, nullptr, nullptr, nullptr);
        SIPINFO info {};
        info.cbSize = sizeof info;
        SimPublishSipState(info, CLSID {});
        return panel;
    }
    void closePanel(HWND panel)
    {
        SimClearSipState();
        DestroyWindow(panel);
        UnregisterClass(SIM_SIP_CLASS, nullptr);
    }
};

TEST_F(Shell, EditFieldsRaiseTheInputPanelThroughSipPrefAndTakeTypedText)
{
    HWND panel = openPanel();
    ASSERT_TRUE(SHInitExtraControls());
    HWND pref = CreateWindowEx(0, WC_SIPPREF, u"", WS_CHILD, 0, 0, 0, 0, main, nullptr, nullptr, nullptr);
    ASSERT_NE(pref, nullptr);
    HWND name = CreateWindowEx(0, u"Edit", u"Ann", WS_CHILD | WS_VISIBLE | WS_BORDER | ES_AUTOHSCROLL, 10, 40, 200, 24, main,
        reinterpret_cast<HMENU>(101), nullptr, nullptr);
    HWND notes = CreateWindowEx(0, u"edit", u"", WS_CHILD | WS_VISIBLE | ES_MULTILINE | ES_AUTOVSCROLL, 10, 80, 200, 100, main,
        reinterpret_cast<HMENU>(102), nullptr, nullptr);
    ASSERT_NE(name, nullptr);
    ASSERT_NE(notes, nullptr);

    // A tap on the field: focus, the caret where tapped (after "Ann"), the panel up.
    tap(name, 150, 12);
    EXPECT_EQ(GetFocus(), name);
    EXPECT_EQ(sipRequests(), std::vector<WPARAM> { SIPF_ON });
    type(u"e\bie");
    EXPECT_EQ(text(name), u"Annie");
    int changes = static_cast<int>(std::count(heard.edits.begin(), heard.edits.end(), WORD(EN_CHANGE)));
    EXPECT_EQ(changes, 4) << "each change tells the parent";
    DWORD start = 0, end = 0;
    SendMessage(name, EM_GETSEL, reinterpret_cast<WPARAM>(&start), reinterpret_cast<LPARAM>(&end));
    EXPECT_EQ(start, 5u);
    EXPECT_EQ(end, 5u);

    // Moving to the other edit keeps the panel up; leaving the edits lowers it.
    tap(notes, 5, 5);
    EXPECT_EQ(GetFocus(), notes);
    type(u"one\rtwo");
    EXPECT_EQ(text(notes), u"one\r\ntwo");
    EXPECT_EQ(SendMessage(notes, EM_GETLINECOUNT, 0, 0), 2);
    SetFocus(main);
    SimPumpMessages();
    EXPECT_EQ(sipRequests(), (std::vector<WPARAM> { SIPF_ON, SIPF_OFF }));
    // A single-line edit keeps line breaks out.
    SetWindowText(name, u"a\r\nb");
    EXPECT_EQ(text(name), u"ab");
    closePanel(panel);
}

// A program's own text window (not an edit) says what it wants of the panel while it has the
// focus: up at once; down only once the focus settled without another window wanting it up.
TEST_F(Shell, SipPreferenceRaisesThePanelAndLowersItOnlyWhenNoWindowWantsItMeanwhile)
{
    HWND panel = openPanel();
    HWND text = CreateWindowEx(0, u"ShellTestParent", u"", WS_CHILD | WS_VISIBLE, 0, 0, 100, 100, main, nullptr, nullptr, nullptr);
    HWND other = CreateWindowEx(0, u"ShellTestParent", u"", WS_CHILD | WS_VISIBLE, 100, 0, 100, 100, main, nullptr, nullptr, nullptr);

    EXPECT_TRUE(SHSipPreference(text, SIP_UP));
    SimPumpMessages();
    EXPECT_EQ(sipRequests(), std::vector<WPARAM> { SIPF_ON });
    // From one text window to the next: down, then up before the focus settled; it stays up.
    heard.sip.clear();
    EXPECT_TRUE(SHSipPreference(text, SIP_DOWN));
    EXPECT_TRUE(SHSipPreference(other, SIP_UP));
    SimPumpMessages();
    EXPECT_EQ(sipRequests(), std::vector<WPARAM> { SIPF_ON });
    heard.sip.clear();
    EXPECT_TRUE(SHSipPreference(other, SIP_DOWN));
    EXPECT_TRUE(sipRequests().empty()) << "not before the focus settled";
    SimPumpMessages();
    EXPECT_EQ(sipRequests(), std::vector<WPARAM> { SIPF_OFF });
    heard.sip.clear();
    EXPECT_TRUE(SHSipPreference(other, SIP_FORCEDOWN));
    EXPECT_TRUE(SHSipPreference(other, SIP_UNCHANGED));
    SimPumpMessages();
    EXPECT_EQ(sipRequests(), std::vector<WPARAM> { SIPF_OFF });
    EXPECT_FALSE(SHSipPreference(nullptr, SIP_UP));

    // A Smartphone has no panel to raise.
    heard.sip.clear();
    ASSERT_TRUE(SimSetDeviceKind("smartphone"));
    EXPECT_TRUE(SHSipPreference(text, SIP_UP));
    SimPumpMessages();
    EXPECT_TRUE(sipRequests().empty());
    SimSetDeviceKind("pocketpc");
    DestroyWindow(text);
    DestroyWindow(other);
    closePanel(panel);
}

// A program that asks for the panel as soon as it is active, as a note pad does for its text.
LRESULT CALLBACK raiserProc(HWND w, UINT m, WPARAM wp, LPARAM lp)
{
    if (m == WM_ACTIVATE && LOWORD(wp) != WA_INACTIVE)
        SHSipPreference(w, SIP_UP);
    return DefWindowProc(w, m, wp, lp);
}

TEST_F(Shell, AProgramClosingWithThePanelUpLowersItBeforeTheNextOneIsActive)
{
    HWND panel = openPanel();
    WNDCLASS raiserClass {};
    raiserClass.lpfnWndProc = raiserProc;
    raiserClass.lpszClassName = u"ShellTestRaiser";
    RegisterClass(&raiserClass);
    HWND notes = CreateWindowEx(0, u"ShellTestRaiser", u"Notes", WS_VISIBLE, 0, 0, 240, 320, nullptr, nullptr, nullptr, nullptr);
    HWND form = CreateWindowEx(0, u"ShellTestParent", u"Form", WS_VISIBLE, 0, 0, 240, 320, nullptr, nullptr, nullptr, nullptr);
    ASSERT_TRUE(SHInitExtraControls());
    CreateWindowEx(0, WC_SIPPREF, u"", WS_CHILD, 0, 0, 0, 0, form, nullptr, nullptr, nullptr);
    HWND field = CreateWindowEx(0, u"Edit", u"", WS_CHILD | WS_VISIBLE | WS_BORDER, 10, 40, 200, 24, form, nullptr, nullptr, nullptr);
    tap(field, 5, 5);
    ASSERT_EQ(GetFocus(), field);
    ASSERT_EQ(GetActiveWindow(), form);
    heard.sip.clear();

    // The form's end hands the device to the note pad, which wants the panel: it stays up.
    DestroyWindow(form);
    SimPumpMessages();
    EXPECT_EQ(GetActiveWindow(), notes);
    ASSERT_FALSE(heard.sip.empty());
    EXPECT_EQ(heard.sip.back(), WPARAM(SIPF_ON)) << "the closing form's panel-down came after the note pad raised it";
    DestroyWindow(notes);
    closePanel(panel);
    UnregisterClass(u"ShellTestRaiser", nullptr);
}

TEST_F(Shell, EditScrollsSidewaysPaintsInItsParentsColoursAndNeverSplitsASurrogatePair)
{
    HWND edit = CreateWindowEx(0, u"Edit", u"", WS_CHILD | WS_VISIBLE | ES_AUTOHSCROLL, 0, 0, 60, 20, main, nullptr, nullptr, nullptr);
    SetFocus(edit);
    std::u16string longText = u"a long line that never fits in sixty pixels";
    SendMessage(edit, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(longText.c_str()));
    SendMessage(edit, EM_SETSEL, longText.size(), longText.size());
    UpdateWindow(edit);
    SimPumpMessages();
    const uint16_t* pixels;
    int width, height;
    ASSERT_TRUE(SimWindowPixels(edit, &pixels, &width, &height));
    uint16_t back = static_cast<uint16_t>((255 >> 3) << 11 | (255 >> 2) << 5 | (224 >> 3));
    EXPECT_EQ(pixels[0], back) << "the brush from WM_CTLCOLOREDIT";
    // Scrolled to the caret: the text's end is in view, so ink lies near the right edge.
    int inked = 0;
    for (int y = 0; y < height; ++y)
        for (int x = width / 2; x < width; ++x)
            inked += pixels[y * width + x] != back;
    EXPECT_GT(inked, 0);

    // A surrogate pair goes as one character.
    SetWindowText(edit, u"x\U0001F600");
    SendMessage(edit, EM_SETSEL, 3, 3);
    SimTypeChar(8);
    SimPumpMessages();
    EXPECT_EQ(text(edit), u"x");
    // A read-only or full edit refuses what does not fit.
    SendMessage(edit, EM_LIMITTEXT, 3, 0);
    type(u"yzw");
    EXPECT_EQ(text(edit), u"xyz");
    EXPECT_NE(std::find(heard.edits.begin(), heard.edits.end(), WORD(EN_MAXTEXT)), heard.edits.end());
}

TEST_F(Shell, MenuBarSitsAtTheBottomAtTheDevicesHeightAndPassesSoftKeysWhenAsked)
{
    struct Case {
        const char* kind;
        const char* geometry;
        int height;
    };
    for (Case c : { Case { "pocketpc", "qvga", 26 }, Case { "pocketpc", "vga", 52 }, Case { "smartphone", "qvga", 27 },
             Case { "smartphone", "vga", 54 }, Case { "smartphone", "176x220@96", 20 } }) {
        SimSetDeviceKind(c.kind);
        ASSERT_TRUE(SimSetGeometry(c.geometry));
        SHMENUBARINFO mb {};
        mb.cbSize = sizeof mb;
        mb.hwndParent = main;
        mb.dwFlags = SHCMBF_EMPTYBAR;
        mb.nToolBarId = 117;
        ASSERT_TRUE(SHCreateMenuBar(&mb)) << c.kind << " " << c.geometry;
        RECT r;
        GetWindowRect(mb.hwndMB, &r);
        EXPECT_EQ(r.bottom - r.top, c.height) << c.kind << " " << c.geometry;
        EXPECT_EQ(r.bottom, GetSystemMetrics(SM_CYSCREEN));
        EXPECT_EQ(r.right - r.left, GetSystemMetrics(SM_CXSCREEN));
        DestroyWindow(mb.hwndMB);
    }
    SimSetDeviceKind("pocketpc");
    SimSetGeometry("qvga");

    SHMENUBARINFO mb {};
    mb.cbSize = sizeof mb;
    mb.hwndParent = main;
    mb.nToolBarId = 117;
    EXPECT_FALSE(SHCreateMenuBar(&mb)) << "a bar from a menu resource the program does not have";
    mb.dwFlags = SHCMBF_EMPTYBAR;
    ASSERT_TRUE(SHCreateMenuBar(&mb));
    // The bar stays in front of its program.
    SetForegroundWindow(main);
    EXPECT_EQ(WindowFromPoint(POINT { 10, 310 }), mb.hwndMB);

    SetFocus(main);
    SimKeyDown(VK_TSOFT1);
    SimKeyUp(VK_TSOFT1);
    SimPumpMessages();
    EXPECT_TRUE(heard.keys.empty()) << "the bar keeps its soft keys";
    SendMessage(mb.hwndMB, SHCMBM_OVERRIDEKEY, VK_TSOFT1,
        MAKELPARAM(SHMBOF_NODEFAULT | SHMBOF_NOTIFY, SHMBOF_NODEFAULT | SHMBOF_NOTIFY));
    SendMessage(mb.hwndMB, SHCMBM_OVERRIDEKEY, VK_TSOFT2,
        MAKELPARAM(SHMBOF_NODEFAULT | SHMBOF_NOTIFY, SHMBOF_NODEFAULT | SHMBOF_NOTIFY));
    SimKeyDown(VK_TSOFT1);
    SimKeyDown(VK_TSOFT2);
    SimPumpMessages();
    EXPECT_EQ(heard.keys, (std::vector<UINT> { VK_F1, VK_F2 }));
    SimKeyUp(VK_TSOFT1);
    SimKeyUp(VK_TSOFT2);
    // The bar goes with its program.
    HWND bar = mb.hwndMB;
    DestroyWindow(main);
    EXPECT_FALSE(IsWindow(bar));
    main = CreateWindowEx(0, u"ShellTestParent", u"Program", WS_VISIBLE, 0, 0, 240, 320, nullptr, nullptr, nullptr, nullptr);
}

TEST_F(Shell, FullScreenStateIsKeptPerWindowAndTheShellHearsOfIt)
{
    EXPECT_EQ(SimShellState(main), 0u);
    ASSERT_TRUE(SHFullScreen(main, SHFS_HIDETASKBAR | SHFS_HIDESIPBUTTON));
    EXPECT_EQ(SimShellState(main), DWORD(SHFS_HIDETASKBAR | SHFS_HIDESIPBUTTON));
    ASSERT_TRUE(SHFullScreen(main, SHFS_SHOWTASKBAR | SHFS_SHOWSIPBUTTON | SHFS_HIDESTARTICON));
    EXPECT_EQ(SimShellState(main), DWORD(SHFS_HIDESTARTICON));
    SimPumpMessages();
    int heardFullScreen = 0;
    for (auto& [what, detail] : heard.shell)
        heardFullScreen += what == SIM_SHELL_FULLSCREEN;
    EXPECT_EQ(heardFullScreen, 2);
    EXPECT_FALSE(SHFullScreen(reinterpret_cast<HWND>(0x1234), SHFS_HIDETASKBAR));
}

TEST_F(Shell, FullScreenStateSaidAgainIsNotHeardAgain)
{
    // Programs place themselves again after every panel notice, with the state they had.
    ASSERT_TRUE(SHFullScreen(main, SHFS_HIDETASKBAR | SHFS_SHOWSIPBUTTON));
    SimPumpMessages();
    heard.shell.clear();
    for (int i = 0; i < 3; ++i)
        ASSERT_TRUE(SHFullScreen(main, SHFS_HIDETASKBAR | SHFS_SHOWSIPBUTTON));
    ASSERT_TRUE(SHFullScreen(main, SHFS_HIDETASKBAR));
    SimPumpMessages();
    EXPECT_TRUE(heard.shell.empty()) << "nothing changed";
    EXPECT_EQ(SimShellState(main), DWORD(SHFS_HIDETASKBAR));

    // A change after the repeats is heard, once.
    ASSERT_TRUE(SHFullScreen(main, SHFS_SHOWTASKBAR | SHFS_HIDESIPBUTTON));
    ASSERT_TRUE(SHFullScreen(main, SHFS_SHOWTASKBAR | SHFS_HIDESIPBUTTON));
    SimPumpMessages();
    ASSERT_EQ(heard.shell.size(), 1u);
    EXPECT_EQ(heard.shell[0].first, WPARAM(SIM_SHELL_FULLSCREEN));
    EXPECT_EQ(SimShellState(main), DWORD(SHFS_HIDESIPBUTTON));
}

TEST_F(Shell, PlatformTypeAnswersTheDeviceKind)
{
    WCHAR type[64];
    ASSERT_TRUE(SystemParametersInfo(SPI_GETPLATFORMTYPE, sizeof type, type, 0));
    EXPECT_EQ(std::u16string(type), u"PocketPC");
    ASSERT_TRUE(SimSetDeviceKind("smartphone"));
    EXPECT_TRUE(SimIsSmartphone());
    ASSERT_TRUE(SystemParametersInfo(SPI_GETPLATFORMTYPE, sizeof type, type, 0));
    EXPECT_EQ(std::u16string(type), u"SmartPhone");
    EXPECT_FALSE(SimSetDeviceKind("tablet"));
    EXPECT_TRUE(SimIsSmartphone()) << "an unknown kind changes nothing";
}

TEST_F(Shell, MessageBoxIsADialogInFrontAnsweredOnTheScreen)
{
    std::atomic<int> answer { -1 };
    std::thread program([&] {
        answer = MessageBox(nullptr, u"Save the changes?", u"Program", MB_OKCANCEL);
    });
    HWND box = nullptr;
    for (int i = 0; i < 500 && !box; ++i) {
        EnumWindows(
            [](HWND w, LPARAM found) {
                WCHAR cls[40], title[260];
                GetClassName(w, cls, 40);
                GetWindowText(w, title, 260);
                if (std::u16string(cls) == u"Dialog" && std::u16string(title) == u"Program" && IsWindowVisible(w)) {
                    *reinterpret_cast<HWND*>(found) = w;
                    return FALSE;
                }
                return TRUE;
            },
            reinterpret_cast<LPARAM>(&box));
        // The box's thread tells this one's window that it lost the foreground: answer it.
        SimPumpMessages();
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    ASSERT_NE(box, nullptr);
    EXPECT_EQ(GetForegroundWindow(), box);
    EXPECT_EQ(answer.load(), -1) << "the box waits for its answer";
    SimKeyDown(VK_ESCAPE);
    SimKeyUp(VK_ESCAPE);
    while (answer.load() == -1) {
        SimPumpMessages();
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    program.join();
    EXPECT_EQ(answer.load(), IDCANCEL);
    EXPECT_FALSE(IsWindow(box));
}

std::atomic<bool> g_activationMayEnd { false };
std::atomic<int> g_keysHeard { 0 };

// A window whose thread is slow to take the focus when it is activated.
LRESULT CALLBACK slowActivationProc(HWND w, UINT m, WPARAM wp, LPARAM lp)
{
    if (m == WM_ACTIVATE && LOWORD(wp) != WA_INACTIVE)
        while (!g_activationMayEnd)
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
    if (m == WM_KEYDOWN && wp == VK_ESCAPE)
        ++g_keysHeard;
    return DefWindowProc(w, m, wp, lp);
}

TEST_F(Shell, KeysGoToTheNewlyActiveWindowBeforeItsThreadTakesTheFocus)
{
    HWND edit = CreateWindowEx(0, u"EDIT", u"", WS_CHILD | WS_VISIBLE, 0, 0, 100, 20, main, nullptr, nullptr, nullptr);
    SetForegroundWindow(main);
    SetFocus(edit);
    ASSERT_EQ(GetFocus(), edit);

    WNDCLASS wc {};
    wc.lpfnWndProc = slowActivationProc;
    wc.lpszClassName = u"SlowActivation";
    RegisterClass(&wc);
    g_activationMayEnd = false;
    g_keysHeard = 0;
    std::atomic<HWND> other { nullptr };
    std::atomic<bool> done { false };
    std::thread program([&] {
        HWND w = CreateWindowEx(0, u"SlowActivation", u"Other", WS_POPUP, 0, 0, 240, 320, nullptr, nullptr, nullptr, nullptr);
        other = w;
        ShowWindow(w, SW_SHOW);
        SetForegroundWindow(w);
        while (!done) {
            SimPumpMessages();
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
        DestroyWindow(w);
        other = nullptr;
    });
    // The other thread is inside its activation: it is the active window, the focus not yet its.
    for (int i = 0; i < 2000 && GetActiveWindow() != other.load(); ++i) {
        SimPumpMessages(); // the old window hears that it lost
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    ASSERT_EQ(GetActiveWindow(), other.load());
    SimKeyDown(VK_ESCAPE);
    SimKeyUp(VK_ESCAPE);
    g_activationMayEnd = true;
    for (int i = 0; i < 2000 && g_keysHeard == 0; ++i) {
        SimPumpMessages();
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    EXPECT_EQ(g_keysHeard.load(), 1) << "the key went to the edit of the window that lost";
    EXPECT_EQ(GetFocus(), other.load());

    // Back in front, the window that lost gets its edit's focus back.
    HWND gone = other;
    done = true;
    // The other thread's window goes; this thread answers what it is told meanwhile.
    while (other.load()) {
        SimPumpMessages();
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    program.join();
    EXPECT_FALSE(IsWindow(gone));
    SetForegroundWindow(main);
    EXPECT_EQ(GetFocus(), edit);
    DestroyWindow(edit);
    UnregisterClass(u"SlowActivation", nullptr);
}

TEST_F(Shell, DirectDisplayDrawsTheWindowsContentAndRawInputTakesTheSoftKeys)
{
    GXDisplayProperties p = GXGetDisplayProperties();
    EXPECT_EQ(p.cxWidth, 240u);
    EXPECT_EQ(p.cyHeight, 320u);
    EXPECT_EQ(p.cbxPitch, 2);
    EXPECT_EQ(p.cbyPitch, 480);
    EXPECT_EQ(p.ffFormat & kfDirect565, DWORD(kfDirect565));
    EXPECT_EQ(p.ffFormat & kfLandscape, 0u);
    EXPECT_EQ(GXBeginDraw(), nullptr) << "nothing to draw before the display is open";

    HWND half = CreateWindowEx(0, u"ShellTestParent", u"Half", WS_VISIBLE, 0, 160, 240, 160, nullptr, nullptr, nullptr, nullptr);
    ASSERT_TRUE(GXOpenDisplay(half, GX_FULLSCREEN));
    EXPECT_FALSE(GXOpenDisplay(main, GX_FULLSCREEN)) << "one display a process";
    auto* fb = static_cast<uint16_t*>(GXBeginDraw());
    ASSERT_NE(fb, nullptr);
    for (int i = 0; i < 240 * 320; ++i)
        fb[i] = static_cast<uint16_t>(i / 240); // each row its own colour
    EXPECT_TRUE(GXEndDraw());
    const uint16_t* pixels;
    int width, height;
    ASSERT_TRUE(SimWindowPixels(half, &pixels, &width, &height));
    EXPECT_EQ(pixels[0], 160) << "the window shows the frame buffer where it lies on the screen";
    EXPECT_EQ(pixels[159 * 240], 319);
    EXPECT_EQ(SimScreenPixels(nullptr, nullptr, nullptr)[200 * 240 + 10], 200);
    EXPECT_TRUE(GXCloseDisplay());

    // Raw key input: the soft keys reach the program although its bar keeps them.
    SHMENUBARINFO mb {};
    mb.cbSize = sizeof mb;
    mb.hwndParent = main;
    mb.dwFlags = SHCMBF_EMPTYBAR;
    ASSERT_TRUE(SHCreateMenuBar(&mb));
    SetForegroundWindow(main);
    SetFocus(main);
    GXOpenInput();
    SimKeyDown(VK_TSOFT2);
    SimKeyUp(VK_TSOFT2);
    GXCloseInput();
    SimKeyDown(VK_TSOFT2);
    SimKeyUp(VK_TSOFT2);
    SimPumpMessages();
    EXPECT_EQ(heard.keys, std::vector<UINT> { VK_F2 });
    DestroyWindow(half);
}

}
