// magnikeys-x11: Magnikeys as the on-screen keyboard of an X11 desktop. The keyboard library
// runs in the same input panel host as on the device; its windows are X windows of their own
// (the panel docked at the bottom, never taking the focus) and what it types reaches the focused
// X program as key events.
#include "panel_host/HostSetup.h"
#include "panel_host/KeyboardKeys.h"
#include "panel_host/OptionTable.h"
#include "x11host/DesktopGeometry.h"
#include "x11host/XTestKeyboard.h"

#include "runtime/Text.h"

#include <simhost.h>

#include <X11/Xlib.h>

#include <cmath>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <memory>
#include <optional>
#include <string>
#include <unistd.h>

namespace {

volatile std::sig_atomic_t g_stop = 0;

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

// What the command line asks for.
struct Options {
    const char* root = nullptr;
    x11host::SkinSize skin = x11host::SkinSize::Automatic;
    int keyboardWidth = 0;
    bool events = false;
    bool keymap = false;
};

pocketsim::OptionTable optionTable(Options& o)
{
    using pocketsim::SetFlag;
    using pocketsim::StoreValue;
    auto skin = [&o](const char* value) -> std::string {
        std::string v = value;
        if (v == "qvga")
            o.skin = x11host::SkinSize::Qvga;
        else if (v == "vga")
            o.skin = x11host::SkinSize::Vga;
        else
            return "unknown skin size '" + v + "' (qvga, vga)";
        return {};
    };
    auto width = [&o](const char* value) -> std::string {
        o.keyboardWidth = std::atoi(value);
        return o.keyboardWidth < 64 ? "--width wants at least 64 pixels" : "";
    };
    return pocketsim::OptionTable("magnikeys-x11", {
        { "--root", "FOLDER", "the keyboard's device folder (default: POCKETSIM_ROOT or\n"
                              "~/.local/share/magnikeys-x11/device)", StoreValue(o.root) },
        { "--skin", "qvga|vga", "the skin's size (default: by the screen's density, VGA from 150 dpi)", skin },
        { "--width", "PIXELS", "how wide the keyboard is on the screen (default: the screen's width)", width },
        { "--events", "", "print every call of the input panel's callback, one a line", SetFlag(o.events) },
        { "--keymap", "", "print the keyboard's keys in screen pixels once it shows, then \"ready\";\n"
                          "again for each line \"keymap\" on standard input (for automation)", SetFlag(o.keymap) },
    });
}

// The device screen for the X screen: the keyboard's design size magnified to it. Empty, with
// the reason printed, when the platform cannot have a screen that large.
std::optional<x11host::DesktopGeometry> useScreen(const pocketsim::HostSetup& setup, Display* x, const Options& o)
{
    const int screen = DefaultScreen(x);
    const x11host::DesktopGeometry geometry = x11host::ChooseGeometry(DisplayWidth(x, screen), DisplayHeight(x, screen),
        DisplayHeightMM(x, screen), o.skin, o.keyboardWidth);
    if (!setup.use_geometry(geometry.name())) {
        std::fprintf(stderr, "magnikeys-x11: the screen %dx%d is too large for the keyboard\n", DisplayWidth(x, screen),
            DisplayHeight(x, screen));
        return std::nullopt;
    }
    // The programs the keyboard starts (its settings) see the same screen, magnified alike.
    char scale[32];
    std::snprintf(scale, sizeof scale, "%.6f", geometry.scale);
    setenv("POCKETSIM_X11_SCALE", scale, 1);
    return geometry;
}

// The keyboard on the desktop until the X display goes or a signal stops the host.
void runKeyboard(std::unique_ptr<pocketsim::SipHost> started, x11host::XTestKeyboard& keyboard,
    const x11host::DesktopGeometry& geometry, bool keymap)
{
    pocketsim::SipHost& panel = *started;
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
    while (!g_stop && SimPollDisplay() && SimRunFor(5)) {
        keyboard.idle();
        SimReapEndedPrograms();
        if (commandsOpen)
            commandsOpen = readCommands(commands, geometry.scale);
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
    const pocketsim::HostSetup setup("magnikeys-x11");
    const std::optional<x11host::DesktopGeometry> geometry = useScreen(setup, x, options);
    if (!geometry)
        return 1;
    setup.use_device_root(setup.device_root(options.root));

    // The keyboard, its data and its settings program, installed when missing or older; the
    // desktop's input method is always Magnikeys.
    setup.install_platform_files();
    if (!setup.install_programs(MK_INSTALL_TREE, pocketsim::KeyboardRole::Required))
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
    runKeyboard(std::move(panel), keyboard, *geometry, options.keymap);
    keyboard.restore_all();
    SimCloseDisplay();
    return 0;
}
