#include "RunHost.h"

#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <fstream>
#include <sstream>
#include <sys/wait.h>
#include <unistd.h>

namespace {

std::string slurp(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

}

HostRun RunPocketsim(const std::vector<std::string>& args, const std::vector<std::string>& env, const std::string& input,
    int timeoutSeconds)
{
    char dir[] = "/tmp/pocketsim-run-XXXXXX";
    HostRun result;
    if (!mkdtemp(dir))
        return result;
    std::string outPath = std::string(dir) + "/out", errPath = std::string(dir) + "/err",
                inPath = std::string(dir) + "/in";
    std::ofstream(inPath) << input;
    pid_t child = fork();
    if (child == 0) {
        int in = open(inPath.c_str(), O_RDONLY);
        int out = open(outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        int err = open(errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        dup2(in, 0);
        dup2(out, 1);
        dup2(err, 2);
        for (const std::string& e : env)
            putenv(const_cast<char*>(e.c_str()));
        std::vector<char*> argv;
        std::string program = POCKETSIM_BINARY;
        argv.push_back(program.data());
        for (const std::string& a : args)
            argv.push_back(const_cast<char*>(a.c_str()));
        argv.push_back(nullptr);
        execv(program.c_str(), argv.data());
        _exit(127);
    }
    int status = 0;
    if (timeoutSeconds > 0) {
        auto end = std::chrono::steady_clock::now() + std::chrono::seconds(timeoutSeconds);
        while (waitpid(child, &status, WNOHANG) == 0) {
            if (std::chrono::steady_clock::now() >= end) {
                kill(child, SIGKILL);
                waitpid(child, &status, 0);
                break;
            }
            usleep(10000);
        }
    } else {
        waitpid(child, &status, 0);
    }
    result.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    result.out = slurp(outPath);
    result.err = slurp(errPath);
    std::remove(outPath.c_str());
    std::remove(errPath.c_str());
    std::remove(inPath.c_str());
    rmdir(dir);
    return result;
}
