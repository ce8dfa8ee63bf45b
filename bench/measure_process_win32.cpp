#include <windows.h>

#include <psapi.h>

#include <chrono>
#include <stdexcept>

#include "bench/measure_process.h"

namespace lindavex::bench {
namespace {

double seconds(const FILETIME& t) {
    return static_cast<double>((static_cast<unsigned long long>(t.dwHighDateTime) << 32) |
                               t.dwLowDateTime) /
           1e7;
}

std::wstring quoted(const std::string& arg) {
    const std::wstring wide = std::filesystem::path(std::u8string(arg.begin(), arg.end()));
    return L"\"" + wide + L"\"";
}

}  // namespace

Measure runProcess(const std::vector<std::string>& argv) {
    std::wstring commandLine;
    for (const std::string& arg : argv)
        commandLine += (commandLine.empty() ? L"" : L" ") + quoted(arg);
    SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
    const HANDLE discard = CreateFileW(L"NUL", GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                       &inherit, OPEN_EXISTING, 0, nullptr);
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
    startup.hStdOutput = discard;
    startup.hStdError = GetStdHandle(STD_ERROR_HANDLE);
    PROCESS_INFORMATION info{};
    const auto start = std::chrono::steady_clock::now();
    const BOOL started = CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, TRUE, 0,
                                        nullptr, nullptr, &startup, &info);
    CloseHandle(discard);
    if (!started) throw std::runtime_error("cannot start " + argv[0]);
    WaitForSingleObject(info.hProcess, INFINITE);
    const auto stop = std::chrono::steady_clock::now();
    DWORD code = 1;
    GetExitCodeProcess(info.hProcess, &code);
    FILETIME created{}, exited{}, kernel{}, user{};
    GetProcessTimes(info.hProcess, &created, &exited, &kernel, &user);
    PROCESS_MEMORY_COUNTERS memory{};
    GetProcessMemoryInfo(info.hProcess, &memory, sizeof memory);
    CloseHandle(info.hThread);
    CloseHandle(info.hProcess);
    if (code != 0) throw std::runtime_error(argv[0] + " failed on " + argv.back());
    return {std::chrono::duration<double>(stop - start).count(), seconds(kernel) + seconds(user),
            static_cast<long>(memory.PeakWorkingSetSize / 1024)};
}

std::filesystem::path scratchFolder(const std::string& purpose) {
    return std::filesystem::temp_directory_path() /
           ("lindavex-" + purpose + "-" + std::to_string(GetCurrentProcessId()));
}

}  // namespace lindavex::bench
