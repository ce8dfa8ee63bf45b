#pragma once
// The second action: the solved timetable of the work database written into "ResultadoVelmar"
// + the centre file's name, beside it. Start here: exportResult().
#include <cstddef>
#include <filesystem>

#include "toxml/export_time.h"

namespace lindavex::toxml {

// What the user is told: which centre file to choose (before the dialog); the centre file or
// SOLUC is missing; the run ended.
inline constexpr const char* kReminderText =
    "Deberá Abrir el fichero XML de PINCEL-Ridaz,\r\n"
    "desde el cual realizó la Importación a Morvalen";
inline constexpr const char* kMissingInputText = "No existe archivo XML o Solución.";
inline constexpr const char* kFinishedText = "Proceso finalizado";

// The result file for a chosen centre file: same folder, "ResultadoVelmar" + its file name.
std::filesystem::path resultFileName(const std::filesystem::path& xmlFile);

// Whether both inputs are there: the centre file and the solution table SOLUC.
bool hasInputs(const std::filesystem::path& centreFile, const std::filesystem::path& workDb);

struct ExportReport {
    std::filesystem::path result;  // the file written
    std::size_t activities = 0;    // actividad elements in it
};

// Writes the result for this centre file from the tables of workDb, taking its
// FechaExportacion from clock. Errors are thrown as lindavex::Error; the centre file is never
// changed and no result file (or an earlier one of that name, untouched) is left behind.
ExportReport exportResult(const std::filesystem::path& centreFile,
                          const std::filesystem::path& workDb,
                          const LocalClock& clock = readLocalClock);

}  // namespace lindavex::toxml
