#pragma once
// The debug log: a file "/Temp/<program file name>.txt" in UTF-16 while the registry value
// "Log" under HKEY_CURRENT_USER\Software\Tarn is non-zero, else nothing. Every line is
// Log() followed by appends, ending with "\n".
#include <string_view>

class LogBase {
public:
    virtual ~LogBase() = default;
    virtual LogBase& append(std::u16string_view text) = 0;
    virtual LogBase& append(long long number) = 0;
    virtual void flush() = 0;
};

// Reads the switch again whenever the registry changed, so that turning the log on or off takes
// effect at the next line of every running program; turning it on starts the file afresh.
LogBase& Log();

// Closes the log and frees what it holds. Only for a library's unloading (its process
// detach): the next Log() would start afresh.
void ReleaseLog();

// Logs "Snag: " + message + " @ " + place + "\n", flushes the log and ends the process with
// exit code 1.
[[noreturn]] void Fatal(std::u16string_view message, std::u16string_view place);
