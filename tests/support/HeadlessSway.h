#pragma once
// A headless sway for one test program (no GPU, no input devices), in a runtime folder of its
// own; ended with the object. sway refuses to run as root: under root it runs as the
// unprivileged user 65534, which owns the runtime folder, and root's clients connect to its
// socket all the same.
//
//   if (!OnPath("sway")) GTEST_SKIP() << "needs sway";
//   HeadlessSway sway; std::string why; ASSERT_TRUE(sway.start(720, 1280, why)) << why;
//   sway.exportEnvironment();   // WAYLAND_DISPLAY, XDG_RUNTIME_DIR, SWAYSOCK for clients
#include <string>
#include <sys/types.h>

class HeadlessSway {
public:
    HeadlessSway() = default;
    ~HeadlessSway();
    HeadlessSway(const HeadlessSway&) = delete;
    HeadlessSway& operator=(const HeadlessSway&) = delete;

    // One output of width x height; false (with the reason) when sway did not come up in 15 s.
    bool start(int width, int height, std::string& why);
    void stop();

    const std::string& runtimeDir() const { return m_dir; }
    const std::string& display() const { return m_display; } // "wayland-N"
    const std::string& ipcSocket() const { return m_ipc; }
    // Sets WAYLAND_DISPLAY, XDG_RUNTIME_DIR and SWAYSOCK in this process, for the clients it starts.
    void exportEnvironment() const;
    // Runs swaymsg with the arguments (a shell word list) and gives its output; ok says whether
    // it succeeded.
    std::string message(const std::string& arguments, bool* ok = nullptr) const;
    // What sway wrote.
    std::string log() const;

private:
    pid_t m_pid = -1;
    std::string m_dir;
    std::string m_display;
    std::string m_ipc;
};
