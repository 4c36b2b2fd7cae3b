// A device library playing an input method for the input panel's tests. It writes every call it
// receives, one a line, to "\Temp\testim.log", shows its icon in a coloured panel, and grows or
// shrinks the panel through SetImInfo when tapped. A tap in the panel's right half types "t".
#include <windows.h>

#include <atomic>
#include <cstring>
#include <string>

namespace {

// {D1A5E0C2-7B3F-4C1E-9A2D-5E6F7A8B9C0D}
constexpr CLSID kClsid { 0xD1A5E0C2, 0x7B3F, 0x4C1E, { 0x9A, 0x2D, 0x5E, 0x6F, 0x7A, 0x8B, 0x9C, 0x0D } };

HMODULE g_module = nullptr;
std::atomic<long> g_locks { 0 };
IIMCallback* g_lastCallback = nullptr;

void log(const std::string& line)
{
    HANDLE f = CreateFile(u"\\Temp\\testim.log", GENERIC_WRITE, FILE_SHARE_READ, nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (f == INVALID_HANDLE_VALUE)
        return;
    SetFilePointer(f, 0, nullptr, FILE_END);
    std::string text = line + "\n";
    DWORD written = 0;
    WriteFile(f, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
    CloseHandle(f);
}

std::string rectText(const RECT& r)
{
    return std::to_string(r.left) + "," + std::to_string(r.top) + "," + std::to_string(r.right) + "," + std::to_string(r.bottom);
}

const char16_t kClass[] = u"testim_panel";

// A test makes one call fail by naming it in the value "Fail" of the class key.
bool failing(const char16_t* call)
{
    WCHAR key[64] = u"CLSID\\";
    StringFromGUID2(kClsid, key + 6, 40);
    HKEY k;
    if (RegOpenKeyEx(HKEY_CLASSES_ROOT, key, 0, KEY_READ, &k) != ERROR_SUCCESS)
        return false;
    WCHAR value[32] = {};
    DWORD type = 0, size = sizeof value - sizeof(WCHAR);
    bool fail = RegQueryValueEx(k, u"Fail", nullptr, &type, reinterpret_cast<BYTE*>(value), &size) == ERROR_SUCCESS
        && std::u16string(value) == call;
    RegCloseKey(k);
    if (fail)
        log("failing");
    return fail;
}

class TestIM final : public IInputMethod {
public:
    TestIM() { ++g_locks; }
    ~TestIM()
    {
        if (m_window)
            DestroyWindow(m_window);
        --g_locks;
    }

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override
    {
        if (iid == IID_IUnknown || iid == IID_IInputMethod) {
            *object = this;
            AddRef();
            return S_OK;
        }
        *object = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return ++m_refs; }
    ULONG STDMETHODCALLTYPE Release() override
    {
        ULONG left = --m_refs;
        if (left == 0) {
            log("Release");
            delete this;
        }
        return left;
    }

    HRESULT STDMETHODCALLTYPE Select(HWND sip) override
    {
        log("Select");
        if (failing(u"Select"))
            return E_FAIL;
        WNDCLASS wc {};
        wc.lpfnWndProc = proc;
        wc.hInstance = g_module;
        wc.lpszClassName = kClass;
        RegisterClass(&wc);
        RECT client {};
        GetClientRect(sip, &client);
        m_window = CreateWindowEx(0, kClass, u"", WS_CHILD | WS_VISIBLE, 0, 0, client.right, client.bottom, sip, nullptr, g_module, this);
        return m_window ? S_OK : E_FAIL;
    }
    HRESULT STDMETHODCALLTYPE Deselect() override
    {
        log("Deselect");
        if (m_window)
            DestroyWindow(m_window);
        m_window = nullptr;
        UnregisterClass(kClass, g_module);
        if (m_wide)
            ImageList_Destroy(m_wide);
        if (m_narrow)
            ImageList_Destroy(m_narrow);
        m_wide = m_narrow = nullptr;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE Showing() override
    {
        log("Showing");
        return failing(u"Showing") ? E_FAIL : S_OK;
    }
    HRESULT STDMETHODCALLTYPE Hiding() override
    {
        log("Hiding");
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetInfo(IMINFO* info) override
    {
        log("GetInfo");
        if (failing(u"GetInfo"))
            return E_FAIL;
        if (!m_wide) {
            m_wide = ImageList_Create(32, 16, ILC_COLOR | ILC_MASK, 1, 1);
            m_narrow = ImageList_Create(16, 16, ILC_COLOR | ILC_MASK, 1, 1);
            for (auto [list, id] : { std::pair { m_wide, 504 }, std::pair { m_narrow, 505 } }) {
                if (HBITMAP b = LoadBitmap(g_module, MAKEINTRESOURCE(id))) {
                    ImageList_AddMasked(list, b, RGB(0xC0, 0xC0, 0xC0));
                    DeleteObject(b);
                }
            }
        }
        fill(*info, SIPF_DOCKED);
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE ReceiveSipInfo(SIPINFO* info) override
    {
        RECT client {};
        if (m_window) {
            GetClientRect(GetParent(m_window), &client);
            MoveWindow(m_window, 0, 0, client.right, client.bottom, TRUE);
        }
        log("ReceiveSipInfo " + std::to_string(client.right) + "x" + std::to_string(client.bottom) + " flags="
            + std::to_string(info ? info->fdwFlags : 0) + " visible=" + (info ? rectText(info->rcVisibleDesktop) : ""));
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE RegisterCallback(IIMCallback* callback) override
    {
        log("RegisterCallback");
        m_callback = callback;
        g_lastCallback = callback;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetImData(DWORD, LPVOID) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE SetImData(DWORD, LPVOID) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE UserOptionsDlg(HWND) override { return E_NOTIMPL; }

private:
    void fill(IMINFO& info, DWORD flags) const
    {
        info.hImageNarrow = m_narrow;
        info.hImageWide = m_wide;
        info.iNarrow = 0;
        info.iWide = 0;
        info.fdwFlags = flags;
        int width = GetSystemMetrics(SM_CXSCREEN), height = GetSystemMetrics(SM_CYSCREEN);
        int bottom = height - GetSystemMetrics(SM_CYMENU);
        info.rcSipRect = RECT { 0, bottom - m_height, width, bottom };
    }

    static LRESULT CALLBACK proc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
    {
        if (message == WM_CREATE)
            SetWindowLongPtr(window, GWL_USERDATA, reinterpret_cast<LONG_PTR>(reinterpret_cast<CREATESTRUCT*>(lParam)->lpCreateParams));
        auto* self = reinterpret_cast<TestIM*>(GetWindowLongPtr(window, GWL_USERDATA));
        if (!self)
            return DefWindowProc(window, message, wParam, lParam);
        if (message == WM_PAINT) {
            PAINTSTRUCT ps;
            HDC dc = BeginPaint(window, &ps);
            RECT client {};
            GetClientRect(window, &client);
            // Stripes of two blues, so that the panel's place and size show on a screenshot.
            for (int y = 0; y < client.bottom; ++y)
                for (int x = 0; x < client.right; ++x)
                    SetPixel(dc, x, y, ((x / 8 + y / 8) & 1) ? RGB(0x20, 0x60, 0xC0) : RGB(0x30, 0x80, 0xE0));
            if (HICON icon = LoadIcon(g_module, MAKEINTRESOURCE(503))) {
                DrawIcon(dc, 4, 4, icon);
                DestroyIcon(icon);
            }
            EndPaint(window, &ps);
            return 0;
        }
        if (message == WM_LBUTTONUP) {
            RECT client {};
            GetClientRect(window, &client);
            if (GET_X_LPARAM(lParam) >= client.right / 2) {
                UINT ch = 't', down = KeyStateDownFlag, up = KeyShiftNoCharacterFlag;
                self->m_callback->SendCharEvents('T', KeyStateDownFlag, 1, &down, &ch);
                self->m_callback->SendCharEvents('T', KeyStatePrevDownFlag, 1, &up, &ch);
                return 0;
            }
            self->m_height = self->m_height == 60 ? 100 : 60;
            IMINFO info {};
            info.cbSize = sizeof info;
            self->fill(info, SIPF_ON | SIPF_DOCKED);
            HRESULT hr = self->m_callback ? self->m_callback->SetImInfo(&info) : E_FAIL;
            log("SetImInfo " + rectText(info.rcSipRect) + (SUCCEEDED(hr) ? "" : " failed"));
            return 0;
        }
        return DefWindowProc(window, message, wParam, lParam);
    }

    ULONG m_refs = 0;
    HWND m_window = nullptr;
    IIMCallback* m_callback = nullptr;
    HIMAGELIST m_wide = nullptr;
    HIMAGELIST m_narrow = nullptr;
    int m_height = 60;
};

class Factory final : public IClassFactory {
public:
    Factory() { ++g_locks; }
    ~Factory() { --g_locks; }
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override
    {
        *object = nullptr;
        if (iid == IID_IUnknown || iid == IID_IClassFactory) {
            *object = this;
            AddRef();
            return S_OK;
        }
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return ++m_refs; }
    ULONG STDMETHODCALLTYPE Release() override
    {
        ULONG left = --m_refs;
        if (left == 0)
            delete this;
        return left;
    }
    HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown* outer, REFIID iid, void** object) override
    {
        *object = nullptr;
        if (outer)
            return CLASS_E_NOAGGREGATION;
        log("CreateInstance");
        if (failing(u"CreateInstance"))
            return E_OUTOFMEMORY;
        auto* im = new TestIM();
        im->AddRef();
        HRESULT hr = im->QueryInterface(iid, object);
        im->Release();
        return hr;
    }
    HRESULT STDMETHODCALLTYPE LockServer(BOOL lock) override
    {
        lock ? ++g_locks : --g_locks;
        return S_OK;
    }

private:
    ULONG m_refs = 1;
};

std::u16string classKey()
{
    WCHAR text[40];
    StringFromGUID2(kClsid, text, 40);
    return u"CLSID\\" + std::u16string(text);
}

void setString(const std::u16string& key, const std::u16string& value)
{
    HKEY k;
    if (RegCreateKeyEx(HKEY_CLASSES_ROOT, key.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &k, nullptr) != ERROR_SUCCESS)
        return;
    RegSetValueEx(k, nullptr, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()), static_cast<DWORD>((value.size() + 1) * 2));
    RegCloseKey(k);
}

}

BOOL WINAPI DllMain(HANDLE instance, DWORD reason, LPVOID)
{
    if (reason == DLL_PROCESS_ATTACH)
        g_module = static_cast<HMODULE>(instance);
    log(reason == DLL_PROCESS_ATTACH ? "DllMain attach" : reason == DLL_PROCESS_DETACH ? "DllMain detach" : "DllMain");
    return reason == DLL_PROCESS_ATTACH && failing(u"DllMain") ? FALSE : TRUE;
}

STDAPI DllGetClassObject(REFCLSID clsid, REFIID iid, LPVOID* object)
{
    *object = nullptr;
    if (!(clsid == kClsid))
        return CLASS_E_CLASSNOTAVAILABLE;
    auto* factory = new Factory();
    HRESULT hr = factory->QueryInterface(iid, object);
    factory->Release();
    return hr;
}

STDAPI DllCanUnloadNow()
{
    HRESULT hr = g_locks == 0 ? S_OK : S_FALSE;
    log("DllCanUnloadNow " + std::to_string(hr));
    return hr;
}

STDAPI DllRegisterServer()
{
    log("DllRegisterServer");
    WCHAR path[MAX_PATH];
    GetModuleFileName(g_module, path, MAX_PATH);
    std::u16string key = classKey();
    setString(key + u"\\InprocServer32", path);
    setString(key + u"\\IsSIPInputMethod", u"1");
    setString(key + u"\\DefaultIcon", std::u16string(path) + u",0");
    setString(key, u"Test input method");
    return S_OK;
}

STDAPI DllUnregisterServer()
{
    log("DllUnregisterServer");
    RegDeleteKey(HKEY_CLASSES_ROOT, classKey().c_str());
    return S_OK;
}

// The callback the last method was given, so that a test can call it after the method is gone.
DLLEXPORT IIMCallback* TestImLastCallback()
{
    return g_lastCallback;
}
