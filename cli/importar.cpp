// lindavex-cli importar CENTRO.xml [--workdb DIR]: the second action without the window.
#include <iostream>
#include <string>
#include <vector>

#include "cli/commands.h"
#include "cli/run_command.h"
#include "toxml/result_export.h"

namespace lindavex::cli {

int importar(const std::vector<std::string>& args) {
    return runCommand("importar", args, [](const auto& centre, const auto& workDb) {
        std::cout << toxml::kReminderText << '\n';
        if (!toxml::hasInputs(centre, workDb)) {
            std::cout << toxml::kMissingInputText << '\n';
            return false;
        }
        const toxml::ExportReport report = toxml::exportResult(centre, workDb);
        std::cout << toxml::kFinishedText << '\n'
                  << "Resultado: " << report.result.string() << '\n'
                  << "Actividades: " << report.activities << '\n';
        return true;
    });
}

}  // namespace lindavex::cli
