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
#include "waylandhost/PanelGeometry.h"
#include "waylandhost/WaylandKeyboard.h"

#include <simhost.h>

#include <chrono>
#include <cmath>
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
using Clock = std::chrono::steady_clock;

volatile std::sig_atomic_t g_stop = 0;

// The device's message queue has no descriptor to wait on yet, so the loop looks at it every few
// milliseconds: often while the keyboard is in use (its timers: zoom delay, repeat, animation),
// at a frame's pace while it only shows, and seldom while it is hidden.
constexpr int kQueueLookBusyMs = 2;
constexpr int kQueueLookShownMs = 16;
constexpr int kQueueLookHiddenMs = 100;
constexpr auto kBusyFor = std::chrono::seconds(2); // after the last input of any kind
// Ended programs (the settings program) are looked for this often: the look reads every process.
constexpr auto kReapEvery = std::chrono::milliseconds(250);

int queueLook(bool shown, Clock::time_point lastInput)
{
    if (Clock::now() - lastInput < kBusyFor)
        return kQueueLookBusyMs;
    return shown ? kQueueLookShownMs : kQueueLookHiddenMs;
}

void say(const char* text)
{
    std::printf("%s\n", text);
    std::fflush(stdout);
}

// What the command line asks for.
struct Options {
    const char* root = nullptr;
    SkinSize skin = SkinSize::Automatic;
    int keyboardWidth = 0;
    bool always = false;
    bool events = false;
    bool keymap = false;
    std::optional<PanelCommand> command;
};

pocketsim::OptionTable optionTable(Options& o)
{
    using pocketsim::SetFlag;
    using pocketsim::StoreValue;
    auto skin = [&o](const char* value) -> std::string {
        const std::string v = value;
        if (v == "qvga")
            o.skin = SkinSize::Qvga;
        else if (v == "vga")
            o.skin = SkinSize::Vga;
        else
            return "unknown skin size '" + v + "' (qvga, vga)";
        return {};
    };
    auto width = [&o](const char* value) -> std::string {
        o.keyboardWidth = std::atoi(value);
        return o.keyboardWidth < 64 ? "--width wants at least 64 pixels" : "";
    };
    auto command = [&o](PanelCommand c) {
        return [&o, c](const char*) -> std::string {
            o.command = c;
            return {};
        };
    };
    return pocketsim::OptionTable("magnikeys-wayland", {
        { "--root", "FOLDER", "the keyboard's device folder (default: POCKETSIM_ROOT or\n"
                              "~/.local/share/magnikeys-wayland/device)", StoreValue(o.root) },
        { "--always", "", "keep the keyboard up (default: up while a text field wants input)", SetFlag(o.always) },
        { "--show", "", "show the keyboard that runs on this display, then end", command(PanelCommand::Show) },
        { "--hide", "", "hide the keyboard that runs on this display, then end", command(PanelCommand::Hide) },
        { "--toggle", "", "show or hide the keyboard that runs on this display, then end", command(PanelCommand::Toggle) },
        { "--skin", "qvga|vga", "the skin's size (default: by the output's density, VGA from 150 dpi)", skin },
        { "--width", "PIXELS", "how wide the keyboard is on the output (default: the output's width)", width },
        { "--events", "", "print every call of the input panel's callback, one a line, and\n"
                          "\"panel shown\" / \"panel hidden\"", SetFlag(o.events) },
        { "--keymap", "", "print the keyboard's keys in output pixels once it shows, then \"ready\";\n"
                          "again for each line \"keymap\" on standard input (for automation)", SetFlag(o.keymap) },
    });
}

// The key map in the output's logical pixels, placed as the display puts the panel: centred on
// the bottom edge. "index id label left top right bottom".
void printKeyMap(const pocketsim::SipHost& panel, const PanelGeometry& geometry, const OutputSize& output)
{
    RECT r {};
    GetWindowRect(panel.window(), &r);
    const double scale = geometry.scale;
    const long width = std::max(1L, std::lround((r.right - r.left) * scale)), height = std::max(1L, std::lround((r.bottom - r.top) * scale));
    const double ox = (output.width - width) / 2.0 - r.left * scale, oy = output.height - height - r.top * scale;
    auto keys = pocketsim::CurrentKeyMap();
    for (auto& key : keys) {
        key.rect.left = static_cast<LONG>(std::lround(ox + key.rect.left * scale));
        key.rect.top = static_cast<LONG>(std::lround(oy + key.rect.top * scale));
        key.rect.right = static_cast<LONG>(std::lround(ox + key.rect.right * scale));
        key.rect.bottom = static_cast<LONG>(std::lround(oy + key.rect.bottom * scale));
    }
    std::fputs(pocketsim::FormatKeyMap(keys).c_str(), stdout);
    say("ready");
}

