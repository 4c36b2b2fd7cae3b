#include "ui/GameBase.h"

#include <algorithm>
#include <cstring>

#include "runtime/Log.h"
#include "runtime/OrientationObserver.h"
#include "runtime/Registry.h"
#include "ui/KeyTranslation.h"
#include "ui/Shell.h"
#include "skin/drawing/Canvas.h"
#include "skin/drawing/DibPixelBuffer.h"
#include "skin/file/DisplayInfo.h"
#include "skin/text/FontRep.h"
#include "skin/elements/TextElement.h"

// The edit control's messages and styles.
#ifndef WM_SETFONT
#define WM_SETFONT 0x0030
#endif
#ifndef EM_SETSEL
#define EM_SETSEL 0x00B1
#endif
#ifndef EN_CHANGE
#define EN_CHANGE 0x0300
#endif

namespace {

constexpr char16_t kTarnKey[] = u"HKEY_CURRENT_USER\\Software\\Tarn";
constexpr DWORD kStyleMultiLine = 0x44; // multi-line, scrolling vertically
constexpr DWORD kStyleSingleLine = 0x80; // scrolling horizontally
// Setting changes that can move or resize the client area.
constexpr WPARAM kSettingReset = 0x3002;
constexpr WPARAM kSettingWorkArea = 47;
constexpr WPARAM kSettingSipInfo = 224;

void log_step(int step)
{
    Log().append(static_cast<long long>(GetTickCount())).append(u" GameBase ").append(step).append(u"\n");
}

COLORREF to_colorref(SkinColor c)
{
    return RGB(c.red, c.green, c.blue);
}

std::u16string key_name(KeyCode code)
{
    const char* name = key_code_name(static_cast<int>(code));
    std::u16string out;
    for (; name && *name; ++name)
        out.push_back(static_cast<unsigned char>(*name));
    return out;
}

}

GameBase::GameBase(HINSTANCE module, std::u16string_view application_name, GameClient& client)
    : Application(module, application_name)
    , m_client(client)
{
    DWORD preference = 0;
    if (RegReadNumber(kTarnKey, u"SIPPreference", preference))
        m_sipPreferenceValue = preference ? 1 : 0;
    m_lastTick = GetTickCount();

    s_target = this;
    log_step(0);
    log_step(1);
    WNDCLASS wc {};
    wc.style = CS_HREDRAW | CS_VREDRAW;
    wc.lpfnWndProc = window_proc;
    wc.hInstance = module;
    wc.hIcon = shell::load_icon(module, 116);
    wc.hCursor = LoadCursor(nullptr, IDC_ARROW);
    wc.lpszClassName = window_class_name().c_str();
    ATOM atom = RegisterClass(&wc);
    log_step(2);
    if (!atom)
        return;
    log_step(3);
    read_screen(m_screen);
    log_step(4);
    CreateWindowEx(0, window_class_name().c_str(), this->application_name().c_str(), WS_VISIBLE, 0, 0, m_screen.width,
        m_screen.height, nullptr, nullptr, module, nullptr);
    log_step(5);
    // A later start waiting for this window may now look for it.
    if (HANDLE mutex = single_instance_mutex()) {
        ReleaseMutex(mutex);
        CloseHandle(mutex);
        set_single_instance_mutex(nullptr);
    }
    start_timer();
}

GameBase::~GameBase()
{
    stop_timer();
    s_target = nullptr;
    destroy_edit_window();
    m_commandLines.clear();
    m_windowBitmap.reset();
    close_direct_display();
    // A window still open (the loop never ran to its end) goes with the layer that drew it.
    if (m_window && IsWindow(m_window))
        DestroyWindow(m_window);
    m_window = nullptr;
    UnregisterClass(window_class_name().c_str(), module());
}

// ---- loop and ticks --------------------------------------------------------------------

