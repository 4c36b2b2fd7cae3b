#include "pocketsim/Device.h"

#include <aygshell.h>
#include <simhost.h>

#include <algorithm>
#include <cstdio>

namespace pocketsim {

namespace {

const char16_t kBarClass[] = u"pocketsim_bar";
constexpr COLORREF kTaskbar = RGB(0, 40, 104);
constexpr COLORREF kTaskbarText = RGB(255, 255, 255);
constexpr COLORREF kStartOpen = RGB(40, 88, 168);
constexpr COLORREF kMenubar = RGB(214, 211, 206);
constexpr COLORREF kMenubarEdge = RGB(128, 128, 128);
constexpr COLORREF kKey = RGB(255, 255, 255);
constexpr COLORREF kKeyEdge = RGB(64, 64, 64);

}

void DeviceInput::send_char(WCHAR ch)
{
    SimTypeChar(ch);
}

void DeviceInput::send_virtual_key(int virtualKey, bool down)
{
    if (down)
        SimKeyDown(virtualKey);
    else
        SimKeyUp(virtualKey);
}

Device::~Device()
{
    SimSetShellWindow(nullptr);
    m_start.close();
    m_chooser.close();
    m_panel.reset();
    if (m_taskbar)
        DestroyWindow(m_taskbar);
    if (m_menubar)
        DestroyWindow(m_menubar);
    UnregisterClass(kBarClass, nullptr);
    if (m_titleFont)
        DeleteObject(m_titleFont);
}

bool Device::boot(HINSTANCE instance)
{
    WNDCLASS wc {};
    wc.lpfnWndProc = barProc;
    wc.hInstance = instance;
    wc.lpszClassName = kBarClass;
    RegisterClass(&wc);
    m_barHeight = GetSystemMetrics(SM_CYMENU);
    m_titleFont = UiFont(9, true);
    int width = GetSystemMetrics(SM_CXSCREEN), height = GetSystemMetrics(SM_CYSCREEN);
    m_taskbar = CreateWindowEx(WS_EX_TOPMOST | WS_EX_NOACTIVATE, kBarClass, u"Notes", WS_POPUP | WS_VISIBLE, 0, 0,
        width, m_barHeight, nullptr, nullptr, instance, this);
    m_menubar = CreateWindowEx(WS_EX_NOACTIVATE, kBarClass, u"", WS_POPUP | WS_VISIBLE, 0, height - m_barHeight, width,
        m_barHeight, nullptr, nullptr, instance, this);
    if (!m_taskbar || !m_menubar)
        return false;
    if (!m_notepad.create(instance, RECT { 0, m_barHeight, width, height - m_barHeight }))
        return false;
    SetForegroundWindow(m_notepad.window());
    SetFocus(m_notepad.window());
    m_instance = instance;
    // The taskbar is the shell: programs of the device tell it what they need of it, and it
    // clears up after programs that ended.
    SimSetShellWindow(m_taskbar);
    SetTimer(m_taskbar, 1, 250, nullptr);
    return true;
}

void Device::follow_foreground()
{
    HWND fg = GetForegroundWindow();
    DWORD state = fg ? SimShellState(fg) : 0;
    bool hide = (state & SHFS_HIDETASKBAR) != 0;
    if (state != m_shellState) {
        m_shellState = state;
        InvalidateRect(m_menubar, nullptr, FALSE);
    }
    if (hide != !IsWindowVisible(m_taskbar))
        ShowWindow(m_taskbar, hide ? SW_HIDE : SW_SHOWNA);
    if (hide)
        m_start.close();
    InvalidateRect(m_taskbar, nullptr, FALSE);
}

void Device::onShell(WPARAM what)
{
    switch (what) {
    case SIM_SHELL_FOREGROUND:
    case SIM_SHELL_FULLSCREEN:
        follow_foreground();
        break;
    }
}

void Device::set_input_panel(std::unique_ptr<InputPanel> panel)
{
    m_panel = std::move(panel);
    m_panelShown = m_panel && m_panel->shown();
    if (m_panel)
        m_panel->changed = [this] { panelChanged(); };
    // Taps on the panel never take the foreground from the program that is typed into.
    if (m_panel && m_panel->window())
        SetWindowLongPtr(m_panel->window(), GWL_EXSTYLE, GetWindowLongPtr(m_panel->window(), GWL_EXSTYLE) | WS_EX_NOACTIVATE);
    layout();
}

bool Device::show_panel(bool show)
{
    if (!m_panel)
        return false;
    if (show)
        m_panel->show();
    else
        m_panel->hide();
    panelChanged();
    return true;
}

// However the panel came up or down (its button, a script, a program's SipShowIM), it stays in
// front of every program while up. (The panel host itself tells every program that the panel
// changed.)
void Device::panelChanged()
{
    m_panelShown = m_panel && m_panel->shown();
    if (m_panelShown && m_panel->window())
        SetWindowPos(m_panel->window(), HWND_TOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
    layout();
    InvalidateRect(m_menubar, nullptr, FALSE);
}

void Device::layout()
{
    int width = GetSystemMetrics(SM_CXSCREEN), height = GetSystemMetrics(SM_CYSCREEN);
    MoveWindow(m_taskbar, 0, 0, width, m_barHeight, TRUE);
    MoveWindow(m_menubar, 0, height - m_barHeight, width, m_barHeight, TRUE);
    int bottom = height - m_barHeight;
    if (m_panel) {
        RECT area { 0, bottom - m_panel->height(), width, bottom };
        m_panel->place(area);
        if (m_panelShown)
            bottom = area.top;
    }
    m_notepad.move(RECT { 0, m_barHeight, width, bottom });
}

RECT Device::startButton() const
{
    return RECT { 0, 0, m_barHeight * 3 / 2, m_barHeight };
}

RECT Device::panelButton() const
{
    int size = m_barHeight - 4;
    int width = GetSystemMetrics(SM_CXSCREEN);
    return RECT { width / 2 - size, 2, width / 2 + size, 2 + size };
}

// The arrow beside the panel button that opens the list of input methods.
RECT Device::chooserButton() const
{
    RECT b = panelButton();
    int width = (b.bottom - b.top) / 2;
    return RECT { b.right, b.top, b.right + width, b.bottom };
}

LRESULT CALLBACK Device::barProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_CREATE)
        SetWindowLongPtr(window, GWL_USERDATA,
            reinterpret_cast<LONG_PTR>(reinterpret_cast<CREATESTRUCT*>(lParam)->lpCreateParams));
    auto* self = reinterpret_cast<Device*>(GetWindowLongPtr(window, GWL_USERDATA));
    if (self) {
        if (message == WM_PAINT) {
            self->paintBar(window);
            return 0;
        }
        // The screen turned: the shell places everything again (once, from the taskbar), and
        // the programs hear that the work area moved.
        if (message == WM_SETTINGCHANGE && wParam == SETTINGCHANGE_RESET && window == self->m_taskbar) {
            self->layout();
            self->m_start.close();
            PostMessage(HWND_BROADCAST, WM_SETTINGCHANGE, SPI_SETWORKAREA, 0);
        }
        if (message == SIM_WM_SHELL && window == self->m_taskbar) {
            self->onShell(wParam);
            return 0;
        }
        if (message == WM_TIMER && window == self->m_taskbar) {
            SimReapEndedPrograms();
            return 0;
        }
        if (message == WM_LBUTTONDOWN && window == self->m_taskbar) {
            RECT b = self->startButton();
            int x = GET_X_LPARAM(lParam), y = GET_Y_LPARAM(lParam);
            if (!(self->m_shellState & SHFS_HIDESTARTICON) && x >= b.left && x < b.right && y >= b.top && y < b.bottom)
                self->m_start.toggle(self->m_instance, self->m_barHeight, self->m_taskbar);
            InvalidateRect(window, nullptr, FALSE);
            return 0;
        }
        if (message == WM_LBUTTONDOWN && window == self->m_menubar) {
            RECT b = self->panelButton();
            int x = GET_X_LPARAM(lParam), y = GET_Y_LPARAM(lParam);
            if (!(self->m_shellState & SHFS_HIDESIPBUTTON) && x >= b.left && x < b.right && y >= b.top && y < b.bottom)
                self->show_panel(!self->m_panelShown);
            RECT c = self->chooserButton();
            if (self->m_panel && x >= c.left && x < c.right && y >= c.top && y < c.bottom) {
                RECT bar;
                GetWindowRect(window, &bar);
                self->m_chooser.toggle(nullptr, bar.left + c.right, bar.top);
            }
            return 0;
        }
    }
    return DefWindowProc(window, message, wParam, lParam);
}

