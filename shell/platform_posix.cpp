#include <QCoreApplication>
#include <QGuiApplication>
#include <QProcess>
#include <QStandardPaths>
#include <QString>

#include <xcb/xcb.h>

#include <cstdlib>

#include "shell/platform.h"

namespace lindavex::shell::platform {

std::filesystem::path executableDir() {
    return std::filesystem::path(QCoreApplication::applicationDirPath().toStdU16String());
}

// Without HTML Help, Debian's CHM viewer xchm shows the help file: at the page of a context
// number, else at its start. Without it, help requests do nothing.
HtmlHelpFunction htmlHelp() {
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

// X11 window ids are at most 29 bits.
WId hostWindowId(std::int32_t handle) {
    return static_cast<WId>(static_cast<std::uint32_t>(handle));
}

// Asked of the X server directly: without a window manager nothing else tells a client that a
// window of another client went away. Other platforms (offscreen, Wayland) cannot tell.
bool windowExists(WId window) {
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

// X11 hosts neither scale their children nor wait on their messages.
void prepareProcess(bool /*embedded*/) {}
void keepFromNotifyingHost(WId /*window*/) {}
void endEmbedded() { QCoreApplication::quit(); }

std::optional<VirtualStore> virtualStore() { return std::nullopt; }

}  // namespace lindavex::shell::platform
