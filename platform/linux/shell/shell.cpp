// The shell's services for programs: the menu bar with its soft keys and input panel button,
// the full-screen state that the device host follows, and the input panel preference control.
#include "linux/windows/win_internal.h"
#include "linux/windows/win_shared.h"

#include <aygshell.h>
#include <simhost.h>
#include <sip.h>
#include <winbase.h>
#include <wingdi.h>

#include <algorithm>
#include <atomic>
#include <map>

#ifndef ERROR_RESOURCE_NAME_NOT_FOUND
#define ERROR_RESOURCE_NAME_NOT_FOUND 1814L
#endif

namespace wm {

namespace {

const char16_t kMenuBarClass[] = u"menu_worker";
constexpr UINT kSipPrefCheck = WM_USER + 1;
constexpr COLORREF kBar = RGB(214, 211, 206);
constexpr COLORREF kBarEdge = RGB(128, 128, 128);
constexpr COLORREF kKey = RGB(255, 255, 255);
constexpr COLORREF kKeyEdge = RGB(64, 64, 64);

struct MenuBar {
    HWND owner = nullptr;
    DWORD flags = 0;
    COLORREF background = kBar;
    // Per soft key: SHMBOF_* flags set by SHCMBM_OVERRIDEKEY.
    DWORD softKey[2] = { 0, 0 };
};

std::map<HWND, MenuBar>& menuBars()
{
    static std::map<HWND, MenuBar> table;
    return table;
}

struct SipPref {
    int requested = -1; // what it last asked of the input panel: 1 up, 0 down
};

std::map<HWND, SipPref>& sipPrefs()
{
    static std::map<HWND, SipPref> table;
    return table;
}

bool ownerHidesSipButton(HWND owner)
{
    Window* w = find(owner);
    return w && (w->shellState & SHFS_HIDESIPBUTTON);
}

RECT sipButton(int width, int height)
{
    int size = height - 4;
    return RECT { width / 2 - size, 2, width / 2 + size, 2 + size };
}

void fill(HDC dc, RECT r, COLORREF color)
{
    HBRUSH b = CreateSolidBrush(color);
    FillRect(dc, &r, b);
    DeleteObject(b);
}

void paintMenuBar(HWND window)
{
    PAINTSTRUCT ps;
    HDC dc = BeginPaint(window, &ps);
    RECT client;
    GetClientRect(window, &client);
    MenuBar bar;
    bool hideButton;
    {
        Guard g(lock());
        auto it = menuBars().find(window);
        if (it != menuBars().end())
            bar = it->second;
        hideButton = (bar.flags & SHCMBF_HIDESIPBUTTON) || ownerHidesSipButton(bar.owner) || SimIsSmartphone();
    }
    fill(dc, client, bar.background);
    fill(dc, RECT { 0, 0, client.right, 1 }, kBarEdge);
    if (!hideButton) {
        // The input panel button: a small keyboard, two rows of three keys over a space bar.
        RECT b = sipButton(client.right, client.bottom);
        fill(dc, b, kKeyEdge);
        fill(dc, RECT { b.left + 1, b.top + 1, b.right - 1, b.bottom - 1 }, kKey);
        int unit = std::max<int>(1, (b.bottom - b.top) / 7);
        int left = (b.left + b.right - 5 * unit) / 2, top = b.top + unit;
        for (int row = 0; row < 2; ++row)
            for (int col = 0; col < 3; ++col) {
                int x = left + col * unit * 2, y = top + row * unit * 2;
                fill(dc, RECT { x, y, x + unit, y + unit }, kKeyEdge);
            }
        fill(dc, RECT { left, top + unit * 4, left + unit * 5, top + unit * 5 }, kKeyEdge);
    }
    EndPaint(window, &ps);
}

LRESULT CALLBACK menuBarProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_PAINT:
        paintMenuBar(window);
        return 0;
    case SHCMBM_OVERRIDEKEY: {
        int index = wParam == VK_TSOFT1 ? 0 : wParam == VK_TSOFT2 ? 1 : -1;
        if (index < 0)
            return FALSE;
        Guard g(lock());
        auto it = menuBars().find(window);
        if (it == menuBars().end())
            return FALSE;
        DWORD mask = LOWORD(lParam), values = HIWORD(lParam);
        DWORD& flags = it->second.softKey[index];
        flags = (flags & ~mask) | (values & mask);
        return TRUE;
    }
    case WM_LBUTTONDOWN: {
        RECT client;
        GetClientRect(window, &client);
        RECT b = sipButton(client.right, client.bottom);
        int x = GET_X_LPARAM(lParam), y = GET_Y_LPARAM(lParam);
        bool hidden;
        {
            Guard g(lock());
            auto it = menuBars().find(window);
            hidden = it == menuBars().end() || (it->second.flags & SHCMBF_HIDESIPBUTTON) || ownerHidesSipButton(it->second.owner);
        }
        if (!hidden && x >= b.left && x < b.right && y >= b.top && y < b.bottom) {
            SIPINFO info {};
            info.cbSize = sizeof info;
            bool up = SipGetInfo(&info) && (info.fdwFlags & SIPF_ON);
            SipShowIM(up ? SIPF_OFF : SIPF_ON);
        }
        return 0;
    }
    case WM_NCDESTROY: {
        Guard g(lock());
        menuBars().erase(window);
        break;
    }
    }
    return DefWindowProc(window, message, wParam, lParam);
}

