#pragma once
// Whole-file reads of the device's files for the skin loader.
#include <cstdint>
#include <string_view>
#include <vector>

// Reads the file at a device path. False when it cannot be opened, is larger than `limit`
// bytes, or cannot be read completely.
bool ReadFileBytes(std::u16string_view path, std::vector<uint8_t>& bytes, size_t limit);
