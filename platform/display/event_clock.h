#pragma once
// A window system's event times (milliseconds from a base of its own) in the device's ticks, so
// that a stylus message carries when the event happened rather than when a busy host read it.
#include <windows.h>

#include <cstdint>

namespace display {

class EventClock {
public:
    // Shifted by the shortest delay seen between an event's time and its reading: the events
    // keep their spacing however late they are read, and none lands after now. Never 0, which
    // means "now" to the platform.
    DWORD ticks(uint32_t eventTime)
    {
        const auto late = static_cast<int32_t>(GetTickCount() - eventTime);
        if (!m_known || late < m_shift) {
            m_shift = late;
            m_known = true;
        }
        const DWORD t = eventTime + static_cast<DWORD>(m_shift);
        return t ? t : 1;
    }

private:
    bool m_known = false;
    int32_t m_shift = 0;
};

}
