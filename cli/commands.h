#pragma once
// The sub-commands of lindavex-cli. Each returns the process exit status:
// 0 when the action ended with "Proceso finalizado", 1 when it did not, 2 for a usage error.
#include <string>
#include <vector>

namespace lindavex::cli {

int exportar(const std::vector<std::string>& args);
int importar(const std::vector<std::string>& args);
// Exits with 0 when nothing found would stop the first action, 1 when something would.
int comprobar(const std::vector<std::string>& args);
// Lists the copies of the tables the first action replaced, or puts one back.
int restaurar(const std::vector<std::string>& args);
void printUsage(std::ostream& out);

}  // namespace lindavex::cli
