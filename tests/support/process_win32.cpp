#include <windows.h>

#include <map>
#include <stdexcept>
#include <string>

#include "support/process.h"

namespace lindavex::testing {
namespace fs = std::filesystem;

struct Process::Impl {
    PROCESS_INFORMATION info{};
    HANDLE job = nullptr;      // holds the memory ceiling, when there is one
    HANDLE stopped = nullptr;  // the event a process at its stop point signals
    ~Impl() {
        if (stopped != nullptr) CloseHandle(stopped);
        if (job != nullptr) CloseHandle(job);
        if (info.hProcess != nullptr) CloseHandle(info.hProcess);
        if (info.hThread != nullptr) CloseHandle(info.hThread);
    }
};

namespace {

std::wstring wide(const std::string& utf8) {
    if (utf8.empty()) return {};
    const int size =
        MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), nullptr, 0);
    std::wstring text(static_cast<std::size_t>(size), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), text.data(), size);
    return text;
}

// One argument quoted so that the C runtime's parser gives it back unchanged.
std::wstring quoted(const std::wstring& arg) {
    if (!arg.empty() && arg.find_first_of(L" \t\n\v\"") == std::wstring::npos) return arg;
    std::wstring text = L"\"";
    std::size_t backslashes = 0;
    for (wchar_t c : arg) {
        if (c == L'\\') {
            ++backslashes;
            continue;
        }
        text.append(c == L'"' ? backslashes * 2 + 1 : backslashes, L'\\');
        backslashes = 0;
        text += c;
    }
    text.append(backslashes * 2, L'\\');
    return text + L'"';
}

// The parent's environment with the changes applied, as CreateProcessW takes it.
std::wstring environmentBlock(const ProcessOptions& options) {
    struct NoCase {
        bool operator()(const std::wstring& a, const std::wstring& b) const {
            return _wcsicmp(a.c_str(), b.c_str()) < 0;
        }
    };
    std::map<std::wstring, std::wstring, NoCase> variables;
    wchar_t* block = GetEnvironmentStringsW();
    for (const wchar_t* entry = block; *entry != L'\0'; entry += wcslen(entry) + 1) {
        const std::wstring text(entry);
        const std::size_t equals = text.find(L'=', 1);  // names like "=C:" start with '='
        if (equals != std::wstring::npos)
            variables[text.substr(0, equals)] = text.substr(equals + 1);
    }
    FreeEnvironmentStringsW(block);
    for (const auto& [name, value] : options.environment) {
        if (value)
            variables[wide(name)] = wide(*value);
        else
            variables.erase(wide(name));
    }
    std::wstring result;
    for (const auto& [name, value] : variables) result += name + L'=' + value + L'\0';
    return result + L'\0';
}

HANDLE openOutput(const fs::path& file) {
    SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
    const HANDLE handle = CreateFileW(file.empty() ? L"NUL" : file.c_str(), GENERIC_WRITE,
                                      FILE_SHARE_READ | FILE_SHARE_WRITE, &inherit, CREATE_ALWAYS,
                                      FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle == INVALID_HANDLE_VALUE) throw std::runtime_error("cannot open a child's output");
    return handle;
}

}  // namespace

