#include <QCoreApplication>
#include <QProcess>
#include <QStandardPaths>
#include <QString>

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

void watchHost(QWidget&, WId, std::function<void()>) {}

}  // namespace lindavex::shell::platform
