// The platform's edit control, class "Edit": one line that scrolls sideways (ES_AUTOHSCROLL)
// or several lines that wrap and scroll down (ES_MULTILINE, ES_AUTOVSCROLL). Its parent hears
// EN_CHANGE, EN_SETFOCUS and EN_KILLFOCUS through WM_COMMAND and picks its colours with
// WM_CTLCOLOREDIT. Line breaks are "\r\n" in the text, as on the device.
#include "linux/windows/win_internal.h"

#include <winbase.h>
#include <wingdi.h>

#include <algorithm>
#include <map>
#include <vector>

namespace wm {

namespace {

constexpr size_t kDefaultLimit = 0x7FFFFFFE;

struct Line {
    size_t start;
    size_t end; // excluding the line break
};

struct Edit {
    std::u16string text;
    size_t caret = 0;
    size_t anchor = 0; // the other end of the selection
    HFONT font = nullptr;
    int scrollX = 0; // single line: pixels scrolled to the left
    size_t firstLine = 0; // multi-line: the top line shown
    bool focused = false;
    size_t limit = kDefaultLimit;
};

std::mutex& editsLock()
{
    static std::mutex m;
    return m;
}

std::map<HWND, Edit>& edits()
{
    static std::map<HWND, Edit> table;
    return table;
}

// Window procedures run on the window's own thread, so the state is used without the lock
// once found; the lock guards the table.
Edit* editOf(HWND window)
{
    std::lock_guard g(editsLock());
    auto it = edits().find(window);
    return it == edits().end() ? nullptr : &it->second;
}

DWORD styleOf(HWND window)
{
    return static_cast<DWORD>(GetWindowLongPtr(window, GWL_STYLE));
}

bool multiLine(HWND window)
{
    return styleOf(window) & ES_MULTILINE;
}

int margin()
{
    return GetSystemMetrics(SM_CXBORDER) * 2;
}

// A device context with the edit's font, for measuring.
class Measure {
public:
    Measure(HWND window, HFONT font)
        : m_window(window)
        , m_dc(GetDC(window))
    {
        if (m_dc)
            m_old = SelectObject(m_dc, font ? static_cast<HGDIOBJ>(font) : GetStockObject(SYSTEM_FONT));
    }
    ~Measure()
    {
        if (m_dc) {
            SelectObject(m_dc, m_old);
            ReleaseDC(m_window, m_dc);
        }
    }
    Measure(const Measure&) = delete;
    Measure& operator=(const Measure&) = delete;

