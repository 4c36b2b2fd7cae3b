// pocketsim: boots a simulated pocket device and runs it interactively or from a stylus script.
#include "panel_host/Boot.h"
#include "pocketsim/Demo.h"
#include "pocketsim/Device.h"
#include "panel_host/HostSetup.h"
#include "panel_host/KeyboardKeys.h"
#include "panel_host/OptionTable.h"
#include "pocketsim/Script.h"

#include "runtime/Text.h"

#include <simhost.h>

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <optional>
#include <random>
#include <sstream>
#include <string>

namespace {

volatile std::sig_atomic_t g_stop = 0;

// A folder made for this run, removed with everything in it when the run ends.
struct FolderRemover {
    std::filesystem::path path;
    FolderRemover() = default;
    FolderRemover(const FolderRemover&) = delete;
    FolderRemover& operator=(const FolderRemover&) = delete;
    ~FolderRemover()
    {
        std::error_code ignored;
        if (!path.empty())
            std::filesystem::remove_all(path, ignored);
    }
};

// What the command line asks for.
struct Options {
    const char* geometry = nullptr;
    const char* root = nullptr;
    const char* display = nullptr;
    const char* script = nullptr;
    const char* initialText = nullptr;
    pocketsim::ScriptOptions scriptOptions;
    bool printText = false;
    bool events = false;
    bool installBuilt = true;
    bool keymap = false;
    bool shotsGiven = false;
    const char* install = nullptr;
    const char* uninstall = nullptr;
};

std::string takeKind(const char* kind)
{
    if (!SimSetDeviceKind(kind))
        return std::string("unknown device kind '") + kind + "' (pocketpc, smartphone)";
    // Programs that the device starts are of the same kind.
    setenv("POCKETSIM_KIND", kind, 1);
    return {};
}

pocketsim::OptionTable optionTable(Options& o)
{
    using pocketsim::SetFlag;
    using pocketsim::StoreValue;
    auto shots = [&o](const char* folder) {
        o.scriptOptions.shotFolder = folder;
        o.shotsGiven = true;
        return std::string();
    };
    return pocketsim::OptionTable("pocketsim", {
        { "--geometry", "NAME", "qvga (default), vga, qvga-landscape, vga-landscape or WxH@DPI", StoreValue(o.geometry) },
        { "--kind", "KIND", "pocketpc (default) or smartphone", takeKind },
        { "--root", "FOLDER", "the device root (default: POCKETSIM_ROOT or ~/.local/share/pocketsim/device)", StoreValue(o.root) },
        { "--display", "NAME", "sdl or headless (default: POCKETSIM_DISPLAY, else sdl when there is a display)", StoreValue(o.display) },
        { "--script", "FILE", "run a stylus script headless in virtual time ('-' reads standard input)", StoreValue(o.script) },
        { "--shots", "FOLDER", "where the script's screenshots go (default: the current folder; for the\n"
                               "demo that runs when there is no display: pocketsim-demo; the demo runs\n"
                               "on a new device of its own unless --root or POCKETSIM_ROOT names one)", shots },
        { "--type", "TEXT", "type TEXT into the note pad after booting", StoreValue(o.initialText) },
        { "--print-text", "", "print the note pad's text when the device stops", SetFlag(o.printText) },
        { "--events", "", "print every call of the input panel's callback, one a line", SetFlag(o.events) },
        { "--install", "FOLDER", "install the programs of an install tree (Maker/Product/...) and stop", StoreValue(o.install) },
        { "--uninstall", "NAME", "remove an installed program (\"Tarn Magnikeys\" or \"Magnikeys\") and stop", StoreValue(o.uninstall) },
        { "--no-install", "", "boot without installing the programs the build made when they are newer", SetFlag(o.installBuilt, false) },
        { "--keymap", "", "print the keyboard's keys when the device stops: index id label left top right bottom", SetFlag(o.keymap) },
    });
}

// --install and --uninstall: the device changes and the host stops.
int installOrUninstall(const Options& o)
{
    std::string report;
    bool ok = o.install ? pocketsim::InstallTree(o.install, report) : pocketsim::Uninstall(o.uninstall, report);
    std::fputs(report.c_str(), ok ? stdout : stderr);
    return ok ? 0 : 1;
}

// Picks the display and the clock; true when the demo runs. The demo changes the keyboard's
// settings: it runs on a new device of its own, which demoRoot removes again, unless it was
// given one.
bool chooseDisplay(Options& o, const pocketsim::HostSetup& setup, FolderRemover& demoRoot)
{
    // Scripts run headless in virtual time: the same script gives the same pictures.
    if (o.script) {
        SimUseVirtualClock(1000);
        SimShareVirtualClock();
        o.display = "headless";
    }
    // Without a display to show the device, a demo script shows what the keyboard does in
    // pictures (in virtual time, like any script).
    const char* chosen = o.display ? o.display : std::getenv("POCKETSIM_DISPLAY");
    const bool noDisplay = chosen ? std::strcmp(chosen, "headless") == 0 : !std::getenv("DISPLAY") && !std::getenv("WAYLAND_DISPLAY");
    const bool demo = !o.script && noDisplay;
    if (demo) {
        if (!o.root && !std::getenv("POCKETSIM_ROOT")) {
            std::error_code error;
            const std::filesystem::path temp = std::filesystem::temp_directory_path(error);
            std::random_device random;
            for (int attempt = 0; attempt < 10 && demoRoot.path.empty() && !error; ++attempt) {
                std::filesystem::path folder = temp / ("pocketsim-demo-" + std::to_string(random()));
                if (std::filesystem::create_directory(folder, error))
                    demoRoot.path = folder;
            }
            if (!demoRoot.path.empty())
                setup.use_device_root(demoRoot.path.string());
        }
        SimUseVirtualClock(1000);
        SimShareVirtualClock();
        o.display = "headless";
        if (!o.shotsGiven)
            o.scriptOptions.shotFolder = "pocketsim-demo";
    }
    if (o.script || demo) {
        std::error_code ignored;
        std::filesystem::create_directories(o.scriptOptions.shotFolder, ignored);
    }
    return demo;
}

// The device's own files and the built programs go in before the screen shows.
void installPrograms(const pocketsim::HostSetup& setup, const Options& o)
{
    setup.install_platform_files();
    // The programs installed beside pocketsim (or this build's), when the device lacks them or
    // has older ones.
    if (o.installBuilt)
        setup.install_programs(pocketsim::KeyboardRole::Optional);
}

// Boots the device: the shell and note pad, the input panel, then the startup folder.
std::unique_ptr<pocketsim::Device> bootDevice(const pocketsim::HostSetup& setup, bool events)
{
    // The input panel is there before the programs, which may ask for it as they start (the
    // note pad does when it takes the focus).
    auto panel = setup.start_input_panel(events);
    auto device = std::make_unique<pocketsim::Device>();
    if (!device->boot(nullptr)) {
        std::fprintf(stderr, "pocketsim: the device did not boot\n");
        return nullptr;
    }
    if (panel)
        device->set_input_panel(std::move(panel));
    SimPumpMessages();
    // What the device starts at boot runs in the script's time (the startup selector's
    // wait is then exact); programs started later keep the real clock.
    setup.run_startup_folder();
    SimPumpMessages();
    return device;
}

int runDemo(pocketsim::Device& device, const Options& o)
{
    pocketsim::Script runner(device, o.scriptOptions);
    std::istringstream in(pocketsim::kDemoScript);
    if (runner.run(in, "demo")) {
        std::printf("pocketsim: no display; the demo typed \"%s\" and wrote its screenshots to %s/\n",
            Utf8FromUtf16(device.notepad().text()).c_str(), o.scriptOptions.shotFolder.c_str());
        return 0;
    }
    std::fprintf(stderr, "%s\n", runner.error().c_str());
    return 1;
}

// The --script file's status in status; false when the file cannot be read, which stops the
// host at once.
bool runScript(pocketsim::Device& device, const Options& o, int& status)
{
    const char* script = o.script;
    pocketsim::Script runner(device, o.scriptOptions);
    bool ok;
    if (std::strcmp(script, "-") == 0) {
        // No reading ahead: a program that writes the script line by line sees, in what is
        // left in its pipe, how far the device has come.
        std::setvbuf(stdin, nullptr, _IONBF, 0);
        ok = runner.run(std::cin, "stdin");
    } else {
        std::ifstream in(script);
        if (!in) {
            std::fprintf(stderr, "pocketsim: cannot read %s\n", script);
            return false;
        }
        ok = runner.run(in, script);
    }
    if (!ok) {
        std::fprintf(stderr, "%s\n", runner.error().c_str());
        status = 1;
    }
    return true;
}

void runInteractive()
{
    std::signal(SIGINT, [](int) { g_stop = 1; });
    std::signal(SIGTERM, [](int) { g_stop = 1; });
    while (!g_stop && SimPollDisplay() && SimRunFor(10)) {
    }
}

// What --keymap and --print-text print when the device stops.
void printWhenStopping(pocketsim::Device& device, const Options& o)
{
    if (o.keymap) {
        SimPumpMessages();
        std::fputs(pocketsim::FormatKeyMap(pocketsim::CurrentKeyMap()).c_str(), stdout);
    }
    if (o.printText)
        std::printf("%s\n", Utf8FromUtf16(device.notepad().text()).c_str());
    std::fflush(stdout);
}

// The device from boot until it switches off; the program's status.
int runDevice(const pocketsim::HostSetup& setup, Options& o, bool demo)
{
    // The screen is there from power-on: what a program shows while the device boots (a box
    // of the input method it loads) is on it, answered as any other box.
    if (!SimOpenDisplay(o.display)) {
        std::fprintf(stderr, "pocketsim: cannot open the display\n");
        return 1;
    }
    int status = 0;
    // A boot or a script that fails still ends the device's programs and closes the screen.
    if (std::unique_ptr<pocketsim::Device> booted = bootDevice(setup, o.events)) {
        // A reboot keeps the files and the registry; the device's programs end with it.
        o.scriptOptions.reboot = [&booted, &setup, events = o.events]() -> pocketsim::Device* {
            SimEndPrograms(2000);
            booted.reset();
            SimPumpMessages();
            booted = bootDevice(setup, events);
            return booted.get();
        };
        pocketsim::Device& device = *booted;
        if (o.initialText) {
            for (char16_t c : Utf16FromUtf8(o.initialText))
                pocketsim::DeviceInput::send_char(c == u'\n' ? u'\r' : c);
            SimPumpMessages();
        }
        SimPumpMessages();
        bool ran = true;
        if (demo)
            status = runDemo(device, o);
        else if (o.script)
            ran = runScript(device, o, status);
        else
            runInteractive();
        if (ran && booted)
            printWhenStopping(*booted, o);
        else
            status = 1;
        // The device switches off: its programs end with it.
        SimEndPrograms(2000);
    } else
        status = 1;
    SimCloseDisplay();
    return status;
}

}

int main(int argc, char** argv)
{
    Options options;
    if (std::optional<int> stop = optionTable(options).parse(argc, argv))
        return *stop;
    const pocketsim::HostSetup setup("pocketsim");
    if (options.geometry && !setup.use_geometry(options.geometry)) {
        std::fprintf(stderr, "pocketsim: unknown geometry '%s'\n", options.geometry);
        return 2;
    }
    if (options.root)
        setup.use_device_root(options.root);
    if (options.install || options.uninstall)
        return installOrUninstall(options);
    FolderRemover demoRoot;
    const bool demo = chooseDisplay(options, setup, demoRoot);
    installPrograms(setup, options);
    return runDevice(setup, options, demo);
}
