#include "pocketsim/StartMenu.h"

#include "runtime/Execute.h"
#include "runtime/Text.h"

#include <shellapi.h>
#include <winbase.h>

#include <algorithm>
#include <cstdio>

namespace pocketsim {

namespace {

const char16_t kClass[] = u"pocketsim_startmenu";
constexpr COLORREF kPaper = RGB(255, 255, 255);
constexpr COLORREF kInk = RGB(0, 0, 0);
constexpr COLORREF kEdge = RGB(0, 40, 104);
constexpr COLORREF kEmpty = RGB(128, 128, 128);

std::u16string lower(std::u16string s)
{
    for (char16_t& c : s)
        if (c >= u'A' && c <= u'Z')
            c = static_cast<char16_t>(c + 32);
    return s;
}

std::u16string trim(std::u16string_view s)
{
    size_t a = s.find_first_not_of(u" \t\r\n");
    if (a == std::u16string_view::npos)
        return {};
    size_t b = s.find_last_not_of(u" \t\r\n");
    return std::u16string(s.substr(a, b - a + 1));
}

// A shortcut file's text: UTF-16 with its byte-order mark, or 8-bit.
std::u16string readShortcut(const std::u16string& path)
{
    HANDLE f = CreateFile(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    if (f == INVALID_HANDLE_VALUE)
        return {};
    char buffer[1024];
    DWORD got = 0;
    BOOL ok = ReadFile(f, buffer, sizeof buffer, &got, nullptr);
    CloseHandle(f);
    if (!ok)
        return {};
    if (got >= 2 && static_cast<unsigned char>(buffer[0]) == 0xFF && static_cast<unsigned char>(buffer[1]) == 0xFE) {
        std::u16string out;
        for (DWORD i = 2; i + 1 < got; i += 2)
            out += static_cast<char16_t>(static_cast<unsigned char>(buffer[i]) | static_cast<unsigned char>(buffer[i + 1]) << 8);
        return out;
    }
    return Utf16FromUtf8(std::string(buffer, got));
}

}

bool ParseShortcut(std::u16string_view text, StartEntry& entry)
{
    size_t hash = text.find(u'#');
    if (hash == std::u16string_view::npos)
        return false;
    std::u16string rest = trim(text.substr(hash + 1));
    if (rest.empty())
        return false;
    if (rest[0] == u'"') {
        size_t close = rest.find(u'"', 1);
        if (close == std::u16string::npos || close == 1)
            return false;
        entry.target = rest.substr(1, close - 1);
        entry.arguments = trim(std::u16string_view(rest).substr(close + 1));
    } else {
        size_t space = rest.find(u' ');
        entry.target = rest.substr(0, space);
        entry.arguments = space == std::u16string::npos ? std::u16string() : trim(std::u16string_view(rest).substr(space + 1));
    }
    return !entry.target.empty();
}

std::vector<StartEntry> ReadStartMenu()
{
    std::vector<StartEntry> out;
    WCHAR folder[MAX_PATH];
    if (!SHGetSpecialFolderPath(nullptr, folder, CSIDL_PROGRAMS, FALSE))
        return out;
    std::u16string base = folder;
    WIN32_FIND_DATA found;
    HANDLE search = FindFirstFile((base + u"\\*").c_str(), &found);
    if (search == INVALID_HANDLE_VALUE)
        return out;
    do {
        if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
            continue;
        std::u16string name = found.cFileName;
        std::u16string path = base + u"\\" + name;
        size_t dot = name.rfind(u'.');
        StartEntry e;
        e.name = dot == std::u16string::npos ? name : name.substr(0, dot);
        if (dot != std::u16string::npos && lower(name.substr(dot)) == u".lnk") {
            if (!ParseShortcut(readShortcut(path), e))
                continue;
        } else {
            e.target = path;
        }
        out.push_back(std::move(e));
    } while (FindNextFile(search, &found));
    FindClose(search);
    std::sort(out.begin(), out.end(), [](const StartEntry& a, const StartEntry& b) { return lower(a.name) < lower(b.name); });
    return out;
}

bool StartProgram(const std::u16string& path, const std::u16string& arguments)
{
    if (StartDeviceProgram(path, arguments))
        return true;
    std::fprintf(stderr, "pocketsim: cannot start %s\n", Utf8FromUtf16(path).c_str());
    return false;
}

StartMenu::~StartMenu()
{
    close();
    UnregisterClass(kClass, nullptr);
    if (m_font)
        DeleteObject(m_font);
}

void StartMenu::toggle(HINSTANCE instance, int top, HWND taskbar)
{
    m_taskbar = taskbar;
    if (m_window) {
        close();
        return;
    }
    WNDCLASS wc {};
    wc.lpfnWndProc = windowProc;
    wc.hInstance = instance;
    wc.lpszClassName = kClass;
    RegisterClass(&wc);
    if (!m_font)
        m_font = UiFont(9, false);
    m_entries = ReadStartMenu();
    m_row = GetSystemMetrics(SM_CYMENU);
    int width = GetSystemMetrics(SM_CXSCREEN) * 2 / 3;
    int rows = std::max<int>(1, static_cast<int>(m_entries.size()));
    int height = std::min<int>(rows * m_row + 2, GetSystemMetrics(SM_CYSCREEN) - top);
    m_window = CreateWindowEx(WS_EX_TOPMOST | WS_EX_NOACTIVATE, kClass, u"Start", WS_POPUP | WS_VISIBLE, 0, top, width, height,
        nullptr, nullptr, instance, this);
    // The menu holds the stylus while it is open: a tap outside it only closes it.
    if (m_window)
        SetCapture(m_window);
}

void StartMenu::close()
{
    if (m_window) {
        HWND w = m_window;
        m_window = nullptr;
        if (GetCapture() == w)
            ReleaseCapture();
        DestroyWindow(w);
        if (m_taskbar)
            InvalidateRect(m_taskbar, nullptr, FALSE);
    }
}

LRESULT CALLBACK StartMenu::windowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_CREATE)
        SetWindowLongPtr(window, GWL_USERDATA, reinterpret_cast<LONG_PTR>(reinterpret_cast<CREATESTRUCT*>(lParam)->lpCreateParams));
    auto* self = reinterpret_cast<StartMenu*>(GetWindowLongPtr(window, GWL_USERDATA));
    if (self && window == self->m_window) {
        if (message == WM_PAINT) {
            self->paint();
            return 0;
        }
        RECT client;
        GetClientRect(window, &client);
        int x = GET_X_LPARAM(lParam), y = GET_Y_LPARAM(lParam);
        bool inside = x >= 0 && y >= 0 && x < client.right && y < client.bottom;
        if (message == WM_LBUTTONDOWN && !inside) {
            self->close();
            return 0;
        }
        if (message == WM_LBUTTONUP && inside) {
            int row = (y - 1) / std::max(1, self->m_row);
            if (row >= 0 && static_cast<size_t>(row) < self->m_entries.size()) {
                StartEntry e = self->m_entries[static_cast<size_t>(row)];
                self->close();
                StartProgram(e.target, e.arguments);
            }
            return 0;
        }
    }
    return DefWindowProc(window, message, wParam, lParam);
}

void StartMenu::paint()
{
    PAINTSTRUCT ps;
    HDC dc = BeginPaint(m_window, &ps);
    RECT client;
    GetClientRect(m_window, &client);
    if (m_surface.resize(client.right, client.bottom)) {
        m_surface.fill(client, kEdge);
        m_surface.fill(RECT { 1, 0, client.right - 1, client.bottom - 1 }, kPaper);
        int pad = m_row / 4;
        if (m_entries.empty())
            m_surface.text(pad, 1 + m_row / 5, u"(no programs)", m_font, kEmpty);
        for (size_t i = 0; i < m_entries.size(); ++i)
            m_surface.text(pad, 1 + static_cast<int>(i) * m_row + m_row / 5, m_entries[i].name, m_font, kInk);
        m_surface.copyTo(dc);
    }
    EndPaint(m_window, &ps);
}

}
