#include "cli/run_command.h"

#include <exception>
#include <filesystem>
#include <iostream>
#include <optional>
#include <system_error>

#include "cli/arguments.h"
#include "cli/commands.h"

namespace lindavex::cli {

int runCommand(std::string_view command, const std::vector<std::string>& args,
               const Action& action) {
    const std::optional<CommandArguments> parsed = parseArguments(command, args);
    if (!parsed) return 2;
    if (parsed->help) {
        printUsage(std::cout);
        return 0;
    }
    // A full path, as the window's dialog gives, so that the files printed are those written.
    std::error_code ec;
    const std::filesystem::path absolute = std::filesystem::absolute(parsed->file, ec);
    try {
        return action(ec ? parsed->file : absolute, parsed->workDb) ? 0 : 1;
    } catch (const std::exception& error) {
        std::cerr << error.what() << '\n';
        return 1;
    }
}

}  // namespace lindavex::cli
