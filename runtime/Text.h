#pragma once
// Text is UTF-16 throughout the system; these convert at the edges (host files, tools, tests).
#include <string>
#include <string_view>

std::u16string Utf16FromUtf8(std::string_view utf8);
std::string Utf8FromUtf16(std::u16string_view utf16);
