// A device program for the host's tests: a full-screen window over whatever runs, drawn through
// the window system ("window") or straight into the frame buffer ("direct"). It logs what
// reaches it to "\Temp\testapp.log": taps, keys, its message box's answer; Enter asks for the
// message box, and answering it ends the program. "leave" shows the window and ends at once
// without destroying it; "crash" does the same by a fatal signal. "edit" shows an edit control
// with the input panel preference and logs its text at each change, ending at "bye"; "kind"
// logs the platform type and ends; "panel" logs each change of the input panel it hears of.
#include <aygshell.h>
#include <gx.h>
#include <sip.h>
#include <winbase.h>
#include <windows.h>

#include <csignal>
#include <cstdio>
#include <cstring>
#include <string>
#include <unistd.h>

namespace {

constexpr UINT kAskBox = WM_USER + 7;
constexpr COLORREF kWindowColour = RGB(200, 40, 40);
constexpr uint16_t kDirectColour = 0x001F; // blue
constexpr uint16_t kMark = 0xFFFF;

bool g_direct = false;
bool g_logPanel = false; // "panel": logs each change of the input panel it hears of
bool g_dirty = true;
int g_tapX = -100, g_tapY = -100;
HWND g_window = nullptr;
HWND g_edit = nullptr;
HBRUSH g_editBrush = nullptr;

std::string utf8(const std::u16string& text)
{
    std::string out;
    for (char16_t c : text)
        out += c < 128 ? static_cast<char>(c) : '?';
    return out;
}

void log(const std::string& line)
{
    HANDLE f = CreateFile(u"\\Temp\\testapp.log", GENERIC_WRITE, 0, nullptr, OPEN_ALWAYS, 0, nullptr);
    if (f == INVALID_HANDLE_VALUE)
        return;
    SetFilePointer(f, 0, nullptr, FILE_END);
    std::string text = line + "\n";
    DWORD written = 0;
    WriteFile(f, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
    CloseHandle(f);
}

void paintWindow(HWND window)
{
    PAINTSTRUCT ps;
    HDC dc = BeginPaint(window, &ps);
    RECT client;
    GetClientRect(window, &client);
    HBRUSH back = CreateSolidBrush(kWindowColour);
    FillRect(dc, &client, back);
    DeleteObject(back);
    RECT mark { g_tapX - 5, g_tapY - 5, g_tapX + 5, g_tapY + 5 };
    FillRect(dc, &mark, static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH)));
    EndPaint(window, &ps);
}

void drawDirect()
{
    GXDisplayProperties p = GXGetDisplayProperties();
    auto* fb = static_cast<uint16_t*>(GXBeginDraw());
    if (!fb)
        return;
    for (DWORD y = 0; y < p.cyHeight; ++y)
        for (DWORD x = 0; x < p.cxWidth; ++x) {
            bool mark = static_cast<int>(x) >= g_tapX - 5 && static_cast<int>(x) < g_tapX + 5 && static_cast<int>(y) >= g_tapY - 5
                && static_cast<int>(y) < g_tapY + 5;
            fb[y * (p.cbyPitch / 2) + x] = mark ? kMark : kDirectColour;
        }
    GXEndDraw();
}

