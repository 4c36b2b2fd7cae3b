#include "pocketsim/NotePad.h"

#include <aygshell.h>

#include <algorithm>
#include <vector>

namespace pocketsim {

namespace {

const char16_t kClass[] = u"pocketsim_notepad";
constexpr COLORREF kPaper = RGB(255, 255, 255);
constexpr COLORREF kInk = RGB(0, 0, 0);
constexpr COLORREF kRule = RGB(214, 226, 247);

bool ctrlDown()
{
    return (GetKeyState(VK_CONTROL) & 0x8000) != 0;
}

}

NotePad::~NotePad()
{
    if (m_window)
        DestroyWindow(m_window);
    UnregisterClass(kClass, nullptr);
    if (m_font)
        DeleteObject(m_font);
}

bool NotePad::create(HINSTANCE instance, RECT area)
{
    WNDCLASS wc {};
    wc.lpfnWndProc = windowProc;
    wc.hInstance = instance;
    wc.lpszClassName = kClass;
    RegisterClass(&wc);
    m_font = UiFont(9, false);
    HDC screen = GetDC(nullptr);
    HGDIOBJ old = SelectObject(screen, m_font);
    TEXTMETRICW tm {};
    if (GetTextMetrics(screen, &tm))
        m_lineHeight = tm.tmHeight + tm.tmExternalLeading + 1;
    SelectObject(screen, old);
    m_margin = GetDeviceCaps(screen, LOGPIXELSY) / 24;
    ReleaseDC(nullptr, screen);

    m_window = CreateWindowEx(0, kClass, u"Notes", WS_POPUP | WS_VISIBLE, area.left, area.top,
        area.right - area.left, area.bottom - area.top, nullptr, nullptr, instance, this);
    if (!m_window)
        return false;
    SetFocus(m_window);
    return true;
}

void NotePad::move(RECT area)
{
    MoveWindow(m_window, area.left, area.top, area.right - area.left, area.bottom - area.top, TRUE);
}

LRESULT CALLBACK NotePad::windowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_CREATE) {
        auto* cs = reinterpret_cast<CREATESTRUCT*>(lParam);
        SetWindowLongPtr(window, GWL_USERDATA, reinterpret_cast<LONG_PTR>(cs->lpCreateParams));
        // Shown at once, it takes the focus before its creation returns.
        static_cast<NotePad*>(cs->lpCreateParams)->m_window = window;
    }
    auto* self = reinterpret_cast<NotePad*>(GetWindowLongPtr(window, GWL_USERDATA));
    if (self && self->m_window == window)
        return self->handle(message, wParam, lParam);
    return DefWindowProc(window, message, wParam, lParam);
}

LRESULT NotePad::handle(UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_PAINT:
        paint();
        return 0;
    case WM_CHAR:
        onChar(static_cast<WCHAR>(wParam));
        return 0;
    case WM_KEYDOWN:
        onKey(static_cast<int>(wParam));
        return 0;
    case WM_LBUTTONDOWN:
        SetFocus(m_window);
        onTap(GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam));
        return 0;
    case WM_SETFOCUS:
        // Text to type into: the input panel comes up, as the device's own programs raise it
        // for their text. Where the focus goes next, that program decides about the panel.
        SHSipPreference(m_window, SIP_UP);
        break;
    case WM_SIZE:
        changed();
        break;
    case WM_DESTROY:
        SetWindowLongPtr(m_window, GWL_USERDATA, 0);
        m_window = nullptr;
        break;
    }
    return DefWindowProc(m_window, message, wParam, lParam);
}

void NotePad::onChar(WCHAR ch)
{
    switch (ch) {
    case 8:
        m_text.backspace();
        break;
    case 0x7F: // control and backspace
        m_text.delete_word_back();
        break;
    case 13:
    case 10:
        m_text.insert(u"\n");
        break;
    case 9:
        m_text.insert(u"    ");
        break;
    default:
        if (ch < 32)
            return; // other control combinations carry no text
        m_text.insert(std::u16string_view(&ch, 1));
    }
    changed();
}

