#include "runtime/Path.h"
#include "runtime/Log.h"
#include "runtime/WideCase.h"

#include <shellapi.h>
#include <winbase.h>

#include <vector>

namespace {

constexpr DWORD kAppPathBuffer = 1024;

struct AppPaths {
    bool known = false;
    std::u16string fullName;
    std::u16string path;
    std::u16string name;
};

AppPaths g_app;

bool isSeparator(char16_t c) { return c == u'\\' || c == u'/'; }

const AppPaths& appPaths()
{
    if (g_app.known)
        return g_app;
    // Marked known before a possible fatal report: the report's log names its file after
    // the program, which must not come back here.
    g_app.known = true;
    std::vector<WCHAR> buffer(kAppPathBuffer, 0);
    DWORD length = GetModuleFileName(nullptr, buffer.data(), kAppPathBuffer);
    buffer[kAppPathBuffer - 1] = 0;
    g_app.fullName = buffer.data();
    g_app.path = StripSeparator(FolderOf(g_app.fullName));
    g_app.name = FileNameOf(g_app.fullName);
    if (length > kAppPathBuffer - 1)
        Fatal(u"path is more then MAX_PATH long", u"get_app_path()");
    return g_app;
}

std::u16string specialFolder(int csidl)
{
    std::vector<WCHAR> buffer(kAppPathBuffer, 0);
    if (!SHGetSpecialFolderPath(nullptr, buffer.data(), csidl, FALSE))
        return {};
    buffer[kAppPathBuffer - 1] = 0;
    return buffer.data();
}

// The letters the device's file system treats as one name in either case: those of WideLower
// but for U+0130, U+0178, the Greek capitals with tonos and the Cyrillic letters from U+0460.
char16_t lower(char16_t c)
{
    const bool caseKept = c == 0x130 || c == 0x178 || (c >= 0x386 && c <= 0x38F) || c >= 0x460;
    return caseKept ? c : WideLower(c);
}

std::u16string comparable(std::u16string_view path)
{
    std::u16string out = StripSeparator(ExpandPath(path));
    for (auto& c : out)
        c = lower(c);
    return out;
}

class FindHandle {
public:
    explicit FindHandle(const std::u16string& pattern)
        : m_handle(FindFirstFile(pattern.c_str(), &m_data))
    {
    }
    ~FindHandle()
    {
        if (m_handle != INVALID_HANDLE_VALUE)
            FindClose(m_handle);
    }
    FindHandle(const FindHandle&) = delete;
    FindHandle& operator=(const FindHandle&) = delete;

    bool valid() const { return m_handle != INVALID_HANDLE_VALUE; }
    const WIN32_FIND_DATA& entry() const { return m_data; }
    bool next() { return FindNextFile(m_handle, &m_data) != FALSE; }

private:
    WIN32_FIND_DATA m_data {};
    HANDLE m_handle;
};

bool isFolder(const WIN32_FIND_DATA& entry) { return entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY; }

std::u16string nameOf(const WIN32_FIND_DATA& entry)
{
    std::u16string name;
    for (size_t i = 0; i < MAX_PATH && entry.cFileName[i]; ++i)
        name.push_back(entry.cFileName[i]);
    return name;
}

// False when the visitor stopped the walk.
bool walk(FolderVisitor& visitor, std::u16string_view folder, std::u16string_view filePattern,
    std::u16string_view folderPattern, bool recursive)
{
    FindHandle files(ExpandPath(JoinPath(folder, filePattern)));
    for (bool more = files.valid(); more; more = files.next()) {
        if (!isFolder(files.entry()) && !visitor.file_found(JoinPath(folder, nameOf(files.entry()))))
            return false;
    }
    FindHandle folders(ExpandPath(JoinPath(folder, folderPattern)));
    for (bool more = folders.valid(); more; more = folders.next()) {
        std::u16string name = nameOf(folders.entry());
        if (!isFolder(folders.entry()) || name == u"." || name == u"..")
            continue;
        std::u16string path = JoinPath(folder, name);
        if (!visitor.folder_found(path))
            return false;
        if (recursive && !walk(visitor, path, filePattern, folderPattern, recursive))
            return false;
    }
    return true;
}

}

