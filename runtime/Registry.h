#pragma once
// The registry by full key path: "HKEY_CURRENT_USER\Software\Tarn". The root is one of
// HKEY_CLASSES_ROOT, HKEY_LOCAL_MACHINE, HKEY_USERS, HKEY_CURRENT_USER; any other path fails
// without touching the registry. Keys are created when missing, also when reading.
#include <windef.h>

#include <cstdint>
#include <string>
#include <string_view>

bool RegReadNumber(std::u16string_view keyPath, std::u16string_view valueName, DWORD& out);
bool RegWriteNumber(std::u16string_view keyPath, std::u16string_view valueName, DWORD number);
// An empty string value gives an empty out and true.
bool RegReadText(std::u16string_view keyPath, std::u16string_view valueName, std::u16string& out);
bool RegWriteText(std::u16string_view keyPath, std::u16string_view valueName, std::u16string_view text);
// Deletes the key with its subkeys.
bool RegDeleteKey(std::u16string_view keyPath);

// The string value name (null or empty: the key's default value) of an open key. Fails, leaving
// out as it was, when the value is missing or no string, or when its data (with the zero its
// writer stored) does not fit in capacity - 1 characters, the last kept for a zero a writer left
// out: a reader that keeps room for a class identifier or a path is not made to hold whatever
// another program wrote.
bool RegReadString(HKEY key, const WCHAR* name, std::u16string& out, size_t capacity = SIZE_MAX / sizeof(WCHAR));
// The same of the key root\subKey, opened for reading only: a missing key is not made.
bool RegReadString(HKEY root, std::u16string_view subKey, const WCHAR* name, std::u16string& out, size_t capacity);
// The key at keyPath opened for reading (created when missing), or null; the caller closes it
// with RegCloseKey.
HKEY RegOpenPath(std::u16string_view keyPath);
