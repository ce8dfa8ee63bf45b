#include "support/process.h"

#include <cstdio>
#include <cstdlib>
#include <exception>
#include <fstream>
#include <sstream>
#include <thread>

namespace lindavex::testing {
namespace fs = std::filesystem;
namespace {

constexpr const char* kRoleVariable = "LINDAVEX_TEST_ROLE";
constexpr const char* kRoleArgumentsVariable = "LINDAVEX_TEST_ROLE_ARGS";

}  // namespace

// Runs before main, so the role's process never starts the tests.
Role::Role(const char* name, Body body) : name_(name) {
    const char* asked = std::getenv(kRoleVariable);
    if (asked == nullptr || std::string(asked) != name) return;
    std::vector<std::string> args;
    if (const char* joined = std::getenv(kRoleArgumentsVariable)) {
        std::istringstream lines(joined);
        for (std::string line; std::getline(lines, line);) args.push_back(line);
    }
    int status = 2;
    try {
        status = body(args);
    } catch (...) {
        status = 3;
    }
    std::fflush(nullptr);
    std::_Exit(status);
}

Process runRole(const Role& role, const std::vector<std::string>& args,
                const ProcessOptions& options) {
    std::string joined;
    for (const std::string& arg : args) joined += arg + '\n';
    ProcessOptions withRole = options;
    withRole.environment.emplace_back(kRoleVariable, role.name());
    withRole.environment.emplace_back(kRoleArgumentsVariable, joined);
    return Process(currentProgram(), {}, withRole);
}

void signalReadyAndWait(const fs::path& marker) {
    std::ofstream(marker) << "ready";
    std::error_code ec;
    while (fs::exists(marker, ec)) std::this_thread::sleep_for(std::chrono::milliseconds(5));
}

bool waitUntilReady(Process& process, const fs::path& marker) {
    std::error_code ec;
    while (!fs::exists(marker, ec))
        if (process.waitFor(std::chrono::milliseconds(5)) != Process::Outcome::Running)
            return false;
    return true;
}

}  // namespace lindavex::testing
