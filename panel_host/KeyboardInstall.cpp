#include "panel_host/KeyboardInstall.h"
#include "panel_host/DefaultInputMethod.h"

#include <simhost.h>
#include <windows.h>

#include <filesystem>

namespace pocketsim {

namespace {

constexpr char16_t kDeviceLibrary[] = u"\\Program Files\\Tarn\\Magnikeys\\magnikeys.dll";
constexpr CLSID kMagnikeys { 0xE2452E3B, 0x2823, 0x4309, { 0x90, 0xCB, 0x87, 0x87, 0xC4, 0xBA, 0x3A, 0xF7 } };

}

bool KeyboardOnDevice()
{
    char host[4096];
    std::error_code ec;
    return SimHostPath(kDeviceLibrary, host, sizeof host) && std::filesystem::is_regular_file(host, ec);
}

void MakeKeyboardCurrent()
{
    KeepDefaultInputMethod(kMagnikeys);
}

}
