// The input panel functions of every process. The panel itself is the host's window of class
// SIM_SIP_CLASS; its state lives in "<root>/.pocketsim/sip.state", which the host rewrites on
// every change, so that any process of the device reads it without asking.
#include "linux/files/device_fs.h"
#include "linux/files/host_io.h"
#include "linux/text/host_text.h"

#include <objbase.h>
#include <simhost.h>
#include <sip.h>
#include <winbase.h>
#include <winreg.h>
#include <winuser.h>

#include <cerrno>
#include <cinttypes>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <sstream>
#include <sys/stat.h>
#include <unistd.h>

namespace {

struct PanelState {
    pid_t pid = 0;
    HWND window = nullptr;
    SIPINFO info {};
    CLSID current {};
};

std::string stateFile()
{
    return sim::hostStateFolder() + "/sip.state";
}

std::u16string guidText(const GUID& g)
{
    WCHAR text[40];
    StringFromGUID2(g, text, 40);
    return text;
}

// The running panel's state; false when no panel runs on this device.
bool readState(PanelState& out)
{
    std::istringstream in(sim::readSharedFile(stateFile()).value_or(std::string()));
    std::string clsid;
    uint64_t window = 0;
    long pid = 0;
    RECT& v = out.info.rcVisibleDesktop;
    RECT& s = out.info.rcSipRect;
    if (!(in >> pid >> window >> out.info.fdwFlags >> v.left >> v.top >> v.right >> v.bottom >> s.left >> s.top
            >> s.right >> s.bottom >> clsid))
        return false;
    if (pid <= 0 || (kill(static_cast<pid_t>(pid), 0) != 0 && errno == ESRCH))
        return false;
    out.pid = static_cast<pid_t>(pid);
    out.window = reinterpret_cast<HWND>(static_cast<uintptr_t>(window));
    std::u16string text = sim::toUtf16(clsid);
    return CLSIDFromString(text.c_str(), &out.current) == S_OK && IsWindow(out.window);
}

std::u16string classKey(const CLSID& clsid)
{
    return u"CLSID\\" + guidText(clsid);
}

bool registeredInputMethod(const CLSID& clsid)
{
    std::u16string flag, server;
    return sim::readRegistryString(HKEY_CLASSES_ROOT, classKey(clsid) + u"\\IsSIPInputMethod", nullptr, flag) && flag == u"1"
        && sim::readRegistryString(HKEY_CLASSES_ROOT, classKey(clsid) + u"\\InprocServer32", nullptr, server) && !server.empty();
}

// The record's own size, or the 48 bytes it has on the device (the caller's record is a SIPINFO
// either way; only the number differs).
bool sizeAccepted(DWORD size)
{
    return size == 48 || size >= sizeof(SIPINFO);
}

bool sendCopyData(HWND window, ULONG_PTR tag, const void* data, DWORD size)
{
    COPYDATASTRUCT copy {};
    copy.dwData = tag;
    copy.cbData = size;
    copy.lpData = const_cast<void*>(data);
    return SendMessage(window, WM_COPYDATA, 0, reinterpret_cast<LPARAM>(&copy)) != 0;
}

}

// The state last written, and where: the host publishes at every change of the panel, most of
// which change nothing that the file says, and a file replaced on the disk waits behind every
// other program's writes when the device is busy.
namespace {
// Kept for the life of the process: a panel host of a static object goes after static destructors.
struct Published {
    std::mutex mutex;
    std::string line, path;
};
Published& published()
{
    static Published* p = new Published;
    return *p;
}
}

void SimPublishSipState(const SIPINFO& info, const CLSID& current)
{
    std::string path = stateFile();
    std::u16string clsid = guidText(current);
    HWND window = FindWindow(SIM_SIP_CLASS, nullptr);
    const RECT& v = info.rcVisibleDesktop;
    const RECT& s = info.rcSipRect;
    char line[256];
    std::snprintf(line, sizeof line, "%ld %" PRIu64 " %u %d %d %d %d %d %d %d %d %s\n", static_cast<long>(getpid()),
        static_cast<uint64_t>(reinterpret_cast<uintptr_t>(window)), unsigned(info.fdwFlags), v.left, v.top, v.right,
        v.bottom, s.left, s.top, s.right, s.bottom, sim::toUtf8(clsid).c_str());
    Published& last = published();
    std::lock_guard lock(last.mutex);
    struct stat st {};
    if (line == last.line && path == last.path && stat(path.c_str(), &st) == 0)
        return;
    if (sim::writeSharedFile(path, line)) {
        last.line = line;
        last.path = path;
    }
}

