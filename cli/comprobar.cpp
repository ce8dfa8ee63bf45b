// lindavex-cli comprobar CENTRO.xml [--workdb DIR] [--formato texto|csv]: every finding of the
// first action on a centre file at once, and what it would change in the work tables in place,
// without writing any table.
#include <filesystem>
#include <iostream>
#include <optional>
#include <string>
#include <vector>

#include "cli/arguments.h"
#include "cli/commands.h"
#include "cli/run_command.h"
#include "store/error.h"
#include "toworkdb/conversion_run.h"
#include "toworkdb/findings.h"

namespace lindavex::cli {

int comprobar(const std::vector<std::string>& args) {
    const std::optional<OutputFormat> format = takeOutputFormat("comprobar", args);
    if (!format) return 2;
    const bool csv = format->csv;
    return runCommand("comprobar", format->rest, [csv](const auto& centre, const auto& workDb) {
        if (!toworkdb::hasInput(centre)) {
            std::cout << toworkdb::kMissingFileText << '\n';
            return false;
        }
        const toworkdb::ConversionReport report = toworkdb::check(centre, workDb);
        if (csv) {
            std::cout << toworkdb::findingsCsv(report.findings, report.changes);
        } else {
            if (!report.repaired.empty()) std::cout << report.repaired << '\n';
            std::cout << toworkdb::findingsText(report.findings);
            if (const std::string changes = toworkdb::changesText(report.changes);
                !changes.empty()) {
                std::cout << "\nFrente a las tablas de trabajo de " << utf8Path(workDb) << ":\n"
                          << changes;
            }
        }
        return !toworkdb::stopsTheRun(report.findings);
    });
}

}  // namespace lindavex::cli
