// The interactive device in a real SDL window on a virtual X server, driven by real X input
// events (XTEST through xdotool).
#include "tests/support/DeviceRoot.h"
#include "tests/support/VirtualX.h"

#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <cstdio>
#include <fcntl.h>
#include <fstream>
#include <poll.h>
#include <sstream>
#include <string>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace {

std::string capture(const std::string& command)
{
    std::string out;
    if (FILE* p = popen(command.c_str(), "r")) {
        char buf[256];
        while (fgets(buf, sizeof buf, p))
            out += buf;
        pclose(p);
    }
    return out;
}

using SdlWindow = DeviceRootTest;

TEST_F(SdlWindow, AMouseClickOnTheRealWindowIsTheStylus)
{
    if (!OnPath("Xvfb") || !OnPath("xdotool"))
        GTEST_SKIP() << "needs Xvfb and xdotool (scripts/setup installs them)";
    VirtualX x;
    ASSERT_TRUE(x.start()) << "Xvfb did not start";

    std::string outPath = device.hostRoot() + "/pocketsim.out";
    pid_t host = fork();
    if (host == 0) {
        int out = open(outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        dup2(out, 1);
        std::string display = ":" + std::to_string(x.display);
        setenv("DISPLAY", display.c_str(), 1);
        setenv("POCKETSIM_DISPLAY", "sdl", 1);
        // X and SDL keep allocations until the process ends; leaks are checked headless.
        setenv("ASAN_OPTIONS", "detect_leaks=0", 1);
        execl(POCKETSIM_BINARY, POCKETSIM_BINARY, "--root", device.hostRoot().c_str(), "--geometry", "qvga", "--type",
            "abc", "--print-text", static_cast<char*>(nullptr));
        _exit(127);
    }

    std::string window = capture(x.env() + "timeout 20 xdotool search --sync --onlyvisible --name '^pocketsim$' | head -1");
    while (!window.empty() && (window.back() == '\n' || window.back() == ' '))
        window.pop_back();
    ASSERT_FALSE(window.empty()) << "no pocketsim window appeared";
    std::string geometry = capture(x.env() + "xdotool getwindowgeometry --shell " + window);
    int width = 0;
    if (auto at = geometry.find("WIDTH="); at != std::string::npos)
        width = std::stoi(geometry.substr(at + 6));
    ASSERT_GE(width, 240) << geometry;
    int scale = width / 240;

    // The window shows before SDL has taken the pointer into it, and the device is still busy
    // raising the note pad's input panel: a click sent at once can be lost on a busy machine
    // (seen under ASan), so the device gets a moment first.
    std::this_thread::sleep_for(std::chrono::milliseconds(1000));
    // Tap before the first letter of the note pad's first line (device point 2, 40), then type.
    std::string click = x.env() + "xdotool mousemove --window " + window + " " + std::to_string(2 * scale) + " "
        + std::to_string(40 * scale) + " click 1";
    ASSERT_EQ(std::system(click.c_str()), 0);
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    std::string type = x.env() + "xdotool windowfocus --sync " + window + " type --delay 50 X";
    ASSERT_EQ(std::system(type.c_str()), 0);
    std::this_thread::sleep_for(std::chrono::milliseconds(500));

    kill(host, SIGTERM);
    int status = 0;
    waitpid(host, &status, 0);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
    std::ifstream in(outPath);
    std::stringstream text;
    text << in.rdbuf();
    EXPECT_EQ(text.str(), "Xabc\n") << "the click should have put the caret before \"abc\"";
}

}
