#pragma once
// Programs run as child processes by tests: started with arguments and environment changes,
// waited for, killed. process_posix.cpp or process_win32.cpp, whichever the build picks.
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace lindavex::testing {

struct ProcessOptions {
    // Variables set (a value) or removed (no value) in the child's environment.
    std::vector<std::pair<std::string, std::optional<std::string>>> environment;
    // Files that receive standard output and standard error; empty: discarded.
    std::filesystem::path out, err;
    // A ceiling on the child's memory in bytes (address space on POSIX); 0: none.
    std::size_t memoryLimit = 0;
};

class Process {
  public:
    // Exited: it ended by itself. Stopped: it stopped itself at its file-call stop point
    // (LINDAVEX_STOP_AT_FILE_CALL) and waits to be killed. Killed: kill() ended it.
    enum class Outcome { Running, Exited, Stopped, Killed };

    Process(const std::filesystem::path& program, const std::vector<std::string>& args,
            const ProcessOptions& options = {});
    ~Process();  // kills it when it is still running
    Process(Process&&) noexcept = default;
    Process(const Process&) = delete;
    Process& operator=(const Process&) = delete;

    // Waits until it exits or stops itself.
    Outcome wait();
    // The same, for at most `limit`; Running when neither happened.
    Outcome waitFor(std::chrono::milliseconds limit);
    // Ends it at once where it stands (SIGKILL, TerminateProcess) and waits until it is gone.
    Outcome kill();

    Outcome outcome() const { return outcome_; }
    int exitCode() const { return exitCode_; }  // once Exited

    struct Impl;

  private:
    std::unique_ptr<Impl> impl_;
    Outcome outcome_ = Outcome::Running;
    int exitCode_ = -1;
};

// This test program's own file, for running it again in a role (below).
std::filesystem::path currentProgram();

// A role is something a test needs done in another process (hold a lock, open a table, parse a
// hostile file under limits): runRole starts this same test program, which runs the role's body
// with the arguments and exits with its result before any test starts.
//   const testing::Role holdTable("hold-table", [](const std::vector<std::string>& args) {...});
class Role {
  public:
    using Body = int (*)(const std::vector<std::string>& args);
    Role(const char* name, Body body);
    const char* name() const { return name_; }

  private:
    const char* name_;
};

Process runRole(const Role& role, const std::vector<std::string>& args,
                const ProcessOptions& options = {});

// Marks the role's readiness from inside it (a file that the test waits for), and waits until
// the test lets it go (that file removed) or kills it.
void signalReadyAndWait(const std::filesystem::path& marker);
// In the test: waits until the role created the marker (false when the role ended first).
bool waitUntilReady(Process& process, const std::filesystem::path& marker);

// A table file held open as the Morvalen product's table engine holds a table it works on: for
// reading and writing, shared with other readers and writers, with none of this tool's locks.
// Where the way a file is opened keeps other programs out (Windows), the tool must see such a
// table as in use; where it does not (POSIX), nothing is opened and held() is false.
class HeldLikeTheProduct {
  public:
    explicit HeldLikeTheProduct(const std::filesystem::path& file);
    ~HeldLikeTheProduct();
    HeldLikeTheProduct(const HeldLikeTheProduct&) = delete;
    HeldLikeTheProduct& operator=(const HeldLikeTheProduct&) = delete;
    bool held() const { return handle_ != nullptr; }

  private:
    void* handle_ = nullptr;
};

}  // namespace lindavex::testing
