#pragma once
// Component object model: initialisation per thread.
#include "windef.h"

#define COINIT_MULTITHREADED 0x0
#define COINIT_APARTMENTTHREADED 0x2

// Counted per thread: the first call gives S_OK, later ones S_FALSE; each needs its
// CoUninitialize.
HRESULT CoInitializeEx(LPVOID reserved, DWORD coInit);
void CoUninitialize();
