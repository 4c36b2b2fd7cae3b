// Files and folders of the device, inside the device root.
#include "linux/files/device_fs.h"
#include "linux/files/host_io.h"
#include "linux/text/host_text.h"
#include "linux/processes/kernel_object.h"

#include <winbase.h>

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <string>
#include <vector>

namespace {

class FileObject : public sim::KernelObject {
public:
    explicit FileObject(int fd)
        : fd(fd)
    {
    }
    ~FileObject() override { ::close(fd); }
    const int fd;
};

struct FoundEntry {
    std::u16string name;
    DWORD attributes;
    uint64_t size;
    FILETIME written;
};

class SearchObject : public sim::KernelObject {
public:
    std::vector<FoundEntry> entries;
    size_t next = 0;
};

DWORD errorFromErrno(int error)
{
    switch (error) {
    case ENOENT:
        return ERROR_FILE_NOT_FOUND;
    case ENOTDIR:
        return ERROR_PATH_NOT_FOUND;
    case EEXIST:
    case ENOTEMPTY:
        return ERROR_ALREADY_EXISTS;
    case EACCES:
    case EPERM:
    case EISDIR:
    case EROFS:
        return ERROR_ACCESS_DENIED;
    case ENOMEM:
        return ERROR_NOT_ENOUGH_MEMORY;
    default:
        return ERROR_ACCESS_DENIED;
    }
}

BOOL failWith(DWORD error)
{
    SetLastError(error);
    return FALSE;
}

BOOL failFromErrno()
{
    return failWith(errorFromErrno(errno));
}

std::string parentOf(const std::string& host)
{
    size_t slash = host.rfind('/');
    return slash == std::string::npos ? std::string() : host.substr(0, slash);
}

bool isFolder(const std::string& host)
{
    struct stat st;
    return stat(host.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

// The device's read-only attribute is the owner's write permission of the host file. The
// check is explicit because a host user with privileges would ignore it.
bool isReadOnly(const struct stat& st)
{
    return (st.st_mode & S_IWUSR) == 0;
}

FILETIME fileTimeOf(const struct timespec& t)
{
    // Seconds between 1601-01-01 and 1970-01-01.
    uint64_t ticks = (static_cast<uint64_t>(t.tv_sec) + 11644473600ull) * 10000000ull + t.tv_nsec / 100;
    return FILETIME { static_cast<DWORD>(ticks), static_cast<DWORD>(ticks >> 32) };
}

DWORD attributesOf(const std::string& host, const struct stat& st)
{
    DWORD attributes = 0;
    if (S_ISDIR(st.st_mode)) {
        attributes |= FILE_ATTRIBUTE_DIRECTORY;
        if (sim::isStorageCard(host))
            attributes |= FILE_ATTRIBUTE_TEMPORARY;
    } else {
        attributes |= FILE_ATTRIBUTE_ARCHIVE;
    }
    if (isReadOnly(st))
        attributes |= FILE_ATTRIBUTE_READONLY;
    return attributes;
}

bool resolve(LPCWSTR devicePath, std::string& host)
{
    if (!devicePath) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return false;
    }
    if (!sim::hostPathOf(sim::viewOf(devicePath), host)) {
        SetLastError(ERROR_PATH_NOT_FOUND);
        return false;
    }
    return true;
}

// A missing file in a missing folder is a missing path, as the device reports it.
DWORD missingError(const std::string& host)
{
    return isFolder(parentOf(host)) ? ERROR_FILE_NOT_FOUND : ERROR_PATH_NOT_FOUND;
}

// stat, with a missing path reported as the device reports it.
bool statExisting(const std::string& host, struct stat& st)
{
    if (stat(host.c_str(), &st) == 0)
        return true;
    SetLastError(missingError(host));
    return false;
}

// Wildcards as the device matches them: "*" any run, "?" one character, case ignored.
bool matches(std::u16string_view pattern, std::u16string_view name)
{
    size_t p = 0, n = 0, starP = std::u16string_view::npos, starN = 0;
    while (n < name.size()) {
        if (p < pattern.size() && pattern[p] == u'*') {
            starP = p++;
            starN = n;
        } else if (p < pattern.size() && (pattern[p] == u'?' || sim::foldChar(pattern[p]) == sim::foldChar(name[n]))) {
            ++p;
            ++n;
        } else if (starP != std::u16string_view::npos) {
            p = starP + 1;
            n = ++starN;
        } else {
            return false;
        }
    }
    while (p < pattern.size() && pattern[p] == u'*')
        ++p;
    return p == pattern.size();
}

void fillFindData(const FoundEntry& entry, LPWIN32_FIND_DATA data)
{
    *data = WIN32_FIND_DATA {};
    data->dwFileAttributes = entry.attributes;
    data->ftCreationTime = entry.written;
    data->ftLastAccessTime = entry.written;
    data->ftLastWriteTime = entry.written;
    data->nFileSizeHigh = static_cast<DWORD>(entry.size >> 32);
    data->nFileSizeLow = static_cast<DWORD>(entry.size);
    sim::copyWide(entry.name, data->cFileName, MAX_PATH);
}

bool copyContents(const std::string& from, const std::string& to, mode_t mode)
{
    int in = ::open(from.c_str(), O_RDONLY | O_CLOEXEC);
    if (in < 0)
        return false;
    int out = ::open(to.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, mode | S_IWUSR);
    if (out < 0) {
        int saved = errno;
        ::close(in);
        errno = saved;
        return false;
    }
    char buffer[65536];
    bool ok = true;
    for (ssize_t last = 1; ok && last > 0;) {
        size_t got = 0, put = 0;
        last = sim::transfer(sizeof buffer, got, [&](size_t at, size_t count) { return ::read(in, buffer + at, count); });
        ok = last >= 0
            && (got == 0 || sim::transfer(got, put, [&](size_t at, size_t count) { return ::write(out, buffer + at, count); }) > 0);
    }
    int saved = errno;
    ::close(in);
    if (::close(out) != 0)
        ok = false;
    if (ok)
        ::chmod(to.c_str(), mode);
    errno = saved;
    return ok;
}

}

HANDLE CreateFile(LPCWSTR fileName, DWORD desiredAccess, DWORD, LPSECURITY_ATTRIBUTES, DWORD creation, DWORD, HANDLE)
{
    std::string host;
    if (!resolve(fileName, host))
        return INVALID_HANDLE_VALUE;
    bool reading = desiredAccess & GENERIC_READ;
    bool writing = desiredAccess & GENERIC_WRITE;
    int flags = O_CLOEXEC | (reading && writing ? O_RDWR : writing ? O_WRONLY : O_RDONLY);
    struct stat st;
    bool exists = stat(host.c_str(), &st) == 0;
    if (exists && S_ISDIR(st.st_mode)) {
        SetLastError(ERROR_ACCESS_DENIED);
        return INVALID_HANDLE_VALUE;
    }
    switch (creation) {
    case CREATE_NEW:
        if (exists) {
            SetLastError(ERROR_FILE_EXISTS);
            return INVALID_HANDLE_VALUE;
        }
        flags |= O_CREAT | O_EXCL;
        break;
    case CREATE_ALWAYS:
        flags |= O_CREAT | O_TRUNC;
        break;
    case OPEN_EXISTING:
        break;
    case OPEN_ALWAYS:
        flags |= O_CREAT;
        break;
    case TRUNCATE_EXISTING:
        if (!writing) {
            SetLastError(ERROR_INVALID_PARAMETER);
            return INVALID_HANDLE_VALUE;
        }
        flags |= O_TRUNC;
        break;
    default:
        SetLastError(ERROR_INVALID_PARAMETER);
        return INVALID_HANDLE_VALUE;
    }
    if (!exists && (creation == OPEN_EXISTING || creation == TRUNCATE_EXISTING)) {
        SetLastError(missingError(host));
        return INVALID_HANDLE_VALUE;
    }
    if (exists && isReadOnly(st) && (writing || (flags & O_TRUNC))) {
        SetLastError(ERROR_ACCESS_DENIED);
        return INVALID_HANDLE_VALUE;
    }
    int fd = ::open(host.c_str(), flags, 0666);
    if (fd < 0) {
        SetLastError(errno == ENOENT ? missingError(host) : errorFromErrno(errno));
        return INVALID_HANDLE_VALUE;
    }
    HANDLE handle = sim::registerHandle(std::make_shared<FileObject>(fd));
    SetLastError(exists && (creation == CREATE_ALWAYS || creation == OPEN_ALWAYS) ? ERROR_ALREADY_EXISTS : ERROR_SUCCESS);
    return handle;
}

BOOL ReadFile(HANDLE file, LPVOID buffer, DWORD bytesToRead, LPDWORD bytesRead, LPOVERLAPPED)
{
    if (bytesRead)
        *bytesRead = 0;
    auto object = sim::lookupHandleAs<FileObject>(file);
    if (!object)
        return failWith(ERROR_INVALID_HANDLE);
    size_t total = 0;
    auto reader = [&](size_t at, size_t count) { return ::read(object->fd, static_cast<char*>(buffer) + at, count); };
    if (sim::transfer(bytesToRead, total, reader) < 0)
        return failFromErrno();
    if (bytesRead)
        *bytesRead = static_cast<DWORD>(total);
    return TRUE;
}

BOOL WriteFile(HANDLE file, LPCVOID buffer, DWORD bytesToWrite, LPDWORD bytesWritten, LPOVERLAPPED)
{
    if (bytesWritten)
        *bytesWritten = 0;
    auto object = sim::lookupHandleAs<FileObject>(file);
    if (!object)
        return failWith(ERROR_INVALID_HANDLE);
    size_t total = 0;
    auto writer = [&](size_t at, size_t count) { return ::write(object->fd, static_cast<const char*>(buffer) + at, count); };
    ssize_t last = sim::transfer(bytesToWrite, total, writer);
    if (bytesWritten)
        *bytesWritten = static_cast<DWORD>(total);
    if (last <= 0)
        return last < 0 ? failFromErrno() : failWith(ERROR_ACCESS_DENIED);
    return TRUE;
}

DWORD SetFilePointer(HANDLE file, LONG distance, PLONG distanceHigh, DWORD moveMethod)
{
    auto object = sim::lookupHandleAs<FileObject>(file);
    if (!object) {
        SetLastError(ERROR_INVALID_HANDLE);
        return INVALID_SET_FILE_POINTER;
    }
    int64_t offset = distanceHigh ? (static_cast<int64_t>(*distanceHigh) << 32) | static_cast<uint32_t>(distance) : distance;
    int whence = moveMethod == FILE_BEGIN ? SEEK_SET : moveMethod == FILE_CURRENT ? SEEK_CUR : moveMethod == FILE_END ? SEEK_END : -1;
    off_t at = whence < 0 ? -1 : ::lseek(object->fd, offset, whence);
    if (at < 0) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return INVALID_SET_FILE_POINTER;
    }
    if (distanceHigh)
        *distanceHigh = static_cast<LONG>(static_cast<uint64_t>(at) >> 32);
    SetLastError(ERROR_SUCCESS);
    return static_cast<DWORD>(at);
}