// Lines that automation writes to standard input: "keymap" asks for the key map again. False
// once the input closed.
template <typename PrintKeyMap>
bool readCommands(std::string& pending, PrintKeyMap print)
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
                print();
            }
        }
    }
}

// The device screen for the output: the keyboard's design size magnified to it. Empty, with the
// reason printed, when the platform cannot have a screen that large.
std::optional<PanelGeometry> useOutput(const pocketsim::HostSetup& setup, const OutputSize& output, const Options& o)
{
    const PanelGeometry geometry = ChoosePanelGeometry(output.width, output.height, output.heightMm, o.skin, o.keyboardWidth);
    if (!setup.use_geometry(geometry.name())) {
        std::fprintf(stderr, "magnikeys-wayland: the output %dx%d is too large for the keyboard\n", output.width, output.height);
        return std::nullopt;
    }
    return geometry;
}

// The keyboard on the compositor until the compositor goes or a signal stops the host.
void runKeyboard(const pocketsim::HostSetup& setup, pocketsim::SipHost& panel, HostConnection& host, InputMethod* inputMethod,
    PanelGeometry geometry, const Options& options)
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
    auto printKeys = [&] { printKeyMap(panel, geometry, host.output()); };
    bool keysPrinted = false;
    auto printKeysOnce = [&] {
        if (options.keymap && !keysPrinted && panel.shown()) {
            keysPrinted = true;
            printKeys();
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

    std::signal(SIGINT, [](int) { g_stop = 1; });
    std::signal(SIGTERM, [](int) { g_stop = 1; });
    bool hostReadable = false;
    Clock::time_point lastInput = Clock::now(), lastReap = lastInput;
    while (!g_stop) {
        if (!host.afterPoll(hostReadable)) {
            std::fprintf(stderr, "magnikeys-wayland: the Wayland compositor went away\n");
            break;
        }
        if (outputChanged) {
            // The output turned or changed size: a new device screen, and the keyboard told.
            outputChanged = false;
            const OutputSize& o = host.output();
            const PanelGeometry next = ChoosePanelGeometry(o.width, o.height, o.heightMm, options.skin, options.keyboardWidth);
            if (next.name() != geometry.name() && setup.use_geometry(next.name())) {
                geometry = next;
                SendMessage(HWND_BROADCAST, WM_SETTINGCHANGE, 0x3002 /* the screen changed */, 0);
            }
        }
        if (!SimPollDisplay() || !SimPumpMessages())
            break;
        reportShown();
        printKeysOnce();
        if (const auto now = Clock::now(); now - lastReap >= kReapEvery) {
            lastReap = now;
            SimReapEndedPrograms();
        }
        if (!host.beforePoll())
            break;
        pollfd fds[4];
        nfds_t count = 0;
        fds[count++] = pollfd { host.descriptor(), POLLIN, 0 };
        if (const int display = SimDisplayDescriptor(); display >= 0)
            fds[count++] = pollfd { display, POLLIN, 0 };
        if (const int bus = osk.descriptor(); bus >= 0)
            fds[count++] = pollfd { bus, POLLIN, 0 };
        if (commandsOpen)
            fds[count++] = pollfd { 0, POLLIN, 0 };
        const int ready = ::poll(fds, count, queueLook(panel.shown(), lastInput));
        if (ready < 0 && errno != EINTR)
            break;
        if (ready > 0)
            lastInput = Clock::now();
        hostReadable = fds[0].revents & POLLIN;
        osk.dispatch();
        if (commandsOpen && (fds[count - 1].revents & (POLLIN | POLLHUP)))
            commandsOpen = readCommands(commands, printKeys);
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
    const std::optional<PanelGeometry> geometry = useOutput(setup, host->output(), options);
    if (!geometry)
        return 1;
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
    if (!setup.install_programs(MK_INSTALL_TREE, pocketsim::KeyboardRole::Required))
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
        runKeyboard(setup, *panel, *host, inputMethod.get(), *geometry, options);
        keyboard.release_all();
        host->flush();
    }
    SimCloseDisplay();
    return 0;
}
