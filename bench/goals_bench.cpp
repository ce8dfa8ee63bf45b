// Both actions on one synthetic centre file, side by side with xmllint on the same file, in one
// run, so that the ratios hold on a busy machine: exportar against `xmllint --noout` (time and
// peak memory) and `xmllint --stream`, importar against exportar. Three workloads: the centre
// of that scale with the demo solver's SOLUC (grouped by assignment, nothing lost); the same
// scale with every code longer than the tables keep (a finding per element for the first action)
// and a SOLUC in random order with about 10 % of it lost (a finding per lost record for the
// second, and no help from the lookups' last answer); and scale 1, one school.
// Each workload ends with the goals and whether they are met: exportar ≤ 1.5 × xmllint --noout,
// importar ≤ 1.0 × exportar, exportar's peak memory ≤ xmllint's. When valgrind is installed, the
// instruction counts of the three (callgrind), which a busy machine does not move, are given
// and held against the same goals; LINDAVEX_BENCH_VALGRIND=0 leaves them out. Last, the first
// workload at a quarter of the scale, for the growth of each action with four times the data
// (goal: at most 4.4 times).
// Usage: lindavex-bench-goals [SCALE [RUNS]]   (default 256, 3 runs each, best taken)
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <stdexcept>
#include <string>
#include <vector>

#include "bench/measure_process.h"
#include "store/dbase/table.h"
#include "store/dbase/table_files.h"
#include "store/files/file_io.h"