int GameBase::Run()
{
    for (;;) {
        if (m_inactive || m_suspended || !m_direct) {
            BOOL result = GetMessage(&m_lastMessage, nullptr, 0, 0);
            if (result == 0 || result == -1)
                break;
        } else {
            if (!PeekMessage(&m_lastMessage, nullptr, 0, 0, PM_REMOVE)) {
                tick(false);
                Sleep(10);
                continue;
            }
            if (m_lastMessage.message == WM_QUIT)
                break;
        }
        TranslateMessage(&m_lastMessage);
        DispatchMessage(&m_lastMessage);
    }
    return static_cast<int>(m_lastMessage.wParam);
}

double GameBase::tick_seconds(DWORD elapsed_ms)
{
    return std::clamp(elapsed_ms * 0.001, 0.001, 0.1);
}

void GameBase::tick(bool skip_if_unchanged)
{
    DWORD now = GetTickCount();
    if (skip_if_unchanged && now == m_lastTick)
        return;
    double seconds = tick_seconds(now - m_lastTick);
    m_lastTick = now;
    m_client.tick(seconds);
    if (m_client.needs_redraw(true) && m_direct)
        paint_direct();
}

void GameBase::paint_direct()
{
    PixelBuffer* frame = m_direct->lock();
    if (!frame)
        return; // this frame is skipped
    Canvas canvas(frame);
    m_client.paint(canvas);
    m_direct->unlock();
}

void GameBase::start_timer()
{
    if (m_window)
        SetTimer(m_window, kTimerId, kTimerPeriod, nullptr);
    m_timerRunning = m_window != nullptr;
}

void GameBase::stop_timer()
{
    if (m_window && m_timerRunning)
        KillTimer(m_window, kTimerId);
    m_timerRunning = false;
}

// ---- window procedure -------------------------------------------------------------------

LRESULT CALLBACK GameBase::window_proc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (!s_target)
        return DefWindowProc(window, message, wParam, lParam);
    return s_target->handle(window, message, wParam, lParam);
}

DWORD GameBase::message_time() const
{
    return static_cast<DWORD>(GetMessageTime());
}

LRESULT GameBase::handle(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    ApplicationListener* listener = m_client.listener();
    switch (message) {
    case WM_CREATE:
        on_create(window);
        break;
    case WM_DESTROY:
        if (window == m_window)
            PostQuitMessage(0);
        break;
    case WM_ACTIVATE:
        on_activate(LOWORD(wParam) != WA_INACTIVE);
        break;
    case WM_PAINT:
        on_paint(window);
        break;
    case WM_CLOSE:
        if (!listener || listener->close_requested())
            DestroyWindow(window);
        return 0;
    case WM_SETTINGCHANGE:
        if (wParam == kSettingReset || wParam == kSettingWorkArea || wParam == kSettingSipInfo)
            ResolutionChanged();
        break;
    case WM_COPYDATA:
        on_copy_data(reinterpret_cast<const COPYDATASTRUCT*>(lParam));
        break;
    case kCommandLineMessage:
        on_command_line();
        break;
    case WM_HELP:
        if (listener)
            listener->help_requested();
        break;
    case WM_KEYDOWN:
    case WM_KEYUP:
        on_key(message, wParam, lParam);
        break;
    case WM_CHAR:
        Log().append(u"WM_CHAR=").append(std::u16string(1, static_cast<char16_t>(wParam)))
            .append(u" lParam=").append(static_cast<long long>(lParam))
            .append(u" ticks=").append(static_cast<long long>(GetTickCount())).append(u"\n");
        if (wParam >= 32)
            m_client.text(std::u16string(1, static_cast<char16_t>(wParam)));
        break;
    case WM_HOTKEY:
        on_hot_key(wParam, lParam);
        break;
    case WM_COMMAND:
        if (HIWORD(wParam) == EN_CHANGE && m_edit && reinterpret_cast<HWND>(lParam) == m_edit && m_focused)
            on_edit_changed();
        break;
    case WM_CTLCOLOREDIT:
        if (m_edit && reinterpret_cast<HWND>(lParam) == m_edit && m_focused) {
            HDC dc = reinterpret_cast<HDC>(wParam);
            SetTextColor(dc, to_colorref(m_focused->color()));
            SetBkColor(dc, to_colorref(m_focused->background()));
            return reinterpret_cast<LRESULT>(m_editBrush);
        }
        return DefWindowProc(window, message, wParam, lParam);
    case WM_TIMER:
        on_timer();
        break;
    case WM_MOUSEMOVE:
        m_suspended = false;
        m_client.pointer_moved(PointerEvent { GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam), message_time(), false, false });
        break;
    case WM_LBUTTONDOWN:
        m_lastUpX = kNoPosition;
        m_lastUpY = kNoPosition;
        SetCapture(m_window);
        m_suspended = false;
        m_client.pointer_pressed(PointerEvent { GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam), message_time(), true, false });
        break;
    case WM_LBUTTONUP:
        m_lastUpX = GET_X_LPARAM(lParam);
        m_lastUpY = GET_Y_LPARAM(lParam);
        // The release itself is delivered when the capture goes.
        ReleaseCapture();
        break;
    case WM_CAPTURECHANGED:
        on_capture_changed();
        break;
    default:
        break;
    }
    return DefWindowProc(window, message, wParam, lParam);
}

