#pragma once
// A virtual X server (Xvfb) for one test, on a display number it picks itself; ended with the
// object.
//
//   if (!OnPath("Xvfb")) GTEST_SKIP() << "needs Xvfb";
//   VirtualX x; ASSERT_TRUE(x.start("1024x768x24"));  setenv("DISPLAY", x.name().c_str(), 1) ...
#include <string>
#include <sys/types.h>

// A program of that name is on PATH.
bool OnPath(const char* program);

class VirtualX {
public:
    VirtualX() = default;
    ~VirtualX();
    VirtualX(const VirtualX&) = delete;
    VirtualX& operator=(const VirtualX&) = delete;

    // Starts Xvfb with one screen (WxHxDEPTH) and extra arguments; false when it did not come up
    // within 15 s.
    bool start(const std::string& screen = "1024x768x24", const std::string& extra = "");

    int display = -1;
    // ":N"
    std::string name() const { return ":" + std::to_string(display); }
    // "DISPLAY=:N " for the front of a shell command.
    std::string env() const { return "DISPLAY=" + name() + " "; }

private:
    pid_t m_pid = -1;
};
