#pragma once
// The device screen: its geometry, the 16-bit surface composed from the windows, and its
// presentation on the display back end.
#include <windef.h>

int ScreenWidth();
int ScreenHeight();
int ScreenDpi();
DWORD ScreenOrientation(); // DMDO_0, DMDO_90, DMDO_180 or DMDO_270

// A device context over the composed screen (GetDC(NULL)).
HDC ScreenDC();
bool ReleaseScreenDC(HDC dc);

// The calling thread opened the display (it is the device host's), and someone looks at it.
bool ScreenIsHere();
bool ScreenIsInteractive();

namespace wm {
// On the thread that opened the display: composes the screen when something changed and
// presents it. Elsewhere it does nothing.
void presentIfChanged();
}