DWORD GetFileSize(HANDLE file, LPDWORD fileSizeHigh)
{
    auto object = sim::lookupHandleAs<FileObject>(file);
    struct stat st;
    if (!object || fstat(object->fd, &st) != 0) {
        SetLastError(ERROR_INVALID_HANDLE);
        return INVALID_FILE_SIZE;
    }
    if (fileSizeHigh)
        *fileSizeHigh = static_cast<DWORD>(static_cast<uint64_t>(st.st_size) >> 32);
    SetLastError(ERROR_SUCCESS);
    return static_cast<DWORD>(st.st_size);
}

BOOL SetEndOfFile(HANDLE file)
{
    auto object = sim::lookupHandleAs<FileObject>(file);
    if (!object)
        return failWith(ERROR_INVALID_HANDLE);
    off_t at = ::lseek(object->fd, 0, SEEK_CUR);
    return at >= 0 && ::ftruncate(object->fd, at) == 0 ? TRUE : failFromErrno();
}

BOOL FlushFileBuffers(HANDLE file)
{
    auto object = sim::lookupHandleAs<FileObject>(file);
    if (!object)
        return failWith(ERROR_INVALID_HANDLE);
    return ::fsync(object->fd) == 0 ? TRUE : failFromErrno();
}

HANDLE FindFirstFile(LPCWSTR fileName, LPWIN32_FIND_DATA findData)
{
    if (!fileName || !findData) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return INVALID_HANDLE_VALUE;
    }
    std::u16string_view path = sim::viewOf(fileName);
    size_t cut = path.find_last_of(u"\\/");
    if (cut == std::u16string_view::npos) {
        SetLastError(ERROR_PATH_NOT_FOUND);
        return INVALID_HANDLE_VALUE;
    }
    std::u16string_view pattern = path.substr(cut + 1);
    if (pattern == u"*.*")
        pattern = u"*";
    std::u16string folder(path.substr(0, cut + 1));
    std::string hostFolder;
    if (!sim::hostPathOf(folder, hostFolder) || !isFolder(hostFolder)) {
        SetLastError(ERROR_PATH_NOT_FOUND);
        return INVALID_HANDLE_VALUE;
    }
    auto search = std::make_shared<SearchObject>();
    if (DIR* dir = opendir(hostFolder.c_str())) {
        while (dirent* entry = readdir(dir)) {
            std::string name = entry->d_name;
            if (name == "." || name == ".." || sim::isHostBookkeeping(name))
                continue;
            std::u16string deviceName = sim::toUtf16(name);
            if (!pattern.empty() && !matches(pattern, deviceName))
                continue;
            std::string host = hostFolder + "/" + name;
            struct stat st;
            if (stat(host.c_str(), &st) != 0)
                continue;
            search->entries.push_back({ deviceName, attributesOf(host, st),
                S_ISDIR(st.st_mode) ? 0 : static_cast<uint64_t>(st.st_size), fileTimeOf(st.st_mtim) });
        }
        closedir(dir);
    }
    if (search->entries.empty()) {
        SetLastError(ERROR_FILE_NOT_FOUND);
        return INVALID_HANDLE_VALUE;
    }
    // Host directories have no order of their own; sorted names keep walks repeatable.
    std::sort(search->entries.begin(), search->entries.end(),
        [](const FoundEntry& a, const FoundEntry& b) { return sim::foldCase(a.name) < sim::foldCase(b.name); });
    fillFindData(search->entries[0], findData);
    search->next = 1;
    return sim::registerHandle(search);
}

