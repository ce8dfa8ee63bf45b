// lindavex-cli importar CENTRO.xml [--workdb DIR] [--formato texto|csv]: the second action
// without the window, and what it did not write of SOLUC.
#include <iostream>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "cli/arguments.h"
#include "cli/commands.h"
#include "cli/run_command.h"
#include "store/error.h"
#include "toxml/findings.h"
#include "toxml/result_export.h"

namespace lindavex::cli {

int importar(const std::vector<std::string>& args) {
    const std::optional<OutputFormat> format = takeOutputFormat("importar", args);
    if (!format) return 2;
    const bool csv = format->csv;
    return runCommand("importar", format->rest, [csv](const auto& centre, const auto& workDb) {
        // As CSV, standard output holds the findings alone, for a file a spreadsheet opens; the
        // run's own lines go to standard error.
        std::ostream& lines = csv ? std::cerr : std::cout;
        lines << toxml::kReminderText << '\n';
        if (!toxml::hasInputs(centre, workDb)) {
            lines << toxml::kMissingInputText << '\n';
            return false;
        }
        const toxml::ExportReport report = toxml::exportResult(centre, workDb);
        if (!report.repaired.empty()) lines << report.repaired << '\n';
        lines << toxml::kFinishedText << '\n'
              << "Resultado: " << utf8Path(report.result) << '\n'
              << "Actividades: " << report.activities << '\n';
        if (!csv) {
            std::cout << toxml::findingsText(report);
            return true;
        }
        // The counts that head the text listing, beside the run's other lines.
        if (!report.findings.empty()) lines << toxml::summaryLine(report);
        std::cout << toxml::findingsCsv(report.findings);
        return true;
    });
}

}  // namespace lindavex::cli
