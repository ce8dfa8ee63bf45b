// A stand-in for the Morvalen product on Windows: a plain Win32 window of 632 x 266 that starts
// lindavex.exe with its handle in hexadecimal, as the product does, then checks the embedded
// window and what it leaves in "Morvalen.ini" beside the executable.
//   win32_host PATH\lindavex.exe [ayuda | ppp | virtualstore LOCALAPPDATA]
// Exit status 0 when every check held; each failed check is written to standard error. With
// "ayuda" it only checks that F1 opens the help file; with "ppp" the window's size when the
// display is scaled to 150 %; with "virtualstore" where the status goes when the program's
// folder and "Morvalen.ini" cannot be written (the caller makes them so), with LOCALAPPDATA
// standing in for the user's own.
#include <windows.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <initializer_list>
#include <iterator>
#include <string>
#include <system_error>
#include <thread>
#include <vector>

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

    // Without a host, started with no arguments: the window runs free.
    Tool(const fs::path& exe, const std::string& mode, HWND host) {
        wchar_t handle[16];
        std::swprintf(handle, 16, L"%lX",
                      static_cast<unsigned long>(reinterpret_cast<std::uintptr_t>(host)));
        std::wstring commandLine = L"\"" + exe.wstring() + L"\"";
        if (host != nullptr)
            commandLine += L" " + std::wstring(mode.begin(), mode.end()) + L" " + handle;
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

// Keys pressed together, then let go in reverse, on the keyboard itself: they reach the window
// that has the focus, with the modifiers' state.
void pressKeys(std::initializer_list<WORD> keys) {
    std::vector<INPUT> inputs;
    const auto key = [&](WORD code, DWORD flags) {
        INPUT input{};
        input.type = INPUT_KEYBOARD;
        input.ki.wVk = code;
        input.ki.dwFlags = flags;
        inputs.push_back(input);
    };
    for (const WORD code : keys) key(code, 0);
    for (auto it = std::rbegin(keys); it != std::rend(keys); ++it) key(*it, KEYEVENTF_KEYUP);
    SendInput(static_cast<UINT>(inputs.size()), inputs.data(), sizeof(INPUT));
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
    check(exStyle & WS_EX_NOPARENTNOTIFY, "exportar: the host is not told when the child goes");
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

// A product that closes the tool's window and then waits for the tool to end, without running
// its message loop: nothing the tool does on its way out may wait for the host.
void hostThatWaits(const fs::path& exe, const fs::path& ini) {
    HWND host = createHost();
    if (host == nullptr) return;
    Tool tool(exe, "exportar", host);
    HWND child = embeddedWindow(host, tool);
    check(child != nullptr, "waiting host: a child window in the host");
    if (child == nullptr) return;
    PostMessageW(child, WM_CLOSE, 0, 0);
    const bool ended = WaitForSingleObject(tool.process.hProcess, 2000) == WAIT_OBJECT_0;
    check(ended && tool.exitCode() == 0, "waiting host: the tool ends within 2 s");
    check(lindavex::testing::readBytes(ini) == statusFile("0"), "waiting host: Transformado=0");
    DestroyWindow(host);
}

// The keyboard inside the host: the tool's window takes the focus when it shows, then Enter on
// the focused "OK" starts the action and Alt+S is "Salir".
void keyboard(const fs::path& exe, const fs::path& ini) {
    HWND host = createHost();
    if (host == nullptr) return;
    {
        Tool tool(exe, "exportar", host);
        check(embeddedWindow(host, tool) != nullptr, "keyboard: a child window in the host");
        pressKeys({VK_RETURN});
        check(dismiss(tool, L"Archivo XML"), "keyboard: Enter on the focused OK opens the dialog");
        check(dismiss(tool, L"Lindavex"), "keyboard: the missing file's message");
        check(tool.endsWithin(30s) && lindavex::testing::readBytes(ini) == statusFile("-1"),
              "keyboard: the action ran to its end, Transformado=-1");
    }
    {
        Tool tool(exe, "importar", host);
        check(embeddedWindow(host, tool) != nullptr, "keyboard: the tool again");
        pressKeys({VK_MENU, 'S'});
        check(tool.endsWithin(30s) && tool.exitCode() == 0 &&
                  lindavex::testing::readBytes(ini) == statusFile("0"),
              "keyboard: Alt+S ends the tool, Transformado=0");
    }
    DestroyWindow(host);
}

// At 150 % (the prefix's LogPixels 144) the embedded window is as big as the host, which
// Windows stretches like it; on its own the window scales itself.
void scaled(const fs::path& exe) {
    HDC screen = GetDC(nullptr);
    const int dpi = GetDeviceCaps(screen, LOGPIXELSX);
    ReleaseDC(nullptr, screen);
    check(dpi == 144, "ppp: the display is scaled to 150 % (" + std::to_string(dpi) + ")");
    {
        HWND host = createHost();
        if (host == nullptr) return;
        Tool tool(exe, "exportar", host);
        HWND child = embeddedWindow(host, tool);
        RECT window{}, hostClient{0, 0, 0, 0};
        if (child != nullptr) GetWindowRect(child, &window);
        MapWindowPoints(host, nullptr, reinterpret_cast<POINT*>(&hostClient), 1);
        check(child != nullptr && window.left == hostClient.left && window.top == hostClient.top &&
                  window.right - window.left == kWidth && window.bottom - window.top == kHeight,
              "ppp: the embedded window is 632x266 at 0,0 of the host");
        DestroyWindow(host);
        tool.endsWithin(10s);
    }
    Tool tool(exe, "", nullptr);
    HWND window = nullptr;
    RECT client{};
    const bool shown = waitUntil([&] {
        window = tool.window(L"Exportar e importar datos");
        return window != nullptr && GetClientRect(window, &client) && client.right > kWidth;
    });
    check(shown && client.right == MulDiv(kWidth, dpi, 96) &&
              client.bottom == MulDiv(kHeight, dpi, 96),
          "ppp: on its own the window is scaled (" + std::to_string(client.right) + "x" +
              std::to_string(client.bottom) + ")");
    if (window != nullptr) PostMessageW(window, WM_CLOSE, 0, 0);
    check(tool.endsWithin(30s), "ppp: the window on its own closes");
}

// The program's folder and "Morvalen.ini" cannot be written, as in Program Files for a standard
// user: the status goes to the VirtualStore copy the product then reads.
void virtualStore(const fs::path& exe, const fs::path& ini, const fs::path& localAppData) {
    const fs::path copy = localAppData / "VirtualStore" / ini.relative_path();
    const std::string real = lindavex::testing::readBytes(ini);
    const auto withStatus = [&](const char* value) {
        return real.substr(0, real.rfind('=') + 1) + value + "\r\n";
    };
    SetEnvironmentVariableW(L"LOCALAPPDATA", localAppData.c_str());
    HWND host = createHost();
    if (host == nullptr) return;
    {
        Tool tool(exe, "exportar", host);
        HWND child = embeddedWindow(host, tool);
        check(child != nullptr, "virtualstore: a child window in the host");
        if (child == nullptr) return;
        click(child, kSalirX, kSalirY);
        check(tool.endsWithin(30s) && tool.exitCode() == 0,
              "virtualstore: \"Salir\" ends the tool");
        check(lindavex::testing::readBytes(copy) == withStatus("0") &&
                  lindavex::testing::readBytes(ini) == real,
              "virtualstore: the copy is made, Transformado=0, every other byte kept");
    }
    {
        Tool tool(exe, "importar", host);
        HWND child = embeddedWindow(host, tool);
        check(child != nullptr, "virtualstore: the tool again");
        if (child == nullptr) return;
        click(child, kOkX, kOkY);
        dismiss(tool, L"Lindavex");
        dismiss(tool, L"Archivo XML");
        dismiss(tool, L"Lindavex");
        check(tool.endsWithin(30s) && lindavex::testing::readBytes(copy) == withStatus("-1"),
              "virtualstore: the copy that exists is edited, Transformado=-1");
    }
    // Nothing can be written: the message waits for an answer that nobody gives once the host
    // has gone, and the tool ends all the same.
    SetFileAttributesW(copy.c_str(), FILE_ATTRIBUTE_READONLY);
    {
        Tool tool(exe, "exportar", host);
        HWND child = embeddedWindow(host, tool);
        check(child != nullptr, "virtualstore: the tool a third time");
        if (child == nullptr) return;
        click(child, kSalirX, kSalirY);
        check(waitUntil([&] { return tool.window(L"Lindavex") != nullptr; }),
              "virtualstore: nothing can be written, and the message says so");
        DestroyWindow(host);
        check(tool.endsWithin(10s), "virtualstore: the host goes, and the tool ends");
    }
    SetFileAttributesW(copy.c_str(), FILE_ATTRIBUTE_NORMAL);
}

void helpOpens(const fs::path& exe) {
    HWND host = createHost();
    if (host == nullptr) return;
    Tool tool(exe, "exportar", host);
    HWND child = embeddedWindow(host, tool);
    check(child != nullptr, "ayuda: a child window in the host");
    if (child == nullptr) return;
    pressKeys({VK_F1});
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
    const std::wstring mode = argc > 2 ? argv[2] : L"";
    if (mode == L"ayuda") {
        helpOpens(exe);
    } else if (mode == L"ppp") {
        scaled(exe);
    } else if (mode == L"virtualstore" && argc > 3) {
        virtualStore(exe, ini, argv[3]);  // the caller keeps its "Morvalen.ini"
        return failures == 0 ? 0 : 1;
    } else {
        for (const auto run :
             {closedWithSalir, missingInput, hostDestroyed, hostThatWaits, keyboard}) {
            lindavex::testing::writeBytes(ini, kOtherContent);
            run(exe, ini);
        }
    }
    std::error_code ec;
    fs::remove(ini, ec);
    return failures == 0 ? 0 : 1;
}
