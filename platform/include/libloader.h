#pragma once
// Device libraries: loading a library by its device path, finding its exports by name, its
// entry point, and unloading it.
#include "windef.h"

// An export found by name; cast it to the export's own function type.
typedef void (*FARPROC)();

#define DLL_PROCESS_DETACH 0
#define DLL_PROCESS_ATTACH 1
#define DLL_THREAD_ATTACH 2
#define DLL_THREAD_DETACH 3

// Marks a further export of a device library (C linkage); the library's export list names it
// too (mk_device_library EXPORTS).
#define DLLEXPORT extern "C" __attribute__((visibility("default")))

// A library's entry point, when it has one (C linkage, exported): called with
// DLL_PROCESS_ATTACH when the library is first loaded into the process (a FALSE result undoes
// the load and LoadLibrary fails with ERROR_DLL_INIT_FAILED) and with DLL_PROCESS_DETACH when
// the last FreeLibrary unloads it. instance is the library's module handle.
DLLEXPORT BOOL WINAPI DllMain(HANDLE instance, DWORD reason, LPVOID reserved);

#define ERROR_MOD_NOT_FOUND 126L
#define ERROR_PROC_NOT_FOUND 127L
#define ERROR_DLL_INIT_FAILED 1114L
#define ERROR_BAD_EXE_FORMAT 193L

// fileName is a device path ("\Program Files\Tarn\Magnikeys\magnikeys.dll"); a bare name is
// looked up in "\Windows", and "coredll.dll" names the platform's core library itself. A library
// is loaded once per process: later calls return the same handle and count a reference.
// NULL with ERROR_MOD_NOT_FOUND for a missing file, ERROR_BAD_EXE_FORMAT for one that is not
// a library of this device.
HMODULE LoadLibrary(LPCWSTR fileName);
// Drops one reference; the last one calls the entry point's DLL_PROCESS_DETACH and unloads.
BOOL FreeLibrary(HMODULE module);
// An export by name (or NULL, ERROR_PROC_NOT_FOUND).
FARPROC GetProcAddress(HMODULE module, LPCWSTR procName);
// A loaded library by its device path or file name, without counting a reference; NULL names
// the program itself, whose resources LoadBitmap and LoadIcon then read.
HMODULE GetModuleHandle(LPCWSTR moduleName);
