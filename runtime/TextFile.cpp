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

// A writer killed in the middle of its write leaves its new file ("<name>.<process id>.new")
// behind: the next writer of the file removes those of processes that no longer run.
void removeLeftovers(const std::u16string& target)
{
    size_t slash = target.find_last_of(u"\\/");
    std::u16string folder = slash == std::u16string::npos ? std::u16string() : target.substr(0, slash + 1);
    size_t nameLength = target.size() - folder.size();
    WIN32_FIND_DATA data;
    HANDLE search = FindFirstFile((target + u".*.new").c_str(), &data);
    if (search == INVALID_HANDLE_VALUE)
        return;
    do {
        std::u16string_view entry(data.cFileName);
        if (entry.size() < nameLength + 6 || entry[nameLength] != u'.')
            continue;
        std::u16string_view digits = entry.substr(nameLength + 1, entry.size() - nameLength - 5);
        if (digits.empty() || digits.size() > 10
            || digits.find_first_not_of(u"0123456789") != std::u16string_view::npos)
            continue;
        unsigned long long id = 0;
        for (char16_t c : digits)
            id = id * 10 + (c - u'0');
        if (id == 0 || id > 0xFFFFFFFFull || id == GetCurrentProcessId())
            continue;
        if (HANDLE process = OpenProcess(0, FALSE, static_cast<DWORD>(id))) {
            CloseHandle(process); // still writing, perhaps
            continue;
        }
        DeleteFile((folder + std::u16string(entry)).c_str());
    } while (FindNextFile(search, &data));
    FindClose(search);
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
    removeLeftovers(target);
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
