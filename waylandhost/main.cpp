// magnikeys-wayland: Magnikeys as the on-screen keyboard of a Wayland compositor (sway and other
// wlroots compositors, Phosh). The keyboard library runs in the same input panel host as on the
// device; its windows are surfaces of their own (the panel a layer surface on the bottom edge
// that never takes the focus), and what it types reaches the focused program as input-method
// text or as keys of a virtual keyboard. The panel shows while a text field wants input.
#include "pocketsim/Boot.h"
#include "pocketsim/KeyboardInstall.h"
#include "pocketsim/KeyboardKeys.h"
#include "pocketsim/SipHost.h"
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
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <optional>
#include <poll.h>
#include <string>
#include <unistd.h>

namespace {

using namespace waylandhost;

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

int queueLook(bool shown, std::chrono::steady_clock::time_point lastInput)
{
    if (std::chrono::steady_clock::now() - lastInput < kBusyFor)
        return kQueueLookBusyMs;
    return shown ? kQueueLookShownMs : kQueueLookHiddenMs;
}

void usage()
{
    std::fprintf(stderr,
        "usage: magnikeys-wayland [options]\n"
        "  --root FOLDER      the keyboard's device folder (default: POCKETSIM_ROOT or\n"
        "                     ~/.local/share/magnikeys-wayland/device)\n"
        "  --always           keep the keyboard up (default: up while a text field wants input)\n"
        "  --show, --hide, --toggle\n"
        "                     show or hide the keyboard that runs on this display, then end\n"
        "  --skin qvga|vga    the skin's size (default: by the output's density, VGA from 150 dpi)\n"
        "  --width PIXELS     how wide the keyboard is on the output (default: the output's width)\n"
        "  --events           print every call of the input panel's callback, one a line, and\n"
        "                     \"panel shown\" / \"panel hidden\"\n"
        "  --keymap           print the keyboard's keys in output pixels once it shows, then \"ready\";\n"
        "                     again for each line \"keymap\" on standard input (for automation)\n");
}

std::string defaultRoot()
{
    const char* home = std::getenv("HOME");
    return std::string(home && *home ? home : "/tmp") + "/.local/share/magnikeys-wayland/device";
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
    std::printf("ready\n");
    std::fflush(stdout);
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

void say(const char* text)
{
    std::printf("%s\n", text);
    std::fflush(stdout);
}

}

int main(int argc, char** argv)
{
    const char* root = std::getenv("POCKETSIM_ROOT");
    std::string rootStorage;
    SkinSize skin = SkinSize::Automatic;
    int keyboardWidth = 0;
    bool always = false, events = false, keymapWanted = false;
    std::optional<PanelCommand> command;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        auto value = [&]() -> const char* {
            if (i + 1 >= argc) {
                std::fprintf(stderr, "magnikeys-wayland: %s needs a value\n", arg.c_str());
                std::exit(2);
            }
            return argv[++i];
        };
        if (arg == "--root")
            root = value();
        else if (arg == "--skin") {
            const std::string v = value();
            if (v == "qvga")
                skin = SkinSize::Qvga;
            else if (v == "vga")
                skin = SkinSize::Vga;
            else {
                std::fprintf(stderr, "magnikeys-wayland: unknown skin size '%s' (qvga, vga)\n", v.c_str());
                return 2;
            }
        } else if (arg == "--width") {
            keyboardWidth = std::atoi(value());
            if (keyboardWidth < 64) {
                std::fprintf(stderr, "magnikeys-wayland: --width wants at least 64 pixels\n");
                return 2;
            }
        } else if (arg == "--always")
            always = true;
        else if (arg == "--show")
            command = PanelCommand::Show;
        else if (arg == "--hide")
            command = PanelCommand::Hide;
        else if (arg == "--toggle")
            command = PanelCommand::Toggle;
        else if (arg == "--events")
            events = true;
        else if (arg == "--keymap")
            keymapWanted = true;
        else if (arg == "--help" || arg == "-h") {
            usage();
            return 0;
        } else {
            std::fprintf(stderr, "magnikeys-wayland: unknown option %s\n", arg.c_str());
            usage();
            return 2;
        }
    }
    std::string why;
    if (command) {
        if (SendPanelCommand(*command, why))
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
    auto virtualKeyboard = host->virtualKeyboard();
    if (!virtualKeyboard) {
        std::fprintf(stderr, "magnikeys-wayland: the compositor offers no virtual keyboard (zwp_virtual_keyboard_manager_v1)\n");
        return 1;
    }
    auto inputMethod = host->inputMethod();
    if (!inputMethod)
        std::fprintf(stderr, "magnikeys-wayland: the compositor offers no input method (zwp_input_method_manager_v2); "
                             "the keyboard stays up and types keys\n");

    PanelGeometry geometry = ChoosePanelGeometry(host->output().width, host->output().height, host->output().heightMm, skin, keyboardWidth);
    if (!SimSetGeometry(geometry.name().c_str())) {
        std::fprintf(stderr, "magnikeys-wayland: the output %dx%d is too large for the keyboard\n", host->output().width,
            host->output().height);
        return 1;
    }
    // The programs the keyboard starts (its settings) see the same screen.
    setenv("POCKETSIM_GEOMETRY", geometry.name().c_str(), 1);
    if (!root) {
        rootStorage = defaultRoot();
        root = rootStorage.c_str();
    }
    std::error_code ignored;
    std::filesystem::create_directories(root, ignored);
    Instance instance;
    if (!instance.claim(std::filesystem::absolute(root, ignored).string(), why)) {
        std::fprintf(stderr, "magnikeys-wayland: %s\n", why.c_str());
        return 1;
    }
    SimSetDeviceRoot(root);

    // The keyboard, its data and its settings program, installed when missing or older; the
    // desktop's input method is always Magnikeys.
    std::string problem;
    if (!pocketsim::InstallPlatformFiles(problem))
        std::fprintf(stderr, "magnikeys-wayland: %s\n", problem.c_str());
    std::string report;
    if (!pocketsim::InstallTree(MK_INSTALL_TREE, report, true)) {
        std::fprintf(stderr, "magnikeys-wayland: installing the keyboard failed:\n%s", report.c_str());
        return 1;
    }
    if (!pocketsim::KeyboardOnDevice()) {
        std::fprintf(stderr, "magnikeys-wayland: the build's install tree %s holds no keyboard\n", MK_INSTALL_TREE);
        return 1;
    }
    pocketsim::MakeKeyboardCurrent();

    // Screen reads from the keyboard's first moment on see the output.
    if (!SimOpenDisplay("wayland")) {
        std::fprintf(stderr, "magnikeys-wayland: cannot show windows on the Wayland display\n");
        return 1;
    }
    {
        WaylandKeyboard keyboard(keymap, *virtualKeyboard, inputMethod.get());
        pocketsim::SipHost panel;
        panel.set_key_output(&keyboard);
        if (events)
            panel.set_event_sink([](const std::string& line) { say(line.c_str()); });
        if (!panel.start(nullptr)) {
            std::fprintf(stderr, "magnikeys-wayland: the input panel did not start\n");
            panel.set_key_output(nullptr);
            SimCloseDisplay();
            return 1;
        }
        // Without an input method nothing would ever show the keyboard.
        const bool keepUp = always || !inputMethod;
        // Phosh's shell shows and hides the keyboard on the session bus.
        Osk0Service osk;
        if (osk.start(why))
            osk.visibilityWanted = [&](bool visible) { visible ? panel.show() : panel.hide(); };
        else if (std::getenv("DBUS_SESSION_BUS_ADDRESS"))
            std::fprintf(stderr, "magnikeys-wayland: %s; the shell cannot show the keyboard\n", why.c_str());
        bool shown = false;
        auto reportShown = [&] {
            if (events && panel.shown() != shown)
                say(panel.shown() ? "panel shown" : "panel hidden");
            shown = panel.shown();
            osk.setVisible(shown);
        };
        if (keepUp)
            panel.show();
        if (inputMethod)
            inputMethod->activeChanged = [&](bool on) {
                if (on)
                    panel.show();
                else if (!keepUp)
                    panel.hide();
            };
        bool outputChanged = false;
        host->outputChanged = [&] { outputChanged = true; };
        SimPumpMessages();
        SimPresent();
        reportShown();
        auto printKeys = [&] { printKeyMap(panel, geometry, host->output()); };
        std::string commands;
        bool commandsOpen = keymapWanted;
        // The keys are known once the keyboard shows (at once with --always, else when a text
        // field asks for it).
        bool keysPrinted = false;
        auto printKeysOnce = [&] {
            if (keymapWanted && !keysPrinted && panel.shown()) {
                keysPrinted = true;
                printKeys();
            }
        };
        printKeysOnce();
        if (keymapWanted)
            fcntl(0, F_SETFL, fcntl(0, F_GETFL) | O_NONBLOCK);
        std::signal(SIGINT, [](int) { g_stop = 1; });
        std::signal(SIGTERM, [](int) { g_stop = 1; });
        bool hostReadable = false;
        auto lastInput = std::chrono::steady_clock::now();
        auto lastReap = lastInput;
        while (!g_stop) {
            if (!host->afterPoll(hostReadable)) {
                std::fprintf(stderr, "magnikeys-wayland: the Wayland compositor went away\n");
                break;
            }
            if (outputChanged) {
                // The output turned or changed size: a new device screen, and the keyboard told.
                outputChanged = false;
                const OutputSize& o = host->output();
                const PanelGeometry next = ChoosePanelGeometry(o.width, o.height, o.heightMm, skin, keyboardWidth);
                if (next.name() != geometry.name() && SimSetGeometry(next.name().c_str())) {
                    geometry = next;
                    setenv("POCKETSIM_GEOMETRY", geometry.name().c_str(), 1);
                    SendMessage(HWND_BROADCAST, WM_SETTINGCHANGE, 0x3002 /* the screen changed */, 0);
                }
            }
            if (!SimPollDisplay() || !SimPumpMessages())
                break;
            reportShown();
            printKeysOnce();
            if (const auto now = std::chrono::steady_clock::now(); now - lastReap >= kReapEvery) {
                lastReap = now;
                SimReapEndedPrograms();
            }
            if (!host->beforePoll())
                break;
            pollfd fds[4];
            nfds_t count = 0;
            fds[count++] = pollfd { host->descriptor(), POLLIN, 0 };
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
                lastInput = std::chrono::steady_clock::now();
            hostReadable = fds[0].revents & POLLIN;
            osk.dispatch();
            if (commandsOpen && (fds[count - 1].revents & (POLLIN | POLLHUP)))
                commandsOpen = readCommands(commands, printKeys);
        }
        // The settings program ends with the keyboard.
        SimEndPrograms(2000);
        panel.set_key_output(nullptr);
        keyboard.release_all();
        host->flush();
    }
    SimCloseDisplay();
    return 0;
}
