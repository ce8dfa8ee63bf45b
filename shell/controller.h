#pragma once
// What the window's buttons do around their action, without any widget: the file dialog, the
// messages, the wait cursor, the completion status and, embedded, closing the window.
// TMForm::BExportarClick, BImportarClick and BCopiasClick call these through the UserInterface
// they hold.
#include <optional>

#include "shell/run_state.h"
#include "store/workdb/copy_restore.h"
#include "toworkdb/conversion_run.h"
#include "toxml/result_export.h"

namespace lindavex::shell {

// BExportarClick: the centre file from the dialog (or the one chosen last), then
// toworkdb::convert. No value when the file was missing.
std::optional<toworkdb::ConversionReport> runConversion(RunState& state, UserInterface& ui);

// BImportarClick: the reminder, the centre file from the dialog (or the one chosen last), then
// toxml::exportResult. No value when an input was missing.
std::optional<toxml::ExportReport> runResultExport(
    RunState& state, UserInterface& ui, const toxml::LocalClock& clock = toxml::readLocalClock);

// BCopiasClick, in the free-running window only: the kept copies of the work tables listed, the
// chosen one put back once the user has confirmed what it replaces, then "Proceso finalizado"
// with what the restore did in the details. No value when there was no copy, the user cancelled
// or answered no; a damaged copy is refused with the library's message, nothing changed. The
// completion status, which only an embedded window hands back, stays as it is.
std::optional<store::RestoredCopy> runCopyRestore(RunState& state, UserInterface& ui);

// The question asked before a copy is put back in workDb: the copy, its tables and records, what
// becomes of the tables in place, and the tables that go because the copy lacks them.
std::string restoreQuestion(const std::filesystem::path& workDb, const store::TableCopy& copy);

// When the window starts: puts back what a first action or a restore stopped midway left in the
// work database, and says so in one line; what stops it (another run under way, files that
// cannot be put back) is said too, and each action then refuses until it is mended.
void repairAtStart(const RunState& state, UserInterface& ui);

}  // namespace lindavex::shell
