// Mutexes. Within a process one state per name keeps the owning thread and its recursion; across
// the processes of a device a lock file in the device's host state folder stands for the
// ownership (flock), and a shared lock on a second file tells whether any process holds the
// name open.
#include "linux/files/device_fs.h"
#include "linux/text/host_text.h"
#include "linux/processes/kernel_object.h"

#include <winbase.h>

#include <chrono>
#include <condition_variable>
#include <fcntl.h>
#include <map>
#include <mutex>
#include <sys/file.h>
#include <thread>
#include <unistd.h>

namespace {

DWORD currentThread()
{
    return static_cast<DWORD>(gettid());
}

struct MutexState {
    std::u16string key; // folded name; empty for an unnamed mutex
    std::mutex lock;
    std::condition_variable released;
    DWORD owner = 0;
    unsigned depth = 0;
    int ownFd = -1; // flock(LOCK_EX) while a thread of this process owns it
    int presenceFd = -1; // flock(LOCK_SH) while this process holds the name open

    ~MutexState()
    {
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
            if (owner == 0 && tryHostLock()) {
                owner = me;
                depth = 1;
                return WAIT_OBJECT_0;
            }
            if (milliseconds != INFINITE && std::chrono::steady_clock::now() >= deadline)
                return WAIT_TIMEOUT;
            // Another thread here: wait for its release. Another process: look again shortly.
            auto step = std::chrono::milliseconds(owner ? 50 : 2);
            if (milliseconds != INFINITE)
                step = std::min(step, std::chrono::duration_cast<std::chrono::milliseconds>(
                                          deadline - std::chrono::steady_clock::now())
                        + std::chrono::milliseconds(1));
            released.wait_for(g, step);
        }
    }

    bool release()
    {
        std::lock_guard<std::mutex> g(lock);
        if (owner != currentThread() || depth == 0)
            return false;
        if (--depth == 0) {
            owner = 0;
            if (ownFd >= 0)
                flock(ownFd, LOCK_UN);
            released.notify_all();
        }
        return true;
    }

    // The last handle of this process went: ownership it still holds is given up.
    void abandon()
    {
        std::lock_guard<std::mutex> g(lock);
        if (owner && ownFd >= 0)
            flock(ownFd, LOCK_UN);
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
