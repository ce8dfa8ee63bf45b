#pragma once
// The user interface of the command line: the file argument stands for the dialog's choice,
// messages go to standard output.
#include <filesystem>
#include <iostream>
#include <optional>
#include <string>

#include "shell/run_state.h"

namespace lindavex::cli {

class ConsoleUi : public UserInterface {
  public:
    explicit ConsoleUi(std::filesystem::path file) : file_(std::move(file)) {}

    std::optional<std::filesystem::path> chooseXmlFile() override { return file_; }
    void showMessage(const std::string& text) override {
        std::cout << text << '\n';
        messages_.push_back(text);
    }
    void setWaitCursor(bool) override {}
    void closeWindow() override {}

    const std::vector<std::string>& messages() const { return messages_; }

  private:
    std::filesystem::path file_;
    std::vector<std::string> messages_;
};

}  // namespace lindavex::cli
