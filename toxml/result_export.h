#pragma once
// The second action (the window's BImportarClick): write the solved timetable of the work
// database into "ResultadoVelmar" + the chosen centre file's name, beside it.
#include <filesystem>

#include "shell/run_state.h"

namespace lindavex::toxml {

// The result file for a chosen centre file: same folder, "ResultadoVelmar" + its file name.
std::filesystem::path resultFileName(const std::filesystem::path& xmlFile);

// Runs the whole action. Errors are thrown as lindavex::Error; the chosen file is never
// changed and no result file (or an earlier one of that name, untouched) is left behind.
void runResultExport(RunState& state, UserInterface& ui);

}  // namespace lindavex::toxml
