// magnikeys-x11: Magnikeys as the on-screen keyboard of an X11 desktop. The keyboard library
// runs in the same input panel host as on the device; its windows are X windows of their own
// (the panel docked at the bottom, never taking the focus) and what it types reaches the focused
// X program as key events.
#include "panel_host/Boot.h"
#include "panel_host/DesktopSetup.h"
#include "panel_host/KeyboardInstall.h"
#include "panel_host/KeyboardKeys.h"
#include "panel_host/SipHost.h"
#include "x11host/XTestKeyboard.h"

#include "runtime/Text.h"

#include <simhost.h>

#include <X11/Xlib.h>

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <string>
#include <unistd.h>

namespace {

volatile std::sig_atomic_t g_stop = 0;

void usage()
{
    std::fprintf(stderr,
        "usage: magnikeys-x11 [options]\n"
        "  --root FOLDER      the keyboard's device folder (default: POCKETSIM_ROOT or\n"
        "                     ~/.local/share/magnikeys-x11/device)\n"
        "  --width W          the keyboard's width: pixels, a percentage of the screen's (80%%) or auto\n"
        "  --height H         its height, alike (default: keys of 18 mm, at most 35%% of the screen's\n"
        "                     height; full width on portrait and phone screens)\n"
        "  --scale S          the skin's scale, screen pixels per design pixel (1 to 16, or auto);\n"
        "                     the size chosen is remembered in the keyboard's folder\n"
        "  --events           print every call of the input panel's callback, one a line\n"
        "  --keymap           print the keyboard's keys in screen pixels once it shows, then \"ready\";\n"
        "                     again for each line \"keymap\" on standard input (for automation)\n");
}

std::string defaultRoot()
{
    const char* home = std::getenv("HOME");
    return std::string(home && *home ? home : "/tmp") + "/.local/share/magnikeys-x11/device";
}

// The key map in X screen pixels (the device's): "index id label left top right bottom".
void printKeyMap()
{
    std::fputs(pocketsim::FormatKeyMap(pocketsim::CurrentKeyMap()).c_str(), stdout);
    std::printf("ready\n");
    std::fflush(stdout);
}

// Lines that automation writes to standard input: "keymap" asks for the key map again (after
// a layout switch). False once the input closed.
bool readCommands(std::string& pending)
{
    char buffer[256];
    for (;;) {
        ssize_t n = read(0, buffer, sizeof buffer);
        if (n == 0)
            return false;
        if (n < 0)
            return true;
        pending.append(buffer, static_cast<size_t>(n));
        for (size_t end; (end = pending.find('\n')) != std::string::npos;) {
            std::string line = pending.substr(0, end);
            pending.erase(0, end + 1);
            if (line == "keymap") {
                SimPumpMessages();
                printKeyMap();
            }
        }
    }
}

}

