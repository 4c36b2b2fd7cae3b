// The host's view of the device's programs: waiting for them to draw, clearing up after those
// that ended, the shell window, and the device kind.
#include "linux/processes/shared_clock.h"
#include "win_internal.h"
#include "win_remote.h"
#include "win_shared.h"

#include <winbase.h>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <set>
#include <thread>
#include <unistd.h>

namespace sim {
pid_t processIdOf(HANDLE process);
std::vector<pid_t> startedProcesses();
}

namespace {

int g_kind = -1; // 0 Pocket PC, 1 Smartphone; -1 until read from POCKETSIM_KIND

bool parseKind(const char* kind, int& out)
{
    if (!kind)
        return false;
    std::string k = kind;
    for (char& c : k)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    if (k == "pocketpc" || k == "pocket-pc" || k == "ppc") {
        out = 0;
        return true;
    }
    if (k == "smartphone" || k == "sp") {
        out = 1;
        return true;
    }
    return false;
}

// The front-most window of the device that can take the foreground, other than skip.
HWND nextForeground(HWND skip)
{
    using namespace wm;
    Guard g(lock());
    for (const ScreenLayer& l : screenLayers()) {
        if (l.handle == skip || !(l.flags & shared::kVisible) || !(l.flags & shared::kActivatable))
            continue;
        if (l.local && l.local->destroying)
            continue;
        return l.handle;
    }
    return nullptr;
}

}

using namespace wm;

void SimSetShellWindow(HWND window)
{
    shared::setShellWindow(window);
}

DWORD SimShellState(HWND window)
{
    Guard g(lock());
    if (Window* w = find(window))
        return w->shellState;
    for (const shared::RemotePicture& p : shared::remotePictures())
        if (p.handle == window)
            return p.shellState;
    return 0;
}

// Waits for the programs that this one gave something since it last waited for them (and for
// those it never waited for, whose first pictures must be drawn): a program busy with work of
// its own, that got nothing, is not held up to, so that it cannot slow the host down.
bool SimSyncDevice(DWORD milliseconds)
{
    std::set<pid_t> asked;
    std::vector<pid_t> running;
    bool ok = true;
    for (const RemoteWindow& w : remoteWindows()) {
        pid_t pid = shared::processOf(w.handle);
        if (!asked.insert(pid).second)
            continue;
        running.push_back(pid);
        if (!takeSyncMark(pid))
            continue;
        // A program that ends meanwhile has nothing more to draw.
        if (!remoteSync(w.handle, static_cast<int>(milliseconds)) && shared::processAlive(pid)) {
            ok = false;
            syncMarkBack(pid);
        }
    }
    // A program given something that has closed its windows since may still be at work on it
    // (its last messages out, its files): waited for until it is at rest or ended.
    for (pid_t pid : givenProcesses()) {
        if (asked.count(pid) || !shared::processAlive(pid))
            continue;
        running.push_back(pid);
        if (takeSyncMark(pid) && !remoteSyncProcess(pid, static_cast<int>(milliseconds)) && shared::processAlive(pid)) {
            ok = false;
            syncMarkBack(pid);
        }
    }
    forgetSyncMarks(running);
    SimReapEndedPrograms();
    return ok;
}

namespace {

bool showsAWindow(pid_t pid)
{
    Guard g(lock());
    for (const shared::RemotePicture& p : shared::remotePictures())
        if (shared::processOf(p.handle) == pid && (p.flags & shared::kVisible))
            return true;
    return false;
}

bool stillStarting(pid_t pid)
{
    const std::vector<pid_t> running = sim::startedProcesses();
    return std::find(running.begin(), running.end(), pid) != running.end();
}

}

bool SimStartedProgramOnRealClock()
{
    for (pid_t pid : sim::startedProcesses())
        if (!sim::sharedclock::follows(pid) && showsAWindow(pid))
            return true;
    return false;
}

bool SimWaitForProgramWindow(HANDLE process, DWORD milliseconds)
{
    pid_t pid = sim::processIdOf(process);
    if (pid <= 0)
        return false;
    auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(milliseconds);
    for (;;) {
        if (showsAWindow(pid))
            return true;
        // A program asleep in the script's time will not show anything before time moves.
        if (WaitForSingleObject(process, 0) == WAIT_OBJECT_0 || sim::sharedclock::atRest(pid)
            || std::chrono::steady_clock::now() >= until)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
}

bool SimWaitForStartedPrograms(DWORD milliseconds)
{
    // Each program is waited for once: one that never shows a window must not hold up every
    // later line.
    static std::mutex mutex;
    static std::set<pid_t> waited;
    std::lock_guard hold(mutex);
    const std::vector<pid_t> started = sim::startedProcesses();
    std::erase_if(waited, [&](pid_t pid) { return std::find(started.begin(), started.end(), pid) == started.end(); });
    auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(milliseconds);
    bool ok = true;
    for (pid_t pid : started) {
        if (!waited.insert(pid).second)
            continue;
        for (;;) {
            if (showsAWindow(pid) || !stillStarting(pid) || sim::sharedclock::atRest(pid))
                break;
            if (std::chrono::steady_clock::now() >= until) {
                ok = false;
                break;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
    }
    return ok;
}

void SimReapEndedPrograms()
{
    shared::reapEnded();
    HWND fg = shared::foreground();
    if (fg && !shared::processAlive(shared::processOf(fg))) {
        // The program in front ended without giving the foreground away.
        HWND next = nextForeground(fg);
        shared::setForeground(nullptr);
        if (next)
            SetForegroundWindow(next);
        else
            notifyShell(SIM_SHELL_FOREGROUND, 0);
    }
    HWND cap = shared::capture();
    if (cap && !shared::processAlive(shared::processOf(cap)))
        shared::releaseCapture(cap);
}

void SimEndPrograms(DWORD milliseconds)
{
    // Asked politely first: their main windows are closed.
    std::set<pid_t> programs;
    for (pid_t pid : sim::startedProcesses())
        programs.insert(pid);
    for (const RemoteWindow& w : remoteWindows()) {
        programs.insert(shared::processOf(w.handle));
        remotePost(w.handle, WM_CLOSE, 0, 0);
    }
    programs.erase(getpid());
    auto running = [&] {
        for (pid_t pid : programs)
            if (shared::processAlive(pid))
                return true;
        return false;
    };
    auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(milliseconds);
    while (running() && std::chrono::steady_clock::now() < until)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    for (pid_t pid : programs)
        if (shared::processAlive(pid))
            kill(pid, SIGKILL);
    for (int i = 0; i < 100 && running(); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    shared::reapEnded();
}

int SimSharedPictureCount()
{
    shared::reapEnded();
    return static_cast<int>(shared::pictureNames().size());
}

bool SimSetDeviceKind(const char* kind)
{
    int k;
    if (!parseKind(kind, k))
        return false;
    g_kind = k;
    return true;
}

bool SimIsSmartphone()
{
    if (g_kind < 0) {
        g_kind = 0;
        if (const char* env = std::getenv("POCKETSIM_KIND"); env && *env) {
            int k;
            if (parseKind(env, k))
                g_kind = k;
        }
    }
    return g_kind == 1;
}
