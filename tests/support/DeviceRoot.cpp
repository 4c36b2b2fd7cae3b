#include "tests/support/DeviceRoot.h"

#include <simhost.h>
#include <shellapi.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

namespace fs = std::filesystem;

TempDeviceRoot::TempDeviceRoot()
{
    m_previous = SimDeviceRoot();
    std::string pattern = (fs::temp_directory_path() / "mk-device-XXXXXX").string();
    if (!mkdtemp(pattern.data()))
        throw std::runtime_error("cannot make a temporary device root");
    m_root = pattern;
    SimSetDeviceRoot(m_root.c_str());
    SimResetSpecialFolders();
}

TempDeviceRoot::~TempDeviceRoot()
{
    SimSetDeviceRoot(m_previous.c_str());
    SimResetSpecialFolders();
    std::error_code ignored;
    // Read-only files inside must not keep the folder alive.
    for (auto it = fs::recursive_directory_iterator(m_root, ignored); it != fs::recursive_directory_iterator(); it.increment(ignored))
        fs::permissions(it->path(), fs::perms::owner_all, fs::perm_options::add, ignored);
    fs::remove_all(m_root, ignored);
}

std::string TempDeviceRoot::hostPath(std::u16string_view devicePath) const
{
    std::u16string path(devicePath);
    char host[4096];
    if (!SimHostPath(path.c_str(), host, sizeof host))
        throw std::runtime_error("not a device path");
    return host;
}

void TempDeviceRoot::writeFile(std::u16string_view devicePath, std::string_view bytes) const
{
    fs::path host = hostPath(devicePath);
    fs::create_directories(host.parent_path());
    std::ofstream out(host, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

std::optional<std::string> TempDeviceRoot::readFile(std::u16string_view devicePath) const
{
    std::ifstream in(hostPath(devicePath), std::ios::binary);
    if (!in)
        return std::nullopt;
    std::ostringstream content;
    content << in.rdbuf();
    return content.str();
}

bool TempDeviceRoot::exists(std::u16string_view devicePath) const
{
    return fs::exists(hostPath(devicePath));
}
