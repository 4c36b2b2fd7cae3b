#pragma once
// Starting another program of the device.
#include <string_view>

// Starts the program at a device path with the verb "open" and its arguments (none when empty)
// and returns whether the shell accepted it; does not wait for the program.
bool StartDeviceProgram(std::u16string_view path, std::u16string_view arguments);

// The same for a path that may start with a path macro, logged.
bool ExecuteFile(std::u16string_view programPath, std::u16string_view parameters);
