// Converts synthetic centre files of growing scale with lindavex-cli and prints, per scale, the
// best wall and CPU times of a few runs and the peak memory, beside `xmllint --noout` on the
// same file.
// Usage: lindavex-bench-conversion [SCALE...]   (default 1 4 16 64)
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <filesystem>
#include <string>
#include <vector>

#include "bench/measure_process.h"

int main(int argc, char** argv) {
    namespace fs = std::filesystem;
    using lindavex::bench::bestOf;
    using lindavex::bench::runProcess;

    std::vector<int> scales;
    for (int i = 1; i < argc; ++i) scales.push_back(std::atoi(argv[i]));
    if (scales.empty()) scales = {1, 4, 16, 64};

    const fs::path dir = lindavex::bench::scratchFolder("bench");
    fs::create_directories(dir / "WTEMP");
    constexpr int kRuns = 5;
    int status = 0;
    try {
        std::printf("%6s %8s %11s %11s %11s %11s %7s %10s\n", "scale", "file MB", "xmllint ms",
                    "convert ms", "xmllint cpu", "convert cpu", "ratio", "convert MB");
        for (const int scale : scales) {
            const fs::path file = dir / ("centro-" + std::to_string(scale) + ".xml");
            runProcess({LINDAVEX_GEN_CENTRE, std::to_string(scale), file.string()});
            const auto lint = bestOf(kRuns, {"xmllint", "--noout", file.string()});
            const auto conv = bestOf(kRuns, {LINDAVEX_CLI, "exportar", file.string(), "--workdb",
                                             (dir / "WTEMP").string()});
            std::printf("%6d %8.2f %11.1f %11.1f %11.1f %11.1f %7.2f %10.1f\n", scale,
                        static_cast<double>(fs::file_size(file)) / 1e6, lint.seconds * 1e3,
                        conv.seconds * 1e3, lint.cpuSeconds * 1e3, conv.cpuSeconds * 1e3,
                        conv.seconds / lint.seconds, static_cast<double>(conv.peakKiB) / 1024.0);
        }
    } catch (const std::exception& e) {
        std::fprintf(stderr, "%s\n", e.what());
        status = 1;
    }
    std::error_code ec;
    fs::remove_all(dir, ec);
    return status;
}
