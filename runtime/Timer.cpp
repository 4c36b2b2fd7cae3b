#include "runtime/Timer.h"
#include "runtime/CActiveScheduler.h"

#include <cmath>

void TimerActive::run()
{
    m_owner.m_observer.timer_expired(m_owner);
}

void TimerActive::do_cancel()
{
    // Due at once: the next check notifies it, and cancel then finds it ready.
    due = GetTickCount();
    CActiveScheduler::current().timer_check();
}

Timer::Timer(TimerObserver& observer)
    : m_observer(observer)
    , m_active(std::make_unique<TimerActive>(*this))
{
}

Timer::~Timer()
{
    if (m_active->is_active())
        CActiveScheduler::current().cancel_if_active(*m_active);
}

void Timer::start(double seconds)
{
    CActiveScheduler& scheduler = CActiveScheduler::current();
    scheduler.cancel_if_active(*m_active);
    // A delay beyond a quarter of the tick count's range would read as past in the signed
    // comparison of due times: such a timer waits as long as that can tell (about 12 days).
    double ms = std::floor(seconds * 1000 + 0.5);
    if (!(ms >= 0))
        ms = 0;
    if (ms > 0x3FFFFFFF)
        ms = 0x3FFFFFFF;
    m_active->due = GetTickCount() + static_cast<DWORD>(ms);
    scheduler.set_active(*m_active);
    scheduler.add_timer(*m_active);
    scheduler.timer_check();
}
