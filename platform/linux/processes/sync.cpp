// Critical sections, last errors and the handle table.
#include "linux/processes/kernel_object.h"

#include <winbase.h>

#include <mutex>
#include <new>
#include <unordered_map>

static_assert(sizeof(std::recursive_mutex) <= sizeof(CRITICAL_SECTION::opaque));
static_assert(alignof(std::recursive_mutex) <= alignof(CRITICAL_SECTION));

namespace {

std::recursive_mutex* lockOf(LPCRITICAL_SECTION section)
{
    return std::launder(reinterpret_cast<std::recursive_mutex*>(section->opaque));
}

thread_local DWORD t_lastError = ERROR_SUCCESS;

std::mutex g_handlesMutex;
std::unordered_map<HANDLE, std::shared_ptr<sim::KernelObject>> g_handles;
uintptr_t g_nextHandle = 0x1000;

}

void InitializeCriticalSection(LPCRITICAL_SECTION section)
{
    new (section->opaque) std::recursive_mutex();
}

void DeleteCriticalSection(LPCRITICAL_SECTION section)
{
    lockOf(section)->~recursive_mutex();
}

void EnterCriticalSection(LPCRITICAL_SECTION section)
{
    lockOf(section)->lock();
}

void LeaveCriticalSection(LPCRITICAL_SECTION section)
{
    lockOf(section)->unlock();
}

BOOL TryEnterCriticalSection(LPCRITICAL_SECTION section)
{
    return lockOf(section)->try_lock() ? TRUE : FALSE;
}

DWORD GetLastError()
{
    return t_lastError;
}

void SetLastError(DWORD error)
{
    t_lastError = error;
}

namespace sim {

DWORD KernelObject::wait(DWORD)
{
    SetLastError(ERROR_INVALID_HANDLE);
    return WAIT_FAILED;
}

HANDLE registerHandle(std::shared_ptr<KernelObject> object)
{
    std::lock_guard lock(g_handlesMutex);
    // Handle values are never reused, so a stale handle cannot reach a newer object.
    g_nextHandle += 4;
    HANDLE handle = reinterpret_cast<HANDLE>(g_nextHandle);
    g_handles.emplace(handle, std::move(object));
    return handle;
}

std::shared_ptr<KernelObject> lookupHandle(HANDLE handle)
{
    std::lock_guard lock(g_handlesMutex);
    auto it = g_handles.find(handle);
    return it == g_handles.end() ? nullptr : it->second;
}

std::shared_ptr<KernelObject> releaseHandle(HANDLE handle)
{
    std::lock_guard lock(g_handlesMutex);
    auto it = g_handles.find(handle);
    if (it == g_handles.end())
        return nullptr;
    auto object = std::move(it->second);
    g_handles.erase(it);
    return object;
}

}

BOOL CloseHandle(HANDLE object)
{
    // Destroyed outside the table's lock: a process object may wait for its reaper.
    if (!sim::releaseHandle(object)) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    return TRUE;
}

DWORD WaitForSingleObject(HANDLE object, DWORD milliseconds)
{
    auto target = sim::lookupHandle(object);
    if (!target) {
        SetLastError(ERROR_INVALID_HANDLE);
        return WAIT_FAILED;
    }
    return target->wait(milliseconds);
}
