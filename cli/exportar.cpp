// lindavex-cli exportar CENTRO.xml [--workdb DIR]: the first action without the window.
#include <iostream>
#include <string>
#include <vector>

#include "cli/commands.h"
#include "cli/run_command.h"
#include "toworkdb/conversion_run.h"
#include "toworkdb/findings.h"

namespace lindavex::cli {

int exportar(const std::vector<std::string>& args) {
    return runCommand("exportar", args, [](const auto& centre, const auto& workDb) {
        if (!toworkdb::hasInput(centre)) {
            std::cout << toworkdb::kMissingFileText << '\n';
            return false;
        }
        const toworkdb::ConversionReport report = toworkdb::convert(centre, workDb);
        std::cout << toworkdb::kFinishedText << '\n';
        for (const toworkdb::TableCount& table : report.tables)
            std::cout << table.name << ": " << table.records << " registros\n";
        std::cout << toworkdb::finishedDetailsText(report);
        return true;
    });
}

}  // namespace lindavex::cli
