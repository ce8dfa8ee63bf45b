#include "cli/console.h"

namespace lindavex::cli {

std::vector<std::string> utf8Arguments(int argc, char** argv) {
    return {argv + (argc > 0 ? 1 : 0), argv + argc};
}

void useUtf8Console() {}

}  // namespace lindavex::cli
