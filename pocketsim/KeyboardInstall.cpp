#include "pocketsim/KeyboardInstall.h"
#include "pocketsim/Boot.h"

#include <simhost.h>
#include <windows.h>

#include <cstdlib>
#include <filesystem>

namespace pocketsim {

namespace {

namespace fs = std::filesystem;

constexpr char16_t kDeviceLibrary[] = u"\\Program Files\\Tarn\\Magnikeys\\magnikeys.dll";
constexpr char16_t kMagnikeys[] = u"{E2452E3B-2823-4309-90CB-8787C4BA3AF7}";

}

std::string KeyboardInstallTree()
{
    if (const char* tree = std::getenv("POCKETSIM_INSTALL_TREE"))
        return tree;
#ifdef POCKETSIM_INSTALL_TREE
    return POCKETSIM_INSTALL_TREE;
#else
    return std::string();
#endif
}

bool InstallKeyboard(std::string& report)
{
    const fs::path tree = KeyboardInstallTree();
    const fs::path built = tree / "Tarn" / "Magnikeys" / "magnikeys.dll";
    std::error_code ec;
    if (tree.empty() || !fs::is_regular_file(built, ec)) {
        report += "no keyboard to install: " + built.string() + " is missing\n";
        return false;
    }
    char host[4096];
    const bool mapped = SimHostPath(kDeviceLibrary, host, sizeof host);
    const bool fresh = !mapped || !fs::is_regular_file(host, ec);
    if (!fresh && fs::last_write_time(host, ec) >= fs::last_write_time(built, ec))
        return true;
    if (!InstallTree(tree.string(), report))
        return false;
    if (fresh) {
        HKEY key;
        if (RegCreateKeyEx(HKEY_CURRENT_USER, u"ControlPanel\\SIP", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr) == ERROR_SUCCESS) {
            RegSetValueEx(key, u"DefaultIM", 0, REG_SZ, reinterpret_cast<const BYTE*>(kMagnikeys), sizeof kMagnikeys);
            RegCloseKey(key);
        }
    }
    return true;
}

}
