#pragma once
// What both commands do around their action: read the arguments, run the action with the
// console standing in for the window, and turn the outcome into the exit status.
#include <functional>
#include <string_view>
#include <vector>

#include "shell/run_state.h"

namespace lindavex::cli {

using Action = std::function<void(RunState&, UserInterface&)>;
// Prints what a run that ended with "Proceso finalizado" wrote.
using Report = std::function<void(const RunState&)>;

// 0 when the action ended with "Proceso finalizado" (status 1), 1 when it did not (an error's
// text goes to standard error), 2 for a usage error.
int runCommand(std::string_view command, const std::vector<std::string>& args, const Action& action,
               const Report& report);

}  // namespace lindavex::cli
