#include "panel_host/SipHost.h"
#include "panel_host/DefaultInputMethod.h"
#include "panel_host/Surface.h"

#include "runtime/ComObject.h"
#include "runtime/Registry.h"
#include "runtime/Text.h"

#include <simhost.h>

#include <algorithm>
#include <cstdio>
#include <cstring>

namespace pocketsim {

namespace {

constexpr UINT kReceiveSipInfo = SIM_WM_SIPSHOW + 1; // deliver ReceiveSipInfo from the loop
constexpr UINT kFreeLibraries = SIM_WM_SIPSHOW + 2; // unload released methods' libraries
constexpr int kMaxEchoes = 8; // SetImInfo -> ReceiveSipInfo rounds without anything else between
constexpr UINT kMaxCharEvents = 4096;
constexpr COLORREF kPanelBackground = RGB(214, 211, 206);

std::string hex(unsigned long v)
{
    char buffer[24];
    std::snprintf(buffer, sizeof buffer, "0x%lX", v);
    return buffer;
}

std::string codePoint(unsigned long c)
{
    char buffer[24];
    std::snprintf(buffer, sizeof buffer, "U+%04lX", c);
    return buffer;
}

bool isRegisteredInputMethod(const CLSID& clsid)
{
    WCHAR text[40];
    StringFromGUID2(clsid, text, 40);
    std::u16string value;
    return RegReadString(HKEY_CLASSES_ROOT, u"CLSID\\" + std::u16string(text) + u"\\IsSIPInputMethod", nullptr, value, 8)
        && value == u"1";
}

// Tells every top-level window of the device, in this process and the others, that the panel
// changed.
void broadcastSetting(WPARAM what)
{
    PostMessage(HWND_BROADCAST, WM_SETTINGCHANGE, what, 0);
}

bool validRect(const RECT& r)
{
    int width = GetSystemMetrics(SM_CXSCREEN), height = GetSystemMetrics(SM_CYSCREEN);
    return r.right > r.left && r.bottom > r.top && r.left >= -width && r.right <= 2 * width && r.top >= -height
        && r.bottom <= 2 * height;
}

// A method with nothing to show (a keyboard without its skin) asks for an empty panel: it
// gets one, and the screen shows what lies behind it.
bool emptyRect(const RECT& r)
{
    int width = GetSystemMetrics(SM_CXSCREEN), height = GetSystemMetrics(SM_CYSCREEN);
    return (r.right == r.left || r.bottom == r.top) && r.right >= r.left && r.bottom >= r.top && r.left >= -width
        && r.right <= 2 * width && r.top >= -height && r.bottom <= 2 * height;
}

}

// The callback handed to one input method. When the method is released the callback is retired:
// it stays allocated (the method took no reference and may still hold it) and refuses every call.
class SipCallback final : public ComObject<SipCallback, IIMCallback, IID_IIMCallback> {
public:
    explicit SipCallback(SipHost* host)
        : m_host(host)
    {
        AddRef(); // the host's
    }
    void retire() { m_host = nullptr; }

    ULONG STDMETHODCALLTYPE Release() override
    {
        // The host keeps the last reference: a method releasing more than it took cannot free it.
        return references() > 1 ? ComObject::Release() : references();
    }

    HRESULT STDMETHODCALLTYPE SetImInfo(IMINFO* info) override
    {
        if (!m_host)
            return E_FAIL;
        if (!info || info->cbSize != sizeof(IMINFO))
            return E_INVALIDARG;
        m_host->event("SetImInfo flags=" + hex(info->fdwFlags) + " rect=" + std::to_string(info->rcSipRect.left) + ","
            + std::to_string(info->rcSipRect.top) + "," + std::to_string(info->rcSipRect.right) + ","
            + std::to_string(info->rcSipRect.bottom));
        return m_host->set_im_info(*info);
    }

    HRESULT STDMETHODCALLTYPE SendVirtualKey(BYTE virtualKey, DWORD flags) override
    {
        if (!m_host)
            return E_FAIL;
        // A desktop's key event goes out before the line that tells of it: the program typed
        // into waits for the key, the automation reading the line does not.
        KeyOutput* output = m_host->key_output();
        if (output)
            output->virtual_key(virtualKey, flags);
        m_host->event("SendVirtualKey vk=" + hex(virtualKey) + " flags=" + hex(flags));
        if (!output)
            SimSendVirtualKey(virtualKey, flags);
        return S_OK;
    }