void GameBase::on_activate(bool active)
{
    ApplicationListener* listener = m_client.listener();
    if (active) {
        place_window();
        m_inactive = false;
        m_suspended = false;
        if (listener)
            listener->activated();
    } else {
        m_inactive = true;
        if (listener)
            listener->deactivated();
    }
}

// The edit control's text, as the user changed it, into the focused element.
void GameBase::on_edit_changed()
{
    int length = GetWindowTextLength(m_edit);
    std::u16string text(static_cast<size_t>(std::max(length, 0)) + 1, u'\0');
    int got = GetWindowText(m_edit, text.data(), length + 1);
    text.resize(static_cast<size_t>(std::max(got, 0)));
    m_focused->set_text(text);
}

void GameBase::on_create(HWND window)
{
    m_window = window;
    UINT resource = (is_smartphone() || shell::platform_major_version() >= 5) ? 1117 : 117;
    if (shell::create_menu_bar(window, module(), resource, m_menuBar) && m_menuBar) {
        RECT r {};
        GetWindowRect(m_menuBar, &r);
        m_menuBarHeight = r.bottom - r.top;
    }
    place_window();
}

void GameBase::on_key(UINT message, WPARAM wParam, LPARAM lParam)
{
    m_suspended = false;
    bool down = message == WM_KEYDOWN;
    KeyEvent event;
    event.key = translate_virtual_key(static_cast<int>(wParam));
    event.down = down;
    event.first_press = down ? (lParam & (1L << 30)) == 0 : true;
    Log().append(down ? u"WM_KEYDOWN = " : u"WM_KEYUP = ").append(static_cast<long long>(wParam))
        .append(u"(").append(key_name(event.key)).append(u")")
        .append(u" lParam=").append(static_cast<long long>(lParam))
        .append(u" ticks=").append(static_cast<long long>(GetTickCount())).append(u"\n");
    ApplicationListener* listener = m_client.listener();
    if (!listener || !listener->key(event))
        m_client.key(event);
}

void GameBase::on_hot_key(WPARAM wParam, LPARAM lParam)
{
    m_suspended = false;
    KeyEvent event;
    event.key = translate_virtual_key(HIWORD(lParam));
    event.down = (LOWORD(lParam) & 0x1000) == 0;
    event.first_press = true;
    Log().append(u"WM_HOTKEY = ").append(static_cast<long long>(wParam))
        .append(u"(").append(key_name(event.key)).append(u")")
        .append(u" lParam=").append(static_cast<long long>(lParam))
        .append(u" ticks=").append(static_cast<long long>(GetTickCount())).append(u"\n");
    m_client.key(event);
}

