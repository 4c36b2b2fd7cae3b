// pocketsim: boots a simulated pocket device and runs it interactively or from a stylus script.
#include "pocketsim/Boot.h"
#include "pocketsim/Demo.h"
#include "pocketsim/Device.h"
#include "pocketsim/KeyboardInstall.h"
#include "pocketsim/KeyboardKeys.h"
#include "pocketsim/Script.h"
#include "pocketsim/SipHost.h"

#include "runtime/Text.h"

#include <simhost.h>

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iostream>
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

void usage()
{
    std::fprintf(stderr,
        "usage: pocketsim [options]\n"
        "  --geometry NAME    qvga (default), vga, qvga-landscape, vga-landscape or WxH@DPI\n"
        "  --kind KIND        pocketpc (default) or smartphone\n"
        "  --root FOLDER      the device root (default: POCKETSIM_ROOT or ~/.local/share/pocketsim/device)\n"
        "  --display NAME     sdl or headless (default: POCKETSIM_DISPLAY, else sdl when there is a display)\n"
        "  --script FILE      run a stylus script headless in virtual time ('-' reads standard input)\n"
        "  --shots FOLDER     where the script's screenshots go (default: the current folder; for the\n"
        "                     demo that runs when there is no display: pocketsim-demo; the demo runs\n"
        "                     on a new device of its own unless --root or POCKETSIM_ROOT names one)\n"
        "  --type TEXT        type TEXT into the note pad after booting\n"
        "  --print-text       print the note pad's text when the device stops\n"
        "  --events           print every call of the input panel's callback, one a line\n"
        "  --install FOLDER   install the programs of an install tree (Maker/Product/...) and stop\n"
        "  --uninstall NAME   remove an installed program (\"Tarn Magnikeys\" or \"Magnikeys\") and stop\n"
        "  --no-install       boot without installing the programs the build made when they are newer\n"
        "  --keymap           print the keyboard's keys when the device stops: index id label left top right bottom\n");
}

}

