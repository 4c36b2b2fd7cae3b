#include "linux/processes/shared_clock.h"

#include <winbase.h>
#include <simhost.h>

#include <atomic>
#include <chrono>
#include <thread>

namespace {

std::atomic<bool> g_virtual { false };
std::atomic<DWORD> g_virtualTicks { 0 };

DWORD realTicks()
{
    using namespace std::chrono;
    auto ms = duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
    return static_cast<DWORD>(static_cast<uint64_t>(ms));
}

}

DWORD GetTickCount()
{
    if (g_virtual.load())
        return g_virtualTicks.load();
    return sim::sharedclock::attached() ? sim::sharedclock::ticks() : realTicks();
}

void Sleep(DWORD milliseconds)
{
    if (g_virtual.load()) {
        sim::sharedclock::publish(g_virtualTicks.fetch_add(milliseconds) + milliseconds);
        return;
    }
    // A program started by a host in virtual time sleeps in the host's time.
    if (sim::sharedclock::attached() && sim::sharedclock::sleep(milliseconds))
        return;
    std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds));
}

void SimUseVirtualClock(DWORD startTicks)
{
    g_virtualTicks.store(startTicks);
    g_virtual.store(true);
    sim::sharedclock::publish(startTicks);
}

void SimUseRealClock()
{
    g_virtual.store(false);
    sim::sharedclock::unshare();
}

bool SimClockIsVirtual()
{
    return g_virtual.load() || sim::sharedclock::attached();
}

bool SimShareVirtualClock()
{
    return g_virtual.load() && sim::sharedclock::share(g_virtualTicks.load());
}

void SimStartProgramsOnVirtualClock(bool on)
{
    sim::sharedclock::startProgramsOnIt(on);
}

void SimSetTicks(DWORD ticks)
{
    g_virtualTicks.store(ticks);
    sim::sharedclock::publish(ticks);
}

void SimAdvanceTicks(DWORD milliseconds)
{
    sim::sharedclock::publish(g_virtualTicks.fetch_add(milliseconds) + milliseconds);
}
