#include "runtime/TextFile.h"
#include "runtime/Path.h"

#include <winbase.h>

#include <string>

namespace {

// Far above any text file of the system; a larger file is damage, not data.
constexpr size_t kMaxTextFile = 16u << 20;

class File {
public:
    explicit File(HANDLE handle)
        : m_handle(handle)
    {
    }
    ~File() { close(); }
    File(const File&) = delete;
    File& operator=(const File&) = delete;
    bool valid() const { return m_handle != INVALID_HANDLE_VALUE; }
    HANDLE get() const { return m_handle; }
    void close()
    {
        if (m_handle != INVALID_HANDLE_VALUE)
            CloseHandle(m_handle);
        m_handle = INVALID_HANDLE_VALUE;
    }

private:
    HANDLE m_handle;
};

std::u16string numbered(DWORD n)
{
    std::string digits = std::to_string(n);
    return std::u16string(digits.begin(), digits.end());
}

}

std::optional<std::u16string> ReadTextFile(std::u16string_view path)
{
    std::u16string device = ExpandPath(path);
    File file(CreateFile(device.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file.valid())
        return std::nullopt;
    std::string bytes;
    char chunk[16384];
    for (;;) {
        DWORD read = 0;
        if (!ReadFile(file.get(), chunk, sizeof chunk, &read, nullptr))
            return std::nullopt;
        if (read == 0)
            break;
        bytes.append(chunk, read);
        if (bytes.size() > kMaxTextFile)
            return std::nullopt;
    }

    std::u16string text;
    if (bytes.size() >= 2 && static_cast<unsigned char>(bytes[0]) == 0xFF && static_cast<unsigned char>(bytes[1]) == 0xFE) {
        text.reserve(bytes.size() / 2);
        // An odd last byte is half a character: dropped.
        for (size_t i = 2; i + 1 < bytes.size(); i += 2)
            text.push_back(static_cast<char16_t>(static_cast<unsigned char>(bytes[i]) | (static_cast<unsigned char>(bytes[i + 1]) << 8)));
    } else {
        text.reserve(bytes.size());
        for (char b : bytes)
            text.push_back(static_cast<char16_t>(static_cast<unsigned char>(b)));
    }
    return text;
}

bool WriteWholeFile(std::u16string_view path, std::string_view bytes)
{
    std::u16string target = ExpandPath(path);
    std::u16string fresh = target + u"." + numbered(GetCurrentProcessId()) + u".new";
    File file(CreateFile(fresh.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file.valid())
        return false;
    DWORD written = 0;
    bool ok = WriteFile(file.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) && written == bytes.size()
        && FlushFileBuffers(file.get());
    file.close();
    // The device replaces an existing file with DeleteAndRenameFile and gives a new one its
    // name with MoveFile; another writer may create the file in between.
    for (int attempt = 0; ok && attempt < 3; ++attempt) {
        if (DeleteAndRenameFile(target.c_str(), fresh.c_str()))
            return true;
        if (GetLastError() != ERROR_FILE_NOT_FOUND)
            break;
        if (MoveFile(fresh.c_str(), target.c_str()))
            return true;
        if (GetLastError() != ERROR_ALREADY_EXISTS)
            break;
    }
    DeleteFile(fresh.c_str());
    return false;
}

FileUpdateLock::FileUpdateLock(std::u16string_view path)
{
    // Mutex names have no folders; the file's name, case folded by the platform, is enough
    // for the few shared files of the system.
    std::u16string expanded = ExpandPath(path);
    size_t slash = expanded.find_last_of(u"\\/");
    std::u16string name = u"FileUpdate " + (slash == std::u16string::npos ? expanded : expanded.substr(slash + 1));
    HANDLE mutex = CreateMutex(nullptr, FALSE, name.c_str());
    m_mutex = mutex;
    if (!mutex)
        return;
    DWORD result = WaitForSingleObject(mutex, 5000);
    m_held = result == WAIT_OBJECT_0 || result == WAIT_ABANDONED;
}

FileUpdateLock::~FileUpdateLock()
{
    HANDLE mutex = static_cast<HANDLE>(m_mutex);
    if (!mutex)
        return;
    if (m_held)
        ReleaseMutex(mutex);
    CloseHandle(mutex);
}

std::string Utf16FileBytes(std::u16string_view text)
{
    std::string bytes = "\xFF\xFE";
    bytes.reserve(2 + text.size() * 2);
    for (char16_t c : text) {
        bytes.push_back(static_cast<char>(c & 0xFF));
        bytes.push_back(static_cast<char>(c >> 8));
    }
    return bytes;
}
