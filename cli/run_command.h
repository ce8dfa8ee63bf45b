#pragma once
// What both commands do around their action: read the arguments, run the action on the file
// and work database given, and turn the outcome into the exit status.
#include <filesystem>
#include <functional>
#include <string_view>
#include <vector>

namespace lindavex::cli {

// Runs one action on a centre file and a work database, printing what it did; false when an
// input was missing (the action printed which).
using Action =
    std::function<bool(const std::filesystem::path& centre, const std::filesystem::path& workDb)>;

// 0 when the action ended with "Proceso finalizado", 1 when it did not (an error's text goes to
// standard error), 2 for a usage error.
int runCommand(std::string_view command, const std::vector<std::string>& args,
               const Action& action);

}  // namespace lindavex::cli
