// The program's own device path, special folders, and device programs started as host
// processes that share the device root.
#include "linux/processes/shared_clock.h"
#include "linux/files/device_fs.h"
#include "linux/libraries/library.h"
#include "linux/text/host_text.h"
#include "linux/processes/kernel_object.h"
#include "linux/windows/win_shared.h"

#include <shellapi.h>
#include <simhost.h>
#include <winbase.h>

#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <climits>
#include <condition_variable>
#include <cstdlib>
#include <map>
#include <mutex>
#include <optional>
#include <thread>
#include <vector>

extern char** environ;

namespace {

std::mutex g_modulesMutex;
std::optional<std::u16string> g_modulePath;
std::map<HMODULE, std::u16string> g_modules;

std::u16string defaultModulePath()
{
    if (const char* env = std::getenv("POCKETSIM_MODULE"); env && *env)
        return sim::toUtf16(env);
    char exe[PATH_MAX];
    ssize_t n = readlink("/proc/self/exe", exe, sizeof exe - 1);
    if (n <= 0)
        return u"\\Windows\\program.exe";
    exe[n] = 0;
    WCHAR device[1024];
    if (SimDevicePath(exe, device, 1024))
        return device;
    std::string name(exe);
    return u"\\Windows\\" + sim::toUtf16(name.substr(name.rfind('/') + 1));
}

// The reaper thread owns the wait for the child, so that a program nobody waits for never
// stays a zombie; a process handle only reads what the reaper found. A process this one did
// not start (OpenProcess) is watched instead: it has ended once it is gone.
class ProcessState {
public:
    ProcessState() = default;
    explicit ProcessState(pid_t watched)
        : m_watched(watched)
    {
    }
    void finished(int status)
    {
        std::lock_guard lock(m_mutex);
        m_exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
        m_done = true;
        m_changed.notify_all();
    }
    bool waitFor(DWORD milliseconds)
    {
        if (m_watched > 0) {
            auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(milliseconds);
            while (watchedRuns()) {
                if (milliseconds != INFINITE && std::chrono::steady_clock::now() >= end)
                    return false;
                std::this_thread::sleep_for(std::chrono::milliseconds(5));
            }
            return true;
        }
        std::unique_lock lock(m_mutex);
        if (milliseconds == INFINITE) {
            m_changed.wait(lock, [&] { return m_done; });
            return true;
        }
        return m_changed.wait_for(lock, std::chrono::milliseconds(milliseconds), [&] { return m_done; });
    }
    DWORD exitCode()
    {
        if (m_watched > 0)
            return watchedRuns() ? STILL_ACTIVE : 0; // how another's process ended is not told
        std::lock_guard lock(m_mutex);
        return m_done ? m_exitCode : STILL_ACTIVE;
    }

private:
    bool watchedRuns() const { return wm::shared::processAlive(m_watched); }

    pid_t m_watched = 0;
    std::mutex m_mutex;
    std::condition_variable m_changed;
    bool m_done = false;
    DWORD m_exitCode = STILL_ACTIVE;
};

class ProcessObject : public sim::KernelObject {
public:
    ProcessObject(std::shared_ptr<ProcessState> state, pid_t pid)
        : state(std::move(state))
        , pid(pid)
    {
    }
    DWORD wait(DWORD milliseconds) override { return state->waitFor(milliseconds) ? WAIT_OBJECT_0 : WAIT_TIMEOUT; }
    std::shared_ptr<ProcessState> state;
    pid_t pid;
};

BOOL shellFailure(LPSHELLEXECUTEINFO info, DWORD error, int shellError)
{
    info->hInstApp = reinterpret_cast<HINSTANCE>(static_cast<intptr_t>(shellError));
    SetLastError(error);
    return FALSE;
}

}

DWORD GetModuleFileName(HMODULE module, LPWSTR fileName, DWORD size)
{
    std::u16string path;
    HMODULE self = sim::programModule(); // before the lock: loading takes them the other way
    {
        std::lock_guard lock(g_modulesMutex);
        if (module && module != self) {
            auto it = g_modules.find(module);
            if (it == g_modules.end()) {
                SetLastError(ERROR_INVALID_HANDLE);
                return 0;
            }
            path = it->second;
        } else {
            if (!g_modulePath)
                g_modulePath = defaultModulePath();
            path = *g_modulePath;
        }
    }
    if (!fileName || size == 0) {
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return 0;
    }
    if (!sim::copyWide(path, fileName, size)) {
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return size;
    }
    SetLastError(ERROR_SUCCESS);
    return static_cast<DWORD>(path.size());
}

DWORD GetCurrentProcessId()
{
    return static_cast<DWORD>(getpid());
}

void SimSetModulePath(LPCWSTR devicePath)
{
    std::lock_guard lock(g_modulesMutex);
    if (devicePath)
        g_modulePath = std::u16string(sim::viewOf(devicePath));
    else
        g_modulePath.reset();
}