BOOL FindNextFile(HANDLE findFile, LPWIN32_FIND_DATA findData)
{
    auto search = sim::lookupHandleAs<SearchObject>(findFile);
    if (!search || !findData)
        return failWith(ERROR_INVALID_HANDLE);
    if (search->next >= search->entries.size())
        return failWith(ERROR_NO_MORE_FILES);
    fillFindData(search->entries[search->next++], findData);
    return TRUE;
}

BOOL FindClose(HANDLE findFile)
{
    if (!sim::lookupHandleAs<SearchObject>(findFile))
        return failWith(ERROR_INVALID_HANDLE);
    return CloseHandle(findFile);
}

DWORD GetFileAttributes(LPCWSTR fileName)
{
    std::string host;
    if (!resolve(fileName, host))
        return INVALID_FILE_ATTRIBUTES;
    struct stat st;
    if (!statExisting(host, st))
        return INVALID_FILE_ATTRIBUTES;
    return attributesOf(host, st);
}

BOOL SetFileAttributes(LPCWSTR fileName, DWORD attributes)
{
    std::string host;
    if (!resolve(fileName, host))
        return FALSE;
    struct stat st;
    if (!statExisting(host, st))
        return FALSE;
    mode_t mode = st.st_mode & 07777;
    mode = (attributes & FILE_ATTRIBUTE_READONLY) ? (mode & ~(S_IWUSR | S_IWGRP | S_IWOTH)) : (mode | S_IWUSR);
    return ::chmod(host.c_str(), mode) == 0 ? TRUE : failFromErrno();
}

