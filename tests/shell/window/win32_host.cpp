// A stand-in for the Morvalen product on Windows: a plain Win32 window of 632 x 266 that starts
// lindavex.exe with its handle in hexadecimal, as the product does, then checks the embedded
// window and what it leaves in "Morvalen.ini" beside the executable.
//   win32_host PATH\lindavex.exe [ayuda]
// Exit status 0 when every check held; each failed check is written to standard error. With
// "ayuda" it only checks that F1 opens the help file.
#include <windows.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <string>
#include <thread>

#include "support/files.h"

namespace {
namespace fs = std::filesystem;
using namespace std::chrono_literals;

constexpr int kWidth = 632, kHeight = 266;
constexpr const char* kOtherContent = "; Morvalen RV17\r\n[Rutas]\r\nTrabajo=C:\\WTEMP\r\n";

int failures = 0;

void check(bool holds, const std::string& what) {
    std::fprintf(stderr, "%s: %s\n", holds ? "ok" : "FAILED", what.c_str());
    if (!holds) ++failures;
}

// Runs the host's messages until found() holds or the limit passes.
bool waitUntil(const std::function<bool()>& found, std::chrono::milliseconds limit = 30s) {
    const auto end = std::chrono::steady_clock::now() + limit;
    for (;;) {
        for (MSG msg; PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE);) DispatchMessageW(&msg);
        if (found()) return true;
        if (std::chrono::steady_clock::now() > end) return false;
        std::this_thread::sleep_for(50ms);
    }
}

HWND createHost() {
    WNDCLASSW windowClass{};
    windowClass.lpfnWndProc = DefWindowProcW;
    windowClass.hInstance = GetModuleHandleW(nullptr);
    windowClass.hbrBackground = HBRUSH(GetStockObject(WHITE_BRUSH));
    windowClass.lpszClassName = L"MorvalenHost";
    RegisterClassW(&windowClass);
    RECT frame{0, 0, kWidth, kHeight};
    const DWORD style = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_CLIPCHILDREN;
    AdjustWindowRect(&frame, style, FALSE);
    HWND host =
        CreateWindowW(L"MorvalenHost", L"Morvalen", style, 0, 0, frame.right - frame.left,
                      frame.bottom - frame.top, nullptr, nullptr, windowClass.hInstance, nullptr);
    // Without a desktop (Wine's started without a display) there is no window to embed in.
    check(host != nullptr, "the host window is made");
    if (host != nullptr) ShowWindow(host, SW_SHOW);
    return host;
}

// The tool, started with a mode and the host's handle; ends it at the end of a case.
struct Tool {
    PROCESS_INFORMATION process{};

    Tool(const fs::path& exe, const std::string& mode, HWND host) {
        wchar_t handle[16];
        std::swprintf(handle, 16, L"%lX",
                      static_cast<unsigned long>(reinterpret_cast<std::uintptr_t>(host)));
        std::wstring commandLine =
            L"\"" + exe.wstring() + L"\" " + std::wstring(mode.begin(), mode.end()) + L" " + handle;
        STARTUPINFOW startup{};
        startup.cb = sizeof startup;
        if (!CreateProcessW(exe.c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr,
                            exe.parent_path().c_str(), &startup, &process))
            process = {};
    }
    ~Tool() {
        if (process.hProcess == nullptr) return;
        if (WaitForSingleObject(process.hProcess, 0) != WAIT_OBJECT_0)
            TerminateProcess(process.hProcess, 99);
        CloseHandle(process.hProcess);
        CloseHandle(process.hThread);
    }
    bool endsWithin(std::chrono::milliseconds limit) const {
        if (process.hProcess == nullptr) return true;
        return waitUntil([&] { return WaitForSingleObject(process.hProcess, 0) == WAIT_OBJECT_0; },
                         limit);
    }
    DWORD exitCode() const {
        DWORD code = 99;
        GetExitCodeProcess(process.hProcess, &code);
        return code;
    }
    // A shown top-level window of the tool whose title begins with title.
    HWND window(const std::wstring& title) const {
        struct Search {
            DWORD pid;
            const std::wstring& title;
            HWND found;
        } search{process.dwProcessId, title, nullptr};
        EnumWindows(
            [](HWND window, LPARAM data) -> BOOL {
                auto& s = *reinterpret_cast<Search*>(data);
                DWORD pid = 0;
                GetWindowThreadProcessId(window, &pid);
                wchar_t text[256] = L"";
                GetWindowTextW(window, text, 256);
                if (pid != s.pid || !IsWindowVisible(window) ||
                    std::wstring(text).rfind(s.title, 0) != 0)
                    return TRUE;
                s.found = window;
                return FALSE;
            },
            reinterpret_cast<LPARAM>(&search));
        return search.found;
    }
};

// The tool's window inside the host, once it is shown at its full size; none when the tool
// ends or does not show it.
HWND embeddedWindow(HWND host, const Tool& tool) {
    HWND child = nullptr;
    waitUntil([&] {
        child = FindWindowExW(host, nullptr, nullptr, nullptr);
        RECT r{};
        return tool.endsWithin(0ms) ||
               (child != nullptr && IsWindowVisible(child) && GetClientRect(child, &r) &&
                r.right == kWidth && r.bottom == kHeight);
    });
    return tool.endsWithin(0ms) ? nullptr : child;
}

// A click at a point of the window: Qt's widgets inside it have no handles of their own.
void click(HWND window, int x, int y) {
    const LPARAM at = MAKELPARAM(x, y);
    PostMessageW(window, WM_MOUSEMOVE, 0, at);
    PostMessageW(window, WM_LBUTTONDOWN, MK_LBUTTON, at);
    PostMessageW(window, WM_LBUTTONUP, 0, at);
}