std::u16string AppFullName() { return appPaths().fullName; }
std::u16string AppPath() { return appPaths().path; }
std::u16string AppName() { return appPaths().name; }

std::u16string ExpandPath(std::u16string_view text)
{
    const AppPaths& app = appPaths();
    struct Macro {
        std::u16string_view name;
        int csidl; // 0: derived from the program file
        const std::u16string* value;
    };
    const Macro macros[] = {
        { u"%app_full_name%", 0, &app.fullName },
        { u"%app_path%", 0, &app.path },
        { u"%app_name%", 0, &app.name },
        { u"%my_documents%", CSIDL_PERSONAL, nullptr },
        { u"%windows%", CSIDL_WINDOWS, nullptr },
        { u"%startup%", CSIDL_STARTUP, nullptr },
        { u"%programs%", CSIDL_PROGRAMS, nullptr },
        { u"%start_menu%", CSIDL_STARTMENU, nullptr },
        { u"%program_files%", CSIDL_PROGRAM_FILES, nullptr },
    };
    std::u16string out;
    size_t rest = 0;
    for (const Macro& macro : macros) {
        if (text.starts_with(macro.name)) {
            out = macro.value ? *macro.value : specialFolder(macro.csidl);
            rest = macro.name.size();
            break;
        }
    }
    out.reserve(out.size() + text.size() - rest);
    for (char16_t c : text.substr(rest))
        out.push_back(c == u'/' ? u'\\' : c);
    return out;
}

std::u16string FolderOf(std::u16string_view path)
{
    size_t cut = path.find_last_of(u"\\/");
    return cut == std::u16string_view::npos ? std::u16string() : std::u16string(path.substr(0, cut + 1));
}

std::u16string FileNameOf(std::u16string_view path)
{
    size_t cut = path.find_last_of(u"\\/");
    return std::u16string(cut == std::u16string_view::npos ? path : path.substr(cut + 1));
}

std::u16string StripSeparator(std::u16string_view path)
{
    if (!path.empty() && isSeparator(path.back()))
        path.remove_suffix(1);
    return std::u16string(path);
}

std::u16string JoinPath(std::u16string_view folder, std::u16string_view name)
{
    if (folder.empty())
        return std::u16string(name);
    return StripSeparator(folder) + u"\\" + std::u16string(name);
}

bool SamePath(std::u16string_view a, std::u16string_view b)
{
    return comparable(a) == comparable(b);
}

bool FolderVisitor::file_found(const std::u16string&) { return true; }
bool FolderVisitor::folder_found(const std::u16string&) { return true; }

bool WalkFolder(FolderVisitor& visitor, std::u16string_view folder, std::u16string_view filePattern,
    std::u16string_view folderPattern, bool recursive)
{
    // The device has no current folder: a path without one names the root. Callers pass an
    // expanded "%app_path%", which is empty for a program that lies in the root.
    walk(visitor, folder.empty() ? std::u16string_view(u"\\") : folder, filePattern, folderPattern, recursive);
    return true;
}

bool FindDrives(FolderVisitor& visitor)
{
    std::u16string documents = ExpandPath(u"%my_documents%");
    Log().append(u"find_drives: mydoc={").append(documents).append(u"}\n");
    FindHandle entries(u"\\*");
    for (bool more = entries.valid(); more; more = entries.next()) {
        const DWORD card = FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_TEMPORARY;
        if ((entries.entry().dwFileAttributes & card) != card)
            continue;
        std::u16string candidate = u"\\" + nameOf(entries.entry());
        // The documents folder lies on this card only when the card's name ends where a
        // name of the documents path ends ("\SD" does not hold "\SDCard\My Documents").
        bool holdsDocuments = documents.size() >= candidate.size()
            && SamePath(std::u16string_view(documents).substr(0, candidate.size()), candidate)
            && (documents.size() == candidate.size() || isSeparator(documents[candidate.size()]));
        if (holdsDocuments) {
            Log().append(u"skipping result={").append(candidate).append(u"}\n");
            continue;
        }
        Log().append(u"returning result={").append(candidate).append(u"}\n");
        if (!visitor.folder_found(candidate))
            break;
    }
    return true;
}
