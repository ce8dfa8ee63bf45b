#include <iostream>

#include "cli/commands.h"

namespace lindavex::cli {

int exportar(const std::vector<std::string>&) {
    std::cerr << "exportar: not built yet\n";
    return 1;
}

}  // namespace lindavex::cli
