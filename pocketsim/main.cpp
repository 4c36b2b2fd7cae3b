// pocketsim: boots a simulated pocket device and runs it interactively or from a stylus script.
#include "pocketsim/Device.h"
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
#include <string>

namespace {

volatile std::sig_atomic_t g_stop = 0;

void usage()
{
    std::fprintf(stderr,
        "usage: pocketsim [options]\n"
        "  --geometry NAME    qvga (default), vga, qvga-landscape, vga-landscape or WxH@DPI\n"
        "  --kind KIND        pocketpc (default) or smartphone\n"
        "  --root FOLDER      the device root (default: POCKETSIM_ROOT or ~/.local/share/pocketsim/device)\n"
        "  --display NAME     sdl or headless (default: POCKETSIM_DISPLAY, else sdl when there is a display)\n"
        "  --script FILE      run a stylus script headless in virtual time ('-' reads standard input)\n"
        "  --shots FOLDER     where the script's screenshots go (default: the current folder)\n"
        "  --type TEXT        type TEXT into the note pad after booting\n"
        "  --print-text       print the note pad's text when the device stops\n");
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
        else if (arg == "--root")
            SimSetDeviceRoot(value());
        else if (arg == "--display")
            display = value();
        else if (arg == "--script")
            script = value();
        else if (arg == "--shots")
            options.shotFolder = value();
        else if (arg == "--type")
            initialText = value();
        else if (arg == "--print-text")
            printText = true;
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
    // Scripts run headless in virtual time: the same script gives the same pictures.
    if (script) {
        SimUseVirtualClock(1000);
        display = "headless";
    }
    if (script) {
        std::error_code ignored;
        std::filesystem::create_directories(options.shotFolder, ignored);
    }
    if (!SimOpenDisplay(display)) {
        std::fprintf(stderr, "pocketsim: cannot open the display\n");
        return 1;
    }

    int status = 0;
    {
        pocketsim::Device device;
        if (!device.boot(nullptr)) {
            std::fprintf(stderr, "pocketsim: the device did not boot\n");
            return 1;
        }
        SimPumpMessages();
        if (initialText) {
            for (char16_t c : Utf16FromUtf8(initialText))
                pocketsim::DeviceInput::send_char(c == u'\n' ? u'\r' : c);
            SimPumpMessages();
        }
        if (script) {
            pocketsim::Script runner(device, options);
            bool ok;
            if (std::strcmp(script, "-") == 0) {
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
        if (printText)
            std::printf("%s\n", Utf8FromUtf16(device.notepad().text()).c_str());
        std::fflush(stdout);
    }
    SimCloseDisplay();
    return status;
}
