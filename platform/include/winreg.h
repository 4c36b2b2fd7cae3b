#pragma once
// The registry: one hive per device, shared by every process of the device.
#include "windef.h"

typedef HKEY* PHKEY;
typedef DWORD REGSAM;

#define HKEY_CLASSES_ROOT ((HKEY)(uintptr_t)0x80000000u)
#define HKEY_CURRENT_USER ((HKEY)(uintptr_t)0x80000001u)
#define HKEY_LOCAL_MACHINE ((HKEY)(uintptr_t)0x80000002u)
#define HKEY_USERS ((HKEY)(uintptr_t)0x80000003u)

#define REG_NONE 0
#define REG_SZ 1
#define REG_EXPAND_SZ 2
#define REG_BINARY 3
#define REG_DWORD 4
#define REG_MULTI_SZ 7

// Access rights are accepted and not enforced, as on the device.
#define KEY_QUERY_VALUE 0x0001
#define KEY_SET_VALUE 0x0002
#define KEY_CREATE_SUB_KEY 0x0004
#define KEY_ENUMERATE_SUB_KEYS 0x0008
#define KEY_READ 0x20019
#define KEY_WRITE 0x20006
#define KEY_ALL_ACCESS 0xF003F

#define REG_OPTION_NON_VOLATILE 0x00000000
#define REG_CREATED_NEW_KEY 0x00000001
#define REG_OPENED_EXISTING_KEY 0x00000002

#define ERROR_BADDB 1009L
#define ERROR_KEY_DELETED 1018L

LONG RegCreateKeyEx(HKEY key, LPCWSTR subKey, DWORD reserved, LPWSTR keyClass, DWORD options,
    REGSAM samDesired, LPSECURITY_ATTRIBUTES security, PHKEY result, LPDWORD disposition);
LONG RegOpenKeyEx(HKEY key, LPCWSTR subKey, DWORD options, REGSAM samDesired, PHKEY result);
LONG RegCloseKey(HKEY key);
LONG RegQueryValueEx(HKEY key, LPCWSTR valueName, LPDWORD reserved, LPDWORD type, LPBYTE data,
    LPDWORD dataSize);
LONG RegSetValueEx(HKEY key, LPCWSTR valueName, DWORD reserved, DWORD type, const BYTE* data,
    DWORD dataSize);
LONG RegDeleteValue(HKEY key, LPCWSTR valueName);
// Deletes the key with all its subkeys and values.
LONG RegDeleteKey(HKEY key, LPCWSTR subKey);
// Subkeys and values in order of their names (ignoring case); ERROR_NO_MORE_ITEMS past the end.
LONG RegEnumKeyEx(HKEY key, DWORD index, LPWSTR name, LPDWORD nameSize, LPDWORD reserved,
    LPWSTR keyClass, LPDWORD keyClassSize, PFILETIME lastWriteTime);
LONG RegEnumValue(HKEY key, DWORD index, LPWSTR valueName, LPDWORD valueNameSize, LPDWORD reserved,
    LPDWORD type, LPBYTE data, LPDWORD dataSize);

// Change notification (Windows CE 5.0 and later; older devices lack it, so programs look it up
// by name in coredll.dll). A wait on the handle succeeds once the registry changed after the
// handle was made or last re-armed by CeFindNextRegChange. Here any change of the device's hive
// signals it, also one outside hKey.
#define REG_NOTIFY_CHANGE_NAME 0x00000001L
#define REG_NOTIFY_CHANGE_LAST_SET 0x00000004L
extern "C" HANDLE CeFindFirstRegChange(HKEY hKey, BOOL watchSubtree, DWORD notifyFilter);
extern "C" BOOL CeFindNextRegChange(HANDLE changeHandle);
extern "C" BOOL CeFindCloseRegChange(HANDLE changeHandle);
