#pragma once
// One keyboard per X display. The running keyboard owns the selection "_MAGNIKEYS_X11" of its
// display (an ICCCM manager selection: the server drops it when the program goes, however it
// ends); a later start finds the owner, hands its command (show, hide, toggle; a plain start is
// show) to it as a client message and ends.
#include "x11host/AutoShow.h"

#include <X11/Xlib.h>

#include <optional>

namespace x11host {

class SingleInstance {
public:
    // Opens a connection of its own to the display named (null: DISPLAY).
    explicit SingleInstance(const char* display = nullptr);
    ~SingleInstance();
    SingleInstance(const SingleInstance&) = delete;
    SingleInstance& operator=(const SingleInstance&) = delete;

    // Takes the display for this program; false when another keyboard has it (or no display).
    bool take();
    // Hands command to the keyboard that has the display; false when there is none.
    bool hand_over(PanelCommand command);
    // A command handed over since the last call (Unset: none).
    PanelCommand next();

private:
    Display* m_display = nullptr;
    Window m_window = 0;
    Atom m_selection = 0;
    Atom m_command = 0;
};

}
