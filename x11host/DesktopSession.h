#pragma once
// The keyboard as a program of the desktop session, around the input panel: it shows when a
// text field takes the focus and hides when the focus leaves (AutoShow), hears the commands of
// later starts (SingleInstance), notices a hardware keyboard in use (InputSources) and keeps
// the session's start entry and the settings program's switch in step (SessionStart).
//
//     x11host::SingleInstance instance;
//     if (std::optional<int> handed = x11host::HandOverOrTake(instance, options.command))
//         return *handed;                 // a keyboard ran already and has the command
//     ... set up the device, start the panel ...
//     x11host::DesktopSession session(options, instance, x);
//     session.start(panel);               // shown, or hidden when started with --hide
//     while (running) session.idle(panel);
#include "x11host/AutoShow.h"
#include "x11host/SessionStart.h"

#include <X11/Xlib.h>

#include <memory>
#include <optional>
#include <string>

namespace pocketsim {
class InputPanel;
}

namespace x11host {

class FocusWatcher;
class InputSources;
class SingleInstance;

struct DesktopOptions {
    bool always = false;
    PanelCommand command = PanelCommand::Unset;
    std::optional<bool> autostart; // --autostart on|off: set it and stop
};

// Takes the display for this program; or hands the command over to the keyboard that has it
// and gives the status to end with.
std::optional<int> HandOverOrTake(SingleInstance& instance, PanelCommand command);

// --autostart on|off for the device at root: the session's entry and the settings program's
// switch. The status to end with.
int AutostartCommand(bool on, const std::string& root);

class DesktopSession {
public:
    // display: the host's own X connection (to see which window has the focus).
    DesktopSession(const DesktopOptions& options, SingleInstance& instance, Display* display);
    ~DesktopSession();

    void start(pocketsim::InputPanel& panel);
    // Once a loop: news of the focus, the devices and later starts; the panel follows.
    void idle(pocketsim::InputPanel& panel);

private:
    bool ownWindowFocused() const;
    void apply(pocketsim::InputPanel& panel);

    SingleInstance& m_instance;
    Display* m_display;
    AutoShow m_auto;
    bool m_always;
    bool m_applied = false; // what the panel was last told, or did by itself
    std::unique_ptr<FocusWatcher> m_focus;
    std::unique_ptr<InputSources> m_inputs;
    SessionStart m_session;
};

}