    HRESULT STDMETHODCALLTYPE SendCharEvents(UINT virtualKey, UINT keyFlags, UINT count, UINT* shiftStates,
        UINT* characters) override
    {
        if (!m_host)
            return E_FAIL;
        if (count > kMaxCharEvents || (count > 0 && (!shiftStates || !characters)))
            return E_INVALIDARG;
        KeyOutput* output = m_host->key_output();
        if (output)
            output->char_events(virtualKey, keyFlags, count, shiftStates, characters);
        std::string line = "SendCharEvents vk=" + hex(virtualKey) + " keystate=" + hex(keyFlags)
            + " count=" + std::to_string(count);
        if (count > 0) {
            std::string shifts, chars;
            for (UINT i = 0; i < count; ++i) {
                shifts += (i ? "," : "") + hex(shiftStates[i]);
                chars += (i ? "," : "") + codePoint(characters[i]);
            }
            line += " shift=" + shifts + " char=" + chars;
        }
        m_host->event(line);
        if (!output)
            SimSendCharEvents(virtualKey, keyFlags, count, shiftStates, characters);
        return S_OK;
    }

    HRESULT STDMETHODCALLTYPE SendString(BSTR text, DWORD count) override
    {
        if (!m_host)
            return E_FAIL;
        if (count > kMaxCharEvents || (count > 0 && !text))
            return E_INVALIDARG;
        KeyOutput* output = m_host->key_output();
        if (output)
            output->text(text, count);
        std::string line = "SendString count=" + std::to_string(count);
        for (DWORD i = 0; i < count; ++i)
            line += (i ? "," : " text=") + codePoint(text[i]);
        m_host->event(line);
        if (!output)
            for (DWORD i = 0; i < count; ++i)
                SimTypeChar(text[i]);
        return S_OK;
    }

private:
    SipHost* m_host;
};

SipHost::SipHost() = default;

SipHost::~SipHost()
{
    if (m_window)
        SetWindowLongPtr(m_window, GWL_USERDATA, 0);
    HWND window = m_window;
    m_window = nullptr;
    unload();
    if (window)
        DestroyWindow(window);
    UnregisterClass(SIM_SIP_CLASS, nullptr);
    SimClearSipState();
    for (SipCallback* c : m_retired)
        delete c;
}

bool SipHost::start(HINSTANCE instance)
{
    WNDCLASS wc {};
    wc.lpfnWndProc = windowProc;
    wc.hInstance = instance;
    wc.lpszClassName = SIM_SIP_CLASS;
    RegisterClass(&wc);
    m_rect = defaultRect();
    // Never activated: taps on the panel leave the focus in the application being typed into.
    m_window = CreateWindowEx(WS_EX_TOPMOST | WS_EX_NOACTIVATE, SIM_SIP_CLASS, u"SIP", WS_POPUP | WS_CLIPCHILDREN,
        m_rect.left, m_rect.top, m_rect.right - m_rect.left, m_rect.bottom - m_rect.top, nullptr, nullptr, instance, this);
    if (!m_window)
        return false;
    CLSID wanted = CLSID_KeyboardIM;
    std::u16string name = DefaultInputMethod();
    if (!name.empty() && CLSIDFromString(name.c_str(), &wanted) != S_OK)
        wanted = CLSID_KeyboardIM;
    IInputMethod* method = nullptr;
    // A default method that is not registered, does not load or cannot be made leaves the
    // platform's own keyboard current.
    bool loaded = isRegisteredInputMethod(wanted)
        && SUCCEEDED(CoCreateInstance(wanted, nullptr, CLSCTX_INPROC_SERVER, IID_IInputMethod, reinterpret_cast<void**>(&method)))
        && method && load(wanted, method);
    if (!loaded)
        CoFreeUnusedLibraries(); // a library that loaded but made no method goes again
    if (!loaded && !(wanted == CLSID_KeyboardIM)) {
        std::fprintf(stderr, "pocketsim: the input method %s did not load; using the platform's keyboard\n",
            Utf8FromUtf16(name).c_str());
        method = nullptr;
        if (SUCCEEDED(CoCreateInstance(CLSID_KeyboardIM, nullptr, CLSCTX_INPROC_SERVER, IID_IInputMethod, reinterpret_cast<void**>(&method))) && method)
            load(CLSID_KeyboardIM, method);
    }
    publish();
    return true;
}

bool SipHost::load(const CLSID& clsid, IInputMethod* method)
{
    auto* callback = new SipCallback(this);
    m_method = method;
    m_callback = callback;
    m_current = clsid;
    m_echoes = 0;
    ++m_busy;
    method->RegisterCallback(callback);
    IMINFO info {};
    info.cbSize = sizeof info;
    if (SUCCEEDED(method->GetInfo(&info)))
        applyInfo(info);
    else
        applyInfo(IMINFO { sizeof(IMINFO), nullptr, nullptr, 0, 0, SIPF_DOCKED, defaultRect() });
    MoveWindow(m_window, m_rect.left, m_rect.top, m_rect.right - m_rect.left, m_rect.bottom - m_rect.top, TRUE);
    bool selected = SUCCEEDED(method->Select(m_window));
    if (selected && m_shown) {
        method->Showing();
        m_methodShown = true;
        ShowWindow(m_window, SW_SHOW);
    }
    --m_busy;
    if (!selected) {
        unload();
        return false;
    }
    if (m_shown)
        receiveSipInfo();
    publish();
    broadcastSetting(SPI_SETCURRENTIM);
    notify();
    return true;
}

void SipHost::unload()
{
    if (!m_method)
        return;
    ++m_busy;
    if (m_methodShown)
        m_method->Hiding();
    m_methodShown = false;
    m_method->Deselect();
    IInputMethod* method = m_method;
    m_method = nullptr;
    // From here on the method's callback refuses every call, also from inside its Release.
    m_callback->retire();
    m_retired.push_back(m_callback);
    m_callback = nullptr;
    method->Release();
    --m_busy;
    // The images belonged to the method.
    m_wide = m_narrow = nullptr;
    // Its library goes from the message loop: the switch may have been asked from the method's
    // own window procedure (SipSetCurrentIM), whose code must stay mapped until it returns.
    if (!m_window || !PostMessage(m_window, kFreeLibraries, 0, 0))
        CoFreeUnusedLibraries();
}

bool SipHost::set_current(const CLSID& clsid)
{
    if (m_method && clsid == m_current)
        return true;
    if (m_busy > 0 || !isRegisteredInputMethod(clsid))
        return false;
    // The new method is made before the current one goes, so that a failure leaves it current.
    IInputMethod* method = nullptr;
    if (FAILED(CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IID_IInputMethod, reinterpret_cast<void**>(&method)))
        || !method) {
        CoFreeUnusedLibraries();
        return false;
    }
    CLSID previous = m_current;
    unload();
    if (load(clsid, method))
        return true;
    // Selecting failed: back to the previous method, else the platform's keyboard.
    for (const CLSID& fallback : { previous, CLSID_KeyboardIM }) {
        method = nullptr;
        if (SUCCEEDED(CoCreateInstance(fallback, nullptr, CLSCTX_INPROC_SERVER, IID_IInputMethod, reinterpret_cast<void**>(&method)))
            && method && load(fallback, method))
            break;
    }
    return false;
}

