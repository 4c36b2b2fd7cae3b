#pragma once
// The focused application of the simulated device: a note pad whose text area takes the
// characters and editing keys that reach it (host keyboard, scripts, later the input panel).
#include "pocketsim/NoteText.h"
#include "panel_host/Surface.h"

#include <windows.h>

namespace pocketsim {

class NotePad {
public:
    NotePad() = default;
    ~NotePad();
    NotePad(const NotePad&) = delete;
    NotePad& operator=(const NotePad&) = delete;

    // A visible top-level window at the given screen rectangle.
    bool create(HINSTANCE instance, RECT area);
    void move(RECT area);
    HWND window() const { return m_window; }
    const std::u16string& text() const { return m_text.text(); }

private:
    static LRESULT CALLBACK windowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    LRESULT handle(UINT message, WPARAM wParam, LPARAM lParam);
    void onChar(WCHAR ch);
    void onKey(int virtualKey);
    void onTap(int x, int y);
    void paint();
    void changed();
    int lineHeight() const { return m_lineHeight; }

    HWND m_window = nullptr;
    HFONT m_font = nullptr;
    int m_lineHeight = 16;
    int m_margin = 4;
    size_t m_firstLine = 0;
    NoteText m_text;
    Surface m_surface;
};

}
