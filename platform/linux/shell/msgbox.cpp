// Message boxes: windows of class "Dialog" on the device screen, titled with their caption,
// in front of their program and answered by a tap on a button (or Enter, Escape). Where nobody
// could answer (no device host, or the host's own box while a script runs headless) the box
// is logged and answered OK.
#include "linux/windows/win_internal.h"
#include "linux/windows/win_screen.h"
#include "linux/windows/win_shared.h"
#include "linux/text/host_text.h"

#include <winbase.h>
#include <wingdi.h>

#include <algorithm>
#include <cstdio>
#include <map>
#include <vector>

namespace wm {

namespace {

constexpr COLORREF kTitle = RGB(0, 40, 104);
constexpr COLORREF kTitleText = RGB(255, 255, 255);
constexpr COLORREF kBody = RGB(255, 255, 255);
constexpr COLORREF kText = RGB(0, 0, 0);
constexpr COLORREF kFrame = RGB(64, 64, 64);
constexpr COLORREF kButton = RGB(214, 211, 206);
constexpr COLORREF kButtonDown = RGB(160, 158, 154);

struct Button {
    int id;
    const char16_t* label;
    RECT rect {};
};

struct Box {
    std::u16string text;
    std::u16string caption;
    UINT type = 0;
    std::vector<Button> buttons;
    int cancel = 0; // what Escape and closing answer
    HFONT font = nullptr;
    HFONT bold = nullptr;
    int scale = 1;
    int titleHeight = 0;
    int pressed = -1; // button under the stylus
    int answer = 0;
};

std::map<HWND, Box*>& boxes()
{
    static std::map<HWND, Box*> table;
    return table;
}

Box* boxOf(HWND window)
{
    Guard g(lock());
    auto it = boxes().find(window);
    return it == boxes().end() ? nullptr : it->second;
}

std::vector<Button> buttonsFor(UINT type, int& cancel)
{
    switch (type & 0xF) {
    case MB_OKCANCEL:
        cancel = IDCANCEL;
        return { { IDOK, u"OK" }, { IDCANCEL, u"Cancel" } };
    case MB_YESNO:
        cancel = IDNO;
        return { { IDYES, u"Yes" }, { IDNO, u"No" } };
    case MB_YESNOCANCEL:
        cancel = IDCANCEL;
        return { { IDYES, u"Yes" }, { IDNO, u"No" }, { IDCANCEL, u"Cancel" } };
    case MB_RETRYCANCEL:
        cancel = IDCANCEL;
        return { { IDRETRY, u"Retry" }, { IDCANCEL, u"Cancel" } };
    case MB_ABORTRETRYIGNORE:
        cancel = IDABORT;
        return { { IDABORT, u"Abort" }, { IDRETRY, u"Retry" }, { IDIGNORE, u"Ignore" } };
    default:
        cancel = IDOK;
        return { { IDOK, u"OK" } };
    }
}

const char* answerName(int id)
{
    static const char* names[] = { "0", "IDOK", "IDCANCEL", "IDABORT", "IDRETRY", "IDIGNORE", "IDYES", "IDNO" };
    return id >= 0 && id <= 7 ? names[id] : "?";
}

HFONT boxFont(int pixels, bool bold)
{
    LOGFONT lf {};
    lf.lfHeight = -pixels;
    lf.lfWeight = bold ? FW_BOLD : FW_NORMAL;
    const char16_t face[] = u"Tahoma";
    std::copy(face, face + 7, lf.lfFaceName);
    return CreateFontIndirect(&lf);
}

void fill(HDC dc, RECT r, COLORREF color)
{
    HBRUSH b = CreateSolidBrush(color);
    FillRect(dc, &r, b);
    DeleteObject(b);
}

void frame(HDC dc, RECT r, COLORREF color)
{
    fill(dc, RECT { r.left, r.top, r.right, r.top + 1 }, color);
    fill(dc, RECT { r.left, r.bottom - 1, r.right, r.bottom }, color);
    fill(dc, RECT { r.left, r.top, r.left + 1, r.bottom }, color);
    fill(dc, RECT { r.right - 1, r.top, r.right, r.bottom }, color);
}

void paintBox(HWND window, Box& b)
{
    PAINTSTRUCT ps;
    HDC dc = BeginPaint(window, &ps);
    RECT client;
    GetClientRect(window, &client);
    int pad = 6 * b.scale;
    fill(dc, client, kBody);
    fill(dc, RECT { 0, 0, client.right, b.titleHeight }, kTitle);
    frame(dc, client, kFrame);
    SetBkMode(dc, TRANSPARENT);
    HGDIOBJ old = SelectObject(dc, b.bold);
    SetTextColor(dc, kTitleText);
    RECT title { pad, 0, client.right - pad, b.titleHeight };
    DrawText(dc, reinterpret_cast<LPCWSTR>(b.caption.c_str()), -1, &title, DT_LEFT | DT_VCENTER | DT_SINGLELINE | DT_NOPREFIX | DT_END_ELLIPSIS);
    SelectObject(dc, b.font);
    SetTextColor(dc, kText);
    RECT body { pad, b.titleHeight + pad, client.right - pad, client.bottom };
    DrawText(dc, reinterpret_cast<LPCWSTR>(b.text.c_str()), -1, &body, DT_LEFT | DT_TOP | DT_WORDBREAK | DT_NOPREFIX);
    for (size_t i = 0; i < b.buttons.size(); ++i) {
        const Button& button = b.buttons[i];
        fill(dc, button.rect, static_cast<int>(i) == b.pressed ? kButtonDown : kButton);
        frame(dc, button.rect, kFrame);
        RECT label = button.rect;
        DrawText(dc, reinterpret_cast<LPCWSTR>(button.label), -1, &label, DT_CENTER | DT_VCENTER | DT_SINGLELINE | DT_NOPREFIX);
    }
    SelectObject(dc, old);
    EndPaint(window, &ps);
}

int buttonAt(const Box& b, LPARAM lParam)
{
    int x = GET_X_LPARAM(lParam), y = GET_Y_LPARAM(lParam);
    for (size_t i = 0; i < b.buttons.size(); ++i) {
        const RECT& r = b.buttons[i].rect;
        if (x >= r.left && x < r.right && y >= r.top && y < r.bottom)
            return static_cast<int>(i);
    }
    return -1;
}

LRESULT CALLBACK dialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    Box* b = boxOf(window);
    if (!b)
        return DefWindowProc(window, message, wParam, lParam);
    switch (message) {
    case WM_PAINT:
        paintBox(window, *b);
        return 0;
    case WM_LBUTTONDOWN:
        b->pressed = buttonAt(*b, lParam);
        SetCapture(window);
        InvalidateRect(window, nullptr, FALSE);
        return 0;
    case WM_LBUTTONUP: {
        int released = buttonAt(*b, lParam);
        if (GetCapture() == window)
            ReleaseCapture();
        if (released >= 0 && released == b->pressed)
            b->answer = b->buttons[static_cast<size_t>(released)].id;
        b->pressed = -1;
        InvalidateRect(window, nullptr, FALSE);
        return 0;
    }
    case WM_KEYDOWN:
        if (wParam == VK_RETURN)
            b->answer = b->buttons.front().id;
        else if (wParam == VK_ESCAPE)
            b->answer = b->cancel;
        return 0;
    case WM_CLOSE:
        b->answer = b->cancel;
        return 0;
    }
    return DefWindowProc(window, message, wParam, lParam);
}

// Lays the box out for the screen: full width less a margin, as tall as its text needs,
// centred.
RECT layoutBox(Box& b)
{
    int width = GetSystemMetrics(SM_CXSCREEN), height = GetSystemMetrics(SM_CYSCREEN);
    int pad = 6 * b.scale, margin = 8 * b.scale;
    int boxWidth = width - 2 * margin;
    b.titleHeight = 20 * b.scale;
    int textHeight = 0;
    if (HDC dc = GetDC(nullptr)) {
        HGDIOBJ old = SelectObject(dc, b.font);
        RECT r { 0, 0, boxWidth - 2 * pad, 0 };
        textHeight = DrawText(dc, reinterpret_cast<LPCWSTR>(b.text.c_str()), -1, &r, DT_LEFT | DT_TOP | DT_WORDBREAK | DT_NOPREFIX | DT_CALCRECT);
        SelectObject(dc, old);
        ReleaseDC(nullptr, dc);
    }
    int buttonHeight = 22 * b.scale, buttonWidth = 56 * b.scale, gap = 6 * b.scale;
    int boxHeight = std::min(height, b.titleHeight + pad + textHeight + pad + buttonHeight + pad);
    int count = static_cast<int>(b.buttons.size());
    int left = (boxWidth - (count * buttonWidth + (count - 1) * gap)) / 2;
    for (int i = 0; i < count; ++i) {
        int x = left + i * (buttonWidth + gap);
        b.buttons[static_cast<size_t>(i)].rect = RECT { x, boxHeight - pad - buttonHeight, x + buttonWidth, boxHeight - pad };
    }
    int top = std::max(0, (height - boxHeight) / 2);
    return RECT { margin, top, margin + boxWidth, top + boxHeight };
}

HWND topLevelOf(HWND window)
{
    Guard g(lock());
    Window* w = find(window);
    while (w && w->parent)
        w = w->parent;
    return w ? w->handle : nullptr;
}

// The device host lives on another thread or in another program: its input can answer.
bool shellElsewhere()
{
    HWND shell = shared::shellWindow();
    if (!shell)
        return false;
    Guard g(lock());
    Window* w = find(shell);
    return !w || w->thread != currentThread();
}

int logAnswer(const std::u16string& caption, const std::u16string& text, int answer)
{
    std::fprintf(stderr, "MessageBox [%s] %s -> %s\n", sim::toUtf8(caption).c_str(), sim::toUtf8(text).c_str(), answerName(answer));
    return answer;
}

}

