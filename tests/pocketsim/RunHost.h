#pragma once
// Runs the pocketsim binary as a user would and collects what it says.
#include <string>
#include <vector>

struct HostRun {
    int exitCode = -1;
    std::string out;
    std::string err;
};

// args after the program name; env entries "NAME=value" are added to this process's environment.
// With timeoutSeconds above 0 a run that lasts longer is killed (exit code 128 + SIGKILL).
HostRun RunPocketsim(const std::vector<std::string>& args, const std::vector<std::string>& env = {},
    const std::string& input = "", int timeoutSeconds = 0);
