#pragma once
// What every host does before its device runs, so that the device host and the desktop hosts
// set up one device the same way. A host's main takes the steps in this order:
//
//     pocketsim::HostSetup setup("myhost");
//     if (!setup.use_geometry(name))                        // 1. the screen
//         ... say why in the host's words, stop
//     setup.use_device_root(setup.device_root(given));      // 2. the device root
//     setup.install_platform_files();                       // 3. the device's own files,
//     if (!setup.install_programs(KeyboardRole::...))       //    then the programs
//         stop
//     if (!setup.use_desktop(screen, options))              // 1'. or a desktop host's screen,
//         stop                                              //     once the keyboard is in
//     ... open the display
//     auto panel = setup.start_input_panel(events, output); // 4. boot: the input panel,
//     setup.run_startup_folder();                           //    what the device starts
//
// The steps print their own problems on standard error as "HOST: why"; a step that returns
// false has printed why the host cannot go on.
#include "panel_host/DesktopSetup.h"
#include "panel_host/SipHost.h"

#include <memory>
#include <string>
#include <vector>

namespace pocketsim {

// How much a host needs the keyboard of the build's install tree.
enum class KeyboardRole {
    // The device host: a device works without it. A missing or empty tree installs nothing, a
    // failing installation is reported and the host goes on, and Magnikeys becomes the current
    // input method only when it first arrives (a user's later choice stays).
    Optional,
    // The desktop hosts: the keyboard is the program. A failing installation or a tree without
    // the keyboard stops the host, and Magnikeys is made the current input method every time.
    Required,
};

class HostSetup {
public:
    // host: the program's name, which starts every message.
    explicit HostSetup(std::string host);
    const std::string& host() const { return m_host; }

    // The device screen, a name SimSetGeometry takes ("qvga", "vga-landscape", "480x700@192"),
    // for this process and the programs it starts. False when the platform does not take the
    // name; nothing is printed, as only the host knows where the name came from.
    bool use_geometry(const std::string& name) const;
    // A desktop host's screen instead: the keyboard's size for the desktop's screen and its skin
    // drawn for it with the host's skin kit (DesktopSetup.h), the report printed. Runs after the
    // programs are installed. False, printed, when the platform cannot have a screen that large.
    bool use_desktop(const DesktopScreen& screen, const PanelOptions& options, DesktopSetupResult* result = nullptr) const;

    // The folder given (a --root option), else POCKETSIM_ROOT, else
    // "$HOME/.local/share/HOST/device".
    std::string device_root(const char* given) const;
    // Makes folder the device root, created when missing.
    void use_device_root(const std::string& folder) const;

    // The device's own files (the platform's keyboard); a problem is printed, never fatal.
    void install_platform_files() const;
    // The programs of an install tree (Maker/Product/...), each installed when the device lacks
    // it or has older files. False when the host must stop (KeyboardRole::Required only).
    bool install_programs(const std::string& tree, KeyboardRole role) const;
    // The programs of the host's own files (HostFiles.h): the installed trees beside an installed
    // host, else the build's. The programs the device starts then find the platform library.
    bool install_programs(KeyboardRole role) const;

    // The input panel with the current input method loaded (not shown). printEvents prints each
    // call of its callback on standard output, one a line; output takes its keys (null: the
    // device's focused window). Null when it does not start.
    std::unique_ptr<SipHost> start_input_panel(bool printEvents, KeyOutput* output = nullptr) const;
    // Starts what "\Windows\StartUp" holds, as the device does at boot. They run on this
    // host's clock (virtual under a script), so that their waits are exact; programs started
    // later keep the real clock.
    void run_startup_folder() const;

private:
    bool installTrees(const std::vector<std::string>& trees, KeyboardRole role, const char* what) const;

    std::string m_host;
};

}
