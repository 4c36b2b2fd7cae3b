#pragma once
// Shell services: special folders and starting programs.
#include "windef.h"

// ---- special folders --------------------------------------------------------------
#define CSIDL_PROGRAMS 0x0002
#define CSIDL_PERSONAL 0x0005
#define CSIDL_STARTUP 0x0007
#define CSIDL_STARTMENU 0x000b
#define CSIDL_WINDOWS 0x0024
#define CSIDL_PROGRAM_FILES 0x0026

// Device path of a special folder into path (MAX_PATH characters); FALSE when the platform
// cannot tell the folder. create makes a missing folder.
BOOL SHGetSpecialFolderPath(HWND owner, LPWSTR path, int csidl, BOOL create);

// ---- starting programs ------------------------------------------------------------
#define SEE_MASK_NOCLOSEPROCESS 0x00000040
#define SEE_MASK_FLAG_NO_UI 0x00000400
#define SW_HIDE 0
#define SW_SHOWNORMAL 1
#define SW_SHOW 5

#define SE_ERR_FNF 2
#define SE_ERR_PNF 3
#define SE_ERR_ACCESSDENIED 5
#define SE_ERR_NOASSOC 31
#define ERROR_NO_ASSOCIATION 1155L

struct SHELLEXECUTEINFO {
    DWORD cbSize;
    ULONG fMask;
    HWND hwnd;
    LPCWSTR lpVerb;
    LPCWSTR lpFile;
    LPCWSTR lpParameters;
    LPCWSTR lpDirectory;
    int nShow;
    HINSTANCE hInstApp;
    LPVOID lpIDList;
    LPCWSTR lpClass;
    HKEY hkeyClass;
    DWORD dwHotKey;
    HANDLE hIcon;
    HANDLE hProcess; // with SEE_MASK_NOCLOSEPROCESS; close with CloseHandle
};
typedef SHELLEXECUTEINFO* LPSHELLEXECUTEINFO;

// Starts the device program lpFile (verb "open" or none) as its own process and returns at
// once. hInstApp receives a value above 32 on success, an SE_ERR_* code on failure.
BOOL ShellExecuteEx(LPSHELLEXECUTEINFO info);
