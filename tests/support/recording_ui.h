#pragma once
// A user interface for tests: answers the file dialog from a queue and records everything.
#include <deque>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "shell/run_state.h"

namespace lindavex::testing {

class RecordingUi : public UserInterface {
  public:
    // Each dialog takes the next answer; no value (or an empty queue) means "cancelled".
    std::deque<std::optional<std::filesystem::path>> dialogAnswers;
    std::vector<std::string> messages;
    std::vector<bool> cursorChanges;  // true = wait cursor shown
    int closeCount = 0;
    int dialogCount = 0;

    std::optional<std::filesystem::path> chooseXmlFile() override {
        ++dialogCount;
        if (dialogAnswers.empty()) return std::nullopt;
        auto answer = dialogAnswers.front();
        dialogAnswers.pop_front();
        return answer;
    }
    std::vector<std::string> details;  // of each message; empty when it had none
    void showMessage(const std::string& text) override {
        messages.push_back(text);
        details.emplace_back();
    }
    void showMessageWithDetails(const std::string& text, const std::string& more) override {
        showMessage(text);
        details.back() = more;
    }
    void setWaitCursor(bool on) override { cursorChanges.push_back(on); }
    void closeWindow() override { ++closeCount; }

    bool waitCursorShown() const { return !cursorChanges.empty() && cursorChanges.back(); }
};

}  // namespace lindavex::testing
