// What the window needs from the platform: the help viewer, and whether the host window that
// an embedded window runs in still exists.
#include <QProcess>
#include <QStandardPaths>
#include <QString>

#include "shell/main_form.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <QGuiApplication>

#include <xcb/xcb.h>

#include <cstdlib>
#endif

namespace lindavex::shell {

#ifdef _WIN32

HtmlHelpFunction platformHtmlHelp() {
    using HtmlHelpA = HWND(WINAPI*)(HWND, LPCSTR, UINT, DWORD_PTR);
    HMODULE library = LoadLibraryA("HHCtrl.ocx");
    if (library == nullptr) return {};
    auto function = reinterpret_cast<HtmlHelpA>(GetProcAddress(library, "HtmlHelpA"));
    if (function == nullptr) {
        FreeLibrary(library);
        return {};
    }
    std::shared_ptr<void> keep(library, [](void* handle) { FreeLibrary(HMODULE(handle)); });
    return [function, keep](const HtmlHelpCall& call) {
        const DWORD_PTR data =
            call.text ? reinterpret_cast<DWORD_PTR>(call.text->c_str()) : call.number;
        function(reinterpret_cast<HWND>(call.owner), call.file ? call.file->c_str() : nullptr,
                 call.command, data);
    };
}

bool platformWindowExists(WId window) { return IsWindow(reinterpret_cast<HWND>(window)) != FALSE; }

#else

// Without HTML Help, Debian's CHM viewer xchm shows the help file: at the page of a context
// number, else at its start. Without it, help requests do nothing.
HtmlHelpFunction platformHtmlHelp() {
    const QString viewer = QStandardPaths::findExecutable(QStringLiteral("xchm"));
    if (viewer.isEmpty()) return {};
    return [viewer](const HtmlHelpCall& call) {
        if (!call.file || call.command == HH_CLOSE_ALL) return;
        const std::string& target = *call.file;
        QStringList arguments;
        if (call.command == HH_HELP_CONTEXT)
            arguments << QStringLiteral("--contextid=%1").arg(call.number);
        arguments << QString::fromStdString(target.substr(0, target.find("::/")));
        QProcess::startDetached(viewer, arguments);
    };
}

// Asked of the X server directly: without a window manager nothing else tells a client that a
// window of another client went away. Other platforms (offscreen, Wayland) cannot tell.
bool platformWindowExists(WId window) {
    auto* x11 = qGuiApp == nullptr ? nullptr
                                   : qGuiApp->nativeInterface<QNativeInterface::QX11Application>();
    if (x11 == nullptr || x11->connection() == nullptr) return true;
    xcb_connection_t* connection = x11->connection();
    xcb_generic_error_t* error = nullptr;
    const auto cookie = xcb_get_window_attributes(connection, static_cast<xcb_window_t>(window));
    std::free(xcb_get_window_attributes_reply(connection, cookie, &error));
    const bool gone = error != nullptr && error->error_code == XCB_WINDOW;
    std::free(error);
    return !gone;
}

#endif

}  // namespace lindavex::shell