int main(int argc, char** argv)
{
    const char* root = std::getenv("POCKETSIM_ROOT");
    std::string rootStorage;
    pocketsim::PanelOptions size;
    bool events = false;
    bool keymap = false;
    for (int i = 1; i < argc; ++i) {
        std::string arg = argv[i];
        auto value = [&]() -> const char* {
            if (i + 1 >= argc) {
                std::fprintf(stderr, "magnikeys-x11: %s needs a value\n", arg.c_str());
                std::exit(2);
            }
            return argv[++i];
        };
        if (arg == "--root")
            root = value();
        else if (arg == "--width" || arg == "--height") {
            pocketsim::PanelLength length;
            if (!length.parse(value())) {
                std::fprintf(stderr, "magnikeys-x11: %s wants pixels (16 or more), a percentage or auto\n", arg.c_str());
                return 2;
            }
            (arg == "--width" ? size.width : size.height) = length;
        } else if (arg == "--scale") {
            double scale = 0;
            if (!pocketsim::ParsePanelScale(value(), scale)) {
                std::fprintf(stderr, "magnikeys-x11: --scale wants a number from 1 to 16, or auto\n");
                return 2;
            }
            size.scale = scale;
        } else if (arg == "--events")
            events = true;
        else if (arg == "--keymap")
            keymap = true;
        else if (arg == "--help" || arg == "-h") {
            usage();
            return 0;
        } else {
            std::fprintf(stderr, "magnikeys-x11: unknown option %s\n", arg.c_str());
            usage();
            return 2;
        }
    }

    Display* x = XOpenDisplay(nullptr);
    if (!x) {
        const char* name = std::getenv("DISPLAY");
        std::fprintf(stderr, "magnikeys-x11: cannot open the X display '%s'\n", name ? name : "");
        return 1;
    }
    x11host::XTestKeyboard keyboard(x);
    std::string why;
    if (!keyboard.ready(why)) {
        std::fprintf(stderr, "magnikeys-x11: %s\n", why.c_str());
        return 1;
    }
    const int screen = DefaultScreen(x);
    if (!root) {
        rootStorage = defaultRoot();
        root = rootStorage.c_str();
    }
    std::error_code ignored;
    std::filesystem::create_directories(root, ignored);
    SimSetDeviceRoot(root);

    // The keyboard, its data and its settings program, installed when missing or older; the
    // desktop's input method is always Magnikeys.
    std::string problem;
    if (!pocketsim::InstallPlatformFiles(problem))
        std::fprintf(stderr, "magnikeys-x11: %s\n", problem.c_str());
    std::string report;
    if (!pocketsim::InstallTree(MK_INSTALL_TREE, report, true)) {
        std::fprintf(stderr, "magnikeys-x11: installing the keyboard failed:\n%s", report.c_str());
        return 1;
    }
    if (!pocketsim::KeyboardOnDevice()) {
        std::fprintf(stderr, "magnikeys-x11: the build's install tree %s holds no keyboard\n", MK_INSTALL_TREE);
        return 1;
    }
    pocketsim::MakeKeyboardCurrent();

    // The keyboard's size for this screen, its skin drawn for it, the device screen.
    pocketsim::DesktopSetupResult desktop;
    std::string lines;
    const bool sized = pocketsim::SetUpDesktop({ DisplayWidth(x, screen), DisplayHeight(x, screen), DisplayWidthMM(x, screen),
                                                   DisplayHeightMM(x, screen) },
        size, MK_SKIN_KIT, desktop, lines);
    for (size_t at = 0, end; (end = lines.find('\n', at)) != std::string::npos; at = end + 1)
        std::fprintf(stderr, "magnikeys-x11: %s\n", lines.substr(at, end - at).c_str());
    if (!sized) {
        std::fprintf(stderr, "magnikeys-x11: the screen %dx%d is too large for the keyboard\n", DisplayWidth(x, screen), DisplayHeight(x, screen));
        return 1;
    }

    // Screen reads from the keyboard's first moment on see the desktop.
    if (!SimOpenDisplay("x11")) {
        std::fprintf(stderr, "magnikeys-x11: cannot show windows on the X display\n");
        return 1;
    }
    int status = 0;
    {
        pocketsim::SipHost panel;
        panel.set_key_output(&keyboard);
        if (events)
            panel.set_event_sink([](const std::string& line) {
                std::printf("%s\n", line.c_str());
                std::fflush(stdout);
            });
        if (!panel.start(nullptr)) {
            std::fprintf(stderr, "magnikeys-x11: the input panel did not start\n");
            SimCloseDisplay();
            return 1;
        }
        panel.show();
        SimPumpMessages();
        SimPresent();
        std::string commands;
        bool commandsOpen = keymap;
        if (keymap) {
            printKeyMap();
            fcntl(0, F_SETFL, fcntl(0, F_GETFL) | O_NONBLOCK);
        }
        std::signal(SIGINT, [](int) { g_stop = 1; });
        std::signal(SIGTERM, [](int) { g_stop = 1; });
        while (!g_stop && SimPollDisplay() && SimRunFor(5)) {
            keyboard.idle();
            SimReapEndedPrograms();
            if (commandsOpen)
                commandsOpen = readCommands(commands);
        }
        // The settings program ends with the keyboard.
        SimEndPrograms(2000);
        panel.set_key_output(nullptr);
    }
    keyboard.restore_all();
    SimCloseDisplay();
    return status;
}