bool SipHost::reload()
{
    if (!m_method || m_busy > 0)
        return false;
    IInputMethod* method = nullptr;
    if (FAILED(CoCreateInstance(m_current, nullptr, CLSCTX_INPROC_SERVER, IID_IInputMethod, reinterpret_cast<void**>(&method)))
        || !method)
        return false;
    const CLSID clsid = m_current;
    unload();
    return load(clsid, method);
}

int SipHost::height() const
{
    return m_rect.bottom - m_rect.top;
}

void SipHost::place(RECT)
{
    // The method says where the panel sits; the device only asks.
    MoveWindow(m_window, m_rect.left, m_rect.top, m_rect.right - m_rect.left, m_rect.bottom - m_rect.top, TRUE);
}

void SipHost::show()
{
    if (m_shown)
        return;
    m_shown = true;
    m_echoes = 0;
    if (m_method) {
        ++m_busy;
        m_method->Showing();
        m_methodShown = true;
        --m_busy;
    }
    ShowWindow(m_window, SW_SHOW);
    if (m_method)
        receiveSipInfo();
    publish();
    broadcastSetting(SPI_SETSIPINFO);
    notify();
}

void SipHost::hide()
{
    if (!m_shown)
        return;
    m_shown = false;
    if (m_method) {
        ++m_busy;
        m_method->Hiding();
        m_methodShown = false;
        --m_busy;
    }
    ShowWindow(m_window, SW_HIDE);
    publish();
    broadcastSetting(SPI_SETSIPINFO);
    notify();
}

