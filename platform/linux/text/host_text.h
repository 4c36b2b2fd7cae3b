#pragma once
// Text at the host boundary of the platform: host names and paths are UTF-8, device text is
// UTF-16. Device names compare without regard to case.
#include <windef.h>

#include <string>
#include <string_view>

namespace sim {

std::string toUtf8(std::u16string_view text);
std::u16string toUtf16(std::string_view text);

// Simple case folding for the scripts a device's file system and registry fold: Latin,
// Latin-1, Greek and Cyrillic letters.
char16_t foldChar(char16_t c);
std::u16string foldCase(std::u16string_view text);
bool sameNameIgnoringCase(std::u16string_view a, std::u16string_view b);

// Length of a zero-terminated device string.
size_t wideLength(const WCHAR* text);
// A zero-terminated device string as a view; empty for null.
std::u16string_view viewOf(const WCHAR* text);
// Copies text into buffer of size characters, zero-terminated; returns false when cut.
bool copyWide(std::u16string_view text, WCHAR* buffer, size_t size);

// Bytes as lower-case hex digits: device names made safe for host file names.
std::string hexOf(std::string_view bytes);

}
