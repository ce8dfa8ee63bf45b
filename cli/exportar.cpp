// lindavex-cli exportar CENTRO.xml [--workdb DIR]: the first action without the window.
#include <exception>
#include <iostream>
#include <optional>
#include <string>
#include <vector>

#include "cli/commands.h"
#include "cli/console_ui.h"
#include "shell/run_state.h"
#include "store/error.h"
#include "store/table.h"
#include "store/workdb.h"
#include "toworkdb/conversion_run.h"
#include "toworkdb/schemas.h"

namespace lindavex::cli {
namespace {

int usageError(const std::string& problem) {
    std::cerr << "exportar: " << problem << "\n\n";
    printUsage(std::cerr);
    return 2;
}

void printRecordsWritten(const std::filesystem::path& workDb) {
    for (const char* name : toworkdb::schemas::writtenTables()) {
        store::Table table = store::Table::open(workDb, name, store::Table::Mode::Shared);
        std::cout << name << ": " << table.recordCount() << " registros\n";
    }
}

}  // namespace

int exportar(const std::vector<std::string>& args) {
    std::optional<std::string> file;
    std::optional<std::string> workDb;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        if (arg == "--help" || arg == "-h") {
            printUsage(std::cout);
            return 0;
        }
        if (arg == "--workdb") {
            if (i + 1 == args.size()) return usageError("--workdb needs a folder");
            if (workDb) return usageError("--workdb given twice");
            workDb = args[++i];
        } else if (arg.rfind("--workdb=", 0) == 0) {
            if (workDb) return usageError("--workdb given twice");
            workDb = arg.substr(9);
        } else if (arg.size() > 1 && arg.front() == '-') {
            return usageError("unknown option " + arg);
        } else if (file) {
            return usageError("one centre file only");
        } else {
            file = arg;
        }
    }
    if (!file) return usageError("the centre file is missing");
    if (workDb && workDb->empty()) return usageError("--workdb needs a folder");

    RunState state;
    state.workDb = workDb ? std::filesystem::path(*workDb) : store::defaultWorkDb();
    ConsoleUi ui{std::filesystem::path(*file)};
    try {
        toworkdb::runConversion(state, ui);
        if (state.completionStatus != 1) return 1;
        printRecordsWritten(state.workDb);
    } catch (const std::exception& e) {
        std::cerr << e.what() << '\n';
        return 1;
    }
    return 0;
}

}  // namespace lindavex::cli
