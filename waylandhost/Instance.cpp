#include "waylandhost/Instance.h"

#include <simhost.h>
#include <sip.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

namespace waylandhost {

Instance::~Instance()
{
    if (m_fd >= 0)
        close(m_fd); // the lock goes with it
}

std::string Instance::lockPath()
{
    const char* runtime = std::getenv("XDG_RUNTIME_DIR");
    const char* display = std::getenv("WAYLAND_DISPLAY");
    std::string name = display && *display ? display : "wayland-0";
    // An absolute socket path names the display too.
    for (char& c : name)
        if (c == '/')
            c = '_';
    return std::string(runtime && *runtime ? runtime : "/tmp") + "/magnikeys-wayland-" + name + ".lock";
}

bool Instance::claim(const std::string& root, std::string& why)
{
    const std::string path = lockPath();
    m_fd = open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    if (m_fd < 0) {
        why = "cannot open " + path + ": " + std::strerror(errno);
        return false;
    }
    if (flock(m_fd, LOCK_EX | LOCK_NB) != 0) {
        why = "magnikeys-wayland already runs on this display (" + path + ")";
        close(m_fd);
        m_fd = -1;
        return false;
    }
    const std::string text = root + "\n";
    if (ftruncate(m_fd, 0) != 0 || pwrite(m_fd, text.data(), text.size(), 0) != static_cast<ssize_t>(text.size())) {
        why = "cannot write " + path;
        return false;
    }
    return true;
}

bool Instance::running(std::string& root)
{
    const int fd = open(lockPath().c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return false;
    // A lock that can be had is nobody's.
    if (flock(fd, LOCK_SH | LOCK_NB) == 0) {
        close(fd);
        return false;
    }
    char buffer[4096];
    const ssize_t n = pread(fd, buffer, sizeof buffer - 1, 0);
    close(fd);
    if (n <= 0)
        return false;
    root.assign(buffer, static_cast<size_t>(n));
    if (const size_t end = root.find('\n'); end != std::string::npos)
        root.resize(end);
    return !root.empty();
}

bool SendPanelCommand(PanelCommand command, std::string& why)
{
    std::string root;
    if (!Instance::running(root)) {
        why = "no magnikeys-wayland runs on this display";
        return false;
    }
    SimSetDeviceRoot(root.c_str());
    bool show = command == PanelCommand::Show;
    if (command == PanelCommand::Toggle) {
        SIPINFO info {};
        info.cbSize = sizeof info;
        if (!SipGetInfo(&info)) {
            why = "the running keyboard's input panel does not answer";
            return false;
        }
        show = !(info.fdwFlags & SIPF_ON);
    }
    if (!SipShowIM(show ? SIPF_ON : SIPF_OFF)) {
        why = "the running keyboard's input panel does not answer";
        return false;
    }
    return true;
}

}
