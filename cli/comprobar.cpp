// lindavex-cli comprobar CENTRO.xml [--formato texto|csv]: every finding of the first action on
// a centre file at once, without writing anything.
#include <filesystem>
#include <iostream>
#include <optional>
#include <string>
#include <system_error>
#include <vector>

#include "cli/arguments.h"
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
        std::string value;
        const OptionValue option = optionValue(args, i, "--formato", value);
        if (option == OptionValue::Missing) return usageError("--formato necesita texto o csv");
        if (option == OptionValue::Absent) {
            // Nothing is written, so no work database is chosen.
            if (arg == "--workdb" || arg.starts_with("--workdb="))
                return usageError("opción desconocida " + arg);
            rest.push_back(arg);
            continue;
        }
        if (format) return usageError("--formato dado dos veces");
        if (value != "csv" && value != "texto")
            return usageError("--formato necesita texto o csv, no " + value);
        format = value;
        csv = value == "csv";
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
