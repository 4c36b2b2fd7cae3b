#pragma once
// Helpers of the settings program's tests: the program's own device path, and files as the
// program finds them in its folder.
#include <simhost.h>

#include <string>
#include <string_view>

#include "runtime/Text.h"
#include "runtime/TextFile.h"
#include "tests/support/DeviceRoot.h"

inline constexpr char16_t kProgramFolder[] = u"\\Program Files\\Tarn\\Magnikeys\\";

// The program's folder is where its module lies; set before any path is expanded.
inline const bool g_settingsProgramPath = (SimSetModulePath(u"\\Program Files\\Tarn\\Magnikeys\\optarix.exe"), true);

// UTF-8 source text as the UTF-16 file (FF FE first) that the programs write.
inline std::string Utf16File(std::string_view utf8)
{
    return Utf16FileBytes(Utf16FromUtf8(utf8));
}

inline void WriteProgramFile(const TempDeviceRoot& device, std::u16string_view name, std::string_view bytes)
{
    device.writeFile(std::u16string(kProgramFolder) + std::u16string(name), bytes);
}
