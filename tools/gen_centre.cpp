// lindavex-gen-centre SCALE OUT.xml [--long-codes]: writes a synthetic centre file
// (centre_generator.h), the same for the same scale; with --long-codes every code is longer than
// the work tables keep.
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iostream>

#include "tools/centre_generator.h"

int main(int argc, char** argv) {
    const bool longCodes = argc == 4 && std::strcmp(argv[3], "--long-codes") == 0;
    if (argc != 3 && !longCodes) {
        std::cerr << "Usage: lindavex-gen-centre SCALE OUT.xml [--long-codes]\n";
        return 2;
    }
    char* end = nullptr;
    const long scale = std::strtol(argv[1], &end, 10);
    if (end == argv[1] || *end != '\0' || scale < 1 || scale > 100000) {
        std::cerr << "lindavex-gen-centre: SCALE must be a whole number from 1 to 100000\n";
        return 2;
    }
    std::ofstream out(argv[2], std::ios::binary);
    if (!out) {
        std::cerr << "lindavex-gen-centre: cannot write " << argv[2] << '\n';
        return 1;
    }
    using lindavex::tools::Codes;
    lindavex::tools::writeSyntheticCentre(out, static_cast<int>(scale),
                                          longCodes ? Codes::Long : Codes::Short);
    out.close();
    if (!out) {
        std::cerr << "lindavex-gen-centre: cannot write " << argv[2] << '\n';
        return 1;
    }
    return 0;
}
