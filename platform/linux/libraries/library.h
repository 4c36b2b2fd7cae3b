#pragma once
// Modules inside the platform: the file behind a module handle, for its resources.
#include <windef.h>

#include <string>

namespace sim {

// Host path of the file of a loaded library or of the program (GetModuleHandle(NULL)); false
// for a handle that names no module.
bool moduleHostFile(HMODULE module, std::string& hostPath);
// The program's own module handle.
HMODULE programModule();

}
