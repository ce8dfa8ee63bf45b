// lindavex-cli: both actions without the window.
#include <iostream>
#include <string>
#include <vector>

#include "cli/commands.h"
#include "cli/console.h"

int main(int argc, char** argv) {
    lindavex::cli::useUtf8Console();
    std::vector<std::string> args = lindavex::cli::utf8Arguments(argc, argv);
    if (args.empty()) {
        lindavex::cli::printUsage(std::cerr);
        return 2;
    }
    const std::string command = args.front();
    args.erase(args.begin());
    if (command == "--help" || command == "-h" || command == "help") {
        lindavex::cli::printUsage(std::cout);
        return 0;
    }
    if (command == "exportar") return lindavex::cli::exportar(args);
    if (command == "importar") return lindavex::cli::importar(args);
    if (command == "comprobar") return lindavex::cli::comprobar(args);
    if (command == "restaurar") return lindavex::cli::restaurar(args);
    std::cerr << "Orden desconocida: " << command << "\n\n";
    lindavex::cli::printUsage(std::cerr);
    return 2;
}
