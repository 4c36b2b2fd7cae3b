#include "settings_app/DefaultKeyboard.h"

#include "runtime/Log.h"
#include "runtime/Path.h"

FileInfo::FileInfo(std::u16string_view device_path)
    : path(ExpandPath(device_path))
{
    WIN32_FIND_DATA data {};
    HANDLE found = FindFirstFile(path.c_str(), &data);
    if (found == INVALID_HANDLE_VALUE)
        return;
    FindClose(found);
    attributes = data.dwFileAttributes;
    size = (static_cast<unsigned long long>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
    created = data.ftCreationTime;
    written = data.ftLastWriteTime;
}

void FileInfo::clear_read_only() const
{
    if (!exists())
        return;
    DWORD cleared = attributes & ~static_cast<DWORD>(FILE_ATTRIBUTE_READONLY);
    if (cleared != attributes)
        SetFileAttributes(path.c_str(), cleared);
}

namespace DefaultKeyboard {

bool is_default()
{
    std::u16string path = ExpandPath(kSelectorStartupCopy);
    HANDLE file = CreateFile(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return false;
    CloseHandle(file);
    return true;
}

void apply(bool on, const FileInfo& source)
{
    FileInfo copy(kSelectorStartupCopy);
    copy.clear_read_only();
    Log().append(u"DefaultKeyboard::apply ").append(on ? 1 : 0).append(u"\n");
    if (on) {
        source.clear_read_only();
        CopyFile(source.path.c_str(), copy.path.c_str(), FALSE);
        return;
    }
    if (copy.exists() && (copy.attributes & FILE_ATTRIBUTE_DIRECTORY))
        RemoveDirectory(copy.path.c_str());
    else
        DeleteFile(copy.path.c_str());
}

}
