#pragma once
// The lines the recording programs of the desktop tests print and the tests read: text as its
// UTF-8 bytes in hex ("-" for none), moments in monotonic microseconds, so that a test can time
// a tap in its own process against the event in the program's.
#include <string>

long long nowMicroseconds();
std::string hex(const std::string& bytes);
std::string unhex(const std::string& hex);
