#pragma once
// The second action: the solved timetable of the work database written into "ResultadoVelmar"
// + the centre file's name, beside it. Start here: exportResult().
#include <cstddef>
#include <filesystem>
#include <string>
#include <vector>

#include "store/texts.h"
#include "toxml/export_time.h"

namespace lindavex::toxml {

// What the user is told: which centre file to choose (before the dialog); the centre file or
// SOLUC is missing; the run ended.
inline constexpr const char* kReminderText =
    "Deberá Abrir el fichero XML de PINCEL-Ridaz,\r\n"
    "desde el cual realizó la Importación a Morvalen";
inline constexpr const char* kMissingInputText = "No existe archivo XML o Solución.";
using lindavex::kFinishedText;

// The result file for a chosen centre file: same folder, "ResultadoVelmar" + its file name.
std::filesystem::path resultFileName(const std::filesystem::path& xmlFile);

// Whether both inputs are there: the centre file and the solution table SOLUC.
bool hasInputs(const std::filesystem::path& centreFile, const std::filesystem::path& workDb);

// The two passes over SOLUC: subject rows (ASIG differs from TAREA), then task rows.
enum class RowKind { Subject, Task };

// A SOLUC record that the run did not write, or wrote with a code left empty because a lookup
// found nothing. A record with both teacher and room unknown gives two.
struct Finding {
    enum class Reason {
        DayZero,         // DIA 0 or empty: not written
        DayOutOfRange,   // DIA other than 1 to 7: not written
        HourZero,        // HORA 0 or empty: not written
        UnknownGroup,    // a subject row's CODGRUPO is no ABREV of GRUPOST: not written
        UnknownSubject,  // ASIG is no COD of ASIGNOMT: not written
        NoSlot,          // no DIHO of DIASHORAST is the slot key: not written
        UnknownTeacher,  // PROF, not empty, is no ABREV of PROFT: written, codigoProfesor empty
        UnknownRoom,     // AULA, not empty, is no ABREV of AULAT: written, codigoAula empty
    };
    Reason reason = Reason::DayZero;
    std::size_t record = 0;  // 1-based in table order, deleted records counted, as dBase does
    RowKind row = RowKind::Subject;
    std::string key;  // what was looked up and not found; empty for the day and hour
    // The record's fields as read, code page text.
    std::string asig, tarea, dia, hora, codGrupo, prof, aula;
    bool written() const { return reason >= Reason::UnknownTeacher; }
    bool operator==(const Finding&) const = default;
};

struct ExportReport {
    std::filesystem::path result;  // the file written
    std::size_t activities = 0;    // actividad elements in it
    std::size_t recordsRead = 0;   // SOLUC records read (deleted ones are not)
    // In the order met: the subject rows' pass, then the task rows', each in record order.
    std::vector<Finding> findings;
    // What putting back an interrupted run of the first action did first, in one line, so that
    // the tables read are all of one run; empty when nothing.
    std::string repaired;
};

// Writes the result for this centre file from the tables of workDb, taking its
// FechaExportacion from clock. Errors are thrown as lindavex::Error; the centre file is never
// changed and no result file (or an earlier one of that name, untouched) is left behind.
ExportReport exportResult(const std::filesystem::path& centreFile,
                          const std::filesystem::path& workDb,
                          const LocalClock& clock = readLocalClock);

}  // namespace lindavex::toxml
