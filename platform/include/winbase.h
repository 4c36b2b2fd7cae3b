#pragma once
// Kernel services: clock, files and folders, critical sections, modules.
#include "windef.h"

// ---- clock ----------------------------------------------------------------
// Milliseconds since boot, wrapping at 2^32 like the device's counter.
DWORD GetTickCount();
void Sleep(DWORD milliseconds);


// ---- files and folders ------------------------------------------------------
// Device paths are absolute ("\My Documents\a.txt"; "/" is accepted as a separator too) and
// name lookups ignore case. A storage card is a folder at the root marked temporary.
#define FILE_ATTRIBUTE_READONLY 0x00000001
#define FILE_ATTRIBUTE_HIDDEN 0x00000002
#define FILE_ATTRIBUTE_SYSTEM 0x00000004
#define FILE_ATTRIBUTE_DIRECTORY 0x00000010
#define FILE_ATTRIBUTE_ARCHIVE 0x00000020
#define FILE_ATTRIBUTE_NORMAL 0x00000080
#define FILE_ATTRIBUTE_TEMPORARY 0x00000100
#define INVALID_FILE_ATTRIBUTES ((DWORD)0xFFFFFFFF)

#define GENERIC_READ 0x80000000u
#define GENERIC_WRITE 0x40000000u
#define FILE_SHARE_READ 0x00000001
#define FILE_SHARE_WRITE 0x00000002
#define CREATE_NEW 1
#define CREATE_ALWAYS 2
#define OPEN_EXISTING 3
#define OPEN_ALWAYS 4
#define TRUNCATE_EXISTING 5
#define FILE_BEGIN 0
#define FILE_CURRENT 1
#define FILE_END 2
#define INVALID_SET_FILE_POINTER ((DWORD)0xFFFFFFFF)
#define INVALID_FILE_SIZE ((DWORD)0xFFFFFFFF)

struct OVERLAPPED; // never used: the device does no overlapped I/O on files
typedef OVERLAPPED* LPOVERLAPPED;

struct WIN32_FIND_DATA {
    DWORD dwFileAttributes;
    FILETIME ftCreationTime;
    FILETIME ftLastAccessTime;
    FILETIME ftLastWriteTime;
    DWORD nFileSizeHigh;
    DWORD nFileSizeLow;
    DWORD dwOID;
    WCHAR cFileName[MAX_PATH];
};
typedef WIN32_FIND_DATA* LPWIN32_FIND_DATA;

HANDLE CreateFile(LPCWSTR fileName, DWORD desiredAccess, DWORD shareMode,
    LPSECURITY_ATTRIBUTES security, DWORD creationDisposition, DWORD flagsAndAttributes,
    HANDLE templateFile);
BOOL ReadFile(HANDLE file, LPVOID buffer, DWORD bytesToRead, LPDWORD bytesRead, LPOVERLAPPED overlapped);
BOOL WriteFile(HANDLE file, LPCVOID buffer, DWORD bytesToWrite, LPDWORD bytesWritten, LPOVERLAPPED overlapped);
DWORD SetFilePointer(HANDLE file, LONG distance, PLONG distanceHigh, DWORD moveMethod);
DWORD GetFileSize(HANDLE file, LPDWORD fileSizeHigh);
BOOL SetEndOfFile(HANDLE file);
BOOL FlushFileBuffers(HANDLE file);

HANDLE FindFirstFile(LPCWSTR fileName, LPWIN32_FIND_DATA findData);
BOOL FindNextFile(HANDLE findFile, LPWIN32_FIND_DATA findData);
BOOL FindClose(HANDLE findFile);

DWORD GetFileAttributes(LPCWSTR fileName);
BOOL SetFileAttributes(LPCWSTR fileName, DWORD attributes); // only read-only can change
BOOL CreateDirectory(LPCWSTR pathName, LPSECURITY_ATTRIBUTES security);
BOOL RemoveDirectory(LPCWSTR pathName);
BOOL DeleteFile(LPCWSTR fileName);
BOOL CopyFile(LPCWSTR existingFileName, LPCWSTR newFileName, BOOL failIfExists);
BOOL MoveFile(LPCWSTR existingFileName, LPCWSTR newFileName); // fails when the new name exists
// Replaces the existing file destFile by sourceFile in one step (sourceFile's name is gone
// afterwards): readers see either the old or the new content, never a mixture.
BOOL DeleteAndRenameFile(LPCWSTR destFile, LPCWSTR sourceFile);


// ---- critical sections ------------------------------------------------------
// Recursive locks within one process, as on the device.
struct CRITICAL_SECTION {
    alignas(16) unsigned char opaque[64];
};
typedef CRITICAL_SECTION* LPCRITICAL_SECTION;

void InitializeCriticalSection(LPCRITICAL_SECTION section);
void DeleteCriticalSection(LPCRITICAL_SECTION section);
void EnterCriticalSection(LPCRITICAL_SECTION section);
void LeaveCriticalSection(LPCRITICAL_SECTION section);
BOOL TryEnterCriticalSection(LPCRITICAL_SECTION section);


// ---- modules and processes ----------------------------------------------------
// hModule NULL names the program of the current process; its device path comes from the host
// (see SimSetModulePath in simhost.h). Returns the characters copied without the terminating
// zero; a name that does not fit is cut, zero-terminated, and the result is nSize.
DWORD GetModuleFileName(HMODULE module, LPWSTR fileName, DWORD size);
DWORD GetCurrentProcessId();

#define STILL_ACTIVE 259
BOOL GetExitCodeProcess(HANDLE process, LPDWORD exitCode);
// A handle to a running process of the device by its id; NULL (ERROR_INVALID_PARAMETER) when
// no such process runs. Its exit code is STILL_ACTIVE while it runs; waiting on it ends when
// it does.
HANDLE OpenProcess(DWORD access, BOOL inherit, DWORD processId);
BOOL CloseHandle(HANDLE object);

#define INFINITE 0xFFFFFFFFu
#define WAIT_OBJECT_0 0x00000000u
#define WAIT_TIMEOUT 0x00000102u
#define WAIT_FAILED 0xFFFFFFFFu
// Waits on process handles (end of the process); other objects add their own waiting.
DWORD WaitForSingleObject(HANDLE object, DWORD milliseconds);


// ---- named mutexes and other synchronisation ------------------------------------
// A named mutex is one object for every process of the device (names ignore case); a second
// CreateMutex of a name that exists opens it and sets ERROR_ALREADY_EXISTS (initialOwner then
// has no effect). Ownership is per thread and recursive: WaitForSingleObject takes it,
// ReleaseMutex gives back one level. A process that ends while owning it frees it.
#define WAIT_ABANDONED 0x00000080u
#define ERROR_NOT_OWNER 288L
HANDLE CreateMutex(LPSECURITY_ATTRIBUTES security, BOOL initialOwner, LPCWSTR name);
BOOL ReleaseMutex(HANDLE mutex);


// ---- errors -------------------------------------------------------------------
// Per thread, as on the device.
#define ERROR_DIR_NOT_EMPTY 145L
DWORD GetLastError();
void SetLastError(DWORD error);