void SimRegisterModule(HMODULE module, LPCWSTR devicePath)
{
    std::lock_guard lock(g_modulesMutex);
    if (module && devicePath)
        g_modules[module] = std::u16string(sim::viewOf(devicePath));
}

void SimUnregisterModule(HMODULE module)
{
    std::lock_guard lock(g_modulesMutex);
    g_modules.erase(module);
}

BOOL GetExitCodeProcess(HANDLE process, LPDWORD exitCode)
{
    auto object = sim::lookupHandleAs<ProcessObject>(process);
    if (!object || !exitCode) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    *exitCode = object->state->exitCode();
    return TRUE;
}

HANDLE OpenProcess(DWORD, BOOL, DWORD processId)
{
    pid_t pid = static_cast<pid_t>(processId);
    if (pid <= 0 || !wm::shared::processAlive(pid)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    return sim::registerHandle(std::make_shared<ProcessObject>(std::make_shared<ProcessState>(pid), pid));
}

namespace sim {

std::mutex g_startedMutex;
std::vector<pid_t> g_started;

std::vector<pid_t> startedProcesses()
{
    std::lock_guard lock(g_startedMutex);
    return g_started;
}

pid_t processIdOf(HANDLE process)
{
    auto object = sim::lookupHandleAs<ProcessObject>(process);
    return object ? object->pid : 0;
}

}

BOOL SHGetSpecialFolderPath(HWND, LPWSTR path, int csidl, BOOL create)
{
    bool known = false;
    std::u16string folder = sim::specialFolder(csidl, &known);
    if (!known || !path) {
        SetLastError(ERROR_FILE_NOT_FOUND);
        return FALSE;
    }
    if (create && GetFileAttributes(folder.c_str()) == INVALID_FILE_ATTRIBUTES)
        CreateDirectory(folder.c_str(), nullptr);
    return sim::copyWide(folder, path, MAX_PATH) ? TRUE : FALSE;
}

BOOL ShellExecuteEx(LPSHELLEXECUTEINFO info)
{
    if (!info || !info->lpFile) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    std::u16string_view verb = info->lpVerb ? sim::viewOf(info->lpVerb) : u"open";
    if (!sim::sameNameIgnoringCase(verb, u"open"))
        return shellFailure(info, ERROR_NO_ASSOCIATION, SE_ERR_NOASSOC);
    std::u16string device(sim::viewOf(info->lpFile));
    std::string host;
    struct stat st;
    if (!sim::hostPathOf(device, host) || stat(host.c_str(), &st) != 0)
        return shellFailure(info, ERROR_FILE_NOT_FOUND, SE_ERR_FNF);
    if (!S_ISREG(st.st_mode) || access(host.c_str(), X_OK) != 0)
        return shellFailure(info, ERROR_NO_ASSOCIATION, SE_ERR_NOASSOC);

    std::string parameters = sim::toUtf8(sim::viewOf(info->lpParameters));
    std::vector<std::string> args { host };
    if (!parameters.empty())
        args.push_back(parameters);
    std::vector<std::string> env;
    for (char** e = environ; *e; ++e) {
        std::string_view entry(*e);
        if (!entry.starts_with("POCKETSIM_ROOT=") && !entry.starts_with("POCKETSIM_MODULE="))
            env.emplace_back(entry);
    }
    env.push_back("POCKETSIM_ROOT=" + sim::deviceRoot());
    env.push_back("POCKETSIM_MODULE=" + sim::toUtf8(device));
    std::vector<char*> argv, envp;
    for (auto& a : args)
        argv.push_back(a.data());
    argv.push_back(nullptr);
    for (auto& e : env)
        envp.push_back(e.data());
    envp.push_back(nullptr);

    pid_t pid = 0;
    int rc = posix_spawn(&pid, host.c_str(), nullptr, nullptr, argv.data(), envp.data());
    if (rc != 0)
        return shellFailure(info, ERROR_ACCESS_DENIED, SE_ERR_ACCESSDENIED);
    sim::sharedclock::adopt(pid);
    auto state = std::make_shared<ProcessState>();
    {
        std::lock_guard lock(sim::g_startedMutex);
        sim::g_started.push_back(pid);
    }
    std::thread([pid, state] {
        int status = 0;
        while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
        }
        {
            std::lock_guard lock(sim::g_startedMutex);
            std::erase(sim::g_started, pid);
        }
        state->finished(status);
    }).detach();
    info->hInstApp = reinterpret_cast<HINSTANCE>(static_cast<intptr_t>(42));
    info->hProcess = (info->fMask & SEE_MASK_NOCLOSEPROCESS) ? sim::registerHandle(std::make_shared<ProcessObject>(state, pid)) : nullptr;
    SetLastError(ERROR_SUCCESS);
    return TRUE;
}
