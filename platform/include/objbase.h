#pragma once
// Component object model: the base interfaces, class identifiers and their text form, and the
// creation of in-process objects through the registry.
#include "windef.h"

#define COINIT_MULTITHREADED 0x0
#define COINIT_APARTMENTTHREADED 0x2

// Counted per thread: the first call gives S_OK, later ones S_FALSE; each needs its
// CoUninitialize.
HRESULT CoInitializeEx(LPVOID reserved, DWORD coInit);
void CoUninitialize();

// ---- interfaces -----------------------------------------------------------------
// Interfaces are structs of pure virtual functions in slot order, without a virtual
// destructor, so that their tables have exactly the slots the platform calls.
#define STDMETHOD(name) virtual HRESULT STDMETHODCALLTYPE name
#define STDMETHOD_(type, name) virtual type STDMETHODCALLTYPE name
#define PURE = 0

struct IUnknown {
    STDMETHOD(QueryInterface)(REFIID iid, void** object) PURE;
    STDMETHOD_(ULONG, AddRef)() PURE;
    STDMETHOD_(ULONG, Release)() PURE;
};
typedef IUnknown* LPUNKNOWN;

struct IClassFactory : IUnknown {
    STDMETHOD(CreateInstance)(IUnknown* outer, REFIID iid, void** object) PURE;
    STDMETHOD(LockServer)(BOOL lock) PURE;
};
typedef IClassFactory* LPCLASSFACTORY;

inline constexpr IID IID_IUnknown { 0x00000000, 0x0000, 0x0000, { 0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46 } };
inline constexpr IID IID_IClassFactory { 0x00000001, 0x0000, 0x0000, { 0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46 } };
inline constexpr GUID GUID_NULL {};

#define IsEqualGUID(a, b) ((a) == (b))
#define IsEqualIID(a, b) ((a) == (b))
#define IsEqualCLSID(a, b) ((a) == (b))

// ---- status codes -------------------------------------------------------------------
#define REGDB_E_CLASSNOTREG ((HRESULT)0x80040154L)
#define REGDB_E_READREGDB ((HRESULT)0x80040150L)
#define CO_E_CLASSSTRING ((HRESULT)0x800401F3L)
#define CO_E_DLLNOTFOUND ((HRESULT)0x800401F8L)
#define CO_E_ERRORINDLL ((HRESULT)0x800401F9L)

// ---- class identifiers in text --------------------------------------------------------
// "{XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}" in upper case, 39 characters with the terminating
// zero. Returns the characters written including the zero, or 0 when maxCount is too small.
int StringFromGUID2(REFGUID guid, LPWSTR text, int maxCount);
// Reads the braced form in either case; CO_E_CLASSSTRING for anything else (the result is
// then GUID_NULL).
HRESULT CLSIDFromString(LPCWSTR text, CLSID* clsid);
HRESULT IIDFromString(LPCWSTR text, IID* iid);

// ---- in-process servers -----------------------------------------------------------------
#define CLSCTX_INPROC_SERVER 0x1
#define CLSCTX_INPROC_HANDLER 0x2
#define CLSCTX_LOCAL_SERVER 0x4
#define CLSCTX_INPROC (CLSCTX_INPROC_SERVER | CLSCTX_INPROC_HANDLER)
#define CLSCTX_ALL (CLSCTX_INPROC_SERVER | CLSCTX_INPROC_HANDLER | CLSCTX_LOCAL_SERVER)

// The class object of an in-process server: the library named by the default value of
// "HKEY_CLASSES_ROOT\CLSID\{clsid}\InprocServer32" is loaded (once per process; it stays loaded
// until CoFreeUnusedLibraries finds it unused) and asked through its DllGetClassObject.
// REGDB_E_CLASSNOTREG when the class or its InprocServer32 is not registered, CO_E_DLLNOTFOUND
// when the library does not load, CO_E_ERRORINDLL when it has no DllGetClassObject; else the
// result of DllGetClassObject. The out pointer is null on every failure.
HRESULT CoGetClassObject(REFCLSID clsid, DWORD context, LPVOID reserved, REFIID iid, LPVOID* object);
// CoGetClassObject, then the class factory's CreateInstance.
HRESULT CoCreateInstance(REFCLSID clsid, LPUNKNOWN outer, DWORD context, REFIID iid, LPVOID* object);
// Frees each library loaded by CoGetClassObject whose DllCanUnloadNow answers S_OK.
void CoFreeUnusedLibraries();

// The entry points an in-process server exports (C linkage, looked up by name; declared
// visible here so that a library built with hidden visibility still exports them).
typedef HRESULT (*LPFNGETCLASSOBJECT)(REFCLSID, REFIID, LPVOID*);
typedef HRESULT (*LPFNCANUNLOADNOW)();
extern "C" __attribute__((visibility("default"))) HRESULT DllGetClassObject(REFCLSID clsid, REFIID iid, LPVOID* object);
extern "C" __attribute__((visibility("default"))) HRESULT DllCanUnloadNow();
extern "C" __attribute__((visibility("default"))) HRESULT DllRegisterServer();
extern "C" __attribute__((visibility("default"))) HRESULT DllUnregisterServer();
