#pragma once
// lindavex-cli run as a real process: its exit status and what it printed.
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "support/files.h"

namespace lindavex::testing {

struct Outcome {
    int status = -1;  // -2: stopped at the file call asked for, then killed
    std::string out, err;
};

// Runs lindavex-cli with these arguments, its output kept in files of `scratch`.
// `workDbEnv` sets LINDAVEX_WORKDB when not empty (else it is unset); with `stopAtFileCall`
// the process stops itself just before that call of the file layer and is killed there.
inline Outcome runCli(const std::filesystem::path& scratch, const std::vector<std::string>& args,
                      const std::string& workDbEnv = "", std::size_t stopAtFileCall = 0) {
    const std::filesystem::path out = scratch / "out.txt", err = scratch / "err.txt";
    const pid_t pid = fork();
    if (pid == 0) {
        if (!freopen(out.c_str(), "w", stdout) || !freopen(err.c_str(), "w", stderr)) _exit(99);
        if (workDbEnv.empty())
            unsetenv("LINDAVEX_WORKDB");
        else
            setenv("LINDAVEX_WORKDB", workDbEnv.c_str(), 1);
        if (stopAtFileCall != 0)
            setenv("LINDAVEX_STOP_AT_FILE_CALL", std::to_string(stopAtFileCall).c_str(), 1);
        std::vector<char*> argv{const_cast<char*>(LINDAVEX_CLI)};
        for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
        argv.push_back(nullptr);
        execv(LINDAVEX_CLI, argv.data());
        _exit(98);
    }
    int status = 0;
    waitpid(pid, &status, WUNTRACED);
    if (WIFSTOPPED(status)) {
        kill(pid, SIGKILL);
        waitpid(pid, &status, 0);
        return {-2, readBytes(out), readBytes(err)};
    }
    return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, readBytes(out), readBytes(err)};
}

}  // namespace lindavex::testing
