#pragma once
// The first action (the window's BExportarClick): choose a centre file, convert it into the
// work tables, report "Proceso finalizado" or "No existe archivo".
#include "shell/run_state.h"

namespace lindavex::toworkdb {

// Runs the whole action against state.workDb. Errors are thrown as lindavex::Error and leave
// the work database as it was before the run.
void runConversion(RunState& state, UserInterface& ui);

}  // namespace lindavex::toworkdb
