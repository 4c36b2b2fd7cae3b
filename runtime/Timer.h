#pragma once
// One-shot timers on the application's thread, run by the active-object scheduler.
#include "runtime/CActive.h"

#include <windows.h>

#include <memory>

class Timer;

class TimerObserver {
public:
    virtual void timer_expired(Timer& timer) = 0;

protected:
    ~TimerObserver() = default;
};

// The active object inside a Timer: due is a tick count.
class TimerActive final : public CActive {
public:
    explicit TimerActive(Timer& owner)
        : m_owner(owner)
    {
    }
    void run() override;
    void do_cancel() override;

    DWORD due = 0;

private:
    Timer& m_owner;
};

class Timer {
public:
    explicit Timer(TimerObserver& observer);
    // Cancels an armed timer first.
    virtual ~Timer();
    Timer(const Timer&) = delete;
    Timer& operator=(const Timer&) = delete;

    // Arms the timer for seconds from now (rounded to whole milliseconds); an armed timer
    // is cancelled first, so only the new time counts.
    void start(double seconds);
    bool is_armed() const { return m_active->is_active(); }

private:
    friend class TimerActive;
    TimerObserver& m_observer;
    std::unique_ptr<TimerActive> m_active;
};
