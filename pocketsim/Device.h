#pragma once
// The simulated pocket device: the shell's taskbar and menu bar around the note pad, and the
// place of the input panel above the menu bar.
#include "pocketsim/ImChooser.h"
#include "panel_host/InputPanel.h"
#include "pocketsim/NotePad.h"
#include "pocketsim/StartMenu.h"
#include "panel_host/Surface.h"

#include <memory>

namespace pocketsim {

// Delivery of input-method output to the focused application, as the platform does for the
// panel's callback: characters as WM_CHAR, virtual keys as key presses and releases.
class DeviceInput {
public:
    static void send_char(WCHAR ch);
    static void send_virtual_key(int virtualKey, bool down);
};

class Device {
public:
    Device() = default;
    ~Device();
    Device(const Device&) = delete;
    Device& operator=(const Device&) = delete;

    // Builds the shell for the current screen; false when its windows cannot be made.
    bool boot(HINSTANCE instance);

    NotePad& notepad() { return m_notepad; }
    // Installs the input panel (none until the keyboard is installed).
    void set_input_panel(std::unique_ptr<InputPanel> panel);
    InputPanel* input_panel() { return m_panel.get(); }
    bool panel_shown() const { return m_panelShown; }
    // Shows or hides the panel; false when the device has no panel.
    bool show_panel(bool show);
    // Places every window again (after a rotation).
    void layout();
    StartMenu& start_menu() { return m_start; }
    // The taskbar as the foreground program wants it (SHFullScreen), titled with its title.
    void follow_foreground();

private:
    static LRESULT CALLBACK barProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    void paintBar(HWND window);
    RECT panelButton() const;
    RECT startButton() const;
    void onShell(WPARAM what);
    void panelChanged();
    RECT chooserButton() const;

    HWND m_taskbar = nullptr;
    HWND m_menubar = nullptr;
    int m_barHeight = 26;
    HFONT m_titleFont = nullptr;
    HINSTANCE m_instance = nullptr;
    DWORD m_shellState = 0; // SHFullScreen state of the program in front
    StartMenu m_start;
    Surface m_surface;
    NotePad m_notepad;
    std::unique_ptr<InputPanel> m_panel;
    bool m_panelShown = false;
    ImChooser m_chooser;
};

}
