#pragma once
// Starting another program of the device.
#include <string_view>

// Starts the program (a path that may start with a path macro) with the verb "open" and
// returns whether the shell accepted it; does not wait for the program.
bool ExecuteFile(std::u16string_view programPath, std::u16string_view parameters);