BOOL CreateDirectory(LPCWSTR pathName, LPSECURITY_ATTRIBUTES)
{
    std::string host;
    if (!resolve(pathName, host))
        return FALSE;
    if (::mkdir(host.c_str(), 0777) == 0)
        return TRUE;
    return failWith(errno == ENOENT ? ERROR_PATH_NOT_FOUND : errorFromErrno(errno));
}

BOOL RemoveDirectory(LPCWSTR pathName)
{
    std::string host;
    if (!resolve(pathName, host))
        return FALSE;
    if (sim::isStorageCard(host))
        return failWith(ERROR_ACCESS_DENIED);
    if (::rmdir(host.c_str()) == 0)
        return TRUE;
    return failWith(errno == ENOENT ? missingError(host) : errno == ENOTEMPTY ? ERROR_DIR_NOT_EMPTY : errorFromErrno(errno));
}

BOOL DeleteFile(LPCWSTR fileName)
{
    std::string host;
    if (!resolve(fileName, host))
        return FALSE;
    struct stat st;
    if (!statExisting(host, st))
        return FALSE;
    if (S_ISDIR(st.st_mode) || isReadOnly(st))
        return failWith(ERROR_ACCESS_DENIED);
    return ::unlink(host.c_str()) == 0 ? TRUE : failFromErrno();
}

