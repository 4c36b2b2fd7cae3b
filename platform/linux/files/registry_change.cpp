// Registry change notification. Every process of a device maps one counter beside the hive
// ("registry.changes") and bumps it after each write it commits; a notification handle is
// signalled once the counter moved from the value it was armed with. Looking costs one atomic
// load, so programs can keep what they read from the registry and look again only after a
// change. A change anywhere in the hive signals every handle: a waiter reads again and finds
// its own values as they were.
#include "linux/files/device_fs.h"
#include "linux/processes/kernel_object.h"

#include <winbase.h>
#include <winreg.h>

#include <atomic>
#include <chrono>
#include <fcntl.h>
#include <mutex>
#include <sys/mman.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

namespace {

using Counter = std::atomic<uint64_t>;
static_assert(Counter::is_always_lock_free, "the counter is shared between processes");

std::mutex g_mutex;
// Mapped for the current device root, or null; a mapping of the shared file stays good in a
// forked child.
std::atomic<Counter*> g_counter { nullptr };
// Moves whenever the device root changes: a handle armed on another root's counter is signalled.
std::atomic<uint64_t> g_rootEpoch { 1 };

Counter* mapCounter()
{
    std::string path = sim::hostStateFolder() + "/registry.changes";
    int fd = open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
    if (fd < 0)
        return nullptr;
    struct stat st {};
    // A new file is eight zero bytes; growing it again when another process just did is harmless.
    if (fstat(fd, &st) != 0 || (st.st_size < static_cast<off_t>(sizeof(Counter)) && ftruncate(fd, sizeof(Counter)) != 0)) {
        close(fd);
        return nullptr;
    }
    void* page = mmap(nullptr, sizeof(Counter), PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0);
    close(fd);
    return page == MAP_FAILED ? nullptr : static_cast<Counter*>(page);
}

Counter* counter()
{
    if (Counter* mapped = g_counter.load(std::memory_order_acquire))
        return mapped;
    std::lock_guard lock(g_mutex);
    if (!g_counter.load())
        g_counter.store(mapCounter(), std::memory_order_release);
    return g_counter.load();
}

struct Mark {
    uint64_t epoch = 0;
    uint64_t changes = 0;
    bool known = false; // without a counter every look counts as a change
    bool operator==(const Mark&) const = default;
};

Mark currentMark()
{
    Mark m;
    m.epoch = g_rootEpoch.load(std::memory_order_acquire);
    if (Counter* c = counter()) {
        m.changes = c->load(std::memory_order_acquire);
        m.known = true;
    }
    return m;
}

class RegChangeObject final : public sim::KernelObject {
public:
    RegChangeObject()
        : m_armed(currentMark())
    {
    }

    bool signalled()
    {
        std::lock_guard lock(m_mutex);
        return !m_armed.known || !(currentMark() == m_armed);
    }

    void rearm()
    {
        std::lock_guard lock(m_mutex);
        m_armed = currentMark();
    }

    DWORD wait(DWORD milliseconds) override
    {
        auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(milliseconds);
        for (;;) {
            if (signalled())
                return WAIT_OBJECT_0;
            if (milliseconds == 0 || (milliseconds != INFINITE && std::chrono::steady_clock::now() >= until))
                return WAIT_TIMEOUT;
            // Writers do not wake waiters: a blocking wait looks again every few milliseconds.
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
        }
    }

private:
    std::mutex m_mutex;
    Mark m_armed;
};

}

namespace sim {

void registryChanged()
{
    if (Counter* c = counter())
        c->fetch_add(1, std::memory_order_acq_rel);
}

void forgetRegistryChanges()
{
    std::lock_guard lock(g_mutex);
    // The old mapping stays: a thread may be reading it right now. One page per root switch.
    g_counter.store(nullptr, std::memory_order_release);
    g_rootEpoch.fetch_add(1, std::memory_order_acq_rel);
}

}

HANDLE CeFindFirstRegChange(HKEY key, BOOL, DWORD filter)
{
    if (!key || !(filter & (REG_NOTIFY_CHANGE_NAME | REG_NOTIFY_CHANGE_LAST_SET))) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return INVALID_HANDLE_VALUE;
    }
    return sim::registerHandle(std::make_shared<RegChangeObject>());
}

BOOL CeFindNextRegChange(HANDLE change)
{
    auto object = sim::lookupHandleAs<RegChangeObject>(change);
    if (!object) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    object->rearm();
    return TRUE;
}

BOOL CeFindCloseRegChange(HANDLE change)
{
    if (!sim::lookupHandleAs<RegChangeObject>(change)) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    return CloseHandle(change);
}
