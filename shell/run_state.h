#pragma once
// The run state that the main window owns and both actions share, and the small interface
// through which an action talks to the user. The window implements it with real widgets;
// the command line and the tests implement it without any.
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "store/workdb/table_copies.h"

namespace lindavex {

class UserInterface {
  public:
    virtual ~UserInterface() = default;
    // The "Archivo XML" file dialog (filter *.xml); no value when the user cancels.
    virtual std::optional<std::filesystem::path> chooseXmlFile() = 0;
    // A plain modal message box with an OK button; returns when the user dismisses it. UTF-8.
    virtual void showMessage(const std::string& text) = 0;
    // The same box with a section the user may open ("Mostrar detalles…") holding details;
    // UTF-8. Where there is no room for details, the message alone.
    virtual void showMessageWithDetails(const std::string& text, const std::string& details) {
        (void)details;
        showMessage(text);
    }
    // The list of the kept copies of the tables (newest first, a damaged one marked), from which
    // the user picks one to put back: its index, or no value when the user cancels. Where there
    // is no list to show, cancelled.
    virtual std::optional<std::size_t> chooseCopy(const std::vector<store::TableCopy>& copies) {
        (void)copies;
        return std::nullopt;
    }
    // A question with the answers yes and no (UTF-8); true for yes. Where nobody can answer, no.
    virtual bool confirm(const std::string& question) {
        (void)question;
        return false;
    }
    virtual void setWaitCursor(bool on) = 0;
    // Closes the window (embedded mode only calls it).
    virtual void closeWindow() = 0;
    // Nobody is left to answer (the host window of an embedded window went away): boxes and
    // dialogs open now are closed as if dismissed or cancelled, and later ones are not shown.
    virtual void abandon() {}
};

// Shows the wait cursor for its lifetime, restoring the normal cursor on every path.
class WaitCursor {
  public:
    explicit WaitCursor(UserInterface& ui) : ui_(ui) { ui_.setWaitCursor(true); }
    ~WaitCursor() { ui_.setWaitCursor(false); }
    WaitCursor(const WaitCursor&) = delete;
    WaitCursor& operator=(const WaitCursor&) = delete;

  private:
    UserInterface& ui_;
};

struct RunState {
    // Where the work tables live (see store/workdb/workdb.h for the default).
    std::filesystem::path workDb;

    // 0, or 2 when started with exactly two arguments (embedded mode).
    std::int32_t argumentCount = 0;
    bool embedded() const { return argumentCount == 2; }

    // 0 at start, 1 after an action ran to its end, -1 (embedded only) when input was missing.
    std::int32_t completionStatus = 0;

    // The path chosen last in the file dialog, shared by both actions.
    std::filesystem::path xmlFileName;
};

}  // namespace lindavex
