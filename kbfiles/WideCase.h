#pragma once
// Upper and lower case of wide characters as the device converts them, independent of the
// host's locale: ASCII, Latin-1, Latin Extended-A, Greek and Cyrillic. Characters without a
// single-character counterpart (such as "ß") stay as they are.
#include <string>
#include <string_view>

char16_t WideUpper(char16_t c);
char16_t WideLower(char16_t c);
std::u16string WideUpper(std::u16string_view text);
std::u16string WideLower(std::u16string_view text);
