#pragma once
// Wall time and peak resident memory of a program run to its end (for the benchmarks).
#include <fcntl.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>

#include <algorithm>
#include <chrono>
#include <stdexcept>
#include <string>
#include <vector>

extern char** environ;

namespace lindavex::bench {

struct Measure {
    double seconds = 0;     // wall time
    double cpuSeconds = 0;  // user + system; what the wall time has beyond it is mostly waiting
                            // for the disk (table files are flushed as they are written)
    long peakKiB = 0;
};

inline double seconds(const timeval& t) {
    return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_usec) / 1e6;
}

// Runs a program with its standard output discarded; throws when it cannot start or fails.
inline Measure runProcess(const std::vector<std::string>& argv) {
    std::vector<char*> args;
    args.reserve(argv.size() + 1);
    for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    const auto start = std::chrono::steady_clock::now();
    pid_t pid = 0;
    const int spawned = posix_spawnp(&pid, args[0], &actions, nullptr, args.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (spawned != 0) throw std::runtime_error("cannot start " + argv[0]);
    int status = 0;
    rusage usage{};
    if (wait4(pid, &status, 0, &usage) != pid) throw std::runtime_error("lost " + argv[0]);
    const auto stop = std::chrono::steady_clock::now();
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0)
        throw std::runtime_error(argv[0] + " failed on " + argv.back());
    return {std::chrono::duration<double>(stop - start).count(),
            seconds(usage.ru_utime) + seconds(usage.ru_stime), usage.ru_maxrss};
}

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