bool registerDialogClass()
{
    WNDCLASS wc {};
    wc.lpfnWndProc = dialogProc;
    wc.lpszClassName = u"Dialog";
    return RegisterClass(&wc) != 0;
}

}

using namespace wm;

int MessageBox(HWND owner, LPCWSTR text, LPCWSTR caption, UINT type)
{
    Box b;
    b.text = text ? text : u"";
    b.caption = caption ? caption : u"Error";
    b.type = type;
    b.buttons = buttonsFor(type, b.cancel);
    // Only a screen someone can tap can answer: the device host's own boxes while a script
    // runs headless or before its screen is open (a library it loads at boot), or any box on a
    // device without a host, are answered at once.
    bool onScreen = ScreenIsHere() ? ScreenIsInteractive() : shellElsewhere();
    if (!onScreen)
        return logAnswer(b.caption, b.text, IDOK);

    b.scale = ScreenDpi() >= 97 ? 2 : 1;
    b.font = boxFont(12 * b.scale, false);
    b.bold = boxFont(12 * b.scale, true);
    RECT r = layoutBox(b);
    HWND top = owner ? topLevelOf(owner) : nullptr;
    HWND box = CreateWindowEx(0, u"Dialog", b.caption.c_str(), WS_POPUP, r.left, r.top, r.right - r.left, r.bottom - r.top,
        nullptr, nullptr, nullptr, nullptr);
    if (!box) {
        DeleteObject(b.font);
        DeleteObject(b.bold);
        return logAnswer(b.caption, b.text, IDOK);
    }
    {
        Guard g(lock());
        boxes()[box] = &b;
        if (Window* w = find(box); w && top)
            w->owner = top;
    }
    bool ownerWasEnabled = top && IsWindowEnabled(top);
    if (ownerWasEnabled)
        EnableWindow(top, FALSE);
    std::fprintf(stderr, "MessageBox [%s] %s: shown\n", sim::toUtf8(b.caption).c_str(), sim::toUtf8(b.text).c_str());
    ShowWindow(box, SW_SHOW);
    SetForegroundWindow(box);

    bool interactive = ScreenIsHere();
    while (!b.answer && IsWindow(box)) {
        if (interactive) {
            if (!SimPollDisplay()) {
                b.answer = b.cancel;
                break;
            }
            if (!SimRunFor(10)) {
                b.answer = b.cancel;
                break;
            }
            continue;
        }
        MSG m;
        int got = GetMessage(&m, nullptr, 0, 0);
        if (got <= 0) {
            // The program is ending: the quit stays for its own loop.
            PostQuitMessage(static_cast<int>(m.wParam));
            b.answer = b.cancel;
            break;
        }
        TranslateMessage(&m);
        DispatchMessage(&m);
    }
    {
        Guard g(lock());
        boxes().erase(box);
    }
    if (ownerWasEnabled)
        EnableWindow(top, TRUE);
    DestroyWindow(box);
    if (top && IsWindowVisible(top))
        SetForegroundWindow(top);
    DeleteObject(b.font);
    DeleteObject(b.bold);
    return logAnswer(b.caption, b.text, b.answer);
}
