#include <QAbstractNativeEventFilter>
#include <QCoreApplication>
#include <QTimer>
#include <QWidget>

#include <memory>
#include <string>

#include <windows.h>

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

// Notices the host window going: a child window is destroyed with its parent, so the embedded
// window receives WM_DESTROY though nothing here closed it. A host program that is killed may
// not destroy its windows one by one, so the host handle is also looked at twice a second.
class HostWatch : public QObject, public QAbstractNativeEventFilter {
  public:
    HostWatch(QWidget& window, HWND host, std::function<void()> gone)
        : QObject(&window),
          window_(reinterpret_cast<HWND>(window.winId())),
          host_(host),
          gone_(std::move(gone)) {
        QCoreApplication::instance()->installNativeEventFilter(this);
        auto* timer = new QTimer(this);
        connect(timer, &QTimer::timeout, this, [this] {
            if (!IsWindow(host_)) report();
        });
        timer->start(500);
    }

    bool nativeEventFilter(const QByteArray& eventType, void* message, qintptr*) override {
        const auto* msg = static_cast<const MSG*>(message);
        if (eventType == "windows_generic_MSG" && msg->message == WM_DESTROY &&
            msg->hwnd == window_)
            // Inside the host's DestroyWindow: act once back in the event loop.
            QMetaObject::invokeMethod(
                this, [this] { report(); }, Qt::QueuedConnection);
        return false;
    }

  private:
    void report() {
        if (reported_) return;
        reported_ = true;
        gone_();
    }

    HWND window_;
    HWND host_;
    std::function<void()> gone_;
    bool reported_ = false;
};

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

void watchHost(QWidget& window, WId host, std::function<void()> gone) {
    new HostWatch(window, reinterpret_cast<HWND>(host), std::move(gone));
}

}  // namespace lindavex::shell::platform
