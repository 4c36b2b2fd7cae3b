#pragma once
// The process's scheduler of active objects. Ready objects run one after another from the
// thread's message loop, through a hidden window of the scheduler's own: notify posts it the
// private message, and one window timer serves every armed Timer.
#include "runtime/CActive.h"

#include <windows.h>

#include <memory>
#include <string_view>

class TimerActive;

class CActiveScheduler {
public:
    static constexpr UINT kReadyMessage = WM_USER + 5;

    // Made by the application core, with its module and window class name.
    CActiveScheduler(HINSTANCE module, std::u16string_view windowClassName);
    // Fatal while active objects live.
    ~CActiveScheduler();
    CActiveScheduler(const CActiveScheduler&) = delete;
    CActiveScheduler& operator=(const CActiveScheduler&) = delete;

    // The scheduler of the process's application core (fatal when there is no core).
    static CActiveScheduler& current();

    void set_active(CActive& object);
    // The object's request completed; any thread may call it.
    void notify(CActive& object);
    // Runs every ready object; the hidden window calls it on the private message.
    void process_actives();
    // Ends the object's outstanding request without running it; nothing for an idle object.
    void cancel(CActive& object);
    void cancel_if_active(CActive& object);

    // Timers: an armed timer waits in the timer list until a timer check finds it due.
    void add_timer(TimerActive& timer);
    void timer_check();

    HWND window() const;

private:
    struct Impl;
    std::unique_ptr<Impl> m_impl;
};