void GameBase::on_copy_data(const COPYDATASTRUCT* data)
{
    if (!data || data->dwData != 0)
        return;
    std::u16string text(data->cbData / 2, u'\0');
    if (!text.empty() && data->lpData)
        std::memcpy(text.data(), data->lpData, text.size() * 2);
    else
        text.clear();
    if (text == u"%CommandLineEmpty%")
        text.clear();
    m_commandLines.push_back(std::move(text));
    // The sender waits until this returns: hand the line on later, from the queue.
    PostMessage(m_window, kCommandLineMessage, 0, 0);
}

void GameBase::on_command_line()
{
    if (m_commandLines.empty())
        return;
    std::u16string line = std::move(m_commandLines.front());
    m_commandLines.pop_front();
    if (ApplicationListener* listener = m_client.listener())
        listener->command_line_received(line);
}

void GameBase::on_timer()
{
    if (m_inactive || m_suspended || m_direct)
        return;
    DWORD now = GetTickCount();
    double seconds = tick_seconds(now - m_lastTick);
    m_lastTick = now;
    m_client.tick(seconds);
    InvalidateRect(m_window, nullptr, FALSE);
}

void GameBase::on_capture_changed()
{
    m_suspended = false;
    PointerEvent event;
    event.x = m_lastUpX;
    event.y = m_lastUpY;
    event.time = message_time();
    event.down = false;
    event.cancelled = m_lastUpX == kNoPosition && m_lastUpY == kNoPosition;
    m_client.pointer_pressed(event);
}

void GameBase::on_paint(HWND window)
{
    PAINTSTRUCT ps {};
    HDC dc = BeginPaint(window, &ps);
    ScreenRecord area = ClientArea();
    int width = area.client_width;
    int height = area.client_height;
    if (!m_windowBitmap || m_windowBitmap->width() != width || m_windowBitmap->height() != height) {
        m_windowBitmap.reset();
        m_windowBitmap = DibPixelBuffer::create(width, height);
    }
    if (m_windowBitmap && dc) {
        Canvas canvas(m_windowBitmap.get());
        m_client.paint(canvas);
        BitBlt(dc, 0, 0, width, height, m_windowBitmap->dc(), 0, 0, SRCCOPY);
    }
    EndPaint(window, &ps);
}

// ---- screen, client area and placement ----------------------------------------------------

void GameBase::read_screen(ScreenRecord& record) const
{
    HDC dc = GetDC(nullptr);
    record.width = GetDeviceCaps(dc, HORZRES);
    record.height = GetDeviceCaps(dc, VERTRES);
    record.dpi = GetDeviceCaps(dc, LOGPIXELSY);
    ReleaseDC(nullptr, dc);
    record.client_x = 0;
    record.client_y = 0;
    record.client_width = record.width;
    record.client_height = record.height;
    record.orientation = DisplayInfo::query().orientation;
}

int GameBase::smartphone_bottom_reserve(int width)
{
    switch (width) {
    case 176: return 20;
    case 240:
    case 320:
    case 400: return 27;
    case 352: return 40;
    case 480:
    case 640:
    case 800: return 54;
    default: return 0;
    }
}

ScreenRecord GameBase::ClientArea() const
{
    ScreenRecord r = m_screen;
    if (!m_windowed && !m_focused) {
        r.client_x = 0;
        r.client_y = 0;
        r.client_width = m_displayWidth;
        r.client_height = m_displayHeight;
        r.orientation = m_displayOrientation;
        return r;
    }
    int top = 0;
    int bottom = 0;
    if (is_smartphone()) {
        top = bottom = smartphone_bottom_reserve(r.width);
    } else {
        top = r.dpi < 97 ? 26 : 52;
        RECT visible {};
        // A panel's visible desktop reaching below this screen (a desktop's programs have a
        // screen of their own above the panel) reserves nothing; it never makes the client
        // taller than the screen.
        bottom = shell::sip_shown(&visible) ? std::max(0, r.height - static_cast<int>(visible.bottom)) : top;
    }
    if (m_taskbarVisible) {
        r.client_x = 0;
        r.client_y = top;
    }
    r.client_width = r.width - r.client_x;
    r.client_height = r.height - bottom - r.client_y;
    return r;
}