void NotePad::onKey(int virtualKey)
{
    bool ctrl = ctrlDown();
    switch (virtualKey) {
    case VK_LEFT:
        ctrl ? m_text.word_left() : m_text.left();
        break;
    case VK_RIGHT:
        ctrl ? m_text.word_right() : m_text.right();
        break;
    case VK_UP:
        m_text.up();
        break;
    case VK_DOWN:
        m_text.down();
        break;
    case VK_HOME:
        ctrl ? m_text.text_start() : m_text.home();
        break;
    case VK_END:
        ctrl ? m_text.text_end() : m_text.end();
        break;
    case VK_DELETE:
        ctrl ? m_text.delete_word_forward() : m_text.delete_forward();
        break;
    case VK_BACK:
        // Control and backspace gives no character: the key itself deletes the word.
        if (ctrl)
            m_text.delete_word_back();
        else
            return;
        break;
    default:
        return;
    }
    changed();
}

void NotePad::onTap(int x, int y)
{
    if (y < m_margin)
        y = m_margin;
    size_t line = m_firstLine + static_cast<size_t>((y - m_margin) / m_lineHeight);
    line = std::min(line, m_text.line_count() - 1);
    std::u16string_view text = m_text.line(line);
    // The caret goes to the character boundary nearest to the tap.
    size_t column = 0;
    if (!text.empty() && x > m_margin) {
        std::vector<INT> extents(text.size());
        HDC dc = m_surface.dc() ? m_surface.dc() : nullptr;
        HDC screen = dc ? nullptr : GetDC(nullptr);
        HDC measure = dc ? dc : screen;
        HGDIOBJ old = SelectObject(measure, m_font);
        SIZE size;
        GetTextExtentExPoint(measure, text.data(), static_cast<int>(text.size()), 0, nullptr, extents.data(), &size);
        SelectObject(measure, old);
        if (screen)
            ReleaseDC(nullptr, screen);
        int target = x - m_margin;
        int previous = 0;
        for (column = 0; column < text.size(); ++column) {
            if (target < (previous + extents[column] + 1) / 2)
                break;
            previous = extents[column];
        }
    }
    m_text.set_caret(m_text.index_of(line, column));
    changed();
}

void NotePad::changed()
{
    if (!m_window)
        return;
    RECT client;
    GetClientRect(m_window, &client);
    size_t visible = static_cast<size_t>(std::max(1, (client.bottom - 2 * m_margin) / m_lineHeight));
    size_t line = m_text.line_of_caret();
    if (line < m_firstLine)
        m_firstLine = line;
    else if (line >= m_firstLine + visible)
        m_firstLine = line - visible + 1;
    InvalidateRect(m_window, nullptr, FALSE);
}

void NotePad::paint()
{
    PAINTSTRUCT ps;
    HDC dc = BeginPaint(m_window, &ps);
    RECT client;
    GetClientRect(m_window, &client);
    if (m_surface.resize(client.right, client.bottom)) {
        m_surface.fill(client, kPaper);
        size_t caretLine = m_text.line_of_caret();
        size_t lines = m_text.line_count();
        for (size_t i = m_firstLine; i < lines; ++i) {
            int y = m_margin + static_cast<int>(i - m_firstLine) * m_lineHeight;
            if (y >= client.bottom)
                break;
            m_surface.fill(RECT { m_margin, y + m_lineHeight - 1, client.right - m_margin, y + m_lineHeight }, kRule);
            std::u16string_view line = m_text.line(i);
            m_surface.text(m_margin, y, line, m_font, kInk);
            if (i == caretLine) {
                SIZE before {};
                size_t column = m_text.column_of_caret();
                if (column > 0) {
                    HGDIOBJ old = SelectObject(m_surface.dc(), m_font);
                    GetTextExtentPoint32(m_surface.dc(), line.data(), static_cast<int>(column), &before);
                    SelectObject(m_surface.dc(), old);
                }
                int x = m_margin + before.cx;
                m_surface.fill(RECT { x, y + 1, x + 1, y + m_lineHeight - 2 }, kInk);
            }
        }
        m_surface.copyTo(dc);
    }
    EndPaint(m_window, &ps);
}

}