    int lineHeight()
    {
        TEXTMETRIC tm {};
        if (!m_dc || !GetTextMetrics(m_dc, &tm))
            return 16;
        return std::max<int>(1, tm.tmHeight + tm.tmExternalLeading);
    }
    // Pixel offset of each character boundary of text[0..count): out[i] = extent of i chars.
    std::vector<int> offsets(const char16_t* text, size_t count)
    {
        std::vector<int> out(count + 1, 0);
        if (!m_dc || count == 0)
            return out;
        std::vector<int> dx(count, 0);
        SIZE size;
        GetTextExtentExPoint(m_dc, reinterpret_cast<LPCWSTR>(text), static_cast<int>(count), 0, nullptr, dx.data(), &size);
        for (size_t i = 0; i < count; ++i)
            out[i + 1] = dx[i];
        return out;
    }
    int width(const char16_t* text, size_t count) { return offsets(text, count).back(); }

private:
    HWND m_window;
    HDC m_dc;
    HGDIOBJ m_old = nullptr;
};

bool isLowSurrogate(char16_t c)
{
    return c >= 0xDC00 && c <= 0xDFFF;
}

// Caret steps never split a surrogate pair or a "\r\n".
size_t stepLeft(const std::u16string& t, size_t i)
{
    if (i == 0)
        return 0;
    --i;
    if (i > 0 && (isLowSurrogate(t[i]) || (t[i] == u'\n' && t[i - 1] == u'\r')))
        --i;
    return i;
}

size_t stepRight(const std::u16string& t, size_t i)
{
    if (i >= t.size())
        return t.size();
    ++i;
    if (i < t.size() && (isLowSurrogate(t[i]) || (t[i] == u'\n' && t[i - 1] == u'\r')))
        ++i;
    return i;
}

// Lines as shown: broken at line breaks, and in a multi-line edit without sideways scrolling
// also where the next word would not fit.
std::vector<Line> layout(HWND window, const Edit& e, Measure& m)
{
    std::vector<Line> lines;
    const std::u16string& t = e.text;
    bool wrap = multiLine(window) && !(styleOf(window) & ES_AUTOHSCROLL);
    RECT client;
    GetClientRect(window, &client);
    int room = std::max(1, static_cast<int>(client.right) - 2 * margin());
    size_t start = 0;
    for (;;) {
        size_t end = multiLine(window) ? t.find(u'\n', start) : std::u16string::npos;
        size_t next = end == std::u16string::npos ? t.size() : end + 1;
        size_t stop = end == std::u16string::npos ? t.size() : (end > start && t[end - 1] == u'\r' ? end - 1 : end);
        if (wrap && stop > start) {
            std::vector<int> x = m.offsets(t.data() + start, stop - start);
            size_t from = 0;
            while (from < stop - start) {
                size_t fit = from;
                while (fit < stop - start && x[fit + 1] - x[from] <= room)
                    ++fit;
                if (fit == stop - start) {
                    lines.push_back(Line { start + from, stop });
                    from = fit;
                    break;
                }
                size_t cut = fit;
                while (cut > from && t[start + cut - 1] != u' ')
                    --cut;
                if (cut == from)
                    cut = std::max(fit, from + 1);
                lines.push_back(Line { start + from, start + cut });
                from = cut;
            }
            if (from == 0)
                lines.push_back(Line { start, stop });
        } else {
            lines.push_back(Line { start, stop });
        }
        if (end == std::u16string::npos)
            break;
        start = next;
    }
    return lines;
}

// The line that shows index; an index where a wrapped line ends shows on the next line.
size_t lineOf(const std::vector<Line>& lines, size_t index)
{
    size_t row = 0;
    for (size_t i = 0; i < lines.size(); ++i)
        if (lines[i].start <= index)
            row = i;
    return row;
}

// Brings the caret into view.
void scrollToCaret(HWND window, Edit& e)
{
    Measure m(window, e.font);
    RECT client;
    GetClientRect(window, &client);
    if (!multiLine(window)) {
        int x = m.width(e.text.data(), e.caret);
        int room = std::max(1, static_cast<int>(client.right) - 2 * margin());
        if (x - e.scrollX > room)
            e.scrollX = x - room;
        if (x - e.scrollX < 0)
            e.scrollX = x;
        e.scrollX = std::max(0, e.scrollX);
        return;
    }
    auto lines = layout(window, e, m);
    size_t line = lineOf(lines, e.caret);
    size_t visible = std::max<size_t>(1, static_cast<size_t>(std::max<LONG>(0, client.bottom - margin())) / m.lineHeight());
    if (line < e.firstLine)
        e.firstLine = line;
    if (line >= e.firstLine + visible)
        e.firstLine = line - visible + 1;
}

void notifyParent(HWND window, WORD code)
{
    HWND parent = GetParent(window);
    if (parent)
        SendMessage(parent, WM_COMMAND, MAKEWPARAM(GetDlgCtrlID(window), code), reinterpret_cast<LPARAM>(window));
}

// GetWindowText reads the title: it follows the text.
void syncTitle(HWND window, const Edit& e)
{
    Guard g(lock());
    if (Window* w = find(window))
        w->title = e.text;
}

void changed(HWND window, Edit& e)
{
    syncTitle(window, e);
    scrollToCaret(window, e);
    InvalidateRect(window, nullptr, FALSE);
    notifyParent(window, EN_CHANGE);
}

void replaceSelection(HWND window, Edit& e, std::u16string_view with)
{
    size_t a = std::min(e.caret, e.anchor), b = std::max(e.caret, e.anchor);
    size_t room = e.limit > e.text.size() - (b - a) ? e.limit - (e.text.size() - (b - a)) : 0;
    if (with.size() > room) {
        with = with.substr(0, room);
        notifyParent(window, EN_MAXTEXT);
    }
    e.text.replace(a, b - a, with);
    e.caret = e.anchor = a + with.size();
}

// Character index under a client point.
size_t hit(HWND window, Edit& e, int x, int y)
{
    Measure m(window, e.font);
    size_t start = 0, end = e.text.size();
    int left = margin();
    if (multiLine(window)) {
        auto lines = layout(window, e, m);
        size_t row = e.firstLine + static_cast<size_t>(std::max(0, (y - margin()) / m.lineHeight()));
        row = std::min(row, lines.size() - 1);
        start = lines[row].start;
        end = lines[row].end;
    } else {
        left -= e.scrollX;
    }
    std::vector<int> offsets = m.offsets(e.text.data() + start, end - start);
    size_t best = start;
    for (size_t i = 0; i <= end - start; ++i)
        if (left + offsets[i] <= x + (i < end - start ? (offsets[i + 1] - offsets[i]) / 2 : 0))
            best = start + i;
    // Never inside a surrogate pair.
    if (best > 0 && best < e.text.size() && isLowSurrogate(e.text[best]))
        --best;
    return best;
}

void paint(HWND window, Edit& e)
{
    PAINTSTRUCT ps;
    HDC dc = BeginPaint(window, &ps);
    if (!dc)
        return;
    RECT client;
    GetClientRect(window, &client);
    SetTextColor(dc, RGB(0, 0, 0));
    SetBkColor(dc, RGB(255, 255, 255));
    HWND parent = GetParent(window);
    auto brush = reinterpret_cast<HBRUSH>(parent ? SendMessage(parent, WM_CTLCOLOREDIT, reinterpret_cast<WPARAM>(dc), reinterpret_cast<LPARAM>(window)) : 0);
    if (!brush)
        brush = static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH));
    FillRect(dc, &client, brush);
    COLORREF ink = GetTextColor(dc);
    if (styleOf(window) & WS_BORDER) {
        HBRUSH edge = CreateSolidBrush(ink);
        RECT sides[4] = { { 0, 0, client.right, 1 }, { 0, client.bottom - 1, client.right, client.bottom },
            { 0, 0, 1, client.bottom }, { client.right - 1, 0, client.right, client.bottom } };
        for (RECT& r : sides)
            FillRect(dc, &r, edge);
        DeleteObject(edge);
    }
    HGDIOBJ oldFont = SelectObject(dc, e.font ? static_cast<HGDIOBJ>(e.font) : GetStockObject(SYSTEM_FONT));
    SetBkMode(dc, TRANSPARENT);
    Measure m(window, e.font);
    int lineHeight = m.lineHeight();
    int caretWidth = std::max(1, GetSystemMetrics(SM_CXBORDER));
    HBRUSH caretBrush = CreateSolidBrush(ink);
    auto drawLine = [&](size_t start, size_t end, int x, int y) {
        if (end > start) {
            RECT r { x, y, std::max<LONG>(client.right, x + 1), y + lineHeight };
            DrawText(dc, reinterpret_cast<LPCWSTR>(e.text.data() + start), static_cast<int>(end - start), &r,
                DT_LEFT | DT_TOP | DT_SINGLELINE | DT_NOPREFIX);
        }
        if (e.focused && e.caret >= start && e.caret <= end) {
            int cx = x + m.width(e.text.data() + start, e.caret - start);
            RECT c { cx, y, cx + caretWidth, y + lineHeight };
            FillRect(dc, &c, caretBrush);
        }
    };
    if (multiLine(window)) {
        auto lines = layout(window, e, m);
        int y = margin();
        for (size_t i = e.firstLine; i < lines.size() && y < client.bottom; ++i, y += lineHeight) {
            // The caret at the end of a wrapped line shows at the start of the next one.
            bool caretHere = lineOf(lines, e.caret) == i;
            bool focused = e.focused;
            e.focused = focused && caretHere;
            drawLine(lines[i].start, lines[i].end, margin(), y);
            e.focused = focused;
        }
    } else {
        drawLine(0, e.text.size(), margin() - e.scrollX, std::max(0, (static_cast<int>(client.bottom) - lineHeight) / 2));
    }
    DeleteObject(caretBrush);
    SelectObject(dc, oldFont);
    EndPaint(window, &ps);
}

