#include "linux/files/device_fs.h"
#include "linux/text/host_text.h"

#include <algorithm>
#include <atomic>
#include <shellapi.h>
#include <simhost.h>

#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>
#include <pwd.h>

#include <cstdlib>
#include <cstring>
#include <map>
#include <mutex>
#include <vector>

namespace {

const char kCardMark[] = ".pocketsim-card";

std::mutex g_rootMutex;
std::string g_root;
bool g_rootPrepared = false;

std::string defaultRoot()
{
    if (const char* env = std::getenv("POCKETSIM_ROOT"); env && *env)
        return env;
    const char* home = std::getenv("HOME");
    if (!home || !*home) {
        if (passwd* pw = getpwuid(getuid()))
            home = pw->pw_dir;
    }
    return std::string(home ? home : "/tmp") + "/.local/share/pocketsim/device";
}

std::string withoutTrailingSlashes(std::string path)
{
    while (path.size() > 1 && path.back() == '/')
        path.pop_back();
    return path;
}

void makeFolders(const std::string& path)
{
    for (size_t pos = 1; pos <= path.size(); ++pos) {
        if (pos == path.size() || path[pos] == '/')
            mkdir(path.substr(0, pos).c_str(), 0777);
    }
}

std::map<int, std::u16string> standardFolders()
{
    return {
        { CSIDL_PROGRAMS, u"\\Windows\\Start Menu\\Programs" },
        { CSIDL_PERSONAL, u"\\My Documents" },
        { CSIDL_STARTUP, u"\\Windows\\StartUp" },
        { CSIDL_STARTMENU, u"\\Windows\\Start Menu" },
        { CSIDL_WINDOWS, u"\\Windows" },
        { CSIDL_PROGRAM_FILES, u"\\Program Files" },
    };
}

std::map<int, std::u16string> g_specialFolders = standardFolders();
std::map<int, bool> g_unknownFolders;

// Called with g_rootMutex held.
const std::string& preparedRoot()
{
    if (g_root.empty())
        g_root = withoutTrailingSlashes(defaultRoot());
    if (!g_rootPrepared) {
        g_rootPrepared = true;
        makeFolders(g_root);
        makeFolders(g_root + "/.pocketsim");
        for (const char* folder : { "/Windows/StartUp", "/Windows/Start Menu/Programs", "/My Documents",
                 "/Program Files", "/Temp" })
            makeFolders(g_root + folder);
    }
    return g_root;
}

bool isSeparator(char16_t c) { return c == u'\\' || c == u'/'; }

}

namespace sim {

std::string deviceRoot()
{
    std::lock_guard lock(g_rootMutex);
    return preparedRoot();
}

bool isHostBookkeeping(std::string_view name)
{
    return name.starts_with(".pocketsim");
}

std::string hostStateFolder()
{
    return deviceRoot() + "/.pocketsim";
}

bool hostPathOf(std::u16string_view devicePath, std::string& hostPath)
{
    if (devicePath.empty() || !isSeparator(devicePath[0]))
        return false;
    std::vector<std::u16string_view> parts;
    size_t i = 0;
    while (i < devicePath.size()) {
        while (i < devicePath.size() && isSeparator(devicePath[i]))
            ++i;
        size_t start = i;
        while (i < devicePath.size() && !isSeparator(devicePath[i]))
            ++i;
        std::u16string_view part = devicePath.substr(start, i - start);
        if (part.empty() || part == u".")
            continue;
        if (part == u"..") {
            if (!parts.empty())
                parts.pop_back();
            continue;
        }
        parts.push_back(part);
    }

    std::string path = deviceRoot();
    bool existing = true;
    for (auto part : parts) {
        std::string name = toUtf8(part);
        if (isHostBookkeeping(name))
            return false;
        if (existing) {
            struct stat st;
            std::string exact = path + "/" + name;
            if (lstat(exact.c_str(), &st) != 0) {
                existing = false;
                // Case folds ASCII only to ASCII: an ASCII name can only be another spelling of
                // an ASCII name of its length, compared without converting every name in the
                // folder (a file about to be made is looked up this way each time).
                const bool ascii = std::all_of(part.begin(), part.end(), [](char16_t c) { return c < 0x80; });
                auto sameAscii = [&](const char* entry) {
                    if (std::strlen(entry) != part.size())
                        return false;
                    for (size_t k = 0; k < part.size(); ++k)
                        if (foldChar(static_cast<unsigned char>(entry[k])) != foldChar(part[k]))
                            return false;
                    return true;
                };
                if (DIR* dir = opendir(path.c_str())) {
                    while (dirent* entry = readdir(dir)) {
                        if (isHostBookkeeping(entry->d_name))
                            continue;
                        if (ascii ? sameAscii(entry->d_name) : sameNameIgnoringCase(toUtf16(entry->d_name), part)) {
                            name = entry->d_name;
                            existing = true;
                            break;
                        }
                    }
                    closedir(dir);
                }
            }
        }
        path += "/";
        path += name;
    }
    hostPath = std::move(path);
    return true;
}

std::string hostPathOrEmpty(const WCHAR* devicePath)
{
    std::string host;
    if (!hostPathOf(viewOf(devicePath), host))
        return {};
    return host;
}

bool isStorageCard(const std::string& hostFolder)
{
    std::string root = deviceRoot();
    if (hostFolder.size() <= root.size() + 1 || hostFolder.compare(0, root.size() + 1, root + "/") != 0)
        return false;
    if (hostFolder.find('/', root.size() + 1) != std::string::npos)
        return false;
    struct stat st;
    return stat((hostFolder + "/" + kCardMark).c_str(), &st) == 0;
}

std::u16string specialFolder(int csidl, bool* known)
{
    std::lock_guard lock(g_rootMutex);
    auto it = g_specialFolders.find(csidl);
    *known = it != g_specialFolders.end() && !g_unknownFolders[csidl];
    return *known ? it->second : std::u16string();
}

}