void Device::paintBar(HWND window)
{
    PAINTSTRUCT ps;
    HDC dc = BeginPaint(window, &ps);
    RECT client;
    GetClientRect(window, &client);
    if (m_surface.resize(client.right, client.bottom)) {
        if (window == m_taskbar) {
            m_surface.fill(client, kTaskbar);
            // The Start flag: four coloured panes.
            RECT s = startButton();
            int unit = std::max<int>(2, m_barHeight / 4);
            int fx = (s.left + s.right) / 2 - unit, fy = m_barHeight / 2 - unit;
            if (m_start.open())
                m_surface.fill(s, kStartOpen);
            if (!(m_shellState & SHFS_HIDESTARTICON)) {
                m_surface.fill(RECT { fx, fy, fx + unit - 1, fy + unit - 1 }, RGB(232, 72, 40));
                m_surface.fill(RECT { fx + unit, fy, fx + 2 * unit - 1, fy + unit - 1 }, RGB(96, 184, 56));
                m_surface.fill(RECT { fx, fy + unit, fx + unit - 1, fy + 2 * unit - 1 }, RGB(48, 120, 232));
                m_surface.fill(RECT { fx + unit, fy + unit, fx + 2 * unit - 1, fy + 2 * unit - 1 }, RGB(248, 200, 32));
            }
            // The title of the program in front.
            WCHAR title[64] = {};
            HWND fg = GetForegroundWindow();
            if (!fg || !GetWindowText(fg, title, 64))
                GetWindowText(m_notepad.window(), title, 64);
            m_surface.text(s.right, m_barHeight / 6, title, m_titleFont, kTaskbarText);
        } else {
            m_surface.fill(client, kMenubar);
            m_surface.fill(RECT { 0, 0, client.right, 1 }, kMenubarEdge);
            // The input panel button: a small keyboard.
            RECT b = panelButton();
            if (m_shellState & SHFS_HIDESIPBUTTON)
                b = RECT {};
            m_surface.fill(b, kKeyEdge);
            m_surface.fill(RECT { b.left + 1, b.top + 1, b.right - 1, b.bottom - 1 }, m_panelShown ? kMenubar : kKey);
            if (m_panel) {
                // A small arrow pointing up: the list of input methods.
                RECT c = chooserButton();
                int size = (c.right - c.left) / 2, cx = (c.left + c.right) / 2, top = (c.top + c.bottom - size / 2) / 2;
                for (int row = 0; row <= size / 2; ++row)
                    m_surface.fill(RECT { cx - row, top + row, cx + row + 1, top + row + 1 }, kKeyEdge);
            }
            // The current input method's picture, else a small keyboard of the device's own.
            if (m_panel && m_panel->draw_button(m_surface.dc(), RECT { b.left + 1, b.top + 1, b.right - 1, b.bottom - 1 })) {
                m_surface.copyTo(dc);
                EndPaint(window, &ps);
                return;
            }
            // Two rows of three keys over a space bar, on a grid of seven units.
            int unit = std::max<int>(1, (b.bottom - b.top) / 7);
            int left = (b.left + b.right - 5 * unit) / 2, top = b.top + unit;
            for (int row = 0; row < 2 && b.right > b.left; ++row)
                for (int col = 0; col < 3; ++col) {
                    int x = left + col * unit * 2, y = top + row * unit * 2;
                    m_surface.fill(RECT { x, y, x + unit, y + unit }, kKeyEdge);
                }
            if (b.right > b.left)
                m_surface.fill(RECT { left, top + unit * 4, left + unit * 5, top + unit * 5 }, kKeyEdge);
        }
        m_surface.copyTo(dc);
    }
    EndPaint(window, &ps);
}

}