void GameBase::place_window()
{
    if (!m_window)
        return;
    ScreenRecord c = ClientArea();
    if (m_windowed || m_focused) {
        MoveWindow(m_window, c.client_x, c.client_y, c.client_width, c.client_height, TRUE);
        shell::set_full_screen(m_window, m_taskbarVisible, true);
        if (m_menuBar)
            MoveWindow(m_menuBar, 0, c.height - m_menuBarHeight, c.width, m_menuBarHeight, TRUE);
    } else {
        MoveWindow(m_window, 0, 0, c.client_width, c.client_height, TRUE);
        shell::set_full_screen(m_window, false, false);
        // Below the screen it is never seen; moving it with a repaint makes the device's screen
        // give up the place it had, which the stand-in otherwise keeps showing.
        if (m_menuBar)
            MoveWindow(m_menuBar, 0, c.height, c.width, m_menuBarHeight, TRUE);
    }
}

void GameBase::ResolutionChanged()
{
    ScreenRecord fresh = m_screen;
    read_screen(fresh);
    if (!(fresh == m_screen)) {
        if (fresh.orientation != m_screen.orientation)
            OrientationObservers::notify();
        m_screen = fresh;
        Log().append(u"Application::ResolutionChanged 2\n");
        if (ApplicationListener* listener = m_client.listener())
            listener->resolution_changed();
    }
    place_window();
}

bool GameBase::is_smartphone()
{
    static const bool smartphone = [] {
        WCHAR type[200] {};
        SystemParametersInfo(SPI_GETPLATFORMTYPE, sizeof(type), type, 0);
        type[199] = 0;
        std::u16string text(type);
        Log().append(u"static_capability_is_smartphone=").append(text).append(u"\n");
        for (char16_t& c : text)
            if (c >= u'A' && c <= u'Z')
                c = static_cast<char16_t>(c - u'A' + u'a');
        return text == u"smartphone";
    }();
    return smartphone;
}

// ---- display modes ------------------------------------------------------------------------

void GameBase::open_direct_display()
{
    m_direct = shell::DirectDisplay::open(m_window);
    if (m_direct) {
        m_displayWidth = m_direct->width();
        m_displayHeight = m_direct->height();
    }
}

void GameBase::close_direct_display()
{
    m_direct.reset();
}

void GameBase::SetWindowed(bool taskbar_visible)
{
    if (m_windowed && m_taskbarVisible == taskbar_visible)
        return;
    m_windowed = true;
    m_taskbarVisible = taskbar_visible;
    if (m_focused)
        return;
    m_client.set_needs_redraw();
    close_direct_display();
    start_timer();
    place_window();
}

void GameBase::SetDirectDisplay(int orientation)
{
    if (orientation == m_displayOrientation && !m_windowed)
        return;
    m_displayOrientation = orientation;
    m_windowed = false;
    close_direct_display();
    if (m_focused)
        return;
    m_client.set_needs_redraw();
    open_direct_display();
    if (!m_direct) {
        // Without a frame buffer to draw into, the window system draws: nothing would tick
        // otherwise.
        m_windowed = true;
        start_timer();
        place_window();
        return;
    }
    if (!m_client.has_forms()) {
        HDC screen = GetDC(nullptr);
        auto copy = DibPixelBuffer::create(m_screen.width, m_screen.height);
        if (copy && screen) {
            BitBlt(copy->dc(), 0, 0, m_screen.width, m_screen.height, screen, 0, 0, SRCCOPY);
            m_client.take_background(*copy);
        }
        ReleaseDC(nullptr, screen);
    }
    stop_timer();
    if (!m_rawKeys)
        shell::close_raw_key_input();
    place_window();
}