void SipHost::screenChanged()
{
    if (!m_method) {
        m_rect = defaultRect();
        place(m_rect);
        publish();
        notify();
        return;
    }
    ++m_busy;
    if (m_methodShown)
        m_method->Hiding();
    IMINFO info {};
    info.cbSize = sizeof info;
    if (SUCCEEDED(m_method->GetInfo(&info)))
        applyInfo(info);
    else
        m_rect = defaultRect();
    place(m_rect);
    m_methodShown = m_shown;
    if (m_shown)
        m_method->Showing();
    --m_busy;
    m_echoes = 0;
    if (m_shown)
        receiveSipInfo();
    publish();
    notify();
}

void SipHost::receiveSipInfo()
{
    if (!m_method)
        return;
    SIPINFO info = sipInfo();
    ++m_busy;
    m_method->ReceiveSipInfo(&info);
    --m_busy;
}

HRESULT SipHost::set_im_info(const IMINFO& info)
{
    if (!validRect(info.rcSipRect) && !emptyRect(info.rcSipRect))
        return E_INVALIDARG;
    const SIPINFO before = sipInfo();
    applyInfo(info);
    place(m_rect);
    publish();
    if (m_shown) {
        // Programs hear of the panel only when what they can read of it changed: a method says
        // its place again at every layout change, and each program woken for nothing is one
        // the device waits for.
        const SIPINFO after = sipInfo();
        auto same = [](const RECT& a, const RECT& b) {
            return a.left == b.left && a.top == b.top && a.right == b.right && a.bottom == b.bottom;
        };
        if (after.fdwFlags != before.fdwFlags || !same(after.rcSipRect, before.rcSipRect)
            || !same(after.rcVisibleDesktop, before.rcVisibleDesktop))
            broadcastSetting(SPI_SETSIPINFO);
        // The method hears of its new place from the message loop, not from inside its own call;
        // a method that keeps answering with new rectangles is told only a few times.
        if (m_echoes++ < kMaxEchoes)
            PostMessage(m_window, kReceiveSipInfo, 0, 0);
    }
    notify();
    return S_OK;
}

void SipHost::applyInfo(const IMINFO& info)
{
    m_rect = validRect(info.rcSipRect) || emptyRect(info.rcSipRect) ? info.rcSipRect : defaultRect();
    m_flags = info.fdwFlags & (SIPF_DOCKED | SIPF_LOCKED | SIPF_DISABLECOMPLETION);
    m_wide = info.hImageWide;
    m_wideIndex = info.iWide;
    m_narrow = info.hImageNarrow;
    m_narrowIndex = info.iNarrow;
}

RECT SipHost::defaultRect() const
{
    int width = GetSystemMetrics(SM_CXSCREEN), height = GetSystemMetrics(SM_CYSCREEN);
    int bar = GetSystemMetrics(SM_CYMENU);
    HDC screen = GetDC(nullptr);
    int panel = 80 * GetDeviceCaps(screen, LOGPIXELSY) / 96;
    ReleaseDC(nullptr, screen);
    return RECT { 0, height - bar - panel, width, height - bar };
}

SIPINFO SipHost::sipInfo() const
{
    SIPINFO info {};
    info.cbSize = sizeof info;
    info.fdwFlags = m_flags | (m_shown ? SIPF_ON : SIPF_OFF);
    info.rcSipRect = m_rect;
    SystemParametersInfo(SPI_GETWORKAREA, 0, &info.rcVisibleDesktop, 0);
    if (m_shown && (m_flags & SIPF_DOCKED) && m_rect.top < info.rcVisibleDesktop.bottom)
        info.rcVisibleDesktop.bottom = std::max(info.rcVisibleDesktop.top, m_rect.top);
    return info;
}

void SipHost::publish()
{
    SimPublishSipState(sipInfo(), m_current);
}

void SipHost::notify()
{
    if (changed)
        changed();
}

void SipHost::event(const std::string& line)
{
    if (m_events)
        m_events(line);
}

