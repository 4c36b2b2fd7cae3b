// What an input method's callback produces, delivered to the focused window.
#include "linux/windows/win_internal.h"

#include <simhost.h>
#include <sip.h>

void SimSendVirtualKey(BYTE virtualKey, DWORD flags)
{
    wm::keyTransition(virtualKey, !(flags & KEYEVENTF_KEYUP), 0);
}

void SimSendCharEvents(UINT virtualKey, UINT keyFlags, UINT count, const UINT* shiftStates, const UINT* characters)
{
    bool down = (keyFlags & KeyStateDownFlag) != 0;
    if (!down) {
        if (virtualKey > 0 && virtualKey < 256)
            wm::keyTransition(static_cast<int>(virtualKey), false, wm::kCharsSupplied);
        return;
    }
    if (virtualKey > 0 && virtualKey < 256)
        wm::keyTransition(static_cast<int>(virtualKey), true, wm::kCharsSupplied);
    for (UINT i = 0; i < count && characters && shiftStates; ++i) {
        UINT c = characters[i];
        if (shiftStates[i] & KeyShiftNoCharacterFlag)
            continue;
        if (c <= 0xFFFF) {
            SimTypeChar(static_cast<WCHAR>(c));
        } else if (c <= 0x10FFFF) { // beyond the 16-bit range: as its surrogate pair
            SimTypeChar(static_cast<WCHAR>(0xD800 + ((c - 0x10000) >> 10)));
            SimTypeChar(static_cast<WCHAR>(0xDC00 + ((c - 0x10000) & 0x3FF)));
        }
    }
}
