#pragma once
// What a run found in the centre file, as the user reads it: the check's report as text or CSV,
// and the codes a conversion stored otherwise, shown after it. UTF-8 throughout.
#include <filesystem>
#include <string>
#include <vector>

#include "toworkdb/conversion_run.h"

namespace lindavex::toworkdb {

// Every finding, grouped by kind (errors, changes, codes not given back), one line each with
// the element's line in the file, code and name.
std::string findingsText(const std::vector<Finding>& findings);

// The same as CSV for a spreadsheet (report::Csv), one row per finding under a header: tipo,
// elemento, codigo, codigo_guardado, linea, mensaje; then a row per line of the comparison with
// the tables in place (changeLines), the table as its elemento, without codigo_guardado or linea.
std::string findingsCsv(const std::vector<Finding>& findings, const TableChanges& changes = {});

// The centre codes stored under another code (centre code → stored code, table by table), then
// the elements left without a row or a tutor; empty when there are none.
std::string renamedCodesText(const std::vector<Finding>& findings);

// Where the tables a run replaced went, and how to put them back; empty for no copy.
std::string earlierTablesText(const std::filesystem::path& copy);

// What follows "Proceso finalizado": a file that seems UTF-8 under a single-byte declaration,
// what the run changed against the tables it replaced (changesSummaryText), the copy those
// went to, when there were any, then renamedCodesText; empty when there is nothing to say.
std::string finishedDetailsText(const ConversionReport& report);

}  // namespace lindavex::toworkdb
