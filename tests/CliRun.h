#pragma once
// Runs quillory-cli (QUILLORY_CLI, defined by the test program's build) as the user does, with
// settings under dir, and keeps its exit status, stdout and stderr.

#include <cstdio>
#include <filesystem>
#include <string>
#include <sys/wait.h>

#include "TempDir.h"

struct CliRun {
    int status = -1;
    std::string out;
    std::string err;
};

inline CliRun RunCli(const std::string& args, const TempDir& dir)
{
    CliRun run;
    const std::string errPath = dir.Sub("stderr.txt");
    const std::string command = "XDG_CONFIG_HOME='" + dir.Sub("config") + "' " + std::string(QUILLORY_CLI) + " " +
                                args + " 2>'" + errPath + "'";
    FILE* pipe = ::popen(command.c_str(), "r");
    if (!pipe)
        return run;
    char buffer[4096];
    std::size_t n = 0;
    while ((n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0)
        run.out.append(buffer, n);
    const int status = ::pclose(pipe);
    run.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    run.err = ReadAll(errPath);
    std::filesystem::remove(errPath);
    return run;
}
