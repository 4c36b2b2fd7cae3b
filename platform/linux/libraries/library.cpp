// Device libraries: host shared objects at device paths, loaded once per process with their
// entry point called on the first load and the last unload.
#include "linux/libraries/library.h"
#include "linux/windows/win_internal.h"
#include "linux/files/device_fs.h"
#include "linux/text/host_text.h"

#include <libloader.h>
#include <simhost.h>
#include <winbase.h>

#include <dlfcn.h>
#include <link.h>

#include <climits>
#include <cstdlib>
#include <map>
#include <memory>
#include <mutex>
#include <sys/stat.h>

namespace {

typedef BOOL (*EntryPoint)(HANDLE, DWORD, LPVOID);

struct Module {
    std::string hostPath; // canonical
    std::u16string devicePath;
    void* dl = nullptr;
    int refs = 0;
    bool permanent = false; // the program and the core library never unload
};

std::recursive_mutex& loaderLock()
{
    static std::recursive_mutex m;
    return m;
}

// Keyed by handle; a handle is the address of its record.
std::map<HMODULE, std::unique_ptr<Module>>& modules()
{
    static std::map<HMODULE, std::unique_ptr<Module>> m;
    return m;
}

HMODULE handleOf(Module* m)
{
    return reinterpret_cast<HMODULE>(m);
}

Module* find(HMODULE handle)
{
    auto it = modules().find(handle);
    return it == modules().end() ? nullptr : it->second.get();
}

Module* findByHostPath(const std::string& path)
{
    for (auto& [handle, m] : modules())
        if (m->hostPath == path)
            return m.get();
    return nullptr;
}

Module& program()
{
    static Module* self = [] {
        auto m = std::make_unique<Module>();
        m->hostPath = "/proc/self/exe";
        char buffer[PATH_MAX];
        if (realpath("/proc/self/exe", buffer))
            m->hostPath = buffer;
        m->dl = dlopen(nullptr, RTLD_NOW);
        m->permanent = true;
        Module* raw = m.get();
        modules()[handleOf(raw)] = std::move(m);
        return raw;
    }();
    return *self;
}

// The platform's own shared object, which plays the device's core library.
Module& core()
{
    static Module* self = [] {
        auto m = std::make_unique<Module>();
        Dl_info info {};
        if (dladdr(reinterpret_cast<void*>(&LoadLibrary), &info) && info.dli_fname) {
            char buffer[PATH_MAX];
            m->hostPath = realpath(info.dli_fname, buffer) ? buffer : info.dli_fname;
            m->dl = dlopen(info.dli_fname, RTLD_NOW | RTLD_NOLOAD);
        }
        m->devicePath = u"\\Windows\\coredll.dll";
        m->permanent = true;
        Module* raw = m.get();
        modules()[handleOf(raw)] = std::move(m);
        SimRegisterModule(handleOf(raw), raw->devicePath.c_str());
        return raw;
    }();
    return *self;
}

bool isBareName(std::u16string_view name)
{
    return name.find(u'\\') == std::u16string_view::npos && name.find(u'/') == std::u16string_view::npos;
}

std::u16string devicePathOf(std::u16string_view name)
{
    return isBareName(name) ? u"\\Windows\\" + std::u16string(name) : std::u16string(name);
}

// The symbol only when the library itself defines it, not one of the libraries it uses.
void* ownSymbol(Module& m, const char* name)
{
    if (!m.dl)
        return nullptr;
    dlerror();
    void* symbol = dlsym(m.dl, name);
    if (!symbol)
        return nullptr;
    Dl_info info {};
    link_map* map = nullptr;
    if (!dladdr(symbol, &info) || dlinfo(m.dl, RTLD_DI_LINKMAP, &map) != 0 || !map)
        return nullptr;
    if (m.dl == program().dl)
        return symbol;
    return info.dli_fbase == reinterpret_cast<void*>(map->l_addr) ? symbol : nullptr;
}

bool callEntry(Module& m, DWORD reason)
{
    auto entry = reinterpret_cast<EntryPoint>(ownSymbol(m, "DllMain"));
    return !entry || entry(reinterpret_cast<HANDLE>(handleOf(&m)), reason, nullptr);
}

}