bool SipHost::draw_button(HDC dc, RECT button)
{
    HIMAGELIST list = m_wide ? m_wide : m_narrow;
    int index = m_wide ? m_wideIndex : m_narrowIndex;
    int cx = 0, cy = 0;
    if (!list || !ImageList_GetIconSize(list, &cx, &cy) || index < 0 || index >= ImageList_GetImageCount(list))
        return false;
    // Images are made for 96 dots per inch; on denser screens the shell shows them at a whole
    // multiple, as large as the button holds, so that they keep their crisp pixels.
    HDC screen = GetDC(nullptr);
    int dpi = GetDeviceCaps(screen, LOGPIXELSY);
    ReleaseDC(nullptr, screen);
    int scale = std::max(1, std::min({ dpi / 96, int(button.right - button.left) / cx, int(button.bottom - button.top) / cy }));
    int x = (button.left + button.right - cx * scale) / 2, y = (button.top + button.bottom - cy * scale) / 2;
    if (scale == 1)
        return ImageList_Draw(list, index, dc, x, y, ILD_TRANSPARENT) != FALSE;
    Surface image, mask;
    if (!image.resize(cx, cy) || !mask.resize(cx, cy))
        return false;
    if (!ImageList_Draw(list, index, image.dc(), 0, 0, ILD_NORMAL) || !ImageList_Draw(list, index, mask.dc(), 0, 0, ILD_MASK))
        return false;
    for (int sy = 0; sy < cy; ++sy)
        for (int sx = 0; sx < cx; ++sx) {
            if (GetPixel(mask.dc(), sx, sy) != RGB(0, 0, 0))
                continue; // see-through
            COLORREF colour = GetPixel(image.dc(), sx, sy);
            for (int dy = 0; dy < scale; ++dy)
                for (int dx = 0; dx < scale; ++dx)
                    SetPixel(dc, x + sx * scale + dx, y + sy * scale + dy, colour);
        }
    return true;
}

LRESULT CALLBACK SipHost::windowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_CREATE)
        SetWindowLongPtr(window, GWL_USERDATA,
            reinterpret_cast<LONG_PTR>(reinterpret_cast<CREATESTRUCT*>(lParam)->lpCreateParams));
    auto* self = reinterpret_cast<SipHost*>(GetWindowLongPtr(window, GWL_USERDATA));
    if (self) {
        self->m_window = window;
        return self->handle(message, wParam, lParam);
    }
    return DefWindowProc(window, message, wParam, lParam);
}

LRESULT SipHost::handle(UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case SIM_WM_SIPSHOW:
        wParam == SIPF_ON ? show() : hide();
        return 0;
    case kReceiveSipInfo:
        if (m_shown)
            receiveSipInfo();
        return 0;
    case kFreeLibraries:
        CoFreeUnusedLibraries();
        return 0;
    case WM_COPYDATA: {
        auto* copy = reinterpret_cast<const COPYDATASTRUCT*>(lParam);
        if (!copy || !copy->lpData)
            return FALSE;
        if (copy->dwData == SIM_SIP_SETIM && copy->cbData == sizeof(CLSID)) {
            CLSID clsid;
            std::memcpy(&clsid, copy->lpData, sizeof clsid);
            return set_current(clsid) ? TRUE : FALSE;
        }
        if (copy->dwData == SIM_SIP_SETINFO && copy->cbData == sizeof(SIPINFO)) {
            SIPINFO info;
            std::memcpy(&info, copy->lpData, sizeof info);
            if (validRect(info.rcSipRect) && !(info.rcSipRect.left == m_rect.left && info.rcSipRect.top == m_rect.top
                    && info.rcSipRect.right == m_rect.right && info.rcSipRect.bottom == m_rect.bottom)) {
                m_rect = info.rcSipRect;
                place(m_rect);
                if (m_shown)
                    receiveSipInfo();
            }
            (info.fdwFlags & SIPF_ON) ? show() : hide();
            publish();
            notify();
            return TRUE;
        }
        return FALSE;
    }
    case WM_SETTINGCHANGE:
        if (wParam == 0x3002) // the screen turned or changed size
            screenChanged();
        return 0;
    case WM_ERASEBKGND:
        return 1;
    case WM_PAINT: {
        // What shows where the method draws nothing (no method, or a method without a window).
        PAINTSTRUCT ps;
        HDC dc = BeginPaint(m_window, &ps);
        RECT client;
        GetClientRect(m_window, &client);
        Surface surface;
        if (surface.resize(client.right, client.bottom)) {
            surface.fill(client, kPanelBackground);
            surface.copyTo(dc);
        }
        EndPaint(m_window, &ps);
        return 0;
    }
    }
    return DefWindowProc(m_window, message, wParam, lParam);
}

}
