#pragma once
// Controls of the device stand-in that only the host side uses: pocketsim, tests and tools.
// Product code never includes this header; a port to the real device drops it.
#include "windef.h"

// ---- clock ----------------------------------------------------------------
// The clock is real until a host switches it to virtual time. Virtual time moves only
// through SimSetTicks/SimAdvanceTicks or a Sleep on the virtual clock.
void SimUseVirtualClock(DWORD startTicks);
void SimUseRealClock();
bool SimClockIsVirtual();
void SimSetTicks(DWORD ticks);
void SimAdvanceTicks(DWORD milliseconds);
