// lindavex-gen-centre SCALE OUT.xml: writes a synthetic centre file (centre_generator.h), the
// same for the same scale.
#include <cstdlib>
#include <fstream>
#include <iostream>

#include "tools/centre_generator.h"

int main(int argc, char** argv) {
    if (argc != 3) {
        std::cerr << "Usage: lindavex-gen-centre SCALE OUT.xml\n";
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
    lindavex::tools::writeSyntheticCentre(out, static_cast<int>(scale));
    out.close();
    if (!out) {
        std::cerr << "lindavex-gen-centre: cannot write " << argv[2] << '\n';
        return 1;
    }
    return 0;
}
