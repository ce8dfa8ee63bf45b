// lindavex-cli comprobar CENTRO.xml [--formato texto|csv]: every finding of the first action on
// a centre file at once, without writing anything.
#include <filesystem>
#include <iostream>
#include <optional>
#include <string>
#include <system_error>
#include <vector>

#include "cli/commands.h"
#include "cli/run_command.h"
#include "toworkdb/conversion_run.h"
#include "toworkdb/findings.h"

namespace lindavex::cli {
namespace {

int usageError(const std::string& problem) {
    std::cerr << "comprobar: " << problem << "\n\n";
    printUsage(std::cerr);
    return 2;
}

}  // namespace

int comprobar(const std::vector<std::string>& args) {
    // Its own option is taken out here; the rest reads as for the other commands.
    bool csv = false;
    std::optional<std::string> format;
    std::vector<std::string> rest;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        std::optional<std::string> value;
        if (arg == "--formato") {
            if (i + 1 == args.size()) return usageError("--formato necesita texto o csv");
            value = args[++i];
        } else if (arg.rfind("--formato=", 0) == 0) {
            value = arg.substr(10);
        } else if (arg == "--workdb" || arg.rfind("--workdb=", 0) == 0) {
            // Nothing is written, so no work database is chosen.
            return usageError("opción desconocida " + arg);
        } else {
            rest.push_back(arg);
            continue;
        }
        if (format) return usageError("--formato dado dos veces");
        if (*value != "csv" && *value != "texto")
            return usageError("--formato necesita texto o csv, no " + *value);
        format = value;
        csv = *value == "csv";
    }
    return runCommand("comprobar", rest, [csv](const auto& centre, const auto&) {
        std::error_code ec;
        if (!std::filesystem::is_regular_file(centre, ec)) {
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
