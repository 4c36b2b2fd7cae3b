#include "panel_host/KeyboardInstall.h"

#include <simhost.h>
#include <windows.h>

#include <filesystem>

namespace pocketsim {

namespace {

constexpr char16_t kDeviceLibrary[] = u"\\Program Files\\Tarn\\Magnikeys\\magnikeys.dll";
constexpr char16_t kMagnikeys[] = u"{E2452E3B-2823-4309-90CB-8787C4BA3AF7}";

}

bool KeyboardOnDevice()
{
    char host[4096];
    std::error_code ec;
    return SimHostPath(kDeviceLibrary, host, sizeof host) && std::filesystem::is_regular_file(host, ec);
}

void MakeKeyboardCurrent()
{
    HKEY key;
    if (RegCreateKeyEx(HKEY_CURRENT_USER, u"ControlPanel\\SIP", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr) != ERROR_SUCCESS)
        return;
    RegSetValueEx(key, u"DefaultIM", 0, REG_SZ, reinterpret_cast<const BYTE*>(kMagnikeys), sizeof kMagnikeys);
    RegCloseKey(key);
}

}
