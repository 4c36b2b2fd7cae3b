#include "panel_host/HostSetup.h"
#include "panel_host/Boot.h"
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
    std::string report;
    if (role == KeyboardRole::Optional) {
        std::error_code noTree;
        if (std::filesystem::is_empty(tree, noTree) || noTree)
            return true;
        const bool hadKeyboard = KeyboardOnDevice();
        if (!InstallTree(tree, report, true))
            std::fprintf(stderr, "%s: installing the built programs failed:\n%s", m_host.c_str(), report.c_str());
        if (!hadKeyboard && KeyboardOnDevice())
            MakeKeyboardCurrent();
        return true;
    }
    if (!InstallTree(tree, report, true)) {
        std::fprintf(stderr, "%s: installing the keyboard failed:\n%s", m_host.c_str(), report.c_str());
        return false;
    }
    if (!KeyboardOnDevice()) {
        std::fprintf(stderr, "%s: the build's install tree %s holds no keyboard\n", m_host.c_str(), tree.c_str());
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
