// magnikeys-wayland: Magnikeys as the on-screen keyboard of a Wayland compositor (sway and other
// wlroots compositors, Phosh). The keyboard library runs in the same input panel host as on the
// device; its windows are surfaces of their own (the panel a layer surface on the bottom edge
// that never takes the focus), and what it types reaches the focused program as input-method
// text or as keys of a virtual keyboard. The panel shows while a text field wants input.
#include "panel_host/HostSetup.h"
#include "panel_host/KeyboardKeys.h"
#include "panel_host/OptionTable.h"
#include "waylandhost/HostConnection.h"
#include "waylandhost/Instance.h"
#include "waylandhost/Keymap.h"
#include "waylandhost/Osk0Service.h"
#include "waylandhost/WaylandKeyboard.h"

#include <simhost.h>

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <memory>
#include <optional>
#include <poll.h>
#include <string>
#include <unistd.h>

namespace {

using namespace waylandhost;

volatile std::sig_atomic_t g_stop = 0;
// A signal also wakes the loop's poll(), whichever thread the signal came to.
int g_signalPipe[2] = { -1, -1 };

void stopOnSignal(int)
{
    g_stop = 1;
    if (g_signalPipe[1] >= 0)
        (void)!write(g_signalPipe[1], "", 1);
}

void say(const char* text)
{
    std::printf("%s\n", text);
    std::fflush(stdout);
}

// What the command line asks for.
struct Options {
    const char* root = nullptr;
    pocketsim::PanelOptions size;
    bool always = false;
    bool events = false;
    bool keymap = false;
    std::optional<PanelCommand> command;
};

pocketsim::OptionTable optionTable(Options& o)
{
    using pocketsim::SetFlag;
    using pocketsim::StoreValue;
    auto command = [&o](PanelCommand c) {
        return [&o, c](const char*) -> std::string {
            o.command = c;
            return {};
        };
    };
    return pocketsim::OptionTable("magnikeys-wayland", {
        { "--root", "FOLDER", "the keyboard's device folder (default: POCKETSIM_ROOT or\n"
                              "~/.local/share/magnikeys-wayland/device)", StoreValue(o.root) },
        { "--width", "W", "the keyboard's width: the output's pixels, a percentage of its width (80%)\n"
                          "or auto", pocketsim::PanelLengthOption(o.size, &pocketsim::PanelOptions::width, "--width") },
        { "--height", "H", "its height, alike (default: keys of 18 mm, at most 35% of the output's\n"
                           "height; full width on portrait and phone outputs)", pocketsim::PanelLengthOption(o.size, &pocketsim::PanelOptions::height, "--height") },
        { "--scale", "S", "the skin's scale, output pixels per design pixel (1 to 16, or auto);\n"
                          "the size chosen is remembered in the keyboard's folder", pocketsim::PanelScaleOption(o.size) },
        { "--always", "", "keep the keyboard up (default: up while a text field wants input)", SetFlag(o.always) },
        { "--show", "", "show the keyboard that runs on this display, then end", command(PanelCommand::Show) },
        { "--hide", "", "hide the keyboard that runs on this display, then end", command(PanelCommand::Hide) },
        { "--toggle", "", "show or hide the keyboard that runs on this display, then end", command(PanelCommand::Toggle) },
        { "--events", "", "print every call of the input panel's callback, one a line, and\n"
                          "\"panel shown\" / \"panel hidden\"", SetFlag(o.events) },
        { "--keymap", "", "print the keyboard's keys in output pixels once it shows, then \"ready\";\n"
                          "again for each line \"keymap\" on standard input (for automation)", SetFlag(o.keymap) },
    });
}

// The key map in the output's pixels, which are the device's: "index id label left top right
// bottom", after the panel's own place, "panel left top right bottom" (a layer surface's place
// is known to no other client).
void printKeyMap(HWND panel)
{
    RECT r {};
    GetWindowRect(panel, &r);
    std::printf("panel %ld %ld %ld %ld\n", static_cast<long>(r.left), static_cast<long>(r.top), static_cast<long>(r.right),
        static_cast<long>(r.bottom));
    std::fputs(pocketsim::FormatKeyMap(pocketsim::CurrentKeyMap()).c_str(), stdout);
    say("ready");
}

// Lines that automation writes to standard input: "keymap" asks for the key map again. False
// once the input closed.
bool readCommands(std::string& pending, HWND panel)
{
    char buffer[256];
    for (;;) {
        const ssize_t n = read(0, buffer, sizeof buffer);
        if (n == 0)
            return false;
        if (n < 0)
            return true;
        pending.append(buffer, static_cast<size_t>(n));
        for (size_t end; (end = pending.find('\n')) != std::string::npos;) {
            const std::string line = pending.substr(0, end);
            pending.erase(0, end + 1);
            if (line == "keymap") {
                SimPumpMessages();
                printKeyMap(panel);
            }
        }
    }
}

// The output turned or changed size: the keyboard's size for it, the device screen, and the
// keyboard told. A new scale needs the skin drawn for it, which the keyboard reads when it is
// made: it is made anew.
void followOutput(const pocketsim::HostSetup& setup, pocketsim::SipHost& panel, const OutputSize& output, double& scale)
{
    pocketsim::DesktopSetupResult result;
    // The user's size is remembered in the keyboard's folder since the start.
    if (!setup.use_desktop(DesktopScreenOf(output), {}, &result))
        return;
    if (result.panel.scale != scale) {
        scale = result.panel.scale;
        if (panel.reload())
            return;
        std::fprintf(stderr, "magnikeys-wayland: the keyboard did not start again at scale %.3f\n", scale);
    }
    SendMessage(HWND_BROADCAST, WM_SETTINGCHANGE, 0x3002 /* the screen changed */, 0);
}

// Milliseconds poll() may sleep: until the device's next timer falls due; -1 for no limit.
int pollTimeout(DWORD timerDue)
{
    return timerDue == INFINITE ? -1 : static_cast<int>(std::min<DWORD>(timerDue, 1u << 30));
}

// The keyboard on the compositor until the compositor goes or a signal stops the host.
void runKeyboard(const pocketsim::HostSetup& setup, pocketsim::SipHost& panel, HostConnection& host, InputMethod* inputMethod,
    double scale, const Options& options)
{
    // Without an input method nothing would ever show the keyboard.
    const bool keepUp = options.always || !inputMethod;
    if (keepUp)
        panel.show();
    if (inputMethod)
        inputMethod->activeChanged = [&](bool on) {
            if (on)
                panel.show();
            else if (!keepUp)
                panel.hide();
        };
    // Phosh's shell shows and hides the keyboard on the session bus.
    Osk0Service osk;
    std::string why;
    if (osk.start(why))
        osk.visibilityWanted = [&](bool visible) { visible ? panel.show() : panel.hide(); };
    else if (std::getenv("DBUS_SESSION_BUS_ADDRESS"))
        std::fprintf(stderr, "magnikeys-wayland: %s; the shell cannot show the keyboard\n", why.c_str());
    bool shown = false;
    auto reportShown = [&] {
        if (options.events && panel.shown() != shown)
            say(panel.shown() ? "panel shown" : "panel hidden");
        shown = panel.shown();
        osk.setVisible(shown);
    };
    // The keys are known once the keyboard shows (at once with --always, else when a text field
    // asks for it).
    bool keysPrinted = false;
    auto printKeysOnce = [&] {
        if (options.keymap && !keysPrinted && panel.shown()) {
            keysPrinted = true;
            printKeyMap(panel.window());
        }
    };
    bool outputChanged = false;
    host.outputChanged = [&] { outputChanged = true; };
    SimPumpMessages();
    SimPresent();
    reportShown();
    printKeysOnce();
    std::string commands;
    bool commandsOpen = options.keymap;
    if (commandsOpen)
        fcntl(0, F_SETFL, fcntl(0, F_GETFL) | O_NONBLOCK);

    if (pipe(g_signalPipe) == 0) {
        fcntl(g_signalPipe[0], F_SETFL, O_NONBLOCK);
        fcntl(g_signalPipe[1], F_SETFL, O_NONBLOCK);
    }
    std::signal(SIGINT, stopOnSignal);
    std::signal(SIGTERM, stopOnSignal);
    // One wait for everything: the compositor (the host's connection and the display's), the
    // device's own work (its queue, its timers, other programs' pictures), the session bus and
    // the automation's commands. An event is handled the moment it arrives.
    const int wake = SimThreadEventFd();
    const int display = SimDisplayFd();
    bool hostReadable = false;
    while (!g_stop) {
        if (!host.afterPoll(hostReadable)) {
            std::fprintf(stderr, "magnikeys-wayland: the Wayland compositor went away\n");
            break;
        }
        if (outputChanged) {
            outputChanged = false;
            followOutput(setup, panel, host.output(), scale);
        }
        osk.dispatch();
        if (!SimPollDisplay() || !SimPumpMessages())
            break;
        reportShown();
        printKeysOnce();
        SimReapEndedPrograms();
        if (!host.beforePoll())
            break;
        enum { kHost, kWake, kDisplay, kSignal, kBus, kCommands };
        pollfd fds[6] = { { host.descriptor(), POLLIN, 0 }, { wake, POLLIN, 0 }, { display, POLLIN, 0 },
            { g_signalPipe[0], POLLIN, 0 }, { osk.descriptor(), POLLIN, 0 }, { commandsOpen ? 0 : -1, POLLIN, 0 } };
        int timeout = pollTimeout(SimNextTimerDue());
        // Without the device's event descriptor (it could not be made) its queue is looked at on
        // a frame's period.
        if (wake < 0)
            timeout = timeout < 0 ? 16 : std::min(timeout, 16);
        // The output's news may have come with what the connection dispatched just now.
        if (outputChanged)
            timeout = 0;
        const int ready = ::poll(fds, 6, timeout);
        if (ready < 0 && errno != EINTR)
            break;
        hostReadable = ready > 0 && (fds[kHost].revents & POLLIN);
        if (ready > 0 && (fds[kCommands].revents & (POLLIN | POLLHUP)))
            commandsOpen = readCommands(commands, panel.window());
    }
    host.afterPoll(false);
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
    std::string why;
    if (options.command) {
        if (SendPanelCommand(*options.command, why))
            return 0;
        std::fprintf(stderr, "magnikeys-wayland: %s\n", why.c_str());
        return 1;
    }

    auto host = HostConnection::open(why);
    if (!host) {
        std::fprintf(stderr, "magnikeys-wayland: %s\n", why.c_str());
        return 1;
    }
    for (int i = 0; i < 3 && !host->hasOutput(); ++i)
        host->roundtrip();
    if (!host->hasOutput()) {
        std::fprintf(stderr, "magnikeys-wayland: the compositor shows no output\n");
        return 1;
    }
    Keymap keymap;
    if (!keymap.ok(why)) {
        std::fprintf(stderr, "magnikeys-wayland: %s\n", why.c_str());
        return 1;
    }
    std::unique_ptr<VirtualKeyboard> virtualKeyboard = host->virtualKeyboard();
    if (!virtualKeyboard) {
        std::fprintf(stderr, "magnikeys-wayland: the compositor offers no virtual keyboard (zwp_virtual_keyboard_manager_v1)\n");
        return 1;
    }
    std::unique_ptr<InputMethod> inputMethod = host->inputMethod();
    if (!inputMethod)
        std::fprintf(stderr, "magnikeys-wayland: the compositor offers no input method (zwp_input_method_manager_v2); "
                             "the keyboard stays up and types keys\n");

    const pocketsim::HostSetup setup("magnikeys-wayland");
    // One keyboard per display: a second one stops before it touches the device.
    const std::string root = setup.device_root(options.root);
    std::error_code ignored;
    Instance instance;
    if (!instance.claim(std::filesystem::absolute(root, ignored).string(), why)) {
        std::fprintf(stderr, "magnikeys-wayland: %s\n", why.c_str());
        return 1;
    }
    setup.use_device_root(root);

    // The keyboard, its data and its settings program, installed when missing or older; the
    // desktop's input method is always Magnikeys.
    setup.install_platform_files();
    if (!setup.install_programs(pocketsim::KeyboardRole::Required))
        return 1;
    // The keyboard's size for this output, its skin drawn for it, the device screen.
    pocketsim::DesktopSetupResult desktop;
    if (!setup.use_desktop(DesktopScreenOf(host->output()), options.size, &desktop))
        return 1;

    // Screen reads from the keyboard's first moment on see the output.
    if (!SimOpenDisplay("wayland")) {
        std::fprintf(stderr, "magnikeys-wayland: cannot show windows on the Wayland display\n");
        return 1;
    }
    {
        WaylandKeyboard keyboard(keymap, *virtualKeyboard, inputMethod.get());
        std::unique_ptr<pocketsim::SipHost> panel = setup.start_input_panel(options.events, &keyboard);
        if (!panel) {
            SimCloseDisplay();
            return 1;
        }
        runKeyboard(setup, *panel, *host, inputMethod.get(), desktop.panel.scale, options);
        keyboard.release_all();
        host->flush();
    }
    SimCloseDisplay();
    return 0;
}