bool onKey(HWND window, Edit& e, int key)
{
    bool shift = GetKeyState(VK_SHIFT) & 0x8000;
    size_t before = e.caret;
    switch (key) {
    case VK_LEFT:
        e.caret = stepLeft(e.text, e.caret);
        break;
    case VK_RIGHT:
        e.caret = stepRight(e.text, e.caret);
        break;
    case VK_HOME:
    case VK_END:
    case VK_UP:
    case VK_DOWN: {
        Measure m(window, e.font);
        auto lines = layout(window, e, m);
        size_t row = lineOf(lines, e.caret);
        if (key == VK_HOME)
            e.caret = lines[row].start;
        else if (key == VK_END)
            e.caret = lines[row].end;
        else {
            if ((key == VK_UP && row == 0) || (key == VK_DOWN && row + 1 >= lines.size()))
                return true;
            int x = m.width(e.text.data() + lines[row].start, e.caret - lines[row].start);
            size_t target = key == VK_UP ? row - 1 : row + 1;
            std::vector<int> offsets = m.offsets(e.text.data() + lines[target].start, lines[target].end - lines[target].start);
            size_t i = 0;
            while (i + 1 < offsets.size() && offsets[i + 1] <= x)
                ++i;
            e.caret = lines[target].start + i;
        }
        break;
    }
    case VK_DELETE:
        if (styleOf(window) & ES_READONLY)
            return true;
        if (e.caret == e.anchor)
            e.anchor = stepRight(e.text, e.caret);
        if (e.caret != e.anchor) {
            replaceSelection(window, e, u"");
            changed(window, e);
        }
        return true;
    default:
        return false;
    }
    if (!shift)
        e.anchor = e.caret;
    if (e.caret != before) {
        scrollToCaret(window, e);
        InvalidateRect(window, nullptr, FALSE);
    }
    return true;
}

