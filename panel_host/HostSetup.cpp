#include "panel_host/HostSetup.h"
#include "panel_host/Boot.h"
#include "panel_host/HostFiles.h"
#include "panel_host/KeyboardInstall.h"

#include <simhost.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>

namespace pocketsim {

namespace {

void printLine(const std::string& line)
{
    std::printf("%s\n", line.c_str());
    std::fflush(stdout);
}

}

HostSetup::HostSetup(std::string host)
    : m_host(std::move(host))
{
}

bool HostSetup::use_geometry(const std::string& name) const
{
    if (!SimSetGeometry(name.c_str()))
        return false;
    // Programs that the device starts see the same screen.
    setenv("POCKETSIM_GEOMETRY", name.c_str(), 1);
    return true;
}

bool HostSetup::use_desktop(const DesktopScreen& screen, const PanelOptions& options, DesktopSetupResult* result) const
{
    DesktopSetupResult own;
    std::string report;
    const bool ok = SetUpDesktop(screen, options, OwnHostFiles().skin_kit, result ? *result : own, report);
    for (size_t at = 0, end; (end = report.find('\n', at)) != std::string::npos; at = end + 1)
        std::fprintf(stderr, "%s: %s\n", m_host.c_str(), report.substr(at, end - at).c_str());
    if (!ok)
        std::fprintf(stderr, "%s: the screen %dx%d is too large for the keyboard\n", m_host.c_str(), screen.width, screen.height);
    return ok;
}

std::string HostSetup::device_root(const char* given) const
{
    if (given)
        return given;
    if (const char* env = std::getenv("POCKETSIM_ROOT"))
        return env;
    const char* home = std::getenv("HOME");
    return std::string(home && *home ? home : "/tmp") + "/.local/share/" + m_host + "/device";
}

void HostSetup::use_device_root(const std::string& folder) const
{
    std::error_code ignored;
    std::filesystem::create_directories(folder, ignored);
    SimSetDeviceRoot(folder.c_str());
}

void HostSetup::install_platform_files() const
{
    std::string problem;
    if (!InstallPlatformFiles(problem))
        std::fprintf(stderr, "%s: %s\n", m_host.c_str(), problem.c_str());
}

bool HostSetup::install_programs(const std::string& tree, KeyboardRole role) const
{
    return installTrees({ tree }, role, "the build's install tree");
}

bool HostSetup::install_programs(KeyboardRole role) const
{
    const HostFiles& files = OwnHostFiles();
    // Device programs are copied into the device root, away from the installed tree: they find
    // the platform library through the environment the host hands them.
    if (files.installed) {
        const char* old = std::getenv("LD_LIBRARY_PATH");
        setenv("LD_LIBRARY_PATH", (files.libraries + (old && *old ? ":" + std::string(old) : "")).c_str(), 1);
    }
    return installTrees(files.trees, role, files.installed ? "the installed tree" : "the build's install tree");
}

bool HostSetup::installTrees(const std::vector<std::string>& trees, KeyboardRole role, const char* what) const
{
    if (role == KeyboardRole::Optional) {
        const bool hadKeyboard = KeyboardOnDevice();
        for (const std::string& tree : trees) {
            std::string report;
            std::error_code noTree;
            if (std::filesystem::is_empty(tree, noTree) || noTree)
                continue;
            if (!InstallTree(tree, report, true))
                std::fprintf(stderr, "%s: installing the built programs failed:\n%s", m_host.c_str(), report.c_str());
        }
        if (!hadKeyboard && KeyboardOnDevice())
            MakeKeyboardCurrent();
        return true;
    }
    std::string report;
    for (const std::string& tree : trees)
        if (!InstallTree(tree, report, true)) {
            std::fprintf(stderr, "%s: installing the keyboard failed:\n%s", m_host.c_str(), report.c_str());
            return false;
        }
    if (!KeyboardOnDevice()) {
        std::string names;
        for (const std::string& tree : trees)
            names += (names.empty() ? "" : ", ") + tree;
        std::fprintf(stderr, "%s: %s %s holds no keyboard\n", m_host.c_str(), what, names.c_str());
        return false;
    }
    MakeKeyboardCurrent();
    return true;
}

std::unique_ptr<SipHost> HostSetup::start_input_panel(bool printEvents, KeyOutput* output) const
{
    auto panel = std::make_unique<SipHost>();
    panel->set_key_output(output);
    if (printEvents)
        panel->set_event_sink(printLine);
    if (!panel->start(nullptr)) {
        std::fprintf(stderr, "%s: the input panel did not start\n", m_host.c_str());
        return nullptr;
    }
    return panel;
}

void HostSetup::run_startup_folder() const
{
    SimStartProgramsOnVirtualClock(true);
    RunStartupFolder();
    SimStartProgramsOnVirtualClock(false);
}

}