bool isEdit(HWND window)
{
    WCHAR name[16];
    return window && GetClassName(window, name, 16) && std::u16string_view(name) == u"Edit";
}

LRESULT CALLBACK sipPrefProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_CREATE: {
        Guard g(lock());
        sipPrefs()[window] = SipPref {};
        break;
    }
    case kSipPrefCheck: {
        // Up while an edit of the same parent holds the focus, down once none does. Checked
        // after the focus settled, so moving between two edits leaves the panel up.
        HWND parent = GetParent(window);
        HWND focus = GetFocus();
        int want = (isEdit(focus) && parent && IsChild(parent, focus)) ? 1 : 0;
        int before;
        {
            Guard g(lock());
            auto it = sipPrefs().find(window);
            if (it == sipPrefs().end())
                return 0;
            before = it->second.requested;
            it->second.requested = want;
        }
        if (want != before && (want == 1 || before == 1))
            SipShowIM(want ? SIPF_ON : SIPF_OFF);
        return 0;
    }
    case WM_DESTROY: {
        // A program that closes while one of its edits has the panel up takes it down.
        bool up;
        {
            Guard g(lock());
            auto it = sipPrefs().find(window);
            up = it != sipPrefs().end() && it->second.requested == 1;
            if (up)
                it->second.requested = 0;
        }
        if (up)
            SipShowIM(SIPF_OFF);
        break;
    }
    case WM_NCDESTROY: {
        Guard g(lock());
        sipPrefs().erase(window);
        break;
    }
    }
    return DefWindowProc(window, message, wParam, lParam);
}

int smartphoneBarHeight(int width)
{
    switch (width) {
    case 176:
        return 20;
    case 240:
    case 320:
    case 400:
        return 27;
    case 352:
        return 40;
    case 480:
    case 640:
    case 800:
        return 54;
    default:
        return 0;
    }
}

}

int menuBarHeight()
{
    if (SimIsSmartphone())
        return smartphoneBarHeight(GetSystemMetrics(SM_CXSCREEN));
    return GetSystemMetrics(SM_CYMENU);
}

bool registerMenuBarClass()
{
    WNDCLASS wc {};
    wc.lpfnWndProc = menuBarProc;
    wc.lpszClassName = kMenuBarClass;
    return RegisterClass(&wc) != 0;
}

bool shellTakesKey(HWND target, UINT message, int virtualKey)
{
    if (virtualKey != VK_TSOFT1 && virtualKey != VK_TSOFT2)
        return false;
    if (message != WM_KEYDOWN && message != WM_KEYUP)
        return false;
    if (rawKeyInputOpen())
        return false;
    Guard g(lock());
    Window* top = find(target);
    while (top && top->parent)
        top = top->parent;
    if (!top)
        return false;
    for (auto& [bar, info] : menuBars()) {
        if (info.owner != top->handle)
            continue;
        DWORD flags = info.softKey[virtualKey == VK_TSOFT1 ? 0 : 1];
        // Passed on as an ordinary key when asked for; otherwise the bar's own (an empty
        // bar's soft keys do nothing).
        return !(flags & SHMBOF_NOTIFY);
    }
    return false;
}

namespace {

// Requests for the panel up (SHSipPreference) in this program so far.
std::atomic<uint64_t> g_sipUpRequests { 0 };

}

void sipDownSettled(WPARAM upRequestsThen)
{
    if (g_sipUpRequests.load() == upRequestsThen)
        SipShowIM(SIPF_OFF);
}

