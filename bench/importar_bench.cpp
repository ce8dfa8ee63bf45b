// The whole road at growing scales: a synthetic centre file, the first action (exportar), the
// demo solver, then the second action (importar). Prints, per scale, the best wall time of a few
// runs and the peak memory of each action; the second should take no longer than the first.
// Usage: lindavex-bench-importar [MAX_SCALE]   (scales 1, 2, 4 ... up to 64 by default)
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <iostream>
#include <string>

#include "bench/measure_process.h"
#include "store/dbase/table.h"

int main(int argc, char** argv) {
    namespace fs = std::filesystem;
    using lindavex::bench::bestOf;
    using lindavex::bench::runProcess;
    const int maxScale = argc > 1 ? std::atoi(argv[1]) : 64;
    const fs::path dir = lindavex::bench::scratchFolder("bench-importar");
    const fs::path workDb = dir / "WTEMP";
    fs::create_directories(workDb);
    constexpr int kRuns = 3;

    std::printf("%6s %11s %12s %12s %12s %12s %7s\n", "scale", "SOLUC rows", "exportar ms",
                "exportar MB", "importar ms", "importar MB", "ratio");
    int status = 0;
    try {
        for (int scale = 1; scale <= maxScale; scale *= 2) {
            const fs::path centre = dir / ("centro" + std::to_string(scale) + ".xml");
            runProcess({LINDAVEX_GEN_CENTRE, std::to_string(scale), centre.string()});
            const auto exportar = bestOf(
                kRuns, {LINDAVEX_CLI, "exportar", centre.string(), "--workdb", workDb.string()});
            runProcess({LINDAVEX_DEMO_SOLVER, workDb.string()});
            const auto importar = bestOf(
                kRuns, {LINDAVEX_CLI, "importar", centre.string(), "--workdb", workDb.string()});
            const std::size_t rows =
                lindavex::store::Table::open(workDb, "SOLUC", lindavex::store::Table::Mode::Shared)
                    .recordCount();
            std::printf("%6d %11zu %12.1f %12.1f %12.1f %12.1f %7.2f\n", scale, rows,
                        exportar.seconds * 1e3, static_cast<double>(exportar.peakKiB) / 1024.0,
                        importar.seconds * 1e3, static_cast<double>(importar.peakKiB) / 1024.0,
                        importar.seconds / exportar.seconds);
            std::fflush(stdout);
        }
    } catch (const std::exception& error) {
        std::cerr << "lindavex-bench-importar: " << error.what() << '\n';
        status = 1;
    }
    std::error_code ec;
    fs::remove_all(dir, ec);
    return status;
}