void SimClearSipState()
{
    Published& last = published();
    std::lock_guard lock(last.mutex);
    std::remove(stateFile().c_str());
    last.line.clear();
}

DWORD SipStatus()
{
    PanelState state;
    return readState(state) ? SIP_STATUS_AVAILABLE : SIP_STATUS_UNAVAILABLE;
}

BOOL SipShowIM(DWORD flags)
{
    PanelState state;
    if (!readState(state)) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return FALSE;
    }
    return PostMessage(state.window, SIM_WM_SIPSHOW, (flags & SIPF_ON) ? SIPF_ON : SIPF_OFF, 0);
}

BOOL SipGetInfo(SIPINFO* info)
{
    if (!info || !sizeAccepted(info->cbSize)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    PanelState state;
    DWORD size = info->cbSize;
    void* data = info->pvImData;
    DWORD dataSize = info->dwImDataSize;
    if (readState(state)) {
        *info = state.info;
    } else {
        *info = SIPINFO {};
        SystemParametersInfo(SPI_GETWORKAREA, 0, &info->rcVisibleDesktop, 0);
    }
    info->cbSize = size;
    info->pvImData = data;
    info->dwImDataSize = dataSize;
    return TRUE;
}

BOOL SipSetInfo(SIPINFO* info)
{
    if (!info || !sizeAccepted(info->cbSize)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    PanelState state;
    if (!readState(state)) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return FALSE;
    }
    // Only the flags and rectangles travel: the data pointer means nothing in another process.
    SIPINFO copy = *info;
    copy.pvImData = nullptr;
    copy.dwImDataSize = 0;
    return sendCopyData(state.window, SIM_SIP_SETINFO, &copy, sizeof copy) ? TRUE : FALSE;
}

BOOL SipGetCurrentIM(CLSID* clsid)
{
    if (!clsid) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    PanelState state;
    if (readState(state)) {
        *clsid = state.current;
        return TRUE;
    }
    std::u16string text;
    if (sim::readRegistryString(HKEY_CURRENT_USER, u"ControlPanel\\SIP", u"DefaultIM", text) && CLSIDFromString(text.c_str(), clsid) == S_OK)
        return TRUE;
    *clsid = CLSID_KeyboardIM;
    return TRUE;
}

BOOL SipSetCurrentIM(CLSID* clsid)
{
    if (!clsid || !registeredInputMethod(*clsid)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    PanelState state;
    if (!readState(state))
        return TRUE;
    if (!sendCopyData(state.window, SIM_SIP_SETIM, clsid, sizeof(CLSID))) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    return TRUE;
}

int SipEnumIM(IMENUMPROC callback)
{
    HKEY classes;
    if (!callback || RegOpenKeyEx(HKEY_CLASSES_ROOT, u"CLSID", 0, KEY_READ, &classes) != ERROR_SUCCESS)
        return 0;
    int count = 0;
    for (DWORD i = 0;; ++i) {
        WCHAR name[64];
        DWORD nameSize = 64;
        if (RegEnumKeyEx(classes, i, name, &nameSize, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS)
            break;
        IMENUMINFO info {};
        if (CLSIDFromString(name, &info.clsid) != S_OK || !registeredInputMethod(info.clsid))
            continue;
        std::u16string title;
        sim::readRegistryString(HKEY_CLASSES_ROOT, classKey(info.clsid), nullptr, title);
        sim::copyWide(title, info.szName, MAX_PATH);
        ++count;
        if (!callback(&info))
            break;
    }
    RegCloseKey(classes);
    return count;
}
