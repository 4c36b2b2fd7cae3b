#pragma once
// A program with its standard input and output on pipes (its errors go with its output); the
// output is read line by line. Ended (SIGTERM, then SIGKILL) with the object.
//
//   ChildProcess p; ASSERT_TRUE(p.start({ "/bin/prog", "--flag" }));
//   ASSERT_TRUE(p.waitForLine("ready"));  p.write("command\n");
#include <chrono>
#include <functional>
#include <string>
#include <sys/types.h>
#include <vector>

class ChildProcess {
public:
    using Lines = std::vector<std::string>;
    ChildProcess() = default;
    ~ChildProcess() { stop(); }
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;

    // Extra environment entries ("NAME=value") are set in the child only, "NAME" unsets. A
    // program still running from an earlier start is ended first; the lines start again.
    // Without errors its standard error stays the test's own.
    bool start(const std::vector<std::string>& args, const std::vector<std::string>& environment = {}, bool errors = true);
    void write(const std::string& text);
    // The program's input ends (a program reading it may end by itself; see wait).
    void closeInput();
    // Reads until cond holds over the lines so far, the program ended or the time is up.
    bool waitFor(const std::function<bool(const Lines&)>& cond, std::chrono::milliseconds limit = std::chrono::seconds(15));
    bool waitForLine(const std::string& line, std::chrono::milliseconds limit = std::chrono::seconds(15));
    const Lines& lines();
    std::string output();
    // Waits for the program to end by itself; its exit status, -1 when it did not end in time.
    int wait(std::chrono::milliseconds limit = std::chrono::seconds(15));
    void stop();
    pid_t pid() const { return m_pid; }

private:
    void read();

    pid_t m_pid = -1;
    int m_in = -1;
    int m_out = -1;
    std::string m_pending;
    Lines m_lines;
};
