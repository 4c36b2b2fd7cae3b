#pragma once
// Kernel services: clock, files and folders, critical sections, modules.
#include "windef.h"

// ---- clock ----------------------------------------------------------------
// Milliseconds since boot, wrapping at 2^32 like the device's counter.
DWORD GetTickCount();
void Sleep(DWORD milliseconds);


// ---- files and folders ------------------------------------------------------


// ---- critical sections ------------------------------------------------------


// ---- modules and processes ----------------------------------------------------


// ---- named mutexes and other synchronisation ------------------------------------


// ---- errors -------------------------------------------------------------------

