// magnikeys-x11: Magnikeys as the on-screen keyboard of an X11 desktop. The keyboard library
// runs in the same input panel host as on the device; its windows are X windows of their own
// (the panel docked at the bottom, never taking the focus) and what it types reaches the focused
// X program as key events.
#include "panel_host/HostSetup.h"
#include "panel_host/KeyboardKeys.h"
#include "panel_host/OptionTable.h"
#include "x11host/DesktopSession.h"
#include "x11host/SingleInstance.h"
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
#include <filesystem>
#include <memory>
#include <optional>
#include <poll.h>
#include <string>
#include <unistd.h>

namespace {

volatile std::sig_atomic_t g_stop = 0;

// The key map in X screen pixels, which are the device's: "index id label left top right bottom".
void printKeyMap()
{
    std::fputs(pocketsim::FormatKeyMap(pocketsim::CurrentKeyMap()).c_str(), stdout);
    std::printf("ready\n");
    std::fflush(stdout);
}

// Milliseconds poll() may sleep: until the device's next timer or the keyboard's next keycode
// to hand back, rounded up so that the due moment has come on waking; -1 for no limit.
constexpr int kSessionLookMs = 50;

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

// What the command line asks for.
struct Options {
    const char* root = nullptr;
    pocketsim::PanelOptions size;
    bool events = false;
    bool keymap = false;
    x11host::DesktopOptions desktop;
};

pocketsim::OptionTable optionTable(Options& o)
{
    using pocketsim::SetFlag;
    using pocketsim::StoreValue;
    auto command = [&o](x11host::PanelCommand c) {
        return [&o, c](const char*) -> std::string {
            o.desktop.command = c;
            return {};
        };
    };
    auto autostart = [&o](const char* value) -> std::string {
        std::string v = value;
        if (v != "on" && v != "off")
            return "--autostart wants on or off, not '" + v + "'";
        o.desktop.autostart = v == "on";
        return {};
    };
    return pocketsim::OptionTable("magnikeys-x11", {
        { "--root", "FOLDER", "the keyboard's device folder (default: POCKETSIM_ROOT or\n"
                              "~/.local/share/magnikeys-x11/device)", StoreValue(o.root) },
        { "--width", "W", "the keyboard's width: pixels, a percentage of the screen's (80%) or auto", pocketsim::PanelLengthOption(o.size, &pocketsim::PanelOptions::width, "--width") },
        { "--height", "H", "its height, alike (default: keys of 18 mm, at most 35% of the screen's\n"
                           "height; full width on portrait and phone screens)", pocketsim::PanelLengthOption(o.size, &pocketsim::PanelOptions::height, "--height") },
        { "--scale", "S", "the skin's scale, screen pixels per design pixel (1 to 16, or auto);\n"
                          "the size chosen is remembered in the keyboard's folder", pocketsim::PanelScaleOption(o.size) },
        { "--events", "", "print every call of the input panel's callback, one a line", SetFlag(o.events) },
        { "--keymap", "", "print the keyboard's keys in screen pixels once it shows, then \"ready\";\n"
                          "again for each line \"keymap\" on standard input (for automation)", SetFlag(o.keymap) },
        { "--always", "", "keep the keyboard up, whatever has the focus (default: shown while a text\n"
                          "field has it, through the accessibility bus)", SetFlag(o.desktop.always) },
        { "--show", "", "show the running keyboard (or start it shown, the default)", command(x11host::PanelCommand::Show) },
        { "--hide", "", "hide the running keyboard (or start it hidden)", command(x11host::PanelCommand::Hide) },
        { "--toggle", "", "show or hide the running keyboard", command(x11host::PanelCommand::Toggle) },
        { "--autostart", "on|off", "start the keyboard with the desktop session, or not, and stop", autostart },
    });
}

// The keyboard on the desktop until the X display goes or a signal stops the host.
void runKeyboard(std::unique_ptr<pocketsim::SipHost> started, x11host::XTestKeyboard& keyboard,
    bool keymap, x11host::DesktopSession& session)
{
    pocketsim::SipHost& panel = *started;
    session.start(panel);
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
    // One wait for everything: the X connections, the device's own work (its queue, its
    // timers, other programs' pictures) and the automation's commands. An event is handled
    // the moment it arrives.
    const int wake = SimThreadEventFd();
    const int display = SimDisplayFd();
    // Looking for ended programs reads the device's shared folder: a few times a second is
    // soon enough, and keeps it off the path of every event.
    auto reaped = std::chrono::steady_clock::now();
    while (!g_stop) {
        // What arrived is taken in first and handled in the same turn.
        if (!SimPollDisplay() || !SimPumpMessages())
            break;
        keyboard.idle();
        session.idle(panel);
        if (const auto now = std::chrono::steady_clock::now(); now - reaped >= std::chrono::milliseconds(100)) {
            SimReapEndedPrograms();
            reaped = now;
        }
        if (commandsOpen)
            commandsOpen = readCommands(commands);
        if (wake < 0 || display < 0) {
            if (!SimRunFor(5))
                break;
            continue;
        }
        pollfd fds[4] = { { wake, POLLIN, 0 }, { display, POLLIN, 0 }, { keyboard.connection(), POLLIN, 0 },
            { 0, POLLIN, 0 } };
        const nfds_t count = commandsOpen ? 4 : 3;
        // The focus watcher's thread and the session's delayed hide do not signal the device's
        // queue: look at them at least every 50 ms.
        const int timeout = pollTimeout(SimNextTimerDue(), keyboard.next_release());
        poll(fds, count, timeout < 0 ? kSessionLookMs : std::min(timeout, kSessionLookMs));
    }
    // The settings program ends with the keyboard.
    SimEndPrograms(2000);
    panel.set_key_output(nullptr);
}

}

