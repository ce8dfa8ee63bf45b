// End to end under Xvfb: the real program started as the Morvalen product starts it, inside a
// host window, driven by real clicks and keys, and the status it leaves in "Morvalen.ini".
#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <cstdio>
#include <fstream>
#include <iostream>
#include <regex>
#include <sstream>
#include <thread>

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include "shell/settings_file.h"
#include "support/files.h"
#include "support/scratch_dir.h"

extern char** environ;

namespace {
namespace fs = std::filesystem;
using namespace std::chrono_literals;
using lindavex::testing::ScratchDir;

std::string output(const std::string& command) {
    std::string text;
    if (FILE* pipe = ::popen(command.c_str(), "r")) {
        char buffer[4096];
        for (std::size_t n; (n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0;)
            text.append(buffer, n);
        ::pclose(pipe);
    }
    return text;
}

// The program's path when it is on PATH, else empty text.
std::string onPath(const std::string& program) {
    std::string path = output("command -v '" + program + "' 2>/dev/null");
    while (!path.empty() && path.back() == '\n') path.pop_back();
    return path;
}

// A child process; stdinPipe keeps its standard input open until the object goes.
struct Process {
    pid_t pid = -1;
    int stdinPipe = -1;
    int stdoutPipe = -1;

    Process(const std::vector<std::string>& args, bool pipes) {
        std::vector<char*> argv;
        for (const std::string& arg : args) argv.push_back(const_cast<char*>(arg.c_str()));
        argv.push_back(nullptr);
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        int in[2] = {-1, -1}, out[2] = {-1, -1};
        if (pipes) {
            if (::pipe(in) != 0 || ::pipe(out) != 0) return;
            posix_spawn_file_actions_adddup2(&actions, in[0], 0);
            posix_spawn_file_actions_adddup2(&actions, out[1], 1);
            posix_spawn_file_actions_addclose(&actions, in[1]);
            posix_spawn_file_actions_addclose(&actions, out[0]);
        } else {
            posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
        }
        posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
        if (posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ) != 0) pid = -1;
        posix_spawn_file_actions_destroy(&actions);
        if (pipes) {
            ::close(in[0]);
            ::close(out[1]);
            stdinPipe = in[1];
            stdoutPipe = out[0];
        }
    }
    ~Process() {
        if (stdinPipe >= 0) ::close(stdinPipe);
        if (stdoutPipe >= 0) ::close(stdoutPipe);
        if (pid > 0 && !waitFor(0ms)) {
            ::kill(pid, SIGTERM);
            ::waitpid(pid, nullptr, 0);
        }
    }
    Process(const Process&) = delete;
    Process& operator=(const Process&) = delete;

    std::string readLine() const {
        std::string line;
        char c = 0;
        while (::read(stdoutPipe, &c, 1) == 1 && c != '\n') line += c;
        return line;
    }
    // True once the process has ended (its exit status in status).
    bool waitFor(std::chrono::milliseconds limit) {
        const auto end = std::chrono::steady_clock::now() + limit;
        do {
            if (::waitpid(pid, &status, WNOHANG) == pid) {
                pid = -1;
                return true;
            }
            std::this_thread::sleep_for(50ms);
        } while (std::chrono::steady_clock::now() < end);
        return false;
    }
    int status = -1;
};

// X windows as xwininfo lists them: id, title and size.
struct XWindow {
    std::string id;
    std::string title;
    int width = 0, height = 0;
};

std::vector<XWindow> windows(const std::string& xwininfoArgs) {
    std::vector<XWindow> found;
    const std::regex line(R"re(^\s*(0x[0-9a-f]+) "([^"]*)".*?\s(\d+)x(\d+)\+-?\d+\+-?\d+)re");
    std::stringstream lines(output("xwininfo " + xwininfoArgs + " 2>/dev/null"));
    for (std::string text; std::getline(lines, text);) {
        std::smatch m;
        if (std::regex_search(text, m, line))
            found.push_back({m[1], m[2], std::stoi(m[3]), std::stoi(m[4])});
    }
    return found;
}

bool viewable(const std::string& id) {
    return output("xwininfo -id " + id + " 2>/dev/null").find("IsViewable") != std::string::npos;
}

// Shown and not a popup (popups such as the file name completer bypass window management).
bool shownWindow(const std::string& id) {
    const std::string info = output("xwininfo -id " + id + " 2>/dev/null");
    return info.find("IsViewable") != std::string::npos &&
           info.find("Override Redirect State: no") != std::string::npos;
}

// The first shown top-level window with that title. Qt gives untitled windows (helpers, the
// file name completer) the application's name too, so popups and 1x1 ones are passed over.
std::optional<XWindow> topLevel(const std::string& title, bool exact = true) {
    for (const XWindow& w : windows("-root -children"))
        if ((exact ? w.title == title : w.title.find(title) != std::string::npos) && w.width > 1 &&
            shownWindow(w.id))
            return w;
    return std::nullopt;
}

template <typename Found>
auto waitUntil(Found found, std::chrono::milliseconds limit = 15s) {
    const auto end = std::chrono::steady_clock::now() + limit;
    for (;;) {
        auto result = found();
        if (result || std::chrono::steady_clock::now() > end) return result;
        std::this_thread::sleep_for(100ms);
    }
}

void click(const std::string& window, int x, int y) {
    std::system(("xdotool mousemove --window " + window + " " + std::to_string(x) + " " +
                 std::to_string(y) + " click 1")
                    .c_str());
}

// Without a window manager the keyboard goes to the window under the pointer.
void keysOver(const XWindow& window, const std::string& keys) {
    std::system(("xdotool mousemove --window " + window.id + " " +
                 std::to_string(window.width / 2) + " 8 " + keys)
                    .c_str());
}

class EmbeddedWindow : public ::testing::Test {
  protected:
    static void SetUpTestSuite() {
        for (const char* tool : {"Xvfb", "xdotool", "xwininfo"})
            if (onPath(tool).empty()) missing_ = tool;
        if (!missing_.empty()) return;
        for (int number = 60 + ::getpid() % 100; number < 400 && !xvfb_; ++number) {
            const std::string name = std::to_string(number);
            if (fs::exists("/tmp/.X11-unix/X" + name) || fs::exists("/tmp/.X" + name + "-lock"))
                continue;
            auto server = std::make_unique<Process>(
                std::vector<std::string>{onPath("Xvfb"), ":" + name, "-screen", "0", "1024x768x24",
                                         "-nolisten", "tcp"},
                false);
            const bool up = waitUntil([&] { return fs::exists("/tmp/.X11-unix/X" + name); }, 10s);
            if (up && !server->waitFor(0ms)) {
                ::setenv("DISPLAY", (":" + name).c_str(), 1);
                xvfb_ = std::move(server);
            }
        }
    }
    static void TearDownTestSuite() { xvfb_.reset(); }

    void SetUp() override {
        if (!missing_.empty()) GTEST_SKIP() << missing_ << " is not installed";
        ASSERT_TRUE(xvfb_) << "no Xvfb display could be started";
        // The status file lives beside the executable: run a copy in a scratch folder.
        fs::copy_file(LINDAVEX_PROGRAM, dir_ / "lindavex");
        if (fs::exists(LINDAVEX_HELP_FILE)) fs::copy_file(LINDAVEX_HELP_FILE, dir_ / "RIDAZ.chm");
        fs::create_directory(dir_ / "WTEMP");
        ::setenv("LINDAVEX_WORKDB", (dir_ / "WTEMP").c_str(), 1);
        std::ofstream(dir_ / "Morvalen.ini", std::ios::binary) << kOtherContent;
        host_ = std::make_unique<Process>(
            std::vector<std::string>{"/usr/bin/python3", LINDAVEX_HOST_SCRIPT}, true);
        hostId_ = "0x" + host_->readLine();
        ASSERT_GT(hostId_.size(), 2u) << "the host window did not start (python3-xlib?)";
    }

    // Starts the program inside the host window; returns its window, a child of the host.
    XWindow start(const std::string& mode) {
        program_ = std::make_unique<Process>(
            std::vector<std::string>{(dir_ / "lindavex").string(), mode, hostId_.substr(2)}, false);
        auto child = waitUntil([&]() -> std::optional<XWindow> {
            for (const XWindow& w : windows("-children -id " + hostId_))
                if (w.width == 632 && w.height == 266) return w;
            return std::nullopt;
        });
        EXPECT_TRUE(child) << "no 632x266 child window in the host\n"
                           << output("xwininfo -children -id " + hostId_);
        return child.value_or(XWindow{});
    }

    std::optional<std::string> status() const {
        return lindavex::shell::readProfileString(dir_ / "Morvalen.ini", "Transformadores",
                                                  "Transformado");
    }
    bool endsWithin(std::chrono::milliseconds limit) {
        if (!program_->waitFor(limit)) {
            std::cerr << "windows still shown:\n" << output("xwininfo -root -children");
            return false;
        }
        return WIFEXITED(program_->status) && WEXITSTATUS(program_->status) == 0;
    }

    // OK in the message box, Escape in the file dialog.
    void confirmMessage() {
        auto box = waitUntil([] { return topLevel("Lindavex"); });
        ASSERT_TRUE(box) << "no message box";
        keysOver(*box, "key Return");
        const std::string id = box->id;
        EXPECT_TRUE(waitUntil([&] { return !viewable(id); }, 5s)) << "the message box stayed";
    }

    static constexpr const char* kOtherContent =
        "; Morvalen RV17\r\n[Rutas]\r\nTrabajo=C:\\WTEMP\r\n";
    static inline std::string missing_;
    static inline std::unique_ptr<Process> xvfb_;
    ScratchDir dir_;
    std::unique_ptr<Process> host_;
    std::unique_ptr<Process> program_;
    std::string hostId_;
};

TEST_F(EmbeddedWindow, ClosedWithoutAnActionWrites0AndKeepsTheRestOfTheFile) {
    const XWindow window = start("exportar");
    // Only the first action's panel: where the second action's button would be, nothing opens.
    click(window.id, 316 + 96 + 37, 132);
    std::this_thread::sleep_for(1s);
    EXPECT_FALSE(topLevel("Archivo XML"));
    EXPECT_FALSE(topLevel("Lindavex"));
    click(window.id, 256 + 37, 168 + 32 + 12);  // Salir
    ASSERT_TRUE(endsWithin(15s)) << "the program did not end after closing";
    EXPECT_EQ(lindavex::testing::readBytes(dir_ / "Morvalen.ini"),
              std::string(kOtherContent) + "[Transformadores]\r\nTransformado=0\r\n");
}

TEST_F(EmbeddedWindow, AHostThatGoesAwayEndsTheProgramAsIfClosed) {
    start("exportar");
    host_.reset();  // the product's window goes with its process
    ASSERT_TRUE(endsWithin(5s)) << "the program outlived its host window";
    EXPECT_EQ(lindavex::testing::readBytes(dir_ / "Morvalen.ini"),
              std::string(kOtherContent) + "[Transformadores]\r\nTransformado=0\r\n");
}

TEST_F(EmbeddedWindow, SecondActionWithoutInputWritesMinus1) {
    const XWindow window = start("Importar");
    click(window.id, 96 + 37, 132);  // the only panel's button: the second action
    confirmMessage();                // the reminder to open the same centre file
    auto dialog = waitUntil([] { return topLevel("Archivo XML"); });
    ASSERT_TRUE(dialog) << "no file dialog";
    keysOver(*dialog, "key Escape");
    confirmMessage();  // "No existe archivo XML o Solución."
    ASSERT_TRUE(endsWithin(15s)) << "the program did not end after missing input";
    EXPECT_EQ(status(), "-1");
}

TEST_F(EmbeddedWindow, FirstActionRunThroughTheDialogWrites1) {
    fs::copy_file(fs::path(LINDAVEX_SOURCE_DIR) / "examples" / "centro.xml", dir_ / "centro.xml");
    const XWindow window = start("EXPORTAR");
    click(window.id, 96 + 37, 132);
    auto dialog = waitUntil([] { return topLevel("Archivo XML"); });
    ASSERT_TRUE(dialog) << "no file dialog";
    // The file name field has the focus when the dialog opens.
    keysOver(*dialog, "type --delay 20 '" + (dir_ / "centro.xml").string() + "'");
    keysOver(*dialog, "key Return");
    const std::string dialogId = dialog->id;
    ASSERT_TRUE(waitUntil([&] { return !viewable(dialogId); }, 5s)) << "the dialog stayed";
    confirmMessage();  // "Proceso finalizado"
    ASSERT_TRUE(endsWithin(30s)) << "the program did not end after the run";
    EXPECT_EQ(status(), "1");
    EXPECT_TRUE(fs::exists(dir_ / "WTEMP" / "ASIGNOMT.DBF"));
}

TEST_F(EmbeddedWindow, F1OpensTheShippedHelpInTheChmViewer) {
    if (onPath("xchm").empty()) GTEST_SKIP() << "xchm is not installed";
    ASSERT_TRUE(fs::exists(dir_ / "RIDAZ.chm")) << "the help file is not built beside the program";
    const XWindow window = start("importar");
    keysOver(window, "key F1");
    // The viewer titles its window with the help file's title.
    const auto viewer = waitUntil([] { return topLevel("Ayuda de Lindavex", false); });
    ASSERT_TRUE(viewer) << output("xwininfo -root -children");
    // The viewer covers the window; out of the way with it (it ends with the display).
    std::system(("xdotool windowunmap --sync " + viewer->id).c_str());
    click(window.id, 256 + 37, 168 + 32 + 12);  // Salir
    ASSERT_TRUE(endsWithin(15s));
    EXPECT_EQ(status(), "0");
}

}  // namespace
