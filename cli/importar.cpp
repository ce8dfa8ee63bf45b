#include <iostream>

#include "cli/commands.h"

namespace lindavex::cli {

int importar(const std::vector<std::string>&) {
    std::cerr << "importar: not built yet\n";
    return 1;
}

}  // namespace lindavex::cli
