#pragma once
// The list of input methods that the arrow beside the menu bar's panel button opens: each
// registered method with its icon and name, the current one marked; a tap on one makes it
// current (and the default, as the control panel keeps it), a tap elsewhere closes the list.
#include "panel_host/Surface.h"

#include <windows.h>

#include <string>
#include <vector>

namespace pocketsim {

class ImChooser {
public:
    ImChooser() = default;
    ~ImChooser();
    ImChooser(const ImChooser&) = delete;
    ImChooser& operator=(const ImChooser&) = delete;

    // Opens the list with its bottom right corner at (right, bottom), or closes an open one.
    void toggle(HINSTANCE instance, int right, int bottom);
    bool is_open() const { return m_window != nullptr; }
    void close();

private:
    struct Item {
        CLSID clsid;
        std::u16string name;
        HICON icon = nullptr;
    };
    static LRESULT CALLBACK windowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    void paint();
    void choose(int x, int y);
    void forgetItems();

    HWND m_window = nullptr;
    std::vector<Item> m_items;
    CLSID m_current {};
    int m_rowHeight = 20;
    int m_iconSize = 16;
    HFONT m_font = nullptr;
    Surface m_surface;
};

}
