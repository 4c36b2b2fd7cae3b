#pragma once
// The platform shell services the window layer uses, each behind one small call: the menu bar
// and its soft keys, the full-screen state, the input panel, the extra controls, raw key input
// and the direct display of the frame buffer.
#include <windows.h>

#include <memory>

class PixelBuffer;

namespace shell {

// The menu bar of the main window from the program's menu resource; false when the platform
// made none. On success the soft keys reach the window as ordinary key messages.
bool create_menu_bar(HWND window, HINSTANCE module, UINT resource, HWND& bar);
// Shows or hides the taskbar and the input panel's button for a window covering the screen.
void set_full_screen(HWND window, bool taskbar, bool sip_button);
// Whether the input panel is up, and the part of the screen it leaves visible.
bool sip_shown(RECT* visible_desktop);
void show_sip(bool up);
void init_extra_controls();
// The platform's major version number.
int platform_major_version();
// Raw hardware key input while the program owns the frame buffer.
void open_raw_key_input(HWND window);
void close_raw_key_input();

// The device's frame buffer, opened for a window: its geometry, and its pixels while locked.
class DirectDisplay {
public:
    virtual ~DirectDisplay() = default;
    // Null when the platform has no direct display for the window.
    static std::unique_ptr<DirectDisplay> open(HWND window);
    virtual int width() const = 0;
    virtual int height() const = 0;
    virtual int orientation() const = 0;
    // Null when the frame buffer cannot be locked now; the buffer is valid until unlock().
    virtual PixelBuffer* lock() = 0;
    virtual void unlock() = 0;
};

}

namespace shell {

// A solid brush for the edit window's background; null when the platform has no brushes.
HBRUSH create_solid_brush(COLORREF colour);
void delete_brush(HBRUSH brush);
// The program's icon resource, or null.
HICON load_icon(HINSTANCE module, int resource);

}
