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
    return g_virtual.load() ? g_virtualTicks.load() : realTicks();
}

void Sleep(DWORD milliseconds)
{
    if (g_virtual.load()) {
        g_virtualTicks.fetch_add(milliseconds);
        return;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds));
}

void SimUseVirtualClock(DWORD startTicks)
{
    g_virtualTicks.store(startTicks);
    g_virtual.store(true);
}

void SimUseRealClock()
{
    g_virtual.store(false);
}

bool SimClockIsVirtual()
{
    return g_virtual.load();
}

void SimSetTicks(DWORD ticks)
{
    g_virtualTicks.store(ticks);
}

void SimAdvanceTicks(DWORD milliseconds)
{
    g_virtualTicks.fetch_add(milliseconds);
}
