#include <QProcess>
#include <QStandardPaths>
#include <QString>

#include "shell/main_form.h"

#ifdef _WIN32
#include <windows.h>
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

#endif

}  // namespace lindavex::shell
