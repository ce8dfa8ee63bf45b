#include <filesystem>
#include <iostream>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "cli/commands.h"
#include "cli/console_ui.h"
#include "store/centre_document.h"
#include "store/workdb.h"
#include "toxml/result_export.h"

namespace lindavex::cli {

namespace {

int usageError(const std::string& problem) {
    std::cerr << "importar: " << problem << "\n\n";
    printUsage(std::cerr);
    return 2;
}

}  // namespace

int importar(const std::vector<std::string>& args) {
    std::optional<std::filesystem::path> file;
    std::optional<std::filesystem::path> workDb;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        if (arg == "--help" || arg == "-h") {
            printUsage(std::cout);
            return 0;
        }
        std::optional<std::string> folder;
        if (arg == "--workdb") {
            if (i + 1 == args.size()) return usageError("--workdb needs a folder");
            folder = args[++i];
        } else if (arg.rfind("--workdb=", 0) == 0) {
            folder = arg.substr(9);
        } else if (arg.size() > 1 && arg.front() == '-') {
            return usageError("unknown option " + arg);
        } else if (file) {
            return usageError("one centre file only");
        } else {
            file = arg;
        }
        if (folder && (workDb || folder->empty()))
            return usageError(workDb ? "--workdb given twice" : "--workdb needs a folder");
        if (folder) workDb = *folder;
    }
    if (!file) return usageError("the centre file is missing");

    RunState state;
    state.workDb = workDb ? *workDb : store::defaultWorkDb();
    // An absolute path, so that the result file printed is the one written.
    std::error_code ec;
    const std::filesystem::path absolute = std::filesystem::absolute(*file, ec);
    ConsoleUi ui(ec ? *file : absolute);
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
