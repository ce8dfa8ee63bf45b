#pragma once
// The user interface of the window: real file dialog, message boxes, the list of the kept copies
// and wait cursor.
#include "shell/run_state.h"

class QDialog;
class QWidget;

namespace lindavex::shell {

class QtUi : public UserInterface {
  public:
    explicit QtUi(QWidget& window) : window_(window) {}
    ~QtUi() override;

    std::optional<std::filesystem::path> chooseXmlFile() override;
    void showMessage(const std::string& text) override;
    void showMessageWithDetails(const std::string& text, const std::string& details) override;
    // The dialog "Copias de las tablas": a row per copy (name, tables, records, whether it is
    // damaged) that opens on its tables. A damaged copy can be looked at, not restored.
    std::optional<std::size_t> chooseCopy(const std::vector<store::TableCopy>& copies) override;
    // A box with "Sí" and "No"; "No" is the default.
    bool confirm(const std::string& question) override;
    // Balanced: turning it off when it is not on does nothing.
    void setWaitCursor(bool on) override;
    void closeWindow() override;
    void abandon() override;

  private:
    // Runs a box or dialog over the wait cursor; Rejected, without showing it, once abandoned.
    int show(QDialog& dialog);
    QWidget& window_;
    int waitCursors_ = 0;
    bool abandoned_ = false;
};

// Qt's own texts (the file dialog, the message boxes' buttons) in Spanish, whatever the
// machine's language, as the rest of the window. Returns false when the translations are not
// found; the texts then stay in English.
bool installSpanishTranslations();

}  // namespace lindavex::shell