namespace sim {

namespace {
std::atomic<uint64_t> g_rootEpoch { 1 };
}

uint64_t rootEpoch()
{
    return g_rootEpoch.load(std::memory_order_acquire);
}

}

void SimSetDeviceRoot(const char* hostFolder)
{
    {
        std::lock_guard lock(g_rootMutex);
        sim::g_rootEpoch.fetch_add(1, std::memory_order_acq_rel);
        g_root = hostFolder && *hostFolder ? withoutTrailingSlashes(hostFolder) : std::string();
        g_rootPrepared = false;
    }
    sim::closeHive();
}

const char* SimDeviceRoot()
{
    std::lock_guard lock(g_rootMutex);
    return preparedRoot().c_str();
}

bool SimHostPath(LPCWSTR devicePath, char* hostPath, size_t hostPathSize)
{
    std::string host;
    if (!sim::hostPathOf(sim::viewOf(devicePath), host))
        return false;
    if (host.size() + 1 > hostPathSize)
        return false;
    std::memcpy(hostPath, host.c_str(), host.size() + 1);
    return true;
}

bool SimDevicePath(const char* hostPath, WCHAR* devicePath, size_t devicePathSize)
{
    if (!hostPath)
        return false;
    char resolved[PATH_MAX];
    std::string host = realpath(hostPath, resolved) ? resolved : hostPath;
    std::string root = sim::deviceRoot();
    if (realpath(root.c_str(), resolved))
        root = resolved;
    if (host != root && host.compare(0, root.size() + 1, root + "/") != 0)
        return false;
    std::u16string device = sim::toUtf16(host.substr(root.size()));
    for (auto& c : device)
        if (c == u'/')
            c = u'\\';
    return sim::copyWide(device.empty() ? std::u16string_view(u"\\") : std::u16string_view(device), devicePath, devicePathSize);
}

bool SimMakeStorageCard(LPCWSTR name)
{
    if (!name || !*name)
        return false;
    std::u16string device = u"\\";
    device += sim::viewOf(name);
    if (device.find_first_of(u"\\/", 1) != std::u16string::npos)
        return false;
    std::string host;
    if (!sim::hostPathOf(device, host))
        return false;
    mkdir(host.c_str(), 0777);
    FILE* mark = std::fopen((host + "/" + kCardMark).c_str(), "w");
    if (!mark)
        return false;
    std::fclose(mark);
    return true;
}

void SimSetSpecialFolder(int csidl, LPCWSTR devicePath)
{
    std::lock_guard lock(g_rootMutex);
    if (!devicePath) {
        g_unknownFolders[csidl] = true;
        return;
    }
    g_unknownFolders[csidl] = false;
    g_specialFolders[csidl] = std::u16string(sim::viewOf(devicePath));
}

void SimResetSpecialFolders()
{
    std::lock_guard lock(g_rootMutex);
    g_specialFolders = standardFolders();
    g_unknownFolders.clear();
}
