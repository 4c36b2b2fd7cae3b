#include "runtime/RegistryWatch.h"
#include "runtime/Registry.h"

#include <libloader.h>
#include <winbase.h>
#include <winreg.h>

namespace {

// The notification came with Windows CE 5.0: looked up by name, absent on older devices.
using FindFirstFn = HANDLE (*)(HKEY, BOOL, DWORD);
using FindNextFn = BOOL (*)(HANDLE);
using FindCloseFn = BOOL (*)(HANDLE);

struct Notification {
    FindFirstFn first = nullptr;
    FindNextFn next = nullptr;
    FindCloseFn close = nullptr;
};

const Notification& notification()
{
    static const Notification n = [] {
        Notification found;
        if (HMODULE core = GetModuleHandle(u"coredll.dll")) {
            found.first = reinterpret_cast<FindFirstFn>(GetProcAddress(core, u"CeFindFirstRegChange"));
            found.next = reinterpret_cast<FindNextFn>(GetProcAddress(core, u"CeFindNextRegChange"));
            found.close = reinterpret_cast<FindCloseFn>(GetProcAddress(core, u"CeFindCloseRegChange"));
        }
        if (!found.first || !found.next || !found.close)
            found = Notification {};
        return found;
    }();
    return n;
}

}

RegistryWatch::RegistryWatch(std::u16string_view keyPath)
    : m_keyPath(keyPath)
{
}

RegistryWatch::~RegistryWatch()
{
    if (m_change)
        notification().close(m_change);
    if (m_key)
        RegCloseKey(m_key);
}

void RegistryWatch::start()
{
    m_started = true;
    const Notification& n = notification();
    if (!n.first || !(m_key = RegOpenPath(m_keyPath)))
        return;
    HANDLE change = n.first(m_key, TRUE, REG_NOTIFY_CHANGE_NAME | REG_NOTIFY_CHANGE_LAST_SET);
    m_change = change == INVALID_HANDLE_VALUE ? nullptr : change;
}

bool RegistryWatch::changed()
{
    if (!m_started) {
        start();
        return true;
    }
    if (!m_change)
        return true;
    if (WaitForSingleObject(m_change, 0) != WAIT_OBJECT_0)
        return false;
    notification().next(m_change);
    return true;
}