int main(int argc, char** argv)
{
    const char* geometry = nullptr;
    const char* display = nullptr;
    const char* script = nullptr;
    const char* initialText = nullptr;
    pocketsim::ScriptOptions options;
    bool printText = false;
    bool events = false;
    bool installBuilt = true;
    bool keymap = false;
    bool shotsGiven = false;
    bool rootGiven = false;
    const char* install = nullptr;
    const char* uninstall = nullptr;
    for (int i = 1; i < argc; ++i) {
        std::string arg = argv[i];
        auto value = [&]() -> const char* {
            if (i + 1 >= argc) {
                std::fprintf(stderr, "pocketsim: %s needs a value\n", arg.c_str());
                std::exit(2);
            }
            return argv[++i];
        };
        if (arg == "--geometry")
            geometry = value();
        else if (arg == "--kind") {
            const char* kind = value();
            if (!SimSetDeviceKind(kind)) {
                std::fprintf(stderr, "pocketsim: unknown device kind '%s' (pocketpc, smartphone)\n", kind);
                return 2;
            }
            // Programs that the device starts are of the same kind.
            setenv("POCKETSIM_KIND", kind, 1);
        }
        else if (arg == "--root") {
            SimSetDeviceRoot(value());
            rootGiven = true;
        }
        else if (arg == "--display")
            display = value();
        else if (arg == "--script")
            script = value();
        else if (arg == "--shots") {
            options.shotFolder = value();
            shotsGiven = true;
        }
        else if (arg == "--type")
            initialText = value();
        else if (arg == "--print-text")
            printText = true;
        else if (arg == "--events")
            events = true;
        else if (arg == "--no-install")
            installBuilt = false;
        else if (arg == "--keymap")
            keymap = true;
        else if (arg == "--install")
            install = value();
        else if (arg == "--uninstall")
            uninstall = value();
        else if (arg == "--help" || arg == "-h") {
            usage();
            return 0;
        } else {
            std::fprintf(stderr, "pocketsim: unknown option %s\n", arg.c_str());
            usage();
            return 2;
        }
    }
    if (geometry) {
        if (!SimSetGeometry(geometry)) {
            std::fprintf(stderr, "pocketsim: unknown geometry '%s'\n", geometry);
            return 2;
        }
        // Programs that the device starts see the same screen.
        setenv("POCKETSIM_GEOMETRY", geometry, 1);
    }
    if (install || uninstall) {
        std::string report;
        bool ok = install ? pocketsim::InstallTree(install, report) : pocketsim::Uninstall(uninstall, report);
        std::fputs(report.c_str(), ok ? stdout : stderr);
        return ok ? 0 : 1;
    }
    // Scripts run headless in virtual time: the same script gives the same pictures.
    if (script) {
        SimUseVirtualClock(1000);
        SimShareVirtualClock();
        display = "headless";
    }
    // Without a display to show the device, a demo script shows what the keyboard does in
    // pictures (in virtual time, like any script).
    const char* chosen = display ? display : std::getenv("POCKETSIM_DISPLAY");
    const bool noDisplay = chosen ? std::strcmp(chosen, "headless") == 0 : !std::getenv("DISPLAY") && !std::getenv("WAYLAND_DISPLAY");
    const bool demo = !script && noDisplay;
    // The demo changes the keyboard's settings: it runs on a new device of its own, which it
    // removes again, unless it was given one.
    FolderRemover demoRoot;
    if (demo) {
        if (!rootGiven && !std::getenv("POCKETSIM_ROOT")) {
            std::error_code error;
            const std::filesystem::path temp = std::filesystem::temp_directory_path(error);
            std::random_device random;
            for (int attempt = 0; attempt < 10 && demoRoot.path.empty() && !error; ++attempt) {
                std::filesystem::path folder = temp / ("pocketsim-demo-" + std::to_string(random()));
                if (std::filesystem::create_directory(folder, error))
                    demoRoot.path = folder;
            }
            if (!demoRoot.path.empty())
                SimSetDeviceRoot(demoRoot.path.c_str());
        }
        SimUseVirtualClock(1000);
        SimShareVirtualClock();
        display = "headless";
        if (!shotsGiven)
            options.shotFolder = "pocketsim-demo";
    }
    if (script || demo) {
        std::error_code ignored;
        std::filesystem::create_directories(options.shotFolder, ignored);
    }
    // The device's own files and the built programs go in before the screen shows.
    std::string problem;
    if (!pocketsim::InstallPlatformFiles(problem))
        std::fprintf(stderr, "pocketsim: %s\n", problem.c_str());
#ifdef POCKETSIM_INSTALL_TREE
    // The programs this build made, when the device lacks them or has older ones.
    std::error_code noTree;
    if (installBuilt && !std::filesystem::is_empty(POCKETSIM_INSTALL_TREE, noTree) && !noTree) {
        const bool hadKeyboard = pocketsim::KeyboardOnDevice();
        std::string report;
        if (!pocketsim::InstallTree(POCKETSIM_INSTALL_TREE, report, true))
            std::fprintf(stderr, "pocketsim: installing the built programs failed:\n%s", report.c_str());
        if (!hadKeyboard && pocketsim::KeyboardOnDevice())
            pocketsim::MakeKeyboardCurrent();
    }
#endif
    (void)installBuilt;

    // The screen is there from power-on: what a program shows while the device boots (a box
    // of the input method it loads) is on it, answered as any other box.
    if (!SimOpenDisplay(display)) {
        std::fprintf(stderr, "pocketsim: cannot open the display\n");
        return 1;
    }
    int status = 0;
    {
        // Boots the device: the shell and note pad, the input panel, then the startup folder.
        auto bootDevice = [&]() -> std::unique_ptr<pocketsim::Device> {
            // The input panel is there before the programs, which may ask for it as they start
            // (the note pad does when it takes the focus).
            auto panel = std::make_unique<pocketsim::SipHost>();
            if (events)
                panel->set_event_sink([](const std::string& line) {
                    std::printf("%s\n", line.c_str());
                    std::fflush(stdout);
                });
            const bool panelStarted = panel->start(nullptr);
            if (!panelStarted)
                std::fprintf(stderr, "pocketsim: the input panel did not start\n");
            auto device = std::make_unique<pocketsim::Device>();
            if (!device->boot(nullptr)) {
                std::fprintf(stderr, "pocketsim: the device did not boot\n");
                return nullptr;
            }
            if (panelStarted)
                device->set_input_panel(std::move(panel));
            SimPumpMessages();
            // What the device starts at boot runs in the script's time (the startup selector's
            // wait is then exact); programs started later keep the real clock.
            SimStartProgramsOnVirtualClock(true);
            pocketsim::RunStartupFolder();
            SimStartProgramsOnVirtualClock(false);
            SimPumpMessages();
            return device;
        };
        std::unique_ptr<pocketsim::Device> booted = bootDevice();
        if (!booted)
            return 1;
        // A reboot keeps the files and the registry; the device's programs end with it.
        options.reboot = [&]() -> pocketsim::Device* {
            SimEndPrograms(2000);
            booted.reset();
            SimPumpMessages();
            booted = bootDevice();
            return booted.get();
        };
        pocketsim::Device& device = *booted;
        if (initialText) {
            for (char16_t c : Utf16FromUtf8(initialText))
                pocketsim::DeviceInput::send_char(c == u'\n' ? u'\r' : c);
            SimPumpMessages();
        }
        SimPumpMessages();
        if (demo) {
            pocketsim::Script runner(device, options);
            std::istringstream in(pocketsim::kDemoScript);
            if (runner.run(in, "demo")) {
                std::printf("pocketsim: no display; the demo typed \"%s\" and wrote its screenshots to %s/\n",
                    Utf8FromUtf16(device.notepad().text()).c_str(), options.shotFolder.c_str());
            } else {
                std::fprintf(stderr, "%s\n", runner.error().c_str());
                status = 1;
            }
        } else if (script) {
            pocketsim::Script runner(device, options);
            bool ok;
            if (std::strcmp(script, "-") == 0) {
                // No reading ahead: a program that writes the script line by line sees, in what
                // is left in its pipe, how far the device has come.
                std::setvbuf(stdin, nullptr, _IONBF, 0);
                ok = runner.run(std::cin, "stdin");
            } else {
                std::ifstream in(script);
                if (!in) {
                    std::fprintf(stderr, "pocketsim: cannot read %s\n", script);
                    return 1;
                }
                ok = runner.run(in, script);
            }
            if (!ok) {
                std::fprintf(stderr, "%s\n", runner.error().c_str());
                status = 1;
            }
        } else {
            std::signal(SIGINT, [](int) { g_stop = 1; });
            std::signal(SIGTERM, [](int) { g_stop = 1; });
            while (!g_stop && SimPollDisplay() && SimRunFor(10)) {
            }
        }
        if (keymap) {
            SimPumpMessages();
            std::fputs(pocketsim::FormatKeyMap(pocketsim::CurrentKeyMap()).c_str(), stdout);
        }
        if (printText)
            std::printf("%s\n", Utf8FromUtf16(booted->notepad().text()).c_str());
        std::fflush(stdout);
        // The device switches off: its programs end with it.
        SimEndPrograms(2000);
    }
    SimCloseDisplay();
    return status;
}
