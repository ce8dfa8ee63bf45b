#include <QByteArray>
#include <QCoreApplication>

#include <cstdio>
#include <memory>
#include <string>

#include <windows.h>

#include <knownfolders.h>
#include <shlobj.h>

#include "shell/platform.h"

namespace lindavex::shell::platform {
namespace {

std::wstring wide(const std::string& utf8) {
    std::wstring text(utf8.size(), L'\0');
    const int n = MultiByteToWideChar(CP_UTF8, 0, utf8.data(), int(utf8.size()), text.data(),
                                      int(text.size()));
    text.resize(n > 0 ? n : 0);
    return text;
}

// HtmlHelpA takes its texts in the ANSI code page; characters it lacks become '?'.
std::string ansi(const std::string& utf8) {
    const std::wstring text = wide(utf8);
    if (text.empty()) return {};
    const int size =
        WideCharToMultiByte(CP_ACP, 0, text.data(), int(text.size()), nullptr, 0, nullptr, nullptr);
    std::string result(size > 0 ? size : 0, '\0');
    WideCharToMultiByte(CP_ACP, 0, text.data(), int(text.size()), result.data(), size, nullptr,
                        nullptr);
    return result;
}

}  // namespace

std::filesystem::path executableDir() {
    std::wstring name(MAX_PATH, L'\0');
    for (;;) {
        const DWORD n = GetModuleFileNameW(nullptr, name.data(), DWORD(name.size()));
        if (n == 0) return {};
        if (n < name.size()) {
            name.resize(n);
            break;
        }
        name.resize(name.size() * 2);
    }
    return std::filesystem::path(name).parent_path();
}

// The library is loaded once, when the window starts, and freed with the last copy of the
// function.
HtmlHelpFunction htmlHelp() {
    using HtmlHelpA = HWND(WINAPI*)(HWND, LPCSTR, UINT, DWORD_PTR);
    HMODULE library = LoadLibraryW(L"HHCtrl.ocx");
    if (library == nullptr) return {};
    auto function =
        reinterpret_cast<HtmlHelpA>(reinterpret_cast<void*>(GetProcAddress(library, "HtmlHelpA")));
    if (function == nullptr) {
        FreeLibrary(library);
        return {};
    }
    std::shared_ptr<void> keep(library, [](void* handle) { FreeLibrary(HMODULE(handle)); });
    return [function, keep](const HtmlHelpCall& call) {
        const std::string file = call.file ? ansi(*call.file) : std::string();
        const std::string text = call.text ? ansi(*call.text) : std::string();
        const DWORD_PTR data = call.text ? reinterpret_cast<DWORD_PTR>(text.c_str()) : call.number;
        function(reinterpret_cast<HWND>(call.owner), call.file ? file.c_str() : nullptr,
                 call.command, data);
    };
}

// A 32-bit program hands its handles to a 64-bit one sign-extended.
WId hostWindowId(std::int32_t handle) {
    return static_cast<WId>(static_cast<std::intptr_t>(handle));
}

// A child window is destroyed with its parent; a host program that is killed takes its
// windows with it. Either way the host's handle stops naming a window.
bool windowExists(WId window) { return IsWindow(reinterpret_cast<HWND>(window)) != FALSE; }

void prepareProcess(bool embedded) {
    if (!embedded) return;
    // Qt's own option for a DPI-unaware process. Where the system refuses it (Wine reports every
    // window per-monitor aware), Qt must not scale the window either.
    qputenv("QT_QPA_PLATFORM", "windows:dpiawareness=0");
    qputenv("QT_ENABLE_HIGHDPI_SCALING", "0");
}

// Qt sets a window's extended style when it changes its parent, so this comes after.
void keepFromNotifyingHost(WId window) {
    const HWND handle = reinterpret_cast<HWND>(window);
    SetWindowLongPtrW(handle, GWL_EXSTYLE,
                      GetWindowLongPtrW(handle, GWL_EXSTYLE) | WS_EX_NOPARENTNOTIFY);
}

// Nothing is left to do: the status file is flushed, the tables are closed. Ending here, before
// Qt hides the window, and without running the libraries' own clean-up, which takes windows
// down too. The system then removes the windows without sending anything to the host.
void endEmbedded() {
    std::fflush(nullptr);
    TerminateProcess(GetCurrentProcess(), 0);
}

namespace {

std::filesystem::path knownFolder(REFKNOWNFOLDERID id) {
    PWSTR path = nullptr;
    std::filesystem::path folder;
    if (SUCCEEDED(SHGetKnownFolderPath(id, KF_FLAG_DONT_VERIFY, nullptr, &path))) folder = path;
    CoTaskMemFree(path);
    return folder;
}

}  // namespace

// The folders Windows protects from standard users and virtualizes for legacy programs. The
// user's local application data is the one %LOCALAPPDATA% names, as in every program the user
// starts.
std::optional<VirtualStore> virtualStore() {
    VirtualStore virtualization;
    for (REFKNOWNFOLDERID id :
         {FOLDERID_ProgramFiles, FOLDERID_ProgramFilesX86, FOLDERID_ProgramData, FOLDERID_Windows})
        if (auto folder = knownFolder(id); !folder.empty())
            virtualization.folders.push_back(std::move(folder));
    const wchar_t* local = _wgetenv(L"LOCALAPPDATA");
    const std::filesystem::path localAppData = local != nullptr && *local != L'\0'
                                                   ? std::filesystem::path(local)
                                                   : knownFolder(FOLDERID_LocalAppData);
    if (localAppData.empty() || virtualization.folders.empty()) return std::nullopt;
    virtualization.store = localAppData / L"VirtualStore";
    return virtualization;
}

}  // namespace lindavex::shell::platform
