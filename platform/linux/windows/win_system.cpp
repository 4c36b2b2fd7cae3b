// Default window processing, system metrics and parameters, display settings, message boxes.
#include "win_internal.h"
#include "win_remote.h"
#include "win_screen.h"
#include "linux/text/host_text.h"

#include <winbase.h>
#include <simhost.h>

#include <cstdio>
#include <string>

LONG RotateScreen(DWORD orientation);

namespace {

// The taskbar at the top and the menu bar at the bottom: 26 pixels at 96 dpi.
int barHeight()
{
    return ScreenDpi() >= 97 ? 52 : 26;
}

}

using namespace wm;

LRESULT DefWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_NCCREATE:
        return TRUE;
    case WM_PAINT: {
        PAINTSTRUCT ps;
        BeginPaint(window, &ps);
        EndPaint(window, &ps);
        return 0;
    }
    case WM_ERASEBKGND:
        // The graphics layer has no brushes: a class background is never painted for the
        // window, which draws all of itself (as every program here does).
        return 0;
    case WM_CLOSE:
        DestroyWindow(window);
        return 0;
    case WM_SETTEXT: {
        Guard g(lock());
        Window* w = find(window);
        if (!w)
            return FALSE;
        w->title = lParam ? reinterpret_cast<LPCWSTR>(lParam) : u"";
        if (!w->parent)
            publishTopLevel();
        return TRUE;
    }
    case WM_GETTEXT:
        return GetWindowText(window, reinterpret_cast<LPWSTR>(lParam), static_cast<int>(wParam));
    case WM_GETTEXTLENGTH:
        return GetWindowTextLength(window);
    case WM_ACTIVATE:
        // An activated window takes the focus unless it already holds it or a child does.
        if (LOWORD(wParam) != WA_INACTIVE) {
            HWND focus = GetFocus();
            if (focus != window && !IsChild(window, focus))
                SetFocus(window);
        }
        return 0;
    default:
        return 0;
    }
}

int GetSystemMetrics(int index)
{
    int dpiScale = ScreenDpi() >= 97 ? 2 : 1;
    switch (index) {
    case SM_CXSCREEN:
    case SM_CXFULLSCREEN:
    case SM_CXVIRTUALSCREEN:
        return ScreenWidth();
    case SM_CYSCREEN:
    case SM_CYVIRTUALSCREEN:
        return ScreenHeight();
    case SM_CYFULLSCREEN:
        return ScreenHeight() - 2 * barHeight();
    case SM_CXVSCROLL:
    case SM_CYHSCROLL:
    case SM_CYVSCROLL:
    case SM_CXHSCROLL:
        return 13 * dpiScale;
    case SM_CYCAPTION:
    case SM_CYMENU:
        return barHeight();
    case SM_CXBORDER:
    case SM_CYBORDER:
        return 1 * dpiScale;
    case SM_CXDLGFRAME:
    case SM_CYDLGFRAME:
    case SM_CXEDGE:
    case SM_CYEDGE:
        return 2 * dpiScale;
    case SM_CXICON:
    case SM_CYICON:
        return 32 * dpiScale;
    case SM_CXSMICON:
    case SM_CYSMICON:
        return 16 * dpiScale;
    case SM_CXDOUBLECLK:
    case SM_CYDOUBLECLK:
        return 4 * dpiScale;
    case SM_MOUSEPRESENT:
        return 0; // a stylus, no mouse
    case SM_DEBUG:
        return 0;
    default:
        return 0;
    }
}

BOOL SystemParametersInfo(UINT action, UINT uiParam, LPVOID pvParam, UINT)
{
    auto copyText = [&](std::u16string_view text) {
        size_t capacity = uiParam / sizeof(WCHAR);
        if (!pvParam || capacity <= text.size()) {
            SetLastError(ERROR_INSUFFICIENT_BUFFER);
            return FALSE;
        }
        auto* out = static_cast<WCHAR*>(pvParam);
        text.copy(out, text.size());
        out[text.size()] = 0;
        return TRUE;
    };
    switch (action) {
    case SPI_GETWORKAREA:
        if (!pvParam)
            return FALSE;
        *static_cast<RECT*>(pvParam) = RECT { 0, barHeight(), ScreenWidth(), ScreenHeight() - barHeight() };
        return TRUE;
    case SPI_GETPLATFORMTYPE:
        return copyText(SimIsSmartphone() ? u"SmartPhone" : u"PocketPC");
    case SPI_GETOEMINFO:
        return copyText(u"pocketsim");
    default:
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
}

extern "C" LONG ChangeDisplaySettingsEx(LPCWSTR, LPDEVMODE mode, HWND, DWORD flags, LPVOID)
{
    if (!mode)
        return (flags & CDS_RESET) ? DISP_CHANGE_SUCCESSFUL : DISP_CHANGE_BADPARAM;
    if (flags & CDS_TEST) {
        if (mode->dmFields & DM_DISPLAYORIENTATION)
            mode->dmDisplayOrientation = ScreenOrientation();
        if (mode->dmFields & DM_DISPLAYQUERYORIENTATION)
            mode->dmDisplayOrientation = DMDO_0 | DMDO_90 | DMDO_180 | DMDO_270;
        if (mode->dmFields & DM_PELSWIDTH)
            mode->dmPelsWidth = static_cast<DWORD>(ScreenWidth());
        if (mode->dmFields & DM_PELSHEIGHT)
            mode->dmPelsHeight = static_cast<DWORD>(ScreenHeight());
        if (mode->dmFields & DM_BITSPERPEL)
            mode->dmBitsPerPel = 16;
        return DISP_CHANGE_SUCCESSFUL;
    }
    if (mode->dmFields & DM_DISPLAYORIENTATION)
        return RotateScreen(mode->dmDisplayOrientation);
    return DISP_CHANGE_BADMODE;
}

HCURSOR LoadCursor(HINSTANCE, LPCWSTR name)
{
    // Cursors are not drawn on a stylus device; the handle only has to be distinct and non-null.
    return reinterpret_cast<HCURSOR>(reinterpret_cast<uintptr_t>(name) | 0x1000000);
}

HCURSOR SetCursor(HCURSOR cursor)
{
    static HCURSOR current = nullptr;
    HCURSOR old = current;
    current = cursor;
    return old;
}
