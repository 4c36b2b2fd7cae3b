// The platform's own keyboard: a plain QWERTY panel with a symbol layer, typing into the focused
// window through the input panel's callback. Every device has it, so a device without another
// input method still types and switching methods can be seen.
#include "panel_host/Surface.h"

#include <windows.h>

#include <algorithm>
#include <atomic>
#include <cstring>
#include <string>
#include <vector>

namespace {

HMODULE g_module = nullptr;
std::atomic<long> g_locks { 0 };

const char16_t kKeysClass[] = u"msim_keys";
constexpr COLORREF kBackground = RGB(200, 204, 210);
constexpr COLORREF kKeyFace = RGB(250, 250, 250);
constexpr COLORREF kKeyDark = RGB(172, 178, 188);
constexpr COLORREF kKeyEdge = RGB(120, 126, 136);
constexpr COLORREF kKeyPressed = RGB(64, 110, 190);
constexpr COLORREF kLabel = RGB(20, 20, 24);
constexpr COLORREF kLabelPressed = RGB(255, 255, 255);

enum class Action { Character, Shift, Back, Enter, Symbols };

struct Key {
    Action action;
    char16_t normal; // the character, lower case
    char16_t symbol; // the character on the symbol layer
    int units; // width in half keys
    const char16_t* label; // for keys that type no character
};

// Rows in half-key units: 20 units wide, a row of ten keys.
const std::vector<std::vector<Key>>& rows()
{
    auto ch = [](char16_t c, char16_t s) { return Key { Action::Character, c, s, 2, nullptr }; };
    static const std::vector<std::vector<Key>> layout {
        { ch(u'q', u'1'), ch(u'w', u'2'), ch(u'e', u'3'), ch(u'r', u'4'), ch(u't', u'5'), ch(u'y', u'6'),
            ch(u'u', u'7'), ch(u'i', u'8'), ch(u'o', u'9'), ch(u'p', u'0') },
        { ch(u'a', u'-'), ch(u's', u'/'), ch(u'd', u':'), ch(u'f', u';'), ch(u'g', u'('), ch(u'h', u')'),
            ch(u'j', u'&'), ch(u'k', u'@'), ch(u'l', u'"') },
        { { Action::Shift, 0, 0, 3, u"\u21E7" }, ch(u'z', u'!'), ch(u'x', u'?'), ch(u'c', u'\''), ch(u'v', u'#'),
            ch(u'b', u'%'), ch(u'n', u'+'), ch(u'm', u'='), { Action::Back, 0, 0, 3, u"\u2190" } },
        { { Action::Symbols, 0, 0, 3, u"123" }, ch(u',', u','), { Action::Character, u' ', u' ', 10, u"" },
            ch(u'.', u'.'), { Action::Enter, 0, 0, 3, u"\u21B5" } },
    };
    return layout;
}

int rowHeight()
{
    HDC screen = GetDC(nullptr);
    int dpi = GetDeviceCaps(screen, LOGPIXELSY);
    ReleaseDC(nullptr, screen);
    return 20 * dpi / 96;
}

int vkOf(char16_t c)
{
    if (c >= u'a' && c <= u'z')
        return c - u'a' + 'A';
    if (c >= u'0' && c <= u'9')
        return c;
    if (c == u' ')
        return VK_SPACE;
    return 0;
}

class KeyboardIM final : public IInputMethod {
public:
    KeyboardIM() { ++g_locks; }
    ~KeyboardIM()
    {
        destroyWindow();
        destroyImages();
        --g_locks;
    }

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override
    {
        if (!object)
            return E_POINTER;
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
        if (left == 0)
            delete this;
        return left;
    }