int main(int argc, char** argv)
{
    Options options;
    if (std::optional<int> stop = optionTable(options).parse(argc, argv))
        return *stop;
    if (options.desktop.autostart)
        return x11host::AutostartCommand(*options.desktop.autostart, pocketsim::HostSetup("magnikeys-x11").device_root(options.root));

    Display* x = XOpenDisplay(nullptr);
    if (!x) {
        const char* name = std::getenv("DISPLAY");
        std::fprintf(stderr, "magnikeys-x11: cannot open the X display '%s'\n", name ? name : "");
        return 1;
    }
    x11host::SingleInstance instance;
    if (std::optional<int> handed = x11host::HandOverOrTake(instance, options.desktop.command)) {
        XCloseDisplay(x);
        return *handed;
    }
    x11host::XTestKeyboard keyboard(x);
    std::string why;
    if (!keyboard.ready(why)) {
        std::fprintf(stderr, "magnikeys-x11: %s\n", why.c_str());
        return 1;
    }
    const pocketsim::HostSetup setup("magnikeys-x11");
    setup.use_device_root(setup.device_root(options.root));

    // The keyboard, its data and its settings program, installed when missing or older; the
    // desktop's input method is always Magnikeys.
    setup.install_platform_files();
    if (!setup.install_programs(pocketsim::KeyboardRole::Required))
        return 1;
    // The keyboard's size for this screen, its skin drawn for it, the device screen.
    const int screen = DefaultScreen(x);
    if (!setup.use_desktop({ DisplayWidth(x, screen), DisplayHeight(x, screen), DisplayWidthMM(x, screen), DisplayHeightMM(x, screen) },
            options.size))
        return 1;

    // Screen reads from the keyboard's first moment on see the desktop.
    if (!SimOpenDisplay("x11")) {
        std::fprintf(stderr, "magnikeys-x11: cannot show windows on the X display\n");
        return 1;
    }
    std::unique_ptr<pocketsim::SipHost> panel = setup.start_input_panel(options.events, &keyboard);
    if (!panel) {
        SimCloseDisplay();
        return 1;
    }
    x11host::DesktopSession session(options.desktop, instance, x);
    runKeyboard(std::move(panel), keyboard, options.keymap, session);
    keyboard.restore_all();
    SimCloseDisplay();
    return 0;
}
