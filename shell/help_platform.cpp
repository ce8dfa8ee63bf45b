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

// Without HTML Help, a CHM viewer shows the help file (at its start page: the viewers take no
// context numbers). Without one, help requests do nothing.
HtmlHelpFunction platformHtmlHelp() {
    const QString viewer = QStandardPaths::findExecutable(QStringLiteral("xchm"));
    if (viewer.isEmpty()) return {};
    return [viewer](const HtmlHelpCall& call) {
        if (!call.file || call.command == HH_CLOSE_ALL) return;
        std::string file = *call.file;
        file = file.substr(0, file.find("::/"));
        QProcess::startDetached(viewer, {QString::fromStdString(file)});
    };
}

#endif

}  // namespace lindavex::shell
