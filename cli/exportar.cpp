// lindavex-cli exportar CENTRO.xml [--workdb DIR]: the first action without the window.
#include <exception>
#include <iostream>
#include <optional>
#include <string>
#include <vector>

#include "cli/arguments.h"
#include "cli/commands.h"
#include "cli/console_ui.h"
#include "shell/run_state.h"
#include "store/error.h"
#include "store/table.h"
#include "toworkdb/conversion_run.h"
#include "toworkdb/schemas.h"

namespace lindavex::cli {
namespace {

void printRecordsWritten(const std::filesystem::path& workDb) {
    for (const char* name : toworkdb::schemas::writtenTables()) {
        store::Table table = store::Table::open(workDb, name, store::Table::Mode::Shared);
        std::cout << name << ": " << table.recordCount() << " registros\n";
    }
}

}  // namespace

int exportar(const std::vector<std::string>& args) {
    const std::optional<CommandArguments> parsed = parseArguments("exportar", args);
    if (!parsed) return 2;
    if (parsed->help) {
        printUsage(std::cout);
        return 0;
    }

    RunState state;
    state.workDb = parsed->workDb;
    ConsoleUi ui{parsed->file};
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
