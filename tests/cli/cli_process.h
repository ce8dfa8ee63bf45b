#pragma once
// lindavex-cli run as a real process: its exit status and what it printed.
#include <cstdlib>
#include <filesystem>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "support/files.h"
#include "support/process.h"

namespace lindavex::testing {

struct Outcome {
    int status = -1;  // -2: stopped at the file call asked for, then killed
    std::string out, err;
};

// Runs lindavex-cli with these arguments, its output kept in files of `scratch`.
// `workDbEnv` sets LINDAVEX_WORKDB when not empty (else it is unset); with `stopAtFileCall`
// the process stops itself just before that call of the file layer and is killed there.
// `environment` adds more variables.
inline Outcome runCli(
    const std::filesystem::path& scratch, const std::vector<std::string>& args,
    const std::string& workDbEnv = "", std::size_t stopAtFileCall = 0,
    const std::vector<std::pair<std::string, std::optional<std::string>>>& environment = {}) {
    ProcessOptions options;
    options.environment = environment;
    options.out = scratch / "out.txt";
    options.err = scratch / "err.txt";
    options.environment.emplace_back("LINDAVEX_WORKDB",
                                     workDbEnv.empty() ? std::nullopt : std::optional(workDbEnv));
    if (stopAtFileCall != 0)
        options.environment.emplace_back("LINDAVEX_STOP_AT_FILE_CALL",
                                         std::to_string(stopAtFileCall));
    Process cli(LINDAVEX_CLI, args, options);
    int status = -1;
    if (cli.wait() == Process::Outcome::Stopped)
        status = cli.kill() == Process::Outcome::Killed ? -2 : -1;
    else
        status = cli.exitCode();
    return {status, readBytes(options.out), readBytes(options.err)};
}

}  // namespace lindavex::testing
