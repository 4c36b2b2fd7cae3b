#pragma once
// The Start menu of the device's taskbar: the programs of "\Windows\Start Menu\Programs"
// (shortcuts and programs), one a row; a tap on a row starts that program.
#include "panel_host/Surface.h"

#include <windows.h>

#include <string>
#include <vector>

namespace pocketsim {

struct StartEntry {
    std::u16string name; // as listed: the file name without its extension
    std::u16string target; // the program's device path
    std::u16string arguments;
};

// The entries of the Programs folder, sorted by name. A shortcut ".lnk" holds
// `N#"\path\program.exe" arguments` (quotes optional); other files are started themselves.
std::vector<StartEntry> ReadStartMenu();
// Parses one shortcut's text; false when it names no program.
bool ParseShortcut(std::u16string_view text, StartEntry& entry);
// Starts an entry as the shell does.
bool StartProgram(const std::u16string& path, const std::u16string& arguments);

class StartMenu {
public:
    StartMenu() = default;
    ~StartMenu();
    StartMenu(const StartMenu&) = delete;
    StartMenu& operator=(const StartMenu&) = delete;

    // Opens below the taskbar (reading the folder again), or closes when open; the taskbar
    // is repainted when the menu closes.
    void toggle(HINSTANCE instance, int top, HWND taskbar);
    void close();
    bool open() const { return m_window != nullptr; }
    const std::vector<StartEntry>& entries() const { return m_entries; }

private:
    static LRESULT CALLBACK windowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    void paint();

    HWND m_window = nullptr;
    HWND m_taskbar = nullptr;
    HFONT m_font = nullptr;
    int m_row = 20;
    std::vector<StartEntry> m_entries;
    Surface m_surface;
};

}
