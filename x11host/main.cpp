// magnikeys-x11: Magnikeys as the on-screen keyboard of an X11 desktop. The keyboard library
// runs in the same input panel host as on the device; its windows are X windows of their own
// (the panel docked at the bottom, never taking the focus) and what it types reaches the focused
// X program as key events.
#include "pocketsim/Boot.h"
#include "pocketsim/KeyboardInstall.h"
#include "pocketsim/KeyboardKeys.h"
#include "pocketsim/SipHost.h"
#include "x11host/DesktopGeometry.h"
#include "x11host/XTestKeyboard.h"

#include "runtime/Text.h"

#include <simhost.h>
#include <winbase.h>

#include <X11/Xlib.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <optional>
#include <poll.h>
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
        "  --skin qvga|vga    the skin's size (default: by the screen's density, VGA from 150 dpi)\n"
        "  --width PIXELS     how wide the keyboard is on the screen (default: the screen's width)\n"
        "  --events           print every call of the input panel's callback, one a line\n"
        "  --keymap           print the keyboard's keys in screen pixels once it shows, then \"ready\";\n"
        "                     again for each line \"keymap\" on standard input (for automation)\n");
}

std::string defaultRoot()
{
    const char* home = std::getenv("HOME");
    return std::string(home && *home ? home : "/tmp") + "/.local/share/magnikeys-x11/device";
}

// The key map in X screen pixels: "index id label left top right bottom".
void printKeyMap(double scale)
{
    auto keys = pocketsim::CurrentKeyMap();
    for (auto& key : keys) {
        key.rect.left = static_cast<LONG>(std::lround(key.rect.left * scale));
        key.rect.top = static_cast<LONG>(std::lround(key.rect.top * scale));
        key.rect.right = static_cast<LONG>(std::lround(key.rect.right * scale));
        key.rect.bottom = static_cast<LONG>(std::lround(key.rect.bottom * scale));
    }
    std::fputs(pocketsim::FormatKeyMap(keys).c_str(), stdout);
    std::printf("ready\n");
    std::fflush(stdout);
}

// Milliseconds poll() may sleep: until the device's next timer or the keyboard's next keycode
// to hand back, rounded up so that the due moment has come on waking; -1 for no limit.
int pollTimeout(DWORD timerDue, std::optional<x11host::XTestKeyboard::Clock::time_point> release)
{
    long long limit = timerDue == INFINITE ? -1 : static_cast<long long>(timerDue);
    if (release) {
        long long left = std::chrono::ceil<std::chrono::milliseconds>(*release - x11host::XTestKeyboard::Clock::now()).count();
        left = std::max<long long>(left, 0);
        limit = limit < 0 ? left : std::min(limit, left);
    }
    return limit < 0 ? -1 : static_cast<int>(std::min<long long>(limit, 1 << 30));
}

// Lines that automation writes to standard input: "keymap" asks for the key map again (after
// a layout switch). False once the input closed.
bool readCommands(std::string& pending, double scale)
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
                printKeyMap(scale);
            }
        }
    }
}

}

int main(int argc, char** argv)
{
    const char* root = std::getenv("POCKETSIM_ROOT");
    std::string rootStorage;
    x11host::SkinSize skin = x11host::SkinSize::Automatic;
    int keyboardWidth = 0;
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
        else if (arg == "--skin") {
            std::string v = value();
            if (v == "qvga")
                skin = x11host::SkinSize::Qvga;
            else if (v == "vga")
                skin = x11host::SkinSize::Vga;
            else {
                std::fprintf(stderr, "magnikeys-x11: unknown skin size '%s' (qvga, vga)\n", v.c_str());
                return 2;
            }
        } else if (arg == "--width") {
            keyboardWidth = std::atoi(value());
            if (keyboardWidth < 64) {
                std::fprintf(stderr, "magnikeys-x11: --width wants at least 64 pixels\n");
                return 2;
            }
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
    const x11host::DesktopGeometry geometry = x11host::ChooseGeometry(DisplayWidth(x, screen), DisplayHeight(x, screen),
        DisplayHeightMM(x, screen), skin, keyboardWidth);
    const std::string geometryName = geometry.name();
    if (!SimSetGeometry(geometryName.c_str())) {
        std::fprintf(stderr, "magnikeys-x11: the screen %dx%d is too large for the keyboard\n", DisplayWidth(x, screen),
            DisplayHeight(x, screen));
        return 1;
    }
    // The programs the keyboard starts (its settings) see the same screen, magnified alike.
    char scale[32];
    std::snprintf(scale, sizeof scale, "%.6f", geometry.scale);
    setenv("POCKETSIM_GEOMETRY", geometryName.c_str(), 1);
    setenv("POCKETSIM_X11_SCALE", scale, 1);
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
            printKeyMap(geometry.scale);
            fcntl(0, F_SETFL, fcntl(0, F_GETFL) | O_NONBLOCK);
        }
        std::signal(SIGINT, [](int) { g_stop = 1; });
        std::signal(SIGTERM, [](int) { g_stop = 1; });
        // One wait for everything: the X connections, the device's own work (its queue, its
        // timers, other programs' pictures) and the automation's commands. An event is
        // handled the moment it arrives.
        const int wake = SimThreadEventFd();
        const int display = SimDisplayFd();
        while (!g_stop) {
            if (!SimPumpMessages() || !SimPollDisplay())
                break;
            keyboard.idle();
            SimReapEndedPrograms();
            if (commandsOpen)
                commandsOpen = readCommands(commands, geometry.scale);
            if (wake < 0 || display < 0) {
                if (!SimRunFor(5))
                    break;
                continue;
            }
            pollfd fds[4] = { { wake, POLLIN, 0 }, { display, POLLIN, 0 }, { keyboard.connection(), POLLIN, 0 },
                { 0, POLLIN, 0 } };
            const nfds_t count = commandsOpen ? 4 : 3;
            poll(fds, count, pollTimeout(SimNextTimerDue(), keyboard.next_release()));
        }
        // The settings program ends with the keyboard.
        SimEndPrograms(2000);
        panel.set_key_output(nullptr);
    }
    keyboard.restore_all();
    SimCloseDisplay();
    return status;
}
