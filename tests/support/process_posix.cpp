#include <fcntl.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <stdexcept>
#include <thread>

#include "support/process.h"

namespace lindavex::testing {
namespace fs = std::filesystem;

struct Process::Impl {
    pid_t pid = -1;
};

namespace {

void redirect(const fs::path& file, int fd) {
    const int opened =
        ::open(file.empty() ? "/dev/null" : file.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (opened < 0 || ::dup2(opened, fd) < 0) ::_exit(126);
    ::close(opened);
}

}  // namespace

Process::Process(const fs::path& program, const std::vector<std::string>& args,
                 const ProcessOptions& options)
    : impl_(std::make_unique<Impl>()) {
    std::vector<char*> argv{const_cast<char*>(program.c_str())};
    for (const std::string& arg : args) argv.push_back(const_cast<char*>(arg.c_str()));
    argv.push_back(nullptr);
    impl_->pid = ::fork();
    if (impl_->pid < 0) throw std::runtime_error("fork failed");
    if (impl_->pid == 0) {
        if (options.memoryLimit != 0) {
            const rlimit memory{options.memoryLimit, options.memoryLimit};
            ::setrlimit(RLIMIT_AS, &memory);
        }
        redirect(options.out, 1);
        redirect(options.err, 2);
        for (const auto& [name, value] : options.environment) {
            if (value)
                ::setenv(name.c_str(), value->c_str(), 1);
            else
                ::unsetenv(name.c_str());
        }
        ::execv(program.c_str(), argv.data());
        ::_exit(127);
    }
}

Process::~Process() {
    if (impl_ && (outcome_ == Outcome::Running || outcome_ == Outcome::Stopped)) kill();
}

Process::Outcome Process::waitFor(std::chrono::milliseconds limit) {
    if (outcome_ != Outcome::Running) return outcome_;
    const auto deadline = std::chrono::steady_clock::now() + limit;
    for (;;) {
        int status = 0;
        const pid_t done = ::waitpid(impl_->pid, &status, WUNTRACED | WNOHANG);
        if (done == impl_->pid) {
            if (WIFSTOPPED(status)) return outcome_ = Outcome::Stopped;
            exitCode_ = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
            return outcome_ = Outcome::Exited;
        }
        if (done < 0 && errno != EINTR) return outcome_ = Outcome::Exited;
        if (std::chrono::steady_clock::now() >= deadline) return Outcome::Running;
        std::this_thread::sleep_for(std::chrono::microseconds(200));
    }
}

Process::Outcome Process::wait() {
    if (outcome_ != Outcome::Running) return outcome_;
    int status = 0;
    while (::waitpid(impl_->pid, &status, WUNTRACED) < 0)
        if (errno != EINTR) return outcome_ = Outcome::Exited;
    if (WIFSTOPPED(status)) return outcome_ = Outcome::Stopped;
    exitCode_ = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return outcome_ = Outcome::Exited;
}

Process::Outcome Process::kill() {
    if (outcome_ == Outcome::Exited || outcome_ == Outcome::Killed) return outcome_;
    ::kill(impl_->pid, SIGKILL);
    int status = 0;
    while (::waitpid(impl_->pid, &status, 0) < 0)
        if (errno != EINTR) break;
    if (WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL) return outcome_ = Outcome::Killed;
    exitCode_ = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return outcome_ = Outcome::Exited;
}

fs::path currentProgram() { return fs::read_symlink("/proc/self/exe"); }

// A POSIX open keeps nobody out.
HeldLikeTheProduct::HeldLikeTheProduct(const fs::path& /*file*/) {}
HeldLikeTheProduct::~HeldLikeTheProduct() = default;

}  // namespace lindavex::testing
