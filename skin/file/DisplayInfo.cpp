#include "skin/file/DisplayInfo.h"

#include <windows.h>

namespace {

// 0...3 from the platform's rotation values, and back.
int OrientationFromPlatform(DWORD rotation)
{
    switch (rotation) {
    case DMDO_90:
        return 1;
    case DMDO_180:
        return 2;
    case DMDO_270:
        return 3;
    default:
        return 0;
    }
}

DWORD PlatformRotation(int orientation)
{
    static const DWORD rotations[4] = { DMDO_0, DMDO_90, DMDO_180, DMDO_270 };
    return rotations[orientation & 3];
}

// The display settings call is looked up in the core library by name: older devices lack it,
// and then the screen counts as upright and cannot be turned.
typedef LONG (*ChangeDisplaySettingsExFn)(LPCWSTR, LPDEVMODE, HWND, DWORD, LPVOID);

ChangeDisplaySettingsExFn ChangeDisplaySettingsFunction()
{
    HMODULE core = GetModuleHandle(u"coredll.dll");
    return core ? reinterpret_cast<ChangeDisplaySettingsExFn>(GetProcAddress(core, u"ChangeDisplaySettingsEx")) : nullptr;
}

} // namespace

DisplayInfo DisplayInfo::query()
{
    DisplayInfo info;
    HDC screen = GetDC(nullptr);
    if (screen) {
        info.width = GetDeviceCaps(screen, HORZRES);
        info.height = GetDeviceCaps(screen, VERTRES);
        info.dpi = GetDeviceCaps(screen, LOGPIXELSY);
        ReleaseDC(nullptr, screen);
    }
    info.current_width = info.width;
    info.current_height = info.height;

    DEVMODE mode {};
    mode.dmSize = sizeof mode;
    mode.dmFields = DM_DISPLAYORIENTATION;
    ChangeDisplaySettingsExFn change = ChangeDisplaySettingsFunction();
    if (change && change(nullptr, &mode, nullptr, CDS_TEST, nullptr) == DISP_CHANGE_SUCCESSFUL)
        info.orientation = OrientationFromPlatform(mode.dmDisplayOrientation);
    return info;
}

bool DisplayInfo::set_orientation(int orientation)
{
    if (orientation < 0 || orientation > 3)
        return false;
    DEVMODE mode {};
    mode.dmSize = sizeof mode;
    mode.dmFields = DM_DISPLAYORIENTATION;
    mode.dmDisplayOrientation = PlatformRotation(orientation);
    ChangeDisplaySettingsExFn change = ChangeDisplaySettingsFunction();
    return change && change(nullptr, &mode, nullptr, 0, nullptr) == DISP_CHANGE_SUCCESSFUL;
}
