#pragma once
// Wall time, CPU time and peak memory of a program run to its end (for the benchmarks).
// measure_process_posix.cpp or measure_process_win32.cpp, whichever the build picks.
#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

namespace lindavex::bench {

struct Measure {
    double seconds = 0;     // wall time
    double cpuSeconds = 0;  // user + system; what the wall time has beyond it is mostly waiting
                            // for the disk (table files are flushed as they are written)
    long peakKiB = 0;
};

// Runs a program with its standard output discarded; throws when it cannot start or fails.
Measure runProcess(const std::vector<std::string>& argv);

// A fresh name for this process's scratch folder under the temporary folder.
std::filesystem::path scratchFolder(const std::string& purpose);

// The best wall and CPU times of a few runs, and the highest peak memory among them.
inline Measure bestOf(int runs, const std::vector<std::string>& argv) {
    Measure best{1e300, 1e300, 0};
    for (int i = 0; i < runs; ++i) {
        const Measure m = runProcess(argv);
        best.seconds = std::min(best.seconds, m.seconds);
        best.cpuSeconds = std::min(best.cpuSeconds, m.cpuSeconds);
        best.peakKiB = std::max(best.peakKiB, m.peakKiB);
    }
    return best;
}

}  // namespace lindavex::bench
