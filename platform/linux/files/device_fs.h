#pragma once
// The device root inside the platform: device paths to host paths and back.
#include <windef.h>

#include <string>
#include <string_view>

namespace sim {

// The host folder of the device, prepared with the standard folders on first use.
std::string deviceRoot();

// Host path of an absolute device path; names that exist are matched without regard to case,
// the rest is taken as given. False for a relative path or one naming host bookkeeping.
bool hostPathOf(std::u16string_view devicePath, std::string& hostPath);
std::string hostPathOrEmpty(const WCHAR* devicePath);

// Entries of the host that the device never sees (hive, storage-card marks).
bool isHostBookkeeping(std::string_view name);

// "<root>/.pocketsim": the registry hive and other per-device host state.
std::string hostStateFolder();

// True for a folder directly under the root that carries the storage-card mark.
bool isStorageCard(const std::string& hostFolder);

// Folders of the device, as device paths.
std::u16string specialFolder(int csidl, bool* known);

// Registry side: forget the open hive, the root changed.
void closeHive();

}
