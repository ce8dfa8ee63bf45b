#pragma once
// The seven steps of the first action, in the order the conversion run calls them:
// ExportarMaterias, ExportarTiposActividad, ExportarProfesores, ExportarAulas, ExportarGrupos,
// ExportarSesiones, ExportarAsignaciones. Each reads the centre document and writes its tables
// in `dir` (the folder the run builds its tables in); each throws lindavex::Error on failure.
#include <cstdint>
#include <filesystem>
#include <map>
#include <set>
#include <string>
#include <unordered_map>
#include <vector>

#include "store/dbase/table.h"
#include "store/error.h"
#include "store/work_tables.h"
#include "store/xml/centre_document.h"
#include "toworkdb/conversion_run.h"

namespace lindavex::toworkdb {

namespace work_tables = store::work_tables;
namespace field = store::work_tables::field;

// What one run carries from step to step; made afresh for every run.
struct RunData {
    // Subjects and activity types: used short codes and seen long codes (sorted,
    // case-sensitive).
    std::set<std::string> usedShortCodes;
    std::set<std::string> seenLongCodes;
    // The working set of period entries (ListBoxPlanti), ascending, duplicates kept; and the
    // leading session lengths in minutes.
    std::vector<std::string> workingSet;
    std::int32_t L1 = 0, L2 = 0, L3 = 0;
    // Checking: an element that would stop the run is recorded as an error and left out.
    bool collectErrors = false;
    std::vector<Finding> findings;
    // The centre code of each COD of ASIGNOMT, and GRUPOST.ABREV of each group in document
    // order: what the assignments name.
    std::unordered_map<std::string, std::string> subjectCodeOfCod;
    std::vector<std::string> groupAbbreviations;
    // Records in each table as its step closed it, by table name.
    std::map<std::string, std::size_t> records;
};

struct StepContext {
    RunData& run;
    const store::CentreDocument& doc;  // the loaded centre document
    std::filesystem::path dir;         // where the step's tables are written
    // Codigo, which every step reads of every element it writes: looked up once per run.
    store::AttributeName codigo = doc.attributeName("Codigo");

    // Records what the step found about one element of the file.
    // Texts made for the finding are moved into it, not copied.
    void note(Finding::Kind kind, Finding::What what, const store::Node& element, const char* table,
              std::string code, std::string storedCode, std::string name, std::string message);

    // Notes an element whose code is stored as writtenCode (how, when it differs) and what the
    // timetable export gives back for it (the field written as `writtenReturned`), when that is
    // not the code of the file.
    void noteCode(const char* table, const store::Node& element, const std::string& centreCode,
                  const std::string& writtenCode, const std::string& writtenReturned,
                  const std::string& name);

    // An error that stops the run at this element: thrown as it stands, or, when checking,
    // recorded with the element's code, and the step goes on without the element.
    void fail(const Error& error, const store::Node& element, const std::string& code,
              const std::string& name);

    // Closes a table the step wrote, noting how many records it holds.
    void close(store::Table& table) {
        run.records[table.path().stem().string()] = table.recordCount();
        table.close();
    }
};

void ExportarMaterias(StepContext& ctx);        // ASIGNOMT, subjects
void ExportarTiposActividad(StepContext& ctx);  // ASIGNOMT, activity types appended
void ExportarProfesores(StepContext& ctx);      // PROFT
void ExportarAulas(StepContext& ctx);           // AULAT
void ExportarGrupos(StepContext& ctx);          // GRUPOST (CURSOST deleted)
void ExportarSesiones(StepContext& ctx);        // DIASHORAST, COUNTSES, L1..L3
void ExportarAsignaciones(StepContext& ctx);    // ASIGT

}  // namespace lindavex::toworkdb