void pressKey(HWND window, WPARAM key) {
    PostMessageW(window, WM_KEYDOWN, key, 1);
    PostMessageW(window, WM_KEYUP, key, 1 | (3u << 30));
}

// Closes a dialog or message box of the tool as its close button would.
bool dismiss(const Tool& tool, const std::wstring& title) {
    HWND found = nullptr;
    if (!waitUntil([&] { return (found = tool.window(title)) != nullptr; })) return false;
    PostMessageW(found, WM_CLOSE, 0, 0);
    return waitUntil([&] { return !IsWindow(found) || !IsWindowVisible(found); }, 10s);
}

std::string statusFile(const char* value) {
    return std::string(kOtherContent) + "[Transformadores]\r\nTransformado=" + value + "\r\n";
}

constexpr int kSalirX = 256 + 37, kSalirY = 168 + 32 + 12;
constexpr int kOkX = 96 + 37, kOkY = 120 + 12;

void closedWithSalir(const fs::path& exe, const fs::path& ini) {
    HWND host = createHost();
    if (host == nullptr) return;
    Tool tool(exe, "exportar", host);
    HWND child = embeddedWindow(host, tool);
    check(child != nullptr, "exportar: a 632x266 child window in the host");
    if (child == nullptr) return;
    RECT window{}, hostClient{0, 0, 0, 0};
    GetWindowRect(child, &window);
    MapWindowPoints(host, nullptr, reinterpret_cast<POINT*>(&hostClient), 1);
    check(window.left == hostClient.left && window.top == hostClient.top,
          "exportar: the child is at 0,0 of the host");
    check(window.right - window.left == kWidth && window.bottom - window.top == kHeight,
          "exportar: the child's outer size is 632x266");
    const LONG style = GetWindowLongW(child, GWL_STYLE);
    const LONG exStyle = GetWindowLongW(child, GWL_EXSTYLE);
    check((style & WS_CHILD) && !(style & (WS_CAPTION | WS_THICKFRAME | WS_BORDER | WS_DLGFRAME)) &&
              !(exStyle & (WS_EX_DLGMODALFRAME | WS_EX_CLIENTEDGE | WS_EX_STATICEDGE)),
          "exportar: a child window without border or caption");
    // Where the second action's button stands when both show: nothing opens there.
    click(child, 316 + kOkX, kOkY);
    std::this_thread::sleep_for(2s);
    check(tool.window(L"Archivo XML") == nullptr, "exportar: no second action's button");
    click(child, kSalirX, kSalirY);
    check(tool.endsWithin(30s) && tool.exitCode() == 0, "exportar: \"Salir\" ends the tool");
    check(lindavex::testing::readBytes(ini) == statusFile("0"),
          "exportar: Transformado=0, every other byte kept");
    DestroyWindow(host);
}

void missingInput(const fs::path& exe, const fs::path& ini) {
    HWND host = createHost();
    if (host == nullptr) return;
    Tool tool(exe, "IMPORTAR", host);
    HWND child = embeddedWindow(host, tool);
    check(child != nullptr, "importar: a 632x266 child window in the host");
    if (child == nullptr) return;
    click(child, kOkX, kOkY);  // the only panel's button
    check(dismiss(tool, L"Lindavex"), "importar: the reminder");
    check(dismiss(tool, L"Archivo XML"), "importar: the file dialog");
    check(dismiss(tool, L"Lindavex"), "importar: the missing file's message");
    check(tool.endsWithin(30s) && tool.exitCode() == 0, "importar: the tool ends by itself");
    check(lindavex::testing::readBytes(ini) == statusFile("-1"),
          "importar: Transformado=-1, every other byte kept");
    DestroyWindow(host);
}

void hostDestroyed(const fs::path& exe, const fs::path& ini) {
    HWND host = createHost();
    if (host == nullptr) return;
    Tool tool(exe, "exportar", host);
    const bool shown = embeddedWindow(host, tool) != nullptr;
    check(shown, "host destroyed: a child window in the host");
    if (!shown) return;
    DestroyWindow(host);
    check(tool.endsWithin(10s) && tool.exitCode() == 0, "host destroyed: the tool ends");
    check(lindavex::testing::readBytes(ini) == statusFile("0"), "host destroyed: Transformado=0");
}

void helpOpens(const fs::path& exe) {
    HWND host = createHost();
    if (host == nullptr) return;
    Tool tool(exe, "exportar", host);
    HWND child = embeddedWindow(host, tool);
    check(child != nullptr, "ayuda: a child window in the host");
    if (child == nullptr) return;
    pressKey(child, VK_F1);
    // HTML Help titles its window with the help file's title.
    check(waitUntil([&] { return tool.window(L"Ayuda de Lindavex") != nullptr; }),
          "ayuda: F1 opens the help file");
    DestroyWindow(host);
    tool.endsWithin(10s);
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: win32_host PATH\\lindavex.exe [ayuda]\n");
        return 2;
    }
    const fs::path exe = fs::absolute(argv[1]);
    const fs::path ini = exe.parent_path() / "Morvalen.ini";
    if (argc > 2 && std::wstring(argv[2]) == L"ayuda") {
        helpOpens(exe);
    } else {
        for (const auto run : {closedWithSalir, missingInput, hostDestroyed}) {
            lindavex::testing::writeBytes(ini, kOtherContent);
            run(exe, ini);
        }
    }
    fs::remove(ini);
    return failures == 0 ? 0 : 1;
}
