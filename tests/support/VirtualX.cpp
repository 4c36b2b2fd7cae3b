#include "tests/support/VirtualX.h"

#include <csignal>
#include <cstdlib>
#include <fcntl.h>
#include <poll.h>
#include <sstream>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

bool OnPath(const char* program)
{
    std::string cmd = std::string("command -v ") + program + " >/dev/null 2>&1";
    return std::system(cmd.c_str()) == 0;
}

bool VirtualX::start(const std::string& screen, const std::string& extra)
{
    int fds[2];
    if (pipe(fds) != 0)
        return false;
    std::vector<std::string> args { "Xvfb", "-displayfd", std::to_string(fds[1]), "-screen", "0", screen, "-nolisten", "tcp" };
    std::istringstream more(extra);
    for (std::string word; more >> word;)
        args.push_back(word);
    m_pid = fork();
    if (m_pid == 0) {
        close(fds[0]);
        int devnull = open("/dev/null", O_WRONLY);
        dup2(devnull, 1);
        dup2(devnull, 2);
        std::vector<char*> argv;
        for (auto& a : args)
            argv.push_back(a.data());
        argv.push_back(nullptr);
        execvp("Xvfb", argv.data());
        _exit(127);
    }
    close(fds[1]);
    pollfd p { fds[0], POLLIN, 0 };
    std::string number;
    while (poll(&p, 1, 15000) > 0) {
        char c;
        if (read(fds[0], &c, 1) != 1 || c == '\n')
            break;
        number += c;
    }
    close(fds[0]);
    if (number.empty())
        return false;
    display = std::stoi(number);
    return true;
}

VirtualX::~VirtualX()
{
    if (m_pid > 0) {
        kill(m_pid, SIGTERM);
        waitpid(m_pid, nullptr, 0);
    }
}