    HRESULT STDMETHODCALLTYPE Select(HWND sipWindow) override
    {
        WNDCLASS wc {};
        wc.lpfnWndProc = keysProc;
        wc.hInstance = g_module;
        wc.lpszClassName = kKeysClass;
        RegisterClass(&wc);
        destroyWindow();
        RECT client {};
        GetClientRect(sipWindow, &client);
        m_window = CreateWindowEx(0, kKeysClass, u"", WS_CHILD | WS_VISIBLE, 0, 0, client.right, client.bottom, sipWindow,
            nullptr, g_module, this);
        return m_window ? S_OK : E_FAIL;
    }
    HRESULT STDMETHODCALLTYPE Deselect() override
    {
        destroyWindow();
        destroyImages();
        // The class's procedure lives in this library, which may be unloaded next.
        UnregisterClass(kKeysClass, g_module);
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE Showing() override
    {
        m_shift = false;
        m_symbols = false;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE Hiding() override { return S_OK; }
    HRESULT STDMETHODCALLTYPE GetInfo(IMINFO* info) override
    {
        if (!info)
            return E_INVALIDARG;
        makeImages();
        info->hImageNarrow = m_narrow;
        info->hImageWide = m_wide;
        info->iNarrow = 0;
        info->iWide = 0;
        info->fdwFlags = SIPF_DOCKED;
        int width = GetSystemMetrics(SM_CXSCREEN), height = GetSystemMetrics(SM_CYSCREEN);
        int bottom = height - GetSystemMetrics(SM_CYMENU);
        info->rcSipRect = RECT { 0, bottom - 4 * rowHeight(), width, bottom };
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE ReceiveSipInfo(SIPINFO*) override
    {
        if (m_window) {
            RECT client {};
            GetClientRect(GetParent(m_window), &client);
            MoveWindow(m_window, 0, 0, client.right, client.bottom, TRUE);
        }
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE RegisterCallback(IIMCallback* callback) override
    {
        m_callback = callback;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetImData(DWORD, LPVOID) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE SetImData(DWORD, LPVOID) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE UserOptionsDlg(HWND) override { return S_OK; }

private:
    static LRESULT CALLBACK keysProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
    {
        if (message == WM_CREATE)
            SetWindowLongPtr(window, GWL_USERDATA,
                reinterpret_cast<LONG_PTR>(reinterpret_cast<CREATESTRUCT*>(lParam)->lpCreateParams));
        auto* self = reinterpret_cast<KeyboardIM*>(GetWindowLongPtr(window, GWL_USERDATA));
        if (!self)
            return DefWindowProc(window, message, wParam, lParam);
        switch (message) {
        case WM_ERASEBKGND:
            return 1;
        case WM_PAINT:
            self->paint(window);
            return 0;
        case WM_LBUTTONDOWN:
            SetCapture(window);
            self->press(self->keyAt(GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)));
            return 0;
        case WM_MOUSEMOVE:
            if (GetCapture() == window)
                self->press(self->keyAt(GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)));
            return 0;
        case WM_LBUTTONUP: {
            const Key* key = self->m_pressed;
            self->press(nullptr);
            ReleaseCapture();
            if (key)
                self->act(*key);
            return 0;
        }
        case WM_CAPTURECHANGED:
            self->press(nullptr);
            return 0;
        }
        return DefWindowProc(window, message, wParam, lParam);
    }

    // The key rectangles for the window's size, in reading order with their keys.
    template <typename Visit>
    void forEachKey(Visit visit) const
    {
        RECT client {};
        GetClientRect(m_window, &client);
        int rowCount = static_cast<int>(rows().size());
        for (int r = 0; r < rowCount; ++r) {
            int top = client.bottom * r / rowCount, bottom = client.bottom * (r + 1) / rowCount;
            int units = 0;
            for (const Key& k : rows()[r])
                units += k.units;
            int at = (20 - units); // rows shorter than ten keys are centred
            for (const Key& k : rows()[r]) {
                RECT rect { client.right * at / 40, top, client.right * (at + 2 * k.units) / 40, bottom };
                visit(k, rect);
                at += 2 * k.units;
            }
        }
    }

    const Key* keyAt(int x, int y) const
    {
        const Key* found = nullptr;
        forEachKey([&](const Key& k, const RECT& r) {
            if (x >= r.left && x < r.right && y >= r.top && y < r.bottom)
                found = &k;
        });
        return found;
    }

    void press(const Key* key)
    {
        if (key == m_pressed)
            return;
        m_pressed = key;
        InvalidateRect(m_window, nullptr, FALSE);
    }

    void act(const Key& key)
    {
        switch (key.action) {
        case Action::Shift:
            m_shift = !m_shift;
            break;
        case Action::Symbols:
            m_symbols = !m_symbols;
            break;
        case Action::Back:
            sendKey(VK_BACK);
            break;
        case Action::Enter:
            sendKey(VK_RETURN);
            break;
        case Action::Character: {
            char16_t c = m_symbols ? key.symbol : key.normal;
            if (m_shift && !m_symbols && c >= u'a' && c <= u'z')
                c = static_cast<char16_t>(c - u'a' + u'A');
            sendChar(c);
            m_shift = false;
            break;
        }
        }
        InvalidateRect(m_window, nullptr, FALSE);
    }

    void sendKey(BYTE vk)
    {
        if (!m_callback)
            return;
        m_callback->SendVirtualKey(vk, KEYEVENTF_SILENT);
        m_callback->SendVirtualKey(vk, KEYEVENTF_SILENT | KEYEVENTF_KEYUP);
    }

    void sendChar(char16_t c)
    {
        if (!m_callback)
            return;
        UINT ch = c;
        UINT down = KeyStateDownFlag, up = KeyShiftNoCharacterFlag;
        m_callback->SendCharEvents(vkOf(c), KeyStateDownFlag, 1, &down, &ch);
        m_callback->SendCharEvents(vkOf(c), KeyStatePrevDownFlag, 1, &up, &ch);
    }

    std::u16string labelOf(const Key& k) const
    {
        if (k.label)
            return k.action == Action::Symbols && m_symbols ? u"abc" : k.label;
        char16_t c = m_symbols ? k.symbol : k.normal;
        if (m_shift && !m_symbols && c >= u'a' && c <= u'z')
            c = static_cast<char16_t>(c - u'a' + u'A');
        return std::u16string(1, c);
    }

    void paint(HWND window)
    {
        PAINTSTRUCT ps;
        HDC dc = BeginPaint(window, &ps);
        RECT client {};
        GetClientRect(window, &client);
        if (!m_font)
            m_font = pocketsim::UiFont(8, false);
        if (m_surface.resize(client.right, client.bottom)) {
            m_surface.fill(client, kBackground);
            HGDIOBJ oldFont = SelectObject(m_surface.dc(), m_font);
            SetBkMode(m_surface.dc(), TRANSPARENT);
            forEachKey([&](const Key& k, const RECT& r) {
                // Gaps, edges and the shadow grow with the screen's density.
                int u = std::max(1, rowHeight() / 20);
                RECT face { r.left + u, r.top + u, r.right - u, r.bottom - u };
                bool pressed = &k == m_pressed;
                bool lit = (k.action == Action::Shift && m_shift) || (k.action == Action::Symbols && m_symbols);
                COLORREF fill = pressed ? kKeyPressed : (k.action == Action::Character && k.normal != u',' && k.normal != u'.') || lit ? kKeyFace : kKeyDark;
                m_surface.fill(face, kKeyEdge);
                m_surface.fill(RECT { face.left + u, face.top + u, face.right - u, face.bottom - 2 * u }, fill);
                SetTextColor(m_surface.dc(), pressed ? kLabelPressed : kLabel);
                std::u16string label = labelOf(k);
                DrawText(m_surface.dc(), label.c_str(), static_cast<int>(label.size()), &face,
                    DT_CENTER | DT_VCENTER | DT_SINGLELINE | DT_NOPREFIX);
            });
            SelectObject(m_surface.dc(), oldFont);
            m_surface.copyTo(dc);
        }
        EndPaint(window, &ps);
    }

    // The panel button's pictures, drawn rather than loaded: a keyboard outline in both sizes.
    void makeImages()
    {
        if (m_wide)
            return;
        m_wide = ImageList_Create(32, 16, ILC_COLOR16 | ILC_MASK, 1, 1);
        m_narrow = ImageList_Create(16, 16, ILC_COLOR16 | ILC_MASK, 1, 1);
        addPicture(m_wide, 32, 16);
        addPicture(m_narrow, 16, 16);
    }

    static void addPicture(HIMAGELIST list, int width, int height)
    {
        pocketsim::Surface picture;
        if (!picture.resize(width, height))
            return;
        const COLORREF key = RGB(255, 0, 255);
        picture.fill(RECT { 0, 0, width, height }, key);
        picture.fill(RECT { 1, 3, width - 1, height - 2 }, RGB(40, 40, 48));
        picture.fill(RECT { 2, 4, width - 2, height - 3 }, RGB(250, 250, 250));
        for (int row = 0; row < 2; ++row)
            for (int x = 4; x + 2 <= width - 3; x += 3)
                picture.fill(RECT { x, 6 + row * 2, x + 2, 7 + row * 2 }, RGB(40, 40, 48));
        picture.fill(RECT { width / 4, height - 5, width - width / 4, height - 4 }, RGB(40, 40, 48));
        // A bitmap of the picture for the list.
        HDC screen = GetDC(nullptr);
        BITMAPINFO info {};
        info.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
        info.bmiHeader.biWidth = width;
        info.bmiHeader.biHeight = -height;
        info.bmiHeader.biPlanes = 1;
        info.bmiHeader.biBitCount = 16;
        info.bmiHeader.biCompression = BI_BITFIELDS;
        const DWORD masks[3] = { 0xF800, 0x07E0, 0x001F };
        std::memcpy(info.bmiColors, masks, sizeof masks);
        void* bits = nullptr;
        HBITMAP bitmap = CreateDIBSection(screen, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
        ReleaseDC(nullptr, screen);
        if (!bitmap)
            return;
        HDC memory = CreateCompatibleDC(nullptr);
        HGDIOBJ old = SelectObject(memory, bitmap);
        BitBlt(memory, 0, 0, width, height, picture.dc(), 0, 0, SRCCOPY);
        SelectObject(memory, old);
        DeleteDC(memory);
        ImageList_AddMasked(list, bitmap, key);
        DeleteObject(bitmap);
    }

    void destroyWindow()
    {
        if (m_window) {
            SetWindowLongPtr(m_window, GWL_USERDATA, 0);
            DestroyWindow(m_window);
            m_window = nullptr;
        }
        m_pressed = nullptr;
        if (m_font) {
            DeleteObject(m_font);
            m_font = nullptr;
        }
    }

    void destroyImages()
    {
        if (m_wide)
            ImageList_Destroy(m_wide);
        if (m_narrow)
            ImageList_Destroy(m_narrow);
        m_wide = m_narrow = nullptr;
    }

    ULONG m_refs = 0;
    HWND m_window = nullptr;
    IIMCallback* m_callback = nullptr;
    HIMAGELIST m_wide = nullptr;
    HIMAGELIST m_narrow = nullptr;
    HFONT m_font = nullptr;
    pocketsim::Surface m_surface;
    const Key* m_pressed = nullptr;
    bool m_shift = false;
    bool m_symbols = false;
};

class Factory final : public IClassFactory {
public:
    Factory() { ++g_locks; }
    ~Factory() { --g_locks; }
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override
    {
        if (!object)
            return E_POINTER;
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
        if (!object)
            return E_POINTER;
        *object = nullptr;
        if (outer)
            return CLASS_E_NOAGGREGATION;
        auto* im = new KeyboardIM();
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

bool setString(const std::u16string& key, const std::u16string& value)
{
    HKEY k;
    if (RegCreateKeyEx(HKEY_CLASSES_ROOT, key.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &k, nullptr) != ERROR_SUCCESS)
        return false;
    LONG rc = RegSetValueEx(k, nullptr, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
        static_cast<DWORD>((value.size() + 1) * sizeof(char16_t)));
    RegCloseKey(k);
    return rc == ERROR_SUCCESS;
}

std::u16string classKey()
{
    WCHAR text[40];
    StringFromGUID2(CLSID_KeyboardIM, text, 40);
    return u"CLSID\\" + std::u16string(text);
}

}

BOOL WINAPI DllMain(HANDLE instance, DWORD reason, LPVOID)
{
    if (reason == DLL_PROCESS_ATTACH)
        g_module = static_cast<HMODULE>(instance);
    return TRUE;
}

STDAPI DllGetClassObject(REFCLSID clsid, REFIID iid, LPVOID* object)
{
    if (!object)
        return E_POINTER;
    *object = nullptr;
    if (!(clsid == CLSID_KeyboardIM))
        return CLASS_E_CLASSNOTAVAILABLE;
    auto* factory = new Factory();
    HRESULT hr = factory->QueryInterface(iid, object);
    factory->Release();
    return hr;
}

STDAPI DllCanUnloadNow()
{
    return g_locks == 0 ? S_OK : S_FALSE;
}

STDAPI DllRegisterServer()
{
    WCHAR path[MAX_PATH];
    if (!GetModuleFileName(g_module, path, MAX_PATH))
        return E_FAIL;
    std::u16string key = classKey();
    bool ok = setString(key, u"Keyboard") && setString(key + u"\\InprocServer32", path)
        && setString(key + u"\\IsSIPInputMethod", u"1") && setString(key + u"\\DefaultIcon", std::u16string(path) + u",0");
    return ok ? S_OK : E_FAIL;
}

STDAPI DllUnregisterServer()
{
    return RegDeleteKey(HKEY_CLASSES_ROOT, classKey().c_str()) == ERROR_SUCCESS ? S_OK : S_FALSE;
}
