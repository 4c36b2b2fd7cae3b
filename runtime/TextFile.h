#pragma once
// Whole text files. Paths may start with a path macro.
#include <optional>
#include <string>
#include <string_view>

// The file's text: UTF-16 little-endian after a leading FF FE, else one character per byte
// (Latin-1). Line ends are kept. Nothing when the file cannot be opened or is absurdly large.
std::optional<std::u16string> ReadTextFile(std::u16string_view path);

// Replaces the file with bytes in one step: the content goes to a new file beside it that
// then takes the file's place, so a reader never sees a half-written file.
bool WriteWholeFile(std::u16string_view path, std::string_view bytes);

// FF FE and the text as UTF-16 little-endian, the form the system writes its text files in.
std::string Utf16FileBytes(std::u16string_view text);