namespace sim {

bool moduleHostFile(HMODULE handle, std::string& hostPath)
{
    std::lock_guard guard(loaderLock());
    program();
    Module* m = find(handle);
    if (!m)
        return false;
    hostPath = m->hostPath;
    return true;
}

HMODULE programModule()
{
    std::lock_guard guard(loaderLock());
    return handleOf(&program());
}

}

HMODULE LoadLibrary(LPCWSTR fileName)
{
    if (!fileName || !*fileName) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    std::u16string_view name = sim::viewOf(fileName);
    std::lock_guard guard(loaderLock());
    if (isBareName(name) && sim::sameNameIgnoringCase(name, u"coredll.dll")) {
        Module& c = core();
        ++c.refs;
        return handleOf(&c);
    }
    std::u16string device = devicePathOf(name);
    std::string host;
    struct stat st;
    if (!sim::hostPathOf(device, host) || stat(host.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) {
        SetLastError(ERROR_MOD_NOT_FOUND);
        return nullptr;
    }
    char buffer[PATH_MAX];
    std::string canonical = realpath(host.c_str(), buffer) ? buffer : host;
    if (Module* loaded = findByHostPath(canonical)) {
        ++loaded->refs;
        return handleOf(loaded);
    }
    // RTLD_LOCAL: two libraries' own symbols never meet; each uses the one platform library.
    void* dl = dlopen(canonical.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!dl) {
        SetLastError(ERROR_BAD_EXE_FORMAT);
        return nullptr;
    }
    auto owned = std::make_unique<Module>();
    Module* m = owned.get();
    m->hostPath = canonical;
    // Its name as the file system has it, whatever spelling loaded it.
    WCHAR named[MAX_PATH];
    m->devicePath = SimDevicePath(canonical.c_str(), named, MAX_PATH) ? std::u16string(named) : device;
    m->dl = dl;
    m->refs = 1;
    modules()[handleOf(m)] = std::move(owned);
    SimRegisterModule(handleOf(m), m->devicePath.c_str());
    if (!callEntry(*m, DLL_PROCESS_ATTACH)) {
        SimUnregisterModule(handleOf(m));
        modules().erase(handleOf(m));
        dlclose(dl);
        SetLastError(ERROR_DLL_INIT_FAILED);
        return nullptr;
    }
    SetLastError(ERROR_SUCCESS);
    return handleOf(m);
}

BOOL FreeLibrary(HMODULE handle)
{
    std::lock_guard guard(loaderLock());
    Module* m = find(handle);
    if (!m) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    if (m->permanent) {
        if (m->refs > 0)
            --m->refs;
        return TRUE;
    }
    if (--m->refs > 0)
        return TRUE;
    callEntry(*m, DLL_PROCESS_DETACH);
    wm::forgetClassesOf(handle);
    void* dl = m->dl;
    SimUnregisterModule(handle);
    modules().erase(handle);
    dlclose(dl);
    return TRUE;
}

FARPROC GetProcAddress(HMODULE handle, LPCWSTR procName)
{
    std::lock_guard guard(loaderLock());
    program();
    Module* m = find(handle);
    if (!m) {
        SetLastError(ERROR_INVALID_HANDLE);
        return nullptr;
    }
    // Exports by ordinal do not exist here.
    if (!procName || reinterpret_cast<uintptr_t>(procName) < 0x10000) {
        SetLastError(ERROR_PROC_NOT_FOUND);
        return nullptr;
    }
    void* symbol = ownSymbol(*m, sim::toUtf8(sim::viewOf(procName)).c_str());
    if (!symbol) {
        SetLastError(ERROR_PROC_NOT_FOUND);
        return nullptr;
    }
    return reinterpret_cast<FARPROC>(symbol);
}

HMODULE GetModuleHandle(LPCWSTR moduleName)
{
    std::lock_guard guard(loaderLock());
    if (!moduleName)
        return handleOf(&program());
    std::u16string_view name = sim::viewOf(moduleName);
    if (isBareName(name) && sim::sameNameIgnoringCase(name, u"coredll.dll"))
        return handleOf(&core());
    for (auto& [handle, m] : modules()) {
        if (m->devicePath.empty())
            continue;
        std::u16string_view path = m->devicePath;
        std::u16string_view file = path.substr(path.find_last_of(u"\\/") + 1);
        if (sim::sameNameIgnoringCase(path, name) || (isBareName(name) && sim::sameNameIgnoringCase(file, name)))
            return handle;
    }
    SetLastError(ERROR_MOD_NOT_FOUND);
    return nullptr;
}