void onChar(HWND window, Edit& e, WCHAR ch)
{
    DWORD style = styleOf(window);
    if (style & ES_READONLY)
        return;
    if (ch == 8) {
        if (e.caret == e.anchor)
            e.anchor = stepLeft(e.text, e.caret);
        if (e.caret != e.anchor) {
            replaceSelection(window, e, u"");
            changed(window, e);
        }
        return;
    }
    std::u16string insert;
    if (ch == 13 || ch == 10) {
        if (!(style & ES_MULTILINE))
            return;
        insert = u"\r\n";
    } else if (ch < 32 || ch == 127) {
        return;
    } else {
        if ((style & ES_NUMBER) && (ch < u'0' || ch > u'9'))
            return;
        if ((style & ES_UPPERCASE) && ch >= u'a' && ch <= u'z')
            ch = static_cast<WCHAR>(ch - 32);
        if ((style & ES_LOWERCASE) && ch >= u'A' && ch <= u'Z')
            ch = static_cast<WCHAR>(ch + 32);
        insert.assign(1, ch);
    }
    replaceSelection(window, e, insert);
    changed(window, e);
}

LRESULT CALLBACK editProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_NCCREATE) {
        auto* cs = reinterpret_cast<CREATESTRUCT*>(lParam);
        std::lock_guard g(editsLock());
        Edit& e = edits()[window];
        e.text = cs && cs->lpszName ? cs->lpszName : u"";
        if (cs && !(cs->style & ES_MULTILINE))
            e.text.erase(std::remove_if(e.text.begin(), e.text.end(), [](char16_t c) { return c == u'\r' || c == u'\n'; }), e.text.end());
        return TRUE;
    }
    Edit* e = editOf(window);
    if (!e)
        return DefWindowProc(window, message, wParam, lParam);
    switch (message) {
    case WM_NCDESTROY: {
        std::lock_guard g(editsLock());
        edits().erase(window);
        return 0;
    }
    case WM_PAINT:
        paint(window, *e);
        return 0;
    case WM_ERASEBKGND:
        return 1;
    case WM_SETTEXT: {
        e->text = lParam ? reinterpret_cast<LPCWSTR>(lParam) : u"";
        if (!multiLine(window))
            e->text.erase(std::remove_if(e->text.begin(), e->text.end(), [](char16_t c) { return c == u'\r' || c == u'\n'; }), e->text.end());
        if (e->text.size() > e->limit)
            e->text.resize(e->limit);
        e->caret = e->anchor = 0;
        e->scrollX = 0;
        e->firstLine = 0;
        DefWindowProc(window, message, wParam, reinterpret_cast<LPARAM>(e->text.c_str()));
        InvalidateRect(window, nullptr, FALSE);
        if (!multiLine(window))
            notifyParent(window, EN_CHANGE);
        return TRUE;
    }
    case WM_GETTEXT:
        return copyText(e->text, reinterpret_cast<LPWSTR>(lParam), static_cast<int>(wParam));
    case WM_GETTEXTLENGTH:
        return static_cast<LRESULT>(e->text.size());
    case WM_SETFONT:
        e->font = reinterpret_cast<HFONT>(wParam);
        scrollToCaret(window, *e);
        if (LOWORD(lParam))
            InvalidateRect(window, nullptr, FALSE);
        return 0;
    case WM_GETFONT:
        return reinterpret_cast<LRESULT>(e->font);
    case EM_GETSEL: {
        DWORD a = static_cast<DWORD>(std::min(e->caret, e->anchor)), b = static_cast<DWORD>(std::max(e->caret, e->anchor));
        if (wParam)
            *reinterpret_cast<DWORD*>(wParam) = a;
        if (lParam)
            *reinterpret_cast<DWORD*>(lParam) = b;
        return MAKELONG(std::min<DWORD>(a, 0xFFFF), std::min<DWORD>(b, 0xFFFF));
    }
    case EM_SETSEL: {
        auto start = static_cast<long>(static_cast<int>(wParam)), end = static_cast<long>(static_cast<int>(lParam));
        size_t size = e->text.size();
        if (start < 0) {
            e->anchor = e->caret; // no selection; the caret stays
        } else {
            size_t a = std::min<size_t>(static_cast<size_t>(start), size);
            size_t b = end < 0 ? size : std::min<size_t>(static_cast<size_t>(end), size);
            e->anchor = a;
            e->caret = b;
        }
        scrollToCaret(window, *e);
        InvalidateRect(window, nullptr, FALSE);
        return 0;
    }
    case EM_SCROLLCARET:
        scrollToCaret(window, *e);
        InvalidateRect(window, nullptr, FALSE);
        return TRUE;
    case EM_REPLACESEL:
        replaceSelection(window, *e, lParam ? reinterpret_cast<LPCWSTR>(lParam) : u"");
        changed(window, *e);
        return 0;
    case EM_LIMITTEXT:
        e->limit = wParam ? static_cast<size_t>(wParam) : kDefaultLimit;
        return 0;
    case EM_GETLINECOUNT: {
        Measure m(window, e->font);
        return static_cast<LRESULT>(layout(window, *e, m).size());
    }
    case EM_SETREADONLY: {
        DWORD style = styleOf(window);
        SetWindowLongPtr(window, GWL_STYLE, wParam ? (style | ES_READONLY) : (style & ~ES_READONLY));
        return TRUE;
    }
    case WM_LBUTTONDOWN:
        if (GetFocus() != window)
            SetFocus(window);
        e->caret = e->anchor = hit(window, *e, GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam));
        scrollToCaret(window, *e);
        InvalidateRect(window, nullptr, FALSE);
        return 0;
    case WM_KEYDOWN:
        if (onKey(window, *e, static_cast<int>(wParam)))
            return 0;
        break;
    case WM_CHAR:
        onChar(window, *e, static_cast<WCHAR>(wParam));
        return 0;
    case WM_SETFOCUS:
        e->focused = true;
        scrollToCaret(window, *e);
        InvalidateRect(window, nullptr, FALSE);
        notifyParent(window, EN_SETFOCUS);
        editFocusChanged(window);
        return 0;
    case WM_KILLFOCUS:
        e->focused = false;
        InvalidateRect(window, nullptr, FALSE);
        notifyParent(window, EN_KILLFOCUS);
        editFocusChanged(window);
        return 0;
    case WM_SIZE:
        scrollToCaret(window, *e);
        break;
    }
    return DefWindowProc(window, message, wParam, lParam);
}

}

bool registerEditClass()
{
    WNDCLASS wc {};
    wc.lpfnWndProc = editProc;
    wc.lpszClassName = u"Edit";
    return RegisterClass(&wc) != 0;
}

}
