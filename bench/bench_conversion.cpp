// Converts synthetic centre files of growing scale with lindavex-cli and prints, per scale, the
// best wall time of a few runs and the peak memory, beside `xmllint --noout` on the same file.
// Usage: lindavex-bench-conversion [SCALE...]   (default 1 4 16 64)
#include <fcntl.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <iostream>
#include <string>
#include <vector>

extern char** environ;

namespace {
namespace fs = std::filesystem;

struct Measure {
    double seconds = 0;     // wall time
    double cpuSeconds = 0;  // user + system; the difference from the wall time is mostly waiting
                            // for the disk (the tables are flushed when written)
    long peakKb = 0;
};

double seconds(const timeval& t) { return static_cast<double>(t.tv_sec) + t.tv_usec / 1e6; }

// Runs a program with its output discarded; wall time and the child's peak resident memory.
Measure runProcess(const std::vector<std::string>& argv) {
    std::vector<char*> args;
    args.reserve(argv.size() + 1);
    for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    const auto start = std::chrono::steady_clock::now();
    pid_t pid = 0;
    if (posix_spawnp(&pid, args[0], &actions, nullptr, args.data(), environ) != 0) {
        std::cerr << "cannot start " << argv[0] << '\n';
        std::exit(1);
    }
    posix_spawn_file_actions_destroy(&actions);
    int status = 0;
    rusage usage{};
    wait4(pid, &status, 0, &usage);
    const auto stop = std::chrono::steady_clock::now();
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
        std::cerr << argv[0] << " failed on " << argv.back() << '\n';
        std::exit(1);
    }
    return {std::chrono::duration<double>(stop - start).count(),
            seconds(usage.ru_utime) + seconds(usage.ru_stime), usage.ru_maxrss};
}

Measure bestOf(int runs, const std::vector<std::string>& argv) {
    Measure best{1e300, 1e300, 0};
    for (int i = 0; i < runs; ++i) {
        const Measure m = runProcess(argv);
        best.seconds = std::min(best.seconds, m.seconds);
        best.cpuSeconds = std::min(best.cpuSeconds, m.cpuSeconds);
        best.peakKb = std::max(best.peakKb, m.peakKb);
    }
    return best;
}

}  // namespace

int main(int argc, char** argv) {
    std::vector<int> scales;
    for (int i = 1; i < argc; ++i) scales.push_back(std::atoi(argv[i]));
    if (scales.empty()) scales = {1, 4, 16, 64};

    const fs::path dir = fs::temp_directory_path() / ("lindavex-bench-" + std::to_string(getpid()));
    fs::create_directories(dir / "WTEMP");
    constexpr int kRuns = 5;

    std::printf("%6s %8s %11s %11s %11s %11s %7s %10s\n", "scale", "file MB", "xmllint ms",
                "convert ms", "xmllint cpu", "convert cpu", "ratio", "convert MB");
    for (const int scale : scales) {
        const fs::path file = dir / ("centro-" + std::to_string(scale) + ".xml");
        runProcess({LINDAVEX_GEN_CENTRE, std::to_string(scale), file.string()});
        const Measure lint = bestOf(kRuns, {"xmllint", "--noout", file.string()});
        const Measure conv = bestOf(
            kRuns, {LINDAVEX_CLI, "exportar", file.string(), "--workdb", (dir / "WTEMP").string()});
        std::printf("%6d %8.2f %11.1f %11.1f %11.1f %11.1f %7.2f %10.1f\n", scale,
                    static_cast<double>(fs::file_size(file)) / 1e6, lint.seconds * 1e3,
                    conv.seconds * 1e3, lint.cpuSeconds * 1e3, conv.cpuSeconds * 1e3,
                    conv.seconds / lint.seconds, static_cast<double>(conv.peakKb) / 1024.0);
    }
    std::error_code ec;
    fs::remove_all(dir, ec);
    return 0;
}