namespace {

namespace fs = std::filesystem;
using lindavex::bench::Measure;

void printRow(const char* what, const Measure& m, const Measure& base, const char* baseName) {
    std::printf("%-22s %9.1f %9.1f %9.1f %8.2f  x %s\n", what, m.seconds * 1e3, m.cpuSeconds * 1e3,
                static_cast<double>(m.peakKiB) / 1024.0, m.seconds / base.seconds, baseName);
}

// The record count from a table's header alone: a child started by posix_spawn shares this
// process's memory until it runs its program, and its peak would count ours.
std::size_t recordCount(const fs::path& workDb, const char* table) {
    std::ifstream in(lindavex::store::findDbf(workDb, table), std::ios::binary);
    unsigned char header[8] = {};
    in.read(reinterpret_cast<char*>(header), sizeof header);
    return header[4] | (header[5] << 8) | (header[6] << 16) | (std::size_t{header[7]} << 24);
}

// A goal held against what was measured: the ratio, the goal and whether it is met.
void printGoal(const char* what, double ratio, double goal) {
    std::printf("  %-44s %6.2f  goal <= %.1f  %s\n", what, ratio, goal,
                ratio <= goal ? "met" : "NOT MET");
}

bool valgrindInstalled() {
    if (const char* wanted = std::getenv("LINDAVEX_BENCH_VALGRIND");
        wanted != nullptr && std::string(wanted) == "0")
        return false;
    try {
        lindavex::bench::runProcess({"valgrind", "--version"});
        return true;
    } catch (const std::exception&) {
        return false;
    }
}

// The instructions a program runs to its end, counted by callgrind: the same on every run.
double instructions(const fs::path& dir, const std::string& name,
                    const std::vector<std::string>& argv) {
    const fs::path out = dir / ("callgrind." + name + ".out");
    std::vector<std::string> counted = {"valgrind", "--tool=callgrind", "--quiet",
                                        "--callgrind-out-file=" + out.string()};
    counted.insert(counted.end(), argv.begin(), argv.end());
    lindavex::bench::runProcess(counted);
    std::string text;
    if (lindavex::store::file_io::readFile(out, text) != 0)
        throw std::runtime_error("no callgrind output: " + out.string());
    std::error_code ec;
    fs::remove(out, ec);
    for (const char* label : {"\nsummary: ", "\ntotals: "})
        if (const std::size_t at = text.find(label); at != std::string::npos)
            return std::strtod(text.c_str() + at + std::strlen(label), nullptr);
    throw std::runtime_error("no instruction total in " + out.string());
}

struct Workload {
    int scale;
    bool scrambled;  // long codes, and SOLUC in random order with 10 % lost
};

// What one workload's two actions took: wall seconds and, with valgrind, instructions.
struct Figures {
    double exportarSeconds = 0, importarSeconds = 0;
    double exportarInstructions = 0, importarInstructions = 0;
};

// One workload: the figures of each program and their ratios.
Figures measure(const fs::path& dir, const Workload& workload, int runs, bool valgrind) {
    using lindavex::bench::bestOf;
    using lindavex::bench::runProcess;
    const int scale = workload.scale;
    const std::string name = std::to_string(scale) + (workload.scrambled ? "-largos" : "");
    const fs::path workDb = dir / ("WTEMP" + name);
    fs::create_directories(workDb);
    const fs::path centre = dir / ("centro" + name + ".xml");
    std::vector<std::string> generate = {LINDAVEX_GEN_CENTRE, std::to_string(scale),
                                         centre.string()};
    std::vector<std::string> solve = {LINDAVEX_DEMO_SOLVER, workDb.string()};
    if (workload.scrambled) {
        generate.emplace_back("--long-codes");
        solve.insert(solve.end(), {"--random-order", "--losses", "10"});
    }
    runProcess(generate);
    const std::vector<std::string> exportar = {LINDAVEX_CLI, "exportar", centre.string(),
                                               "--workdb", workDb.string()};
    runProcess(exportar);
    runProcess(solve);
    const std::size_t rows = recordCount(workDb, "SOLUC");
    const std::size_t groups = recordCount(workDb, "GRUPOST");

    // Interleaved, so that a slow spell of the machine falls on all of them alike.
    Measure noout{1e300, 1e300, 0};
    Measure stream = noout;
    Measure conv = noout;
    Measure imp = noout;
    for (int i = 0; i < runs; ++i) {
        const auto keepBest = [](Measure& best, const Measure& m) {
            best.seconds = std::min(best.seconds, m.seconds);
            best.cpuSeconds = std::min(best.cpuSeconds, m.cpuSeconds);
            best.peakKiB = std::max(best.peakKiB, m.peakKiB);
        };
        keepBest(noout, bestOf(1, {"xmllint", "--noout", centre.string()}));
        keepBest(stream, bestOf(1, {"xmllint", "--stream", centre.string()}));
        keepBest(conv, bestOf(1, exportar));
        keepBest(imp, bestOf(1, {LINDAVEX_CLI, "importar", centre.string(), "--workdb",
                                 workDb.string()}));
    }
    std::printf(
        "scale %d%s: centre file %.2f MB, %zu groups, SOLUC %zu rows (%.1f per group), best "
        "of %d\n",
        scale, workload.scrambled ? ", long codes, SOLUC in random order with 10 % lost" : "",
        static_cast<double>(fs::file_size(centre)) / 1e6, groups, rows,
        groups == 0 ? 0.0 : static_cast<double>(rows) / static_cast<double>(groups), runs);
    std::printf("%-22s %9s %9s %9s %8s\n", "", "wall ms", "cpu ms", "peak MB", "ratio");
    printRow("xmllint --noout", noout, noout, "noout");
    printRow("xmllint --stream", stream, noout, "noout");
    printRow("exportar", conv, noout, "noout");
    printRow("importar", imp, conv, "exportar");
    const double peakRatio = static_cast<double>(conv.peakKiB) / static_cast<double>(noout.peakKiB);
    std::printf("exportar peak / xmllint --noout peak: %.2f\n", peakRatio);
    std::printf("goals, in time (wall, best of %d):\n", runs);
    printGoal("exportar / xmllint --noout", conv.seconds / noout.seconds, 1.5);
    printGoal("importar / exportar", imp.seconds / conv.seconds, 1.0);
    printGoal("exportar peak memory / xmllint --noout's", peakRatio, 1.0);
    Figures figures{conv.seconds, imp.seconds, 0, 0};
    if (valgrind) {
        const double nooutI = instructions(dir, "noout", {"xmllint", "--noout", centre.string()});
        const double convI = instructions(dir, "exportar", exportar);
        const double impI =
            instructions(dir, "importar",
                         {LINDAVEX_CLI, "importar", centre.string(), "--workdb", workDb.string()});
        std::printf(
            "instructions (callgrind): xmllint --noout %.3f G, exportar %.3f G, "
            "importar %.3f G\n",
            nooutI / 1e9, convI / 1e9, impI / 1e9);
        std::printf("goals, in instructions:\n");
        printGoal("exportar / xmllint --noout", convI / nooutI, 1.5);
        printGoal("importar / exportar", impI / convI, 1.0);
        figures.exportarInstructions = convI;
        figures.importarInstructions = impI;
    }
    std::printf("\n");
    std::fflush(stdout);
    return figures;
}

// Growth for four times the data: each action at the scale against itself at a quarter of it.
void printGrowth(int scale, const Figures& big, const Figures& quarter, bool valgrind) {
    std::printf("growth from scale %d to %d (4 x the data), demo solver's SOLUC:\n", scale / 4,
                scale);
    printGoal("exportar, wall time", big.exportarSeconds / quarter.exportarSeconds, 4.4);
    printGoal("importar, wall time", big.importarSeconds / quarter.importarSeconds, 4.4);
    if (valgrind) {
        printGoal("exportar, instructions", big.exportarInstructions / quarter.exportarInstructions,
                  4.4);
        printGoal("importar, instructions", big.importarInstructions / quarter.importarInstructions,
                  4.4);
    }
    std::printf("\n");
}

}  // namespace

int main(int argc, char** argv) {
    const int scale = argc > 1 ? std::atoi(argv[1]) : 256;
    const int runs = argc > 2 ? std::atoi(argv[2]) : 3;
    const fs::path dir = lindavex::bench::scratchFolder("bench-goals");
    int status = 0;
    try {
        const bool valgrind = valgrindInstalled();
        if (!valgrind)
            std::printf(
                "no instruction counts (valgrind is not installed, or "
                "LINDAVEX_BENCH_VALGRIND=0)\n\n");
        const Figures big = measure(dir, {scale, false}, runs, valgrind);
        measure(dir, {scale, true}, runs, valgrind);
        if (scale != 1) measure(dir, {1, false}, runs, valgrind);
        if (scale >= 4)
            printGrowth(scale, big, measure(dir, {scale / 4, false}, runs, valgrind), valgrind);
    } catch (const std::exception& error) {
        std::cerr << "lindavex-bench-goals: " << error.what() << '\n';
        status = 1;
    }
    std::error_code ec;
    fs::remove_all(dir, ec);
    return status;
}
