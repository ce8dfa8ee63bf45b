#include <filesystem>
#include <iostream>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "cli/arguments.h"
#include "cli/commands.h"
#include "cli/console_ui.h"
#include "store/centre_document.h"
#include "store/workdb.h"
#include "toxml/result_export.h"

namespace lindavex::cli {

int importar(const std::vector<std::string>& args) {
    const std::optional<CommandArguments> parsed = parseArguments("importar", args);
    if (!parsed) return 2;
    if (parsed->help) {
        printUsage(std::cout);
        return 0;
    }

    RunState state;
    state.workDb = parsed->workDb;
    // An absolute path, so that the result file printed is the one written.
    std::error_code ec;
    const std::filesystem::path absolute = std::filesystem::absolute(parsed->file, ec);
    ConsoleUi ui(ec ? parsed->file : absolute);
    try {
        toxml::runResultExport(state, ui);
    } catch (const std::exception& error) {
        std::cerr << error.what() << '\n';
        return 1;
    }
    if (state.completionStatus != 1) return 1;
    const std::size_t activities =
        state.centreDocument ? state.centreDocument->selectNodes("/Centro/horario/actividad").size()
                             : 0;
    std::cout << "Resultado: " << toxml::resultFileName(state.xmlFileName).string() << '\n'
              << "Actividades: " << activities << '\n';
    return 0;
}

}  // namespace lindavex::cli
