#pragma once
// Starting the keyboard with the desktop session. The session starts what its XDG autostart
// entries name; the keyboard's entry is the user's own, written into $XDG_CONFIG_HOME/autostart
// (~/.config/autostart) from the installed one when it is turned on, and nowhere else: nothing
// starts for users who did not ask. Turned off, the user's entry goes, or says Hidden=true where
// a system-wide entry of the same name would still start it.
//
// The settings program's "Start as default keyboard" is the same choice: on the device it puts
// the startup selector into "\Windows\StartUp"; on the desktop that copy stands for the entry.
// While the keyboard runs, a change of either side is carried over to the other.
#include <string>
#include <vector>

namespace x11host {

struct AutostartPlaces {
    std::string user;                // the user's entry
    std::vector<std::string> system; // system-wide entries of that name, most important first

    // For the entry file name (magnikeys-x11.desktop), from XDG_CONFIG_HOME, HOME and
    // XDG_CONFIG_DIRS as the session reads them.
    static AutostartPlaces ForEntry(const std::string& fileName);
};

// Whether the session starts the entry: the user's entry stands for the system's of the same
// name; an entry starts unless it says Hidden=true or X-GNOME-Autostart-enabled=false.
bool AutostartOn(const AutostartPlaces& places);
// Writes or removes the user's entry (atomically). On: the template's lines with its Exec's
// program replaced by program (a full path: the session's PATH may lack the folder it is in).
// False with why.
bool SetAutostart(const AutostartPlaces& places, bool on, const std::string& templateFile, const std::string& program,
    std::string& why);

// The settings program's switch in the current device root.
bool StartupSwitchOn();
void SetStartupSwitch(bool on);

// Keeps the two in step while the keyboard runs.
class SessionStart {
public:
    SessionStart(AutostartPlaces places, std::string templateFile, std::string program);

    // At start the device's switch follows the session's entry, which the session's own
    // settings may have changed meanwhile.
    void start();
    // About once a second: the side that changed since the last look wins.
    void idle(unsigned now);

private:
    AutostartPlaces m_places;
    std::string m_template;
    std::string m_program;
    bool m_session = false;
    bool m_device = false;
    bool m_started = false;
    unsigned m_last = 0;
};

}