void editFocusChanged(HWND edit)
{
    HWND parent = GetParent(edit);
    if (!parent)
        return;
    std::vector<HWND> prefs;
    bool going;
    {
        Guard g(lock());
        for (auto& [window, pref] : sipPrefs())
            if (GetParent(window) == parent)
                prefs.push_back(window);
        Window* e = find(edit);
        going = e && e->destroying;
    }
    // An edit whose window is being destroyed lowers the panel now, before the next program is
    // made active and raises it for its own edit: a check posted for later would never run.
    for (HWND p : prefs)
        if (going)
            SendMessage(p, kSipPrefCheck, 0, 0);
        else
            PostMessage(p, kSipPrefCheck, 0, 0);
}

}

using namespace wm;

BOOL SHCreateMenuBar(SHMENUBARINFO* info)
{
    if (!info || info->cbSize < sizeof(SHMENUBARINFO) || !IsWindow(info->hwndParent)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    info->hwndMB = nullptr;
    if (!(info->dwFlags & SHCMBF_EMPTYBAR)) {
        SetLastError(ERROR_RESOURCE_NAME_NOT_FOUND);
        return FALSE;
    }
    int width = GetSystemMetrics(SM_CXSCREEN), height = GetSystemMetrics(SM_CYSCREEN);
    int barHeight = menuBarHeight();
    HWND bar = CreateWindowEx(WS_EX_NOACTIVATE, kMenuBarClass, u"", WS_POPUP, 0, height - barHeight, width, barHeight,
        nullptr, nullptr, info->hInstRes, nullptr);
    if (!bar)
        return FALSE;
    {
        Guard g(lock());
        MenuBar m;
        m.owner = info->hwndParent;
        m.flags = info->dwFlags;
        if (info->dwFlags & SHCMBF_COLORBK)
            m.background = info->clrBk;
        menuBars()[bar] = m;
        if (Window* w = find(bar)) {
            w->owner = info->hwndParent;
            placeInZOrder(w, true);
        }
    }
    if (!(info->dwFlags & SHCMBF_HIDDEN))
        ShowWindow(bar, SW_SHOWNA);
    info->hwndMB = bar;
    return TRUE;
}

BOOL SHFullScreen(HWND window, DWORD state)
{
    std::vector<HWND> bars;
    {
        Guard g(lock());
        Window* w = find(window);
        while (w && w->parent)
            w = w->parent;
        if (!w) {
            SetLastError(ERROR_INVALID_WINDOW_HANDLE);
            return FALSE;
        }
        const DWORD before = w->shellState;
        auto apply = [&](DWORD show, DWORD hide) {
            if (state & hide)
                w->shellState |= hide;
            else if (state & show)
                w->shellState &= ~hide;
        };
        apply(SHFS_SHOWTASKBAR, SHFS_HIDETASKBAR);
        apply(SHFS_SHOWSIPBUTTON, SHFS_HIDESIPBUTTON);
        apply(SHFS_SHOWSTARTICON, SHFS_HIDESTARTICON);
        // Programs say it again after every change of the panel or the screen: a state that
        // stays as it was shows nothing new, and the shell in another process need not hear.
        if (w->shellState == before)
            return TRUE;
        screenChanged();
        shared::publish();
        for (auto& [bar, info] : menuBars())
            if (info.owner == w->handle)
                bars.push_back(bar);
    }
    for (HWND b : bars)
        InvalidateRect(b, nullptr, FALSE);
    notifyShell(SIM_SHELL_FULLSCREEN, 0);
    return TRUE;
}

BOOL SHInitExtraControls()
{
    Guard g(lock());
    WNDCLASS existing;
    if (GetClassInfo(nullptr, WC_SIPPREF, &existing))
        return TRUE;
    WNDCLASS wc {};
    wc.lpfnWndProc = sipPrefProc;
    wc.lpszClassName = WC_SIPPREF;
    return RegisterClass(&wc) ? TRUE : FALSE;
}

BOOL SHSipPreference(HWND window, SIPSTATE state)
{
    if (!window || !IsWindow(window)) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return FALSE;
    }
    if (SimIsSmartphone())
        return TRUE;
    switch (state) {
    case SIP_UP:
    case SIP_INPUTDIALOG:
        ++g_sipUpRequests;
        return SipShowIM(SIPF_ON);
    case SIP_DOWN:
        // Carried out from the queue, after the focus change that asked for it has ended: the
        // window that takes the focus may want the panel up.
        return postInternal(window, kInternalSipDown, static_cast<WPARAM>(g_sipUpRequests.load()), 0) ? TRUE : FALSE;
    case SIP_FORCEDOWN:
        return SipShowIM(SIPF_OFF);
    default:
        return TRUE;
    }
}
