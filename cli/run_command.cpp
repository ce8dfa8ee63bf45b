#include "cli/run_command.h"

#include <exception>
#include <filesystem>
#include <iostream>
#include <optional>
#include <system_error>

#include "cli/arguments.h"
#include "cli/commands.h"
#include "cli/console_ui.h"

namespace lindavex::cli {

int runCommand(std::string_view command, const std::vector<std::string>& args, const Action& action,
               const Report& report) {
    const std::optional<CommandArguments> parsed = parseArguments(command, args);
    if (!parsed) return 2;
    if (parsed->help) {
        printUsage(std::cout);
        return 0;
    }

    RunState state;
    state.workDb = parsed->workDb;
    // A full path, as the window's dialog gives, so that the files printed are those written.
    std::error_code ec;
    const std::filesystem::path absolute = std::filesystem::absolute(parsed->file, ec);
    ConsoleUi ui(ec ? parsed->file : absolute);
    try {
        action(state, ui);
        if (state.completionStatus != 1) return 1;
        report(state);
    } catch (const std::exception& error) {
        std::cerr << error.what() << '\n';
        return 1;
    }
    return 0;
}

}  // namespace lindavex::cli
