#pragma once
// One keyboard per Wayland display. The running one holds a lock on a file in the user's runtime
// folder named after the display, which names its device folder; a second start finds it there
// and hands --show, --hide and --toggle over to its input panel through the device's own input
// panel functions.
#include <string>

namespace waylandhost {

class Instance {
public:
    Instance() = default;
    ~Instance();
    Instance(const Instance&) = delete;
    Instance& operator=(const Instance&) = delete;

    // The lock file of the display named by WAYLAND_DISPLAY.
    static std::string lockPath();
    // Becomes the display's keyboard, with its device folder root; false (with the reason)
    // when another one runs.
    bool claim(const std::string& root, std::string& why);
    // The device folder of the display's running keyboard; false when none runs.
    static bool running(std::string& root);

private:
    int m_fd = -1;
};

enum class PanelCommand { Show, Hide, Toggle };

// Hands a command to the running keyboard; false (with the reason) when none runs.
bool SendPanelCommand(PanelCommand command, std::string& why);

}