void GameBase::SetRawKeyInput(bool on)
{
    if (m_rawKeys == on)
        return;
    m_rawKeys = on;
    if (m_direct) {
        if (on)
            shell::open_raw_key_input(m_window);
        else
            shell::close_raw_key_input();
    }
}

void GameBase::BringToFront()
{
    if (!m_window)
        return;
    ShowWindow(m_window, SW_SHOW);
    SetForegroundWindow(m_window);
}

// ---- text fields ----------------------------------------------------------------------------

void GameBase::FocusEdit(EditElement* field, bool native_control)
{
    if ((m_focused != nullptr) == (field != nullptr)) {
        // From one field straight to another: the same edit window, input panel and drawing
        // mode serve the new field, but the window must show the new field's text and place,
        // or the next change would write the old field's text into the new one.
        m_focused = field;
        if (field && native_control && m_edit)
            create_edit_window(*field);
        return;
    }
    m_focused = field;
    m_client.set_needs_redraw();
    if (field) {
        close_direct_display();
        start_timer();
    } else if (!m_windowed) {
        open_direct_display();
        if (m_direct) {
            stop_timer();
            if (!m_rawKeys)
                shell::close_raw_key_input();
        } else {
            m_windowed = true;
        }
    }
    place_window();
    if (field) {
        if (m_sipPreferenceValue == 1)
            shell::show_sip(true);
    } else {
        m_sipPreferenceValue = shell::sip_shown(nullptr) ? 1 : 0;
        RegWriteNumber(kTarnKey, u"SIPPreference", static_cast<DWORD>(m_sipPreferenceValue));
        shell::show_sip(false);
    }
    if (native_control) {
        if (field)
            create_edit_window(*field);
        else
            destroy_edit_window();
    }
}

void GameBase::create_edit_window(EditElement& field)
{
    POINT pos = field.position();
    POINT size = field.size();
    if (!m_edit) {
        DWORD style = WS_CHILD | WS_VISIBLE | (field.wrap() ? kStyleMultiLine : kStyleSingleLine);
        m_edit = CreateWindowEx(0, u"Edit", u"", style, pos.x, pos.y, size.x, size.y, m_window, nullptr, module(), nullptr);
        if (!m_extraControlsReady) {
            shell::init_extra_controls();
            m_extraControlsReady = true;
        }
        if (!m_sipPreference)
            m_sipPreference = CreateWindowEx(0, u"SIPPREF", u"", WS_CHILD, 0, 0, 0, 0, m_window, nullptr, module(), nullptr);
    } else {
        MoveWindow(m_edit, pos.x, pos.y, size.x, size.y, TRUE);
    }
    if (m_editBrush)
        shell::delete_brush(m_editBrush);
    m_editBrush = shell::create_solid_brush(to_colorref(field.background()));
    if (!m_edit)
        return;
    const std::u16string& text = field.text();
    SetWindowText(m_edit, text.c_str());
    SendMessage(m_edit, EM_SETSEL, text.size(), text.size());
    if (field.font())
        SendMessage(m_edit, WM_SETFONT, reinterpret_cast<WPARAM>(field.font()->handle()), TRUE);
    SetFocus(m_edit);
}

void GameBase::destroy_edit_window()
{
    if (m_edit)
        DestroyWindow(m_edit);
    if (m_sipPreference)
        DestroyWindow(m_sipPreference);
    if (m_editBrush)
        shell::delete_brush(m_editBrush);
    m_edit = nullptr;
    m_sipPreference = nullptr;
    m_editBrush = nullptr;
}

void GameBase::EditMoved(EditElement* field)
{
    if (!field || field != m_focused || !m_edit)
        return;
    POINT pos = field->position();
    POINT size = field->size();
    MoveWindow(m_edit, pos.x, pos.y, size.x, size.y, TRUE);
}
