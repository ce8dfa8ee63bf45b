// lindavex-cli importar CENTRO.xml [--workdb DIR]: the second action without the window.
#include <iostream>
#include <string>
#include <vector>

#include "cli/commands.h"
#include "cli/run_command.h"
#include "store/centre_document.h"
#include "toxml/result_export.h"

namespace lindavex::cli {

int importar(const std::vector<std::string>& args) {
    return runCommand("importar", args, toxml::runResultExport, [](const RunState& state) {
        const std::size_t activities =
            state.centreDocument
                ? state.centreDocument->selectNodes("/Centro/horario/actividad").size()
                : 0;
        std::cout << "Resultado: " << toxml::resultFileName(state.xmlFileName).string() << '\n'
                  << "Actividades: " << activities << '\n';
    });
}

}  // namespace lindavex::cli
