#include <filesystem>
#include <iostream>
#include <memory>

#include "cli/commands.h"
#include "cli/console_ui.h"
#include "store/centre_document.h"
#include "store/error.h"
#include "store/workdb.h"
#include "toxml/result_export.h"

namespace lindavex::cli {

int importar(const std::vector<std::string>& args) {
    std::filesystem::path file;
    std::filesystem::path workDb = store::defaultWorkDb();
    bool haveFile = false;
    for (std::size_t i = 0; i < args.size(); ++i) {
        if (args[i] == "--workdb" && i + 1 < args.size()) {
            workDb = args[++i];
        } else if (!haveFile && !args[i].empty() && args[i].front() != '-') {
            file = args[i];
            haveFile = true;
        } else {
            std::cerr << "importar: unexpected argument: " << args[i] << "\n\n";
            printUsage(std::cerr);
            return 2;
        }
    }
    if (!haveFile) {
        std::cerr << "importar: the centre file is missing\n\n";
        printUsage(std::cerr);
        return 2;
    }

    RunState state;
    state.workDb = workDb;
    // An absolute path, so that the result file printed is the one written.
    std::error_code ec;
    const std::filesystem::path absolute = std::filesystem::absolute(file, ec);
    ConsoleUi ui(ec ? file : absolute);
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
