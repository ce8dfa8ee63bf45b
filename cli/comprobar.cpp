// lindavex-cli comprobar CENTRO.xml [--formato texto|csv]: every finding of the first action on
// a centre file at once, without writing anything.
#include <filesystem>
#include <iostream>
#include <optional>
#include <string>
#include <vector>

#include "cli/arguments.h"
#include "cli/commands.h"
#include "cli/run_command.h"
#include "toworkdb/conversion_run.h"
#include "toworkdb/findings.h"

namespace lindavex::cli {

int comprobar(const std::vector<std::string>& args) {
    const std::optional<OutputFormat> format = takeOutputFormat("comprobar", args);
    if (!format) return 2;
    // Nothing is written, so no work database is chosen.
    for (const std::string& arg : format->rest) {
        if (arg == "--workdb" || arg.starts_with("--workdb=")) {
            printUsageError("comprobar", "opción desconocida " + arg);
            return 2;
        }
    }
    const bool csv = format->csv;
    return runCommand("comprobar", format->rest, [csv](const auto& centre, const auto&) {
        if (!toworkdb::hasInput(centre)) {
            std::cout << toworkdb::kMissingFileText << '\n';
            return false;
        }
        const toworkdb::ConversionReport report = toworkdb::check(centre);
        std::cout << (csv ? toworkdb::findingsCsv(report.findings)
                          : toworkdb::findingsText(report.findings));
        return !toworkdb::stopsTheRun(report.findings);
    });
}

}  // namespace lindavex::cli
