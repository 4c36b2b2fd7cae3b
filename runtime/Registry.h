#pragma once
// The registry by full key path: "HKEY_CURRENT_USER\Software\Tarn". The root is one of
// HKEY_CLASSES_ROOT, HKEY_LOCAL_MACHINE, HKEY_USERS, HKEY_CURRENT_USER; any other path fails
// without touching the registry. Keys are created when missing, also when reading.
#include <windef.h>

#include <string>
#include <string_view>

bool RegReadNumber(std::u16string_view keyPath, std::u16string_view valueName, DWORD& out);
bool RegWriteNumber(std::u16string_view keyPath, std::u16string_view valueName, DWORD number);
// An empty string value gives an empty out and true.
bool RegReadText(std::u16string_view keyPath, std::u16string_view valueName, std::u16string& out);
bool RegWriteText(std::u16string_view keyPath, std::u16string_view valueName, std::u16string_view text);
// Deletes the key with its subkeys.
bool RegDeleteKey(std::u16string_view keyPath);
// The key at keyPath opened for reading (created when missing), or null; the caller closes it
// with RegCloseKey.
HKEY RegOpenPath(std::u16string_view keyPath);
