#include "linux/processes/shared_clock.h"

#include "linux/files/device_fs.h"

#include <atomic>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <string>
#include <sys/mman.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

namespace sim::sharedclock {

namespace {

constexpr uint32_t kMagic = 0x4b434c4d; // "MLCK"
constexpr int kSlots = 64;
constexpr const char* kEnv = "POCKETSIM_CLOCK";

enum State : uint32_t { Free = 0, Busy = 1, Sleeping = 2, Idle = 3 };

struct Slot {
    std::atomic<int32_t> pid;
    std::atomic<uint32_t> state;
    std::atomic<uint32_t> wake;
};

struct Page {
    uint32_t magic;
    int32_t host;
    std::atomic<uint32_t> ticks;
    Slot slots[kSlots];
};
static_assert(std::atomic<uint32_t>::is_always_lock_free && std::atomic<int32_t>::is_always_lock_free,
    "the page is shared between processes");

Page* g_page = nullptr;
bool g_hosting = false;
Slot* g_slot = nullptr; // this program's slot
std::string g_path;
bool g_starting = false; // programs started now follow the clock
std::atomic<bool (*)()> g_sleepHook { nullptr };

bool alive(int32_t pid)
{
    return pid > 0 && (kill(pid, 0) == 0 || errno != ESRCH);
}

Page* mapPage(const std::string& path, bool create)
{
    int fd = open(path.c_str(), create ? O_RDWR | O_CREAT | O_TRUNC : O_RDWR, 0600);
    if (fd < 0)
        return nullptr;
    struct stat st {};
    if ((create && ftruncate(fd, sizeof(Page)) != 0) || fstat(fd, &st) != 0
        || st.st_size < static_cast<off_t>(sizeof(Page))) {
        close(fd);
        return nullptr;
    }
    void* p = mmap(nullptr, sizeof(Page), PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0);
    close(fd);
    return p == MAP_FAILED ? nullptr : static_cast<Page*>(p);
}

void release()
{
    if (g_slot) {
        g_slot->state.store(Free);
        g_slot->pid.store(0);
        g_slot = nullptr;
    }
}

// A program joins its host's clock before anything else runs, so the host never misses it.
struct Attach {
    Attach()
    {
        const char* path = std::getenv(kEnv);
        if (!path || !*path)
            return;
        Page* page = mapPage(path, false);
        if (!page)
            return;
        if (page->magic != kMagic || page->host == getpid() || !alive(page->host)) {
            munmap(page, sizeof(Page));
            return;
        }
        for (auto& slot : page->slots) {
            if (slot.pid.load() == getpid()) {
                g_slot = &slot; // adopted by the host that started us
                break;
            }
        }
        for (auto& slot : page->slots) {
            if (g_slot)
                break;
            int32_t expected = 0;
            if (slot.pid.compare_exchange_strong(expected, getpid())) {
                slot.state.store(Busy);
                g_slot = &slot;
                break;
            }
            // A program that crashed left its slot: take it over.
            if (!alive(expected) && slot.pid.compare_exchange_strong(expected, getpid())) {
                slot.state.store(Busy);
                g_slot = &slot;
                break;
            }
        }
        g_page = page;
        std::atexit(release);
    }
} g_attach;

}

bool share(DWORD ticks)
{
    if (g_hosting) {
        publish(ticks);
        return true;
    }
    release();
    std::string path = sim::hostStateFolder() + "/clock";
    Page* page = mapPage(path, true);
    if (!page)
        return false;
    std::memset(static_cast<void*>(page), 0, sizeof(Page));
    page->host = getpid();
    page->ticks.store(ticks);
    page->magic = kMagic;
    g_page = page;
    g_hosting = true;
    g_path = path;
    return true;
}

void startProgramsOnIt(bool on)
{
    g_starting = on && g_hosting;
    if (g_starting)
        setenv(kEnv, g_path.c_str(), 1);
    else
        unsetenv(kEnv);
}

void unshare()
{
    if (!g_hosting)
        return;
    startProgramsOnIt(false);
    g_page->magic = 0;
    munmap(g_page, sizeof(Page));
    g_page = nullptr;
    g_hosting = false;
}

bool hosting()
{
    return g_hosting;
}

void publish(DWORD ticks)
{
    if (g_hosting)
        g_page->ticks.store(ticks);
}

bool attached()
{
    return g_page && !g_hosting && g_page->magic == kMagic;
}

DWORD ticks()
{
    return g_page->ticks.load();
}

bool sleep(DWORD milliseconds)
{
    DWORD wake = ticks() + milliseconds;
    if (g_slot) {
        g_slot->wake.store(wake);
        g_slot->state.store(Sleeping);
    }
    bool ok = true;
    while (static_cast<int32_t>(ticks() - wake) < 0) {
        if (!alive(g_page->host) || g_page->magic != kMagic) {
            ok = false;
            break;
        }
        if (auto hook = g_sleepHook.load(); hook && hook())
            break;
        std::this_thread::sleep_for(std::chrono::microseconds(500));
    }
    if (g_slot)
        g_slot->state.store(Busy);
    return ok;
}

void markIdle(bool idle)
{
    if (g_slot && attached())
        g_slot->state.store(idle ? Idle : Busy);
}

void adopt(int pid)
{
    if (!g_hosting || !g_starting)
        return;
    for (auto& slot : g_page->slots) {
        int32_t expected = slot.pid.load();
        if ((expected == 0 || !alive(expected)) && slot.pid.compare_exchange_strong(expected, pid)) {
            slot.state.store(Busy);
            return;
        }
    }
}

void setSleepHook(bool (*hook)())
{
    g_sleepHook.store(hook);
}

bool atRest(int pid)
{
    if (!g_hosting)
        return false;
    for (auto& slot : g_page->slots) {
        if (slot.pid.load() != pid)
            continue;
        uint32_t state = slot.state.load();
        return state == Idle || (state == Sleeping && static_cast<int32_t>(slot.wake.load() - g_page->ticks.load()) > 0);
    }
    return false;
}

bool follows(int pid)
{
    if (!g_hosting)
        return false;
    for (auto& slot : g_page->slots)
        if (slot.pid.load() == pid)
            return true;
    return false;
}

void markWaitingUntil(DWORD due)
{
    if (!g_slot || !attached())
        return;
    g_slot->wake.store(due);
    g_slot->state.store(Sleeping);
}

bool nextWake(DWORD now, DWORD limit, DWORD& wake)
{
    if (!g_hosting)
        return false;
    bool found = false;
    for (auto& slot : g_page->slots) {
        if (slot.pid.load() == 0 || slot.state.load() != Sleeping)
            continue;
        DWORD w = slot.wake.load();
        int32_t ahead = static_cast<int32_t>(w - now);
        if (ahead > 0 && static_cast<int32_t>(limit - w) >= 0 && (!found || static_cast<int32_t>(w - wake) < 0)) {
            wake = w;
            found = true;
        }
    }
    return found;
}

void settle(DWORD now, const std::function<void()>& pump)
{
    if (!g_hosting)
        return;
    auto busy = [&] {
        for (auto& slot : g_page->slots) {
            int32_t pid = slot.pid.load();
            if (pid == 0)
                continue;
            if (!alive(pid)) {
                slot.state.store(Free);
                slot.pid.store(0);
                continue;
            }
            uint32_t state = slot.state.load();
            if (state == Busy || (state == Sleeping && static_cast<int32_t>(slot.wake.load() - now) <= 0))
                return true;
        }
        return false;
    };
    // A program that loops without waiting must not hang the host: a few real seconds at most.
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    while (busy() && std::chrono::steady_clock::now() < deadline) {
        pump();
        std::this_thread::sleep_for(std::chrono::microseconds(500));
    }
}

}
