// lindavex-cli exportar CENTRO.xml [--workdb DIR]: the first action without the window.
#include <iostream>
#include <string>
#include <vector>

#include "cli/commands.h"
#include "cli/run_command.h"
#include "store/table.h"
#include "store/work_tables.h"
#include "toworkdb/conversion_run.h"

namespace lindavex::cli {

int exportar(const std::vector<std::string>& args) {
    return runCommand("exportar", args, toworkdb::runConversion, [](const RunState& state) {
        for (const char* name : store::work_tables::writtenTables()) {
            const store::Table table =
                store::Table::open(state.workDb, name, store::Table::Mode::Shared);
            std::cout << name << ": " << table.recordCount() << " registros\n";
        }
    });
}

}  // namespace lindavex::cli
