#pragma once
// What the window's two buttons do around their action, without any widget: the file dialog,
// the messages, the wait cursor, the completion status and, embedded, closing the window.
// TMForm::BExportarClick and BImportarClick call these through the UserInterface they hold.
#include <optional>

#include "shell/run_state.h"
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

// When the window starts: puts back what a first action or a restore stopped midway left in the
// work database, and says so in one line; what stops it (another run under way, files that
// cannot be put back) is said too, and each action then refuses until it is mended.
void repairAtStart(const RunState& state, UserInterface& ui);

}  // namespace lindavex::shell
