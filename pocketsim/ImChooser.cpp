#include "pocketsim/ImChooser.h"

#include "panel_host/DefaultInputMethod.h"
#include "runtime/Registry.h"

#include <simhost.h>

#include <algorithm>

namespace pocketsim {

namespace {

const char16_t kClass[] = u"pocketsim_imlist";
constexpr COLORREF kBackground = RGB(255, 255, 255);
constexpr COLORREF kBorder = RGB(64, 64, 64);
constexpr COLORREF kCurrent = RGB(206, 222, 247);
constexpr COLORREF kText = RGB(0, 0, 0);

// SipEnumIM's callback carries no context of its own.
std::vector<IMENUMINFO>* g_found = nullptr;

std::u16string defaultIcon(const CLSID& clsid)
{
    WCHAR text[40];
    StringFromGUID2(clsid, text, 40);
    std::u16string value;
    RegReadString(HKEY_CLASSES_ROOT, u"CLSID\\" + std::u16string(text) + u"\\DefaultIcon", nullptr, value, MAX_PATH + 8);
    return value;
}

}

ImChooser::~ImChooser()
{
    close();
    UnregisterClass(kClass, nullptr);
}

void ImChooser::forgetItems()
{
    for (Item& item : m_items)
        if (item.icon)
            DestroyIcon(item.icon);
    m_items.clear();
}

void ImChooser::close()
{
    if (m_window) {
        HWND window = m_window;
        m_window = nullptr;
        SetWindowLongPtr(window, GWL_USERDATA, 0);
        if (GetCapture() == window)
            ReleaseCapture();
        DestroyWindow(window);
    }
    forgetItems();
    if (m_font) {
        DeleteObject(m_font);
        m_font = nullptr;
    }
}

void ImChooser::toggle(HINSTANCE instance, int right, int bottom)
{
    if (m_window) {
        close();
        return;
    }
    std::vector<IMENUMINFO> found;
    g_found = &found;
    SipEnumIM([](IMENUMINFO* info) {
        g_found->push_back(*info);
        return 1;
    });
    g_found = nullptr;
    if (found.empty())
        return;
    SipGetCurrentIM(&m_current);
    m_iconSize = GetSystemMetrics(SM_CXSMICON);
    m_rowHeight = m_iconSize + m_iconSize / 2;
    m_font = UiFont(8, false);
    int width = 0;
    HDC screen = GetDC(nullptr);
    HGDIOBJ old = SelectObject(screen, m_font);
    for (const IMENUMINFO& info : found) {
        Item item { info.clsid, info.szName[0] ? info.szName : u"?", nullptr };
        std::u16string location = defaultIcon(info.clsid);
        if (!location.empty())
            item.icon = SimIconFromLocation(location.c_str(), true);
        SIZE extent {};
        GetTextExtentPoint32(screen, item.name.c_str(), static_cast<int>(item.name.size()), &extent);
        width = std::max<int>(width, extent.cx);
        m_items.push_back(std::move(item));
    }
    SelectObject(screen, old);
    ReleaseDC(nullptr, screen);
    width += m_iconSize * 2 + m_iconSize / 2 * 2;
    int height = m_rowHeight * static_cast<int>(m_items.size()) + 2;
    int screenWidth = GetSystemMetrics(SM_CXSCREEN);
    width = std::min(width, screenWidth);
    int left = std::max(0, std::min(right, screenWidth) - width);

    WNDCLASS wc {};
    wc.lpfnWndProc = windowProc;
    wc.hInstance = instance;
    wc.lpszClassName = kClass;
    RegisterClass(&wc);
    m_window = CreateWindowEx(WS_EX_TOPMOST | WS_EX_NOACTIVATE, kClass, u"", WS_POPUP | WS_VISIBLE, left, bottom - height,
        width, height, nullptr, nullptr, instance, this);
    if (m_window)
        SetCapture(m_window); // a tap anywhere else closes the list
}

void ImChooser::choose(int x, int y)
{
    RECT client;
    GetClientRect(m_window, &client);
    int row = (y - 1) / m_rowHeight;
    if (x < 0 || x >= client.right || y < 1 || row < 0 || row >= static_cast<int>(m_items.size())) {
        close();
        return;
    }
    CLSID chosen = m_items[static_cast<size_t>(row)].clsid;
    close();
    MakeInputMethodCurrent(chosen);
}

void ImChooser::paint()
{
    PAINTSTRUCT ps;
    HDC dc = BeginPaint(m_window, &ps);
    RECT client;
    GetClientRect(m_window, &client);
    if (m_surface.resize(client.right, client.bottom)) {
        m_surface.fill(client, kBorder);
        m_surface.fill(RECT { 1, 1, client.right - 1, client.bottom - 1 }, kBackground);
        int pad = m_iconSize / 2;
        for (size_t i = 0; i < m_items.size(); ++i) {
            const Item& item = m_items[i];
            int top = 1 + static_cast<int>(i) * m_rowHeight;
            if (item.clsid == m_current)
                m_surface.fill(RECT { 1, top, client.right - 1, top + m_rowHeight }, kCurrent);
            if (item.icon)
                DrawIcon(m_surface.dc(), pad, top + (m_rowHeight - m_iconSize) / 2, item.icon);
            TEXTMETRIC tm {};
            HGDIOBJ old = SelectObject(m_surface.dc(), m_font);
            GetTextMetrics(m_surface.dc(), &tm);
            SelectObject(m_surface.dc(), old);
            m_surface.text(pad * 2 + m_iconSize, top + (m_rowHeight - tm.tmHeight) / 2, item.name, m_font, kText);
        }
        m_surface.copyTo(dc);
    }
    EndPaint(m_window, &ps);
}

LRESULT CALLBACK ImChooser::windowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_CREATE)
        SetWindowLongPtr(window, GWL_USERDATA,
            reinterpret_cast<LONG_PTR>(reinterpret_cast<CREATESTRUCT*>(lParam)->lpCreateParams));
    auto* self = reinterpret_cast<ImChooser*>(GetWindowLongPtr(window, GWL_USERDATA));
    if (self) {
        switch (message) {
        case WM_PAINT:
            self->paint();
            return 0;
        case WM_ERASEBKGND:
            return 1;
        case WM_LBUTTONDOWN:
            self->choose(GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam));
            return 0;
        case WM_CAPTURECHANGED:
            return 0;
        }
    }
    return DefWindowProc(window, message, wParam, lParam);
}

}
