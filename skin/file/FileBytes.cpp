#include "skin/file/FileBytes.h"

#include <winbase.h>

#include <string>

bool ReadFileBytes(std::u16string_view path, std::vector<uint8_t>& bytes, size_t limit)
{
    std::u16string name(path);
    HANDLE file = CreateFile(name.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return false;
    DWORD high = 0;
    DWORD size = GetFileSize(file, &high);
    bool ok = size != 0xFFFFFFFF && high == 0 && size <= limit;
    if (ok) {
        bytes.assign(size, 0);
        DWORD read = 0;
        ok = (size == 0 || ReadFile(file, bytes.data(), size, &read, nullptr)) && read == size;
    }
    CloseHandle(file);
    return ok;
}
