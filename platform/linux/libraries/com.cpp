// Component objects: per-thread initialisation, class identifiers in text, and in-process
// servers found through the registry, loaded once and freed when they say they can go.
#include "linux/text/host_text.h"

#include <libloader.h>
#include <objbase.h>
#include <winbase.h>
#include <winreg.h>

#include <algorithm>
#include <cstdio>
#include <mutex>
#include <vector>

namespace {
thread_local int t_initCount = 0;

// Libraries loaded for CoGetClassObject, each holding one LoadLibrary reference.
std::mutex g_serversMutex;
std::vector<HMODULE> g_servers;

int hexValue(char16_t c)
{
    if (c >= u'0' && c <= u'9')
        return c - u'0';
    if (c >= u'a' && c <= u'f')
        return c - u'a' + 10;
    if (c >= u'A' && c <= u'F')
        return c - u'A' + 10;
    return -1;
}

// "HKEY_CLASSES_ROOT\CLSID\{...}\InprocServer32" default value.
bool serverPath(REFCLSID clsid, std::u16string& path)
{
    WCHAR text[40];
    StringFromGUID2(clsid, text, 40);
    std::u16string key = u"CLSID\\" + std::u16string(text) + u"\\InprocServer32";
    HKEY k;
    if (RegOpenKeyEx(HKEY_CLASSES_ROOT, key.c_str(), 0, KEY_READ, &k) != ERROR_SUCCESS)
        return false;
    WCHAR value[MAX_PATH + 1] = {};
    DWORD type = 0, size = sizeof value - sizeof(WCHAR);
    LONG rc = RegQueryValueEx(k, nullptr, nullptr, &type, reinterpret_cast<BYTE*>(value), &size);
    RegCloseKey(k);
    if (rc != ERROR_SUCCESS || (type != REG_SZ && type != REG_EXPAND_SZ))
        return false;
    path.assign(value, size / sizeof(WCHAR));
    while (!path.empty() && path.back() == 0)
        path.pop_back();
    return !path.empty();
}

}

HRESULT CoInitializeEx(LPVOID, DWORD)
{
    return t_initCount++ == 0 ? S_OK : S_FALSE;
}

void CoUninitialize()
{
    if (t_initCount > 0)
        --t_initCount;
}

int StringFromGUID2(REFGUID g, LPWSTR text, int maxCount)
{
    if (!text || maxCount < 39)
        return 0;
    char buffer[40];
    std::snprintf(buffer, sizeof buffer, "{%08X-%04X-%04X-%02X%02X-%02X%02X%02X%02X%02X%02X}", unsigned(g.Data1),
        unsigned(g.Data2), unsigned(g.Data3), g.Data4[0], g.Data4[1], g.Data4[2], g.Data4[3], g.Data4[4], g.Data4[5],
        g.Data4[6], g.Data4[7]);
    for (int i = 0; i < 39; ++i)
        text[i] = static_cast<WCHAR>(buffer[i]);
    return 39;
}

HRESULT CLSIDFromString(LPCWSTR text, CLSID* clsid)
{
    if (!clsid)
        return E_INVALIDARG;
    *clsid = GUID_NULL;
    std::u16string_view t = sim::viewOf(text);
    // {XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}
    if (t.size() != 38 || t[0] != u'{' || t[37] != u'}' || t[9] != u'-' || t[14] != u'-' || t[19] != u'-' || t[24] != u'-')
        return CO_E_CLASSSTRING;
    auto hex = [&](size_t at, size_t digits, uint64_t& out) {
        out = 0;
        for (size_t i = 0; i < digits; ++i) {
            int v = hexValue(t[at + i]);
            if (v < 0)
                return false;
            out = out << 4 | unsigned(v);
        }
        return true;
    };
    uint64_t d1, d2, d3, b;
    if (!hex(1, 8, d1) || !hex(10, 4, d2) || !hex(15, 4, d3))
        return CO_E_CLASSSTRING;
    GUID g {};
    g.Data1 = DWORD(d1);
    g.Data2 = WORD(d2);
    g.Data3 = WORD(d3);
    const size_t bytes[8] = { 20, 22, 25, 27, 29, 31, 33, 35 };
    for (int i = 0; i < 8; ++i) {
        if (!hex(bytes[i], 2, b))
            return CO_E_CLASSSTRING;
        g.Data4[i] = BYTE(b);
    }
    *clsid = g;
    return S_OK;
}

HRESULT IIDFromString(LPCWSTR text, IID* iid)
{
    return CLSIDFromString(text, iid);
}

HRESULT CoGetClassObject(REFCLSID clsid, DWORD context, LPVOID, REFIID iid, LPVOID* object)
{
    if (!object)
        return E_POINTER;
    *object = nullptr;
    if (!(context & CLSCTX_INPROC_SERVER))
        return REGDB_E_CLASSNOTREG;
    std::u16string path;
    if (!serverPath(clsid, path))
        return REGDB_E_CLASSNOTREG;
    HMODULE library = LoadLibrary(path.c_str());
    if (!library)
        return CO_E_DLLNOTFOUND;
    auto getClassObject = reinterpret_cast<LPFNGETCLASSOBJECT>(GetProcAddress(library, u"DllGetClassObject"));
    if (!getClassObject) {
        FreeLibrary(library);
        return CO_E_ERRORINDLL;
    }
    {
        // One reference per library: a library already kept needs no second one.
        std::lock_guard guard(g_serversMutex);
        if (std::find(g_servers.begin(), g_servers.end(), library) == g_servers.end())
            g_servers.push_back(library);
        else
            FreeLibrary(library);
    }
    HRESULT hr = getClassObject(clsid, iid, object);
    if (FAILED(hr))
        *object = nullptr;
    return hr;
}

HRESULT CoCreateInstance(REFCLSID clsid, LPUNKNOWN outer, DWORD context, REFIID iid, LPVOID* object)
{
    if (!object)
        return E_POINTER;
    *object = nullptr;
    IClassFactory* factory = nullptr;
    HRESULT hr = CoGetClassObject(clsid, context, nullptr, IID_IClassFactory, reinterpret_cast<void**>(&factory));
    if (FAILED(hr))
        return hr;
    if (!factory)
        return E_UNEXPECTED;
    hr = factory->CreateInstance(outer, iid, object);
    factory->Release();
    if (FAILED(hr))
        *object = nullptr;
    return hr;
}

void CoFreeUnusedLibraries()
{
    std::vector<HMODULE> servers;
    {
        std::lock_guard guard(g_serversMutex);
        servers = g_servers;
    }
    for (HMODULE library : servers) {
        auto canUnload = reinterpret_cast<LPFNCANUNLOADNOW>(GetProcAddress(library, u"DllCanUnloadNow"));
        if (!canUnload || canUnload() != S_OK)
            continue;
        {
            std::lock_guard guard(g_serversMutex);
            auto it = std::find(g_servers.begin(), g_servers.end(), library);
            if (it == g_servers.end())
                continue;
            g_servers.erase(it);
        }
        FreeLibrary(library);
    }
}