LRESULT CALLBACK proc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_PAINT:
        if (g_direct)
            break;
        paintWindow(window);
        return 0;
    case WM_ACTIVATE:
        log(LOWORD(wParam) == WA_INACTIVE ? "inactive" : "active");
        break;
    case WM_LBUTTONDOWN:
        g_tapX = GET_X_LPARAM(lParam);
        g_tapY = GET_Y_LPARAM(lParam);
        log("tap " + std::to_string(g_tapX) + " " + std::to_string(g_tapY));
        g_dirty = true;
        InvalidateRect(window, nullptr, FALSE);
        return 0;
    case WM_KEYDOWN:
        log("key " + std::to_string(wParam));
        if (wParam == VK_RETURN)
            PostMessage(window, kAskBox, 0, 0);
        return 0;
    case WM_CHAR:
        log("char " + std::to_string(wParam));
        return 0;
    case WM_COMMAND:
        if (HIWORD(wParam) == EN_CHANGE && reinterpret_cast<HWND>(lParam) == g_edit) {
            WCHAR text[64] = {};
            GetWindowText(g_edit, text, 64);
            std::u16string t = text;
            log("text " + utf8(t));
            if (t.size() >= 3 && t.substr(t.size() - 3) == u"bye")
                DestroyWindow(window);
        }
        return 0;
    case WM_SETTINGCHANGE:
        if (g_logPanel && wParam == SPI_SETSIPINFO) {
            SIPINFO info {};
            info.cbSize = sizeof info;
            log(std::string("panel ") + (SipGetInfo(&info) && (info.fdwFlags & SIPF_ON) ? "up" : "down"));
        }
        break;
    case WM_CTLCOLOREDIT:
        SetTextColor(reinterpret_cast<HDC>(wParam), RGB(0, 0, 128));
        return reinterpret_cast<LRESULT>(g_editBrush);
    case kAskBox: {
        int answer = MessageBox(window, u"Finish the test?", u"Test App", MB_OK);
        log("box " + std::to_string(answer));
        DestroyWindow(window);
        return 0;
    }
    case WM_DESTROY:
        PostQuitMessage(0);
        return 0;
    }
    return DefWindowProc(window, message, wParam, lParam);
}

}

int main(int argc, char** argv)
{
    std::string mode = argc > 1 ? argv[1] : "window";
    g_direct = mode == "direct";
    g_logPanel = mode == "panel";
    if (mode == "kind") {
        WCHAR type[64] = {};
        SystemParametersInfo(SPI_GETPLATFORMTYPE, sizeof type, type, 0);
        log("kind " + utf8(type));
        return 0;
    }
    WNDCLASS wc {};
    wc.lpfnWndProc = proc;
    wc.lpszClassName = u"TestApp";
    RegisterClass(&wc);
    int width = GetSystemMetrics(SM_CXSCREEN), height = GetSystemMetrics(SM_CYSCREEN);
    g_window = CreateWindowEx(0, u"TestApp", u"Test App", WS_VISIBLE, 0, 0, width, height, nullptr, nullptr, nullptr, nullptr);
    if (!g_window)
        return 1;
    SHFullScreen(g_window, SHFS_HIDETASKBAR | SHFS_HIDESIPBUTTON | SHFS_HIDESTARTICON);
    SetForegroundWindow(g_window);
    log("started " + mode);
    if (mode == "edit") {
        g_editBrush = CreateSolidBrush(RGB(255, 255, 200));
        SHInitExtraControls();
        CreateWindowEx(0, WC_SIPPREF, u"", WS_CHILD, 0, 0, 0, 0, g_window, nullptr, nullptr, nullptr);
        g_edit = CreateWindowEx(0, u"Edit", u"", WS_CHILD | WS_VISIBLE | WS_BORDER | ES_AUTOHSCROLL, 10, 40, 220, 24, g_window,
            reinterpret_cast<HMENU>(1), nullptr, nullptr);
    }
    if (mode == "leave" || mode == "crash") {
        UpdateWindow(g_window);
        MSG m;
        while (PeekMessage(&m, nullptr, 0, 0, PM_REMOVE))
            DispatchMessage(&m);
        // Long enough for a busy host, which looks every few milliseconds, to see the window.
        usleep(60000);
        if (mode == "crash")
            std::raise(SIGKILL);
        _exit(0);
    }
    if (g_direct) {
        if (!GXOpenDisplay(g_window, GX_FULLSCREEN))
            return 2;
        GXOpenInput();
        // Draws as fast as it needs between messages, as a full-screen program does.
        for (;;) {
            MSG m;
            if (PeekMessage(&m, nullptr, 0, 0, PM_REMOVE)) {
                if (m.message == WM_QUIT)
                    break;
                TranslateMessage(&m);
                DispatchMessage(&m);
                continue;
            }
            if (g_dirty) {
                g_dirty = false;
                drawDirect();
            }
            Sleep(10);
        }
        GXCloseInput();
        GXCloseDisplay();
    } else {
        MSG m;
        while (GetMessage(&m, nullptr, 0, 0) > 0) {
            TranslateMessage(&m);
            DispatchMessage(&m);
        }
    }
    log("exit");
    return 0;
}
