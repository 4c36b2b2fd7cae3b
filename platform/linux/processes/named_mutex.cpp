// Mutexes. Within a process one state per name keeps the owning thread and its recursion; across
// the processes of a device a lock file in the device's host state folder stands for the
// ownership (flock), and a shared lock on a second file tells whether any process holds the
// name open. A word in the lock file's first page counts releases: a thread of another process
// sleeps on it (a futex) and wakes at once when the owner lets go.
#include "linux/files/device_fs.h"
#include "linux/text/host_text.h"
#include "linux/processes/kernel_object.h"

#include <winbase.h>

#include <chrono>
#include <condition_variable>
#include <atomic>
#include <climits>
#include <ctime>
#include <fcntl.h>
#include <linux/futex.h>
#include <map>
#include <mutex>
#include <sys/file.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <thread>
#include <unistd.h>

namespace {

DWORD currentThread()
{
    return static_cast<DWORD>(gettid());
}

constexpr size_t kWakePage = 4096;

// Sleeps while *word holds seen, for at most timeout (a release elsewhere moves it).
void sleepWhile(std::atomic<uint32_t>* word, uint32_t seen, std::chrono::nanoseconds timeout)
{
    if (timeout <= std::chrono::nanoseconds::zero())
        return;
    timespec t { static_cast<time_t>(timeout.count() / 1000000000), static_cast<long>(timeout.count() % 1000000000) };
    syscall(SYS_futex, reinterpret_cast<uint32_t*>(word), FUTEX_WAIT, seen, &t, nullptr, 0);
}

void wakeAll(std::atomic<uint32_t>* word)
{
    word->fetch_add(1);
    syscall(SYS_futex, reinterpret_cast<uint32_t*>(word), FUTEX_WAKE, INT_MAX, nullptr, nullptr, 0);
}

struct MutexState {
    std::u16string key; // folded name; empty for an unnamed mutex
    std::mutex lock;
    std::condition_variable released;
    DWORD owner = 0;
    unsigned depth = 0;
    int ownFd = -1; // flock(LOCK_EX) while a thread of this process owns it
    int presenceFd = -1; // flock(LOCK_SH) while this process holds the name open
    std::atomic<uint32_t>* releases = nullptr; // in the lock file's mapped first page

    ~MutexState()
    {
        if (releases)
            munmap(releases, kWakePage);
        if (ownFd >= 0)
            close(ownFd);
        if (presenceFd >= 0)
            close(presenceFd);
    }

    bool tryHostLock()
    {
        return ownFd < 0 || flock(ownFd, LOCK_EX | LOCK_NB) == 0;
    }

    DWORD acquire(DWORD milliseconds)
    {
        DWORD me = currentThread();
        auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(milliseconds);
        std::unique_lock<std::mutex> g(lock);
        if (owner == me) {
            ++depth;
            return WAIT_OBJECT_0;
        }
        for (;;) {
            // Read before the try: a release after a failed try moves it, and the sleep below
            // then ends at once.
            const uint32_t seen = releases ? releases->load() : 0;
            if (owner == 0 && tryHostLock()) {
                owner = me;
                depth = 1;
                return WAIT_OBJECT_0;
            }
            const auto now = std::chrono::steady_clock::now();
            if (milliseconds != INFINITE && now >= deadline)
                return WAIT_TIMEOUT;
            // Another thread here: wait for its release. Another process: sleep until a
            // release, looking again now and then for an owner that ended without one.
            std::chrono::nanoseconds step = std::chrono::milliseconds(owner ? 50 : releases ? 20 : 2);
            if (milliseconds != INFINITE)
                step = std::min(step, std::chrono::duration_cast<std::chrono::nanoseconds>(deadline - now));
            if (owner || !releases) {
                released.wait_for(g, step + std::chrono::milliseconds(1));
                continue;
            }
            g.unlock();
            sleepWhile(releases, seen, step);
            g.lock();
        }
    }

    void unlockHost()
    {
        if (ownFd >= 0)
            flock(ownFd, LOCK_UN);
        if (releases)
            wakeAll(releases);
    }

    bool release()
    {
        std::lock_guard<std::mutex> g(lock);
        if (owner != currentThread() || depth == 0)
            return false;
        if (--depth == 0) {
            owner = 0;
            unlockHost();
            released.notify_all();
        }
        return true;
    }

    // The last handle of this process went: ownership it still holds is given up.
    void abandon()
    {
        std::lock_guard<std::mutex> g(lock);
        if (owner)
            unlockHost();
        owner = 0;
        depth = 0;
    }
};

std::mutex g_namesLock;
std::map<std::u16string, std::weak_ptr<MutexState>> g_names;

class MutexHandle final : public sim::KernelObject {
public:
    explicit MutexHandle(std::shared_ptr<MutexState> s)
        : state(std::move(s))
    {
    }
    ~MutexHandle() override
    {
        std::lock_guard<std::mutex> g(g_namesLock);
        if (state.use_count() == 1) {
            state->abandon();
            if (!state->key.empty())
                g_names.erase(state->key);
        }
    }
    DWORD wait(DWORD milliseconds) override { return state->acquire(milliseconds); }

    std::shared_ptr<MutexState> state;
};

// Opens the name's files; true when another process holds the name open already.
bool openHostFiles(MutexState& s, bool& existedElsewhere)
{
    std::string base = sim::hostStateFolder() + "/mutex-" + sim::hexOf(sim::toUtf8(s.key));
    s.ownFd = open((base + ".own").c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0666);
    s.presenceFd = open((base + ".open").c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0666);
    if (s.ownFd < 0 || s.presenceFd < 0)
        return false;
    // Grown, never shrunk, before it is mapped: a process that maps it finds the page there.
    struct stat st {};
    if (fstat(s.ownFd, &st) == 0 && (st.st_size >= off_t(kWakePage) || ftruncate(s.ownFd, kWakePage) == 0)) {
        void* page = mmap(nullptr, kWakePage, PROT_READ | PROT_WRITE, MAP_SHARED, s.ownFd, 0);
        if (page != MAP_FAILED)
            s.releases = static_cast<std::atomic<uint32_t>*>(page);
    }
    existedElsewhere = flock(s.presenceFd, LOCK_EX | LOCK_NB) != 0;
    flock(s.presenceFd, LOCK_SH);
    return true;
}

}

HANDLE CreateMutex(LPSECURITY_ATTRIBUTES, BOOL initialOwner, LPCWSTR name)
{
    std::shared_ptr<MutexState> state;
    bool existed = false;
    if (name && *name) {
        std::lock_guard<std::mutex> g(g_namesLock);
        std::u16string key = sim::foldCase(name);
        state = g_names[key].lock();
        if (state) {
            existed = true;
        } else {
            state = std::make_shared<MutexState>();
            state->key = key;
            if (!openHostFiles(*state, existed)) {
                g_names.erase(key);
                SetLastError(ERROR_ACCESS_DENIED);
                return nullptr;
            }
            g_names[key] = state;
        }
    } else {
        state = std::make_shared<MutexState>();
    }
    HANDLE h = sim::registerHandle(std::make_shared<MutexHandle>(state));
    if (!existed && initialOwner)
        state->acquire(INFINITE);
    SetLastError(existed ? ERROR_ALREADY_EXISTS : ERROR_SUCCESS);
    return h;
}

BOOL ReleaseMutex(HANDLE mutex)
{
    auto handle = sim::lookupHandleAs<MutexHandle>(mutex);
    if (!handle) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    if (!handle->state->release()) {
        SetLastError(ERROR_NOT_OWNER);
        return FALSE;
    }
    return TRUE;
}
