#include "tests/support/HeadlessSway.h"

#include <array>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <grp.h>
#include <sstream>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace {

constexpr uid_t kUnprivileged = 65534;

}

HeadlessSway::~HeadlessSway()
{
    stop();
}

bool HeadlessSway::start(int width, int height, std::string& why)
{
    char folder[] = "/tmp/mk-sway-XXXXXX";
    if (!mkdtemp(folder)) {
        why = "cannot make a runtime folder";
        return false;
    }
    m_dir = folder;
    const std::string config = m_dir + "/config";
    {
        std::ofstream out(config);
        out << "output HEADLESS-1 mode " << width << "x" << height << "\n"
            << "xwayland disable\n";
    }
    const bool root = geteuid() == 0;
    if (root && (chown(m_dir.c_str(), kUnprivileged, kUnprivileged) != 0 || chown(config.c_str(), kUnprivileged, kUnprivileged) != 0)) {
        why = "cannot give the runtime folder to the unprivileged user";
        return false;
    }
    chmod(m_dir.c_str(), 0700);
    const std::string log = m_dir + "/sway.log";
    m_pid = fork();
    if (m_pid == 0) {
        const int out = open(log.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        if (out >= 0) {
            dup2(out, 1);
            dup2(out, 2);
        }
        const int in = open("/dev/null", O_RDONLY);
        if (in >= 0)
            dup2(in, 0);
        setsid();
        if (root && (setgroups(0, nullptr) != 0 || setgid(kUnprivileged) != 0 || setuid(kUnprivileged) != 0))
            _exit(126);
        clearenv();
        setenv("PATH", "/usr/local/bin:/usr/bin:/bin", 1);
        setenv("HOME", m_dir.c_str(), 1);
        setenv("XDG_RUNTIME_DIR", m_dir.c_str(), 1);
        setenv("WLR_BACKENDS", "headless", 1);
        setenv("WLR_RENDERER", "pixman", 1);
        setenv("WLR_LIBINPUT_NO_DEVICES", "1", 1);
        execlp("sway", "sway", "-c", config.c_str(), static_cast<char*>(nullptr));
        _exit(127);
    }
    if (m_pid < 0) {
        why = "cannot start sway";
        return false;
    }
    // Up once both its Wayland socket and its IPC socket are there.
    for (auto end = std::chrono::steady_clock::now() + std::chrono::seconds(15); std::chrono::steady_clock::now() < end;) {
        int status = 0;
        if (waitpid(m_pid, &status, WNOHANG) == m_pid) {
            m_pid = -1;
            why = "sway ended at once:\n" + this->log();
            return false;
        }
        std::error_code ec;
        for (const auto& entry : std::filesystem::directory_iterator(m_dir, ec)) {
            const std::string name = entry.path().filename().string();
            if (name.rfind("wayland-", 0) == 0 && name.find('.') == std::string::npos && entry.is_socket(ec))
                m_display = name;
            if (name.rfind("sway-ipc.", 0) == 0 && entry.is_socket(ec))
                m_ipc = entry.path().string();
        }
        if (!m_display.empty() && !m_ipc.empty())
            return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    why = "sway did not come up:\n" + this->log();
    return false;
}

void HeadlessSway::stop()
{
    if (m_pid > 0) {
        kill(m_pid, SIGTERM);
        int status = 0;
        for (int i = 0; i < 100 && waitpid(m_pid, &status, WNOHANG) == 0; ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        if (waitpid(m_pid, &status, WNOHANG) == 0) {
            kill(m_pid, SIGKILL);
            waitpid(m_pid, &status, 0);
        }
        m_pid = -1;
    }
    if (!m_dir.empty()) {
        std::error_code ec;
        std::filesystem::remove_all(m_dir, ec);
        m_dir.clear();
    }
}

void HeadlessSway::exportEnvironment() const
{
    setenv("XDG_RUNTIME_DIR", m_dir.c_str(), 1);
    setenv("WAYLAND_DISPLAY", m_display.c_str(), 1);
    setenv("SWAYSOCK", m_ipc.c_str(), 1);
    unsetenv("DISPLAY");
}

std::string HeadlessSway::message(const std::string& arguments, bool* ok) const
{
    const std::string command = "SWAYSOCK='" + m_ipc + "' swaymsg " + arguments + " 2>&1";
    std::string out;
    FILE* pipe = popen(command.c_str(), "r");
    if (!pipe) {
        if (ok)
            *ok = false;
        return out;
    }
    std::array<char, 4096> buffer;
    for (size_t n; (n = fread(buffer.data(), 1, buffer.size(), pipe)) > 0;)
        out.append(buffer.data(), n);
    const int status = pclose(pipe);
    if (ok)
        *ok = WIFEXITED(status) && WEXITSTATUS(status) == 0;
    return out;
}

std::string HeadlessSway::log() const
{
    std::ifstream in(m_dir + "/sway.log");
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}
