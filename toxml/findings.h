#pragma once
// What a run did not write of SOLUC, as the user reads it: after the run's lines on the command
// line and under "Mostrar detalles…" in the window, or as CSV. UTF-8 throughout.
#include <string>
#include <vector>

#include "toxml/result_export.h"

namespace lindavex::toxml {

// "SOLUC: 239 registros leídos, 216 actividades escritas, 23 registros sin escribir", with its
// line break: the counts of the run.
std::string summaryLine(const ExportReport& run);

// The records read, the activities written and the records not written, then the findings
// grouped by reason, one line each with the record number and the record's fields. Empty when
// there is no finding.
std::string findingsText(const ExportReport& run);

// The same findings as CSV for a spreadsheet (report::Csv), one row per finding under a header:
// tipo, registro, fila, motivo, clave, ASIG, TAREA, DIA, HORA, CODGRUPO, PROF, AULA.
std::string findingsCsv(const std::vector<Finding>& findings);

}  // namespace lindavex::toxml
