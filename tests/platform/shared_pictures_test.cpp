// Another program's windows as this one sees them, however often it looked before: a window
// that the other process makes, grows or destroys, and one whose process dies, shows so at the
// very next look (the screen, the window at a point, visibility), without waiting or reaping.
#include "tests/support/DeviceRoot.h"

#include <simhost.h>
#include <windows.h>

#include <gtest/gtest.h>

#include <csignal>
#include <cstdio>
#include <poll.h>
#include <sstream>
#include <string>
#include <sys/wait.h>
#include <unistd.h>

namespace {

constexpr uint16_t kGreen = 0x07E0;
constexpr uint16_t kDesktop = 0x2945;

LRESULT CALLBACK greenProc(HWND w, UINT m, WPARAM wp, LPARAM lp)
{
    if (m == WM_PAINT) {
        PAINTSTRUCT ps;
        HDC dc = BeginPaint(w, &ps);
        RECT r;
        GetClientRect(w, &r);
        HBRUSH b = CreateSolidBrush(RGB(0, 255, 0));
        FillRect(dc, &r, b);
        DeleteObject(b);
        EndPaint(w, &ps);
        return 0;
    }
    return DefWindowProc(w, m, wp, lp);
}

std::string readLine(int fd)
{
    std::string line;
    char c;
    pollfd p { fd, POLLIN, 0 };
    while (poll(&p, 1, 10000) == 1 && read(fd, &c, 1) == 1 && c != '\n')
        line += c;
    return line;
}

void writeLine(int fd, const std::string& s)
{
    const std::string line = s + "\n";
    (void)!write(fd, line.data(), line.size());
}

// The other program: makes ("make X Y W H"), moves and resizes ("move X Y W H") or destroys
// ("destroy") its one window on command, and answers "done <handle>" once it went idle (its
// picture published).
class OtherProgram {
public:
    bool start()
    {
        int commands[2], answers[2];
        if (pipe(commands) != 0 || pipe(answers) != 0)
            return false;
        m_pid = fork();
        if (m_pid == 0) {
            close(commands[1]);
            close(answers[0]);
            serve(commands[0], answers[1]);
        }
        close(commands[0]);
        close(answers[1]);
        m_commands = commands[1];
        m_answers = answers[0];
        return m_pid > 0;
    }

    // The window's handle after the command; null when the program did not answer.
    HWND command(const std::string& line)
    {
        writeLine(m_commands, line);
        std::string answer = readLine(m_answers);
        if (answer.rfind("done ", 0) != 0)
            return nullptr;
        return reinterpret_cast<HWND>(static_cast<uintptr_t>(std::stoull(answer.substr(5), nullptr, 16)));
    }

    pid_t pid() const { return m_pid; }

    ~OtherProgram()
    {
        if (m_pid > 0) {
            kill(m_pid, SIGKILL);
            waitpid(m_pid, nullptr, 0);
        }
        close(m_commands);
        close(m_answers);
    }

private:
    [[noreturn]] static void serve(int commands, int answers)
    {
        WNDCLASS wc {};
        wc.lpfnWndProc = greenProc;
        wc.lpszClassName = u"Green";
        RegisterClass(&wc);
        HWND w = nullptr;
        for (std::string line; !(line = readLine(commands)).empty();) {
            std::istringstream in(line);
            std::string verb;
            int x = 0, y = 0, width = 0, height = 0;
            in >> verb >> x >> y >> width >> height;
            if (verb == "make")
                w = CreateWindowEx(WS_EX_NOACTIVATE, u"Green", u"Other", WS_POPUP | WS_VISIBLE, x, y, width, height, nullptr,
                    nullptr, nullptr, nullptr);
            else if (verb == "move")
                MoveWindow(w, x, y, width, height, TRUE);
            else if (verb == "destroy")
                DestroyWindow(w);
            SimPumpMessages();
            char answer[40];
            std::snprintf(answer, sizeof answer, "done %zx", reinterpret_cast<uintptr_t>(w));
            writeLine(answers, answer);
        }
        _exit(0);
    }

    pid_t m_pid = -1;
    int m_commands = -1;
    int m_answers = -1;
};

uint16_t screenAt(int x, int y)
{
    int width, height, pitch;
    const uint16_t* p = SimScreenPixels(&width, &height, &pitch);
    return p[y * pitch + x];
}

// Every way this process looks at the other's window, at a point inside it.
struct Look {
    HWND at;
    bool visible;
    uint16_t pixel;
};

Look lookAt(HWND other, int x, int y)
{
    return Look { WindowFromPoint(POINT { x, y }), IsWindowVisible(other) != FALSE, screenAt(x, y) };
}

using SharedPictures = DeviceRootTest;

TEST_F(SharedPictures, AnotherProgramsWindowIsSeenAsItChangesAtTheNextLook)
{
    // Looked at often before the other program starts: nothing there.
    EXPECT_EQ(screenAt(50, 50), kDesktop);
    EXPECT_EQ(WindowFromPoint(POINT { 50, 50 }), nullptr);
    OtherProgram other;
    ASSERT_TRUE(other.start());
    EXPECT_EQ(screenAt(50, 50), kDesktop);

    // Made: there at once.
    HWND w = other.command("make 40 40 60 60");
    ASSERT_NE(w, nullptr);
    Look made = lookAt(w, 50, 50);
    EXPECT_EQ(made.at, w);
    EXPECT_TRUE(made.visible);
    EXPECT_EQ(made.pixel, kGreen);
    EXPECT_EQ(screenAt(150, 150), kDesktop);

    // Grown past the picture it had: its new part is there at once.
    ASSERT_EQ(other.command("move 40 40 160 160"), w);
    Look grown = lookAt(w, 150, 150);
    EXPECT_EQ(grown.at, w);
    EXPECT_EQ(grown.pixel, kGreen);
    RECT r {};
    EXPECT_TRUE(GetWindowRect(w, &r));
    EXPECT_EQ(r.right, 200);

    // Destroyed: gone at once.
    other.command("destroy");
    Look destroyed = lookAt(w, 50, 50);
    EXPECT_EQ(destroyed.at, nullptr);
    EXPECT_FALSE(destroyed.visible);
    EXPECT_EQ(destroyed.pixel, kDesktop);

    // Made again after that.
    HWND again = other.command("make 40 40 60 60");
    ASSERT_NE(again, nullptr);
    EXPECT_EQ(lookAt(again, 50, 50).at, again);
    EXPECT_EQ(screenAt(50, 50), kGreen);
}

TEST_F(SharedPictures, AWindowGoesWithItsProgramBeforeAnyoneCleansUpAfterIt)
{
    OtherProgram other;
    ASSERT_TRUE(other.start());
    HWND w = other.command("make 40 40 60 60");
    ASSERT_NE(w, nullptr);
    EXPECT_EQ(lookAt(w, 50, 50).at, w);
    EXPECT_TRUE(IsWindowVisible(w));

    // Killed, and not yet waited for (a zombie): its picture is still in shared memory, but
    // its window is gone for the device.
    kill(other.pid(), SIGKILL);
    siginfo_t info {};
    ASSERT_EQ(waitid(P_PID, static_cast<id_t>(other.pid()), &info, WEXITED | WNOWAIT), 0);
    EXPECT_FALSE(IsWindowVisible(w));
    EXPECT_EQ(WindowFromPoint(POINT { 50, 50 }), nullptr);
    // Its leftovers are taken away when looked for.
    EXPECT_EQ(SimSharedPictureCount(), 0);
    EXPECT_FALSE(IsWindowVisible(w));
}

}
