#pragma once
// What the device does around booting: its own files, installing and removing programs, and
// the programs of the startup folder.
#include <string>

namespace pocketsim {

// Copies the platform's own keyboard to "\Windows\msim.dll" when it is missing or differs,
// registers it, and makes it the default input method when none is set. False with a reason.
bool InstallPlatformFiles(std::string& error);

// Installs an install tree, which mirrors "\Program Files": each program is a folder
// "Maker\Product" (or a folder "Product" holding files directly). Its files are copied, every
// library in it that exports DllRegisterServer is registered, every program (".exe") gets a
// Start-menu shortcut, and the program is recorded under
// "HKEY_LOCAL_MACHINE\Software\Apps\<Maker Product>" for uninstalling. One report line a step.
// onlyWhenNewer skips programs whose files are all on the device already (same size and time).
bool InstallTree(const std::string& hostFolder, std::string& report, bool onlyWhenNewer = false);
// Removes an installed program named as it was recorded ("Tarn Magnikeys"), by its folder
// ("Tarn\Magnikeys") or by its last folder name ("Magnikeys"): its libraries' DllUnregisterServer
// runs, its shortcuts and files go.
bool Uninstall(const std::string& name, std::string& report);

// Starts every program and shortcut of "\Windows\StartUp" in name order, as the device does at
// boot; returns how many started.
int RunStartupFolder();

}