BOOL CopyFile(LPCWSTR existingFileName, LPCWSTR newFileName, BOOL failIfExists)
{
    std::string from, to;
    if (!resolve(existingFileName, from) || !resolve(newFileName, to))
        return FALSE;
    struct stat st, target;
    if (!statExisting(from, st))
        return FALSE;
    if (S_ISDIR(st.st_mode))
        return failWith(ERROR_ACCESS_DENIED);
    if (stat(to.c_str(), &target) == 0) {
        if (failIfExists)
            return failWith(ERROR_FILE_EXISTS);
        if (S_ISDIR(target.st_mode) || isReadOnly(target))
            return failWith(ERROR_ACCESS_DENIED);
    }
    if (!isFolder(parentOf(to)))
        return failWith(ERROR_PATH_NOT_FOUND);
    // Copy beside the target, then rename over it: the target is never seen half-written.
    std::string temporary = parentOf(to) + "/.pocketsim-copy-" + std::to_string(getpid());
    if (!copyContents(from, temporary, st.st_mode & 07777)) {
        int saved = errno;
        ::unlink(temporary.c_str());
        return failWith(errorFromErrno(saved));
    }
    if (failIfExists ? ::link(temporary.c_str(), to.c_str()) != 0 : ::rename(temporary.c_str(), to.c_str()) != 0) {
        int saved = errno;
        ::unlink(temporary.c_str());
        return failWith(saved == EEXIST ? ERROR_FILE_EXISTS : errorFromErrno(saved));
    }
    if (failIfExists)
        ::unlink(temporary.c_str());
    return TRUE;
}

BOOL MoveFile(LPCWSTR existingFileName, LPCWSTR newFileName)
{
    std::string from, to;
    if (!resolve(existingFileName, from) || !resolve(newFileName, to))
        return FALSE;
    struct stat source, existing;
    if (lstat(from.c_str(), &source) != 0)
        return failWith(missingError(from));
    if (sim::isStorageCard(from))
        return failWith(ERROR_ACCESS_DENIED);
    // The new name as written: a rename may change only the case of a name, and then the
    // lookup of the new name finds the old entry.
    std::u16string_view wanted = sim::viewOf(newFileName);
    std::u16string_view name = wanted.substr(wanted.find_last_of(u"\\/") + 1);
    if (name.empty() || name == u"." || name == u"..")
        return failWith(ERROR_INVALID_PARAMETER);
    std::string target = parentOf(to) + "/" + sim::toUtf8(name);
    bool sameEntry = lstat(to.c_str(), &existing) == 0 && existing.st_ino == source.st_ino && existing.st_dev == source.st_dev;
    if (!sameEntry && lstat(to.c_str(), &existing) == 0)
        return failWith(ERROR_ALREADY_EXISTS);
    if (!isFolder(parentOf(to)))
        return failWith(ERROR_PATH_NOT_FOUND);
    if (target == from)
        return TRUE;
    if (::renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, target.c_str(), RENAME_NOREPLACE) == 0)
        return TRUE;
    return failWith(errno == EEXIST ? ERROR_ALREADY_EXISTS : errorFromErrno(errno));
}

BOOL DeleteAndRenameFile(LPCWSTR destFile, LPCWSTR sourceFile)
{
    std::string dest, source;
    if (!resolve(destFile, dest) || !resolve(sourceFile, source))
        return FALSE;
    struct stat st;
    if (!statExisting(source, st) || !statExisting(dest, st))
        return FALSE;
    if (S_ISDIR(st.st_mode) || isReadOnly(st))
        return failWith(ERROR_ACCESS_DENIED);
    return ::rename(source.c_str(), dest.c_str()) == 0 ? TRUE : failFromErrno();
}