Process::Process(const fs::path& program, const std::vector<std::string>& args,
                 const ProcessOptions& options)
    : impl_(std::make_unique<Impl>()) {
    std::wstring commandLine = quoted(program.wstring());
    for (const std::string& arg : args) commandLine += L' ' + quoted(wide(arg));
    std::wstring environment = environmentBlock(options);

    SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
    const HANDLE input = CreateFileW(L"NUL", GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                     &inherit, OPEN_EXISTING, 0, nullptr);
    const HANDLE out = openOutput(options.out);
    const HANDLE err = openOutput(options.err);
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = input;
    startup.hStdOutput = out;
    startup.hStdError = err;
    // Started suspended so that the stop event exists before the child can signal it, and
    // without a console: under Wine a console of its own is a conhost process that outlives a
    // child killed early and keeps the test's output open.
    const BOOL started =
        CreateProcessW(program.c_str(), commandLine.data(), nullptr, nullptr, TRUE,
                       CREATE_UNICODE_ENVIRONMENT | CREATE_SUSPENDED | DETACHED_PROCESS,
                       environment.data(), nullptr, &startup, &impl_->info);
    CloseHandle(input);
    CloseHandle(out);
    CloseHandle(err);
    if (!started) throw std::runtime_error("cannot start " + program.string());
    const std::wstring eventName =
        L"Local\\lindavex-stopped-" + std::to_wstring(impl_->info.dwProcessId);
    impl_->stopped = CreateEventW(nullptr, TRUE, FALSE, eventName.c_str());
    if (options.memoryLimit != 0 && (impl_->job = CreateJobObjectW(nullptr, nullptr))) {
        JOBOBJECT_EXTENDED_LIMIT_INFORMATION limit{};
        limit.BasicLimitInformation.LimitFlags = JOB_OBJECT_LIMIT_PROCESS_MEMORY;
        limit.ProcessMemoryLimit = options.memoryLimit;
        SetInformationJobObject(impl_->job, JobObjectExtendedLimitInformation, &limit,
                                sizeof limit);
        AssignProcessToJobObject(impl_->job, impl_->info.hProcess);
    }
    ResumeThread(impl_->info.hThread);
}

Process::~Process() {
    if (impl_ && (outcome_ == Outcome::Running || outcome_ == Outcome::Stopped)) kill();
}

Process::Outcome Process::waitFor(std::chrono::milliseconds limit) {
    if (outcome_ != Outcome::Running) return outcome_;
    HANDLE events[] = {impl_->info.hProcess, impl_->stopped};
    const DWORD count = impl_->stopped != nullptr ? 2 : 1;
    const DWORD woken =
        WaitForMultipleObjects(count, events, FALSE, static_cast<DWORD>(limit.count()));
    if (woken == WAIT_OBJECT_0 + 1) return outcome_ = Outcome::Stopped;
    if (woken != WAIT_OBJECT_0) return Outcome::Running;
    DWORD code = 0;
    GetExitCodeProcess(impl_->info.hProcess, &code);
    exitCode_ = static_cast<int>(code);
    return outcome_ = Outcome::Exited;
}

Process::Outcome Process::wait() {
    while (waitFor(std::chrono::milliseconds(INFINITE - 1)) == Outcome::Running) {
    }
    return outcome_;
}

// The exit status a killed process is given; no program of the system exits with it.
constexpr UINT kKilledStatus = 0xDEAD;

Process::Outcome Process::kill() {
    if (outcome_ == Outcome::Exited || outcome_ == Outcome::Killed) return outcome_;
    const bool ended = WaitForSingleObject(impl_->info.hProcess, 0) == WAIT_OBJECT_0;
    const bool terminated = !ended && TerminateProcess(impl_->info.hProcess, kKilledStatus);
    WaitForSingleObject(impl_->info.hProcess, INFINITE);
    DWORD code = 0;
    GetExitCodeProcess(impl_->info.hProcess, &code);
    if (terminated && code == kKilledStatus) return outcome_ = Outcome::Killed;
    exitCode_ = static_cast<int>(code);
    return outcome_ = Outcome::Exited;
}

fs::path currentProgram() {
    std::wstring name(32768, L'\0');
    const DWORD size = GetModuleFileNameW(nullptr, name.data(), static_cast<DWORD>(name.size()));
    name.resize(size);
    return name;
}

HeldLikeTheProduct::HeldLikeTheProduct(const fs::path& file) {
    const HANDLE handle =
        CreateFileW(file.c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                    nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle != INVALID_HANDLE_VALUE) handle_ = handle;
}

HeldLikeTheProduct::~HeldLikeTheProduct() {
    if (handle_ != nullptr) CloseHandle(handle_);
}

}  // namespace lindavex::testing
