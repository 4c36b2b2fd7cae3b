#pragma once
// Seconds since a moment on the platform's tick count. The difference is taken in ticks, so
// the count's wrap after 49 days does not make a watch run backwards.
#include <windows.h>

class Stopwatch {
public:
    Stopwatch() { restart(); }

    double elapsed() const { return static_cast<DWORD>(GetTickCount() - m_start) * 0.001; }
    void restart() { m_start = GetTickCount(); }
    double lap()
    {
        double seconds = elapsed();
        restart();
        return seconds;
    }

private:
    DWORD m_start = 0;
};
