#include "tests/support/ChildProcess.h"

#include <algorithm>
#include <csignal>
#include <cstdlib>
#include <fcntl.h>
#include <poll.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

bool ChildProcess::start(const std::vector<std::string>& args, const std::vector<std::string>& environment, bool errors)
{
    // A program started again: its output starts again.
    stop();
    m_lines.clear();
    m_pending.clear();
    int in[2], out[2];
    if (args.empty() || pipe(in) != 0 || pipe(out) != 0)
        return false;
    m_pid = fork();
    if (m_pid == 0) {
        dup2(in[0], 0);
        dup2(out[1], 1);
        if (errors)
            dup2(out[1], 2);
        close(in[1]);
        close(out[0]);
        for (const auto& entry : environment)
            putenv(const_cast<char*>(entry.c_str()));
        std::vector<char*> argv;
        for (const auto& a : args)
            argv.push_back(const_cast<char*>(a.c_str()));
        argv.push_back(nullptr);
        execvp(argv[0], argv.data());
        _exit(127);
    }
    close(in[0]);
    close(out[1]);
    m_in = in[1];
    m_out = out[0];
    fcntl(m_in, F_SETFD, FD_CLOEXEC);
    fcntl(m_out, F_SETFD, FD_CLOEXEC);
    fcntl(m_out, F_SETFL, fcntl(m_out, F_GETFL) | O_NONBLOCK);
    return m_pid > 0;
}

void ChildProcess::write(const std::string& text)
{
    if (m_in >= 0)
        (void)!::write(m_in, text.data(), text.size());
}

bool ChildProcess::waitFor(const std::function<bool(const Lines&)>& cond, std::chrono::milliseconds limit)
{
    const auto end = std::chrono::steady_clock::now() + limit;
    for (;;) {
        read();
        if (cond(m_lines))
            return true;
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(end - std::chrono::steady_clock::now());
        if (left.count() <= 0 || m_out < 0)
            return false;
        pollfd p { m_out, POLLIN, 0 };
        if (poll(&p, 1, static_cast<int>(std::min<long long>(left.count(), 100))) < 0)
            return false;
        if ((p.revents & POLLHUP) && !(p.revents & POLLIN)) {
            read();
            return cond(m_lines);
        }
    }
}

bool ChildProcess::waitForLine(const std::string& line, std::chrono::milliseconds limit)
{
    return waitFor([&](const Lines& lines) { return std::find(lines.begin(), lines.end(), line) != lines.end(); }, limit);
}

const ChildProcess::Lines& ChildProcess::lines()
{
    read();
    return m_lines;
}

std::string ChildProcess::output()
{
    std::string all;
    for (const auto& l : lines())
        all += l + "\n";
    return all;
}

int ChildProcess::wait(std::chrono::milliseconds limit)
{
    if (m_pid <= 0)
        return -1;
    for (auto end = std::chrono::steady_clock::now() + limit; std::chrono::steady_clock::now() < end;) {
        int status = 0;
        read();
        if (waitpid(m_pid, &status, WNOHANG) == m_pid) {
            m_pid = -1;
            read();
            return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return -1;
}

void ChildProcess::closeInput()
{
    if (m_in >= 0)
        close(m_in);
    m_in = -1;
}

void ChildProcess::stop()
{
    closeInput();
    if (m_pid > 0) {
        kill(m_pid, SIGTERM);
        for (int i = 0; i < 200; ++i) {
            if (waitpid(m_pid, nullptr, WNOHANG) == m_pid) {
                m_pid = -1;
                break;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(25));
        }
        if (m_pid > 0) {
            kill(m_pid, SIGKILL);
            waitpid(m_pid, nullptr, 0);
        }
        m_pid = -1;
    }
    if (m_out >= 0) {
        read();
        close(m_out);
    }
    m_out = -1;
}

void ChildProcess::read()
{
    if (m_out < 0)
        return;
    char buffer[4096];
    for (;;) {
        const ssize_t n = ::read(m_out, buffer, sizeof buffer);
        if (n <= 0)
            break;
        m_pending.append(buffer, static_cast<size_t>(n));
    }
    for (size_t end; (end = m_pending.find('\n')) != std::string::npos;) {
        m_lines.push_back(m_pending.substr(0, end));
        m_pending.erase(0, end + 1);
    }
}
