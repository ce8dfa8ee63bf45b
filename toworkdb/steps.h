#pragma once
// The seven steps of the first action, in the order the conversion run calls them:
// ExportarMaterias, ExportarTiposActividad, ExportarProfesores, ExportarAulas, ExportarGrupos,
// ExportarSesiones, ExportarAsignaciones. Each reads the centre document and writes its tables
// in `dir` (the folder the run builds its tables in); each throws lindavex::Error on failure.
#include <filesystem>

#include "shell/run_state.h"
#include "store/centre_document.h"

namespace lindavex::toworkdb {

struct StepContext {
    RunState& state;                     // code lists, working set, L1..L3
    const store::CentreDocument& doc;    // the loaded centre document
    std::filesystem::path dir;           // where the step's tables are written
};

void ExportarMaterias(StepContext& ctx);        // ASIGNOMT, subjects
void ExportarTiposActividad(StepContext& ctx);  // ASIGNOMT, activity types appended
void ExportarProfesores(StepContext& ctx);      // PROFT
void ExportarAulas(StepContext& ctx);           // AULAT
void ExportarGrupos(StepContext& ctx);          // GRUPOST (CURSOST deleted)
void ExportarSesiones(StepContext& ctx);        // DIASHORAST, COUNTSES, L1..L3
void ExportarAsignaciones(StepContext& ctx);    // ASIGT

}  // namespace lindavex::toworkdb
