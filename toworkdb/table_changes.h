#pragma once
// What a first action changes in the work tables: the tables it writes set against the tables
// they replace, row by row by each table's own key, and what that means for the timetable the
// product solved on the old ones. SOLUC names teachers, groups, rooms, subjects and periods by
// the codes stored in those tables, so a code that a new run gives to another element moves the
// solved classes with it, silently: those codes are the first thing said. Text is code page
// text in the structures and UTF-8 in the listings.
#include <cstddef>
#include <filesystem>
#include <string>
#include <vector>

namespace lindavex::toworkdb {

// A code kept by the new tables for another element than the one it names now (or for none):
// "GARCIA LO1", now "García López, Ana", would be "García López, Luis".
struct MeaningChange {
    std::string table;
    std::string code;
    std::string now;    // the element the code names now, as a person reads it
    std::string after;  // the one it would name; empty when the code would name none
};

// One row that would come, go or change, by its table's key.
struct RowChange {
    enum class Kind { Comes, Goes, Changes };
    Kind kind = Kind::Changes;
    std::string table;
    std::string key;     // the key's values, joined by " / "
    std::string fields;  // Changes: each field that changes, "NOMBRE «a» → «b»"; UTF-8
};

struct TableDelta {
    std::string table;
    std::size_t comes = 0;
    std::size_t goes = 0;
    std::size_t changes = 0;
    std::size_t meaning = 0;  // codes that change meaning
};

// SOLUC records whose code in one field would lead elsewhere: to another element or to none.
struct SolucTouch {
    std::string field;  // of SOLUC; "DIA+HORA" for the period, found by the two
    std::string code;
    std::vector<std::size_t> records;  // numbered from 1, as the result export's list numbers them
};

struct TableChanges {
    // Whether there were tables in place to compare with; nothing else is set when there were
    // not (a first export into an empty work database).
    bool compared = false;
    std::vector<TableDelta> tables;  // in the order the run writes them
    std::vector<MeaningChange> meaning;
    std::vector<RowChange> rows;
    std::vector<SolucTouch> soluc;  // by field, then code
    std::size_t solucRecords = 0;   // records touched at least once
    // Why no comparison could be made (a table held by the product, a damaged file); the run or
    // check itself is not stopped by it.
    std::string unavailable;
};

// The tables in `before` set against those in `after`, and SOLUC in `solucDir` (when there)
// looked up in both. A table that is not in `before` counts as empty; when none of the written
// tables is, nothing is compared. Throws lindavex::Error when a table cannot be read.
TableChanges compareTables(const std::filesystem::path& before, const std::filesystem::path& after,
                           const std::filesystem::path& solucDir);

// Whether the listing speaks of a run to come (a check) or of one done.
enum class Tense { Would, Did };

// One line of the comparison as the user reads it: the codes that change meaning, the SOLUC
// records they touch, the rows that come, go and change, in that order. UTF-8.
struct ChangeLine {
    enum class Kind { Meaning, Soluc, Comes, Goes, Changes };
    Kind kind;
    std::string table;
    std::string code;  // the key, as the table holds it
    std::string message;
};
std::vector<ChangeLine> changeLines(const TableChanges& changes, Tense tense);
// As a CSV's "tipo" names it: "significado", "solución", "fila nueva", "fila quitada",
// "fila cambiada".
const char* kindName(ChangeLine::Kind kind);

// Before a run (comprobar): the codes that would change meaning, the SOLUC records they touch,
// the counts per table, then every row that would come, go and change. Empty when nothing was
// compared.
std::string changesText(const TableChanges& changes);

// After a run ("Proceso finalizado" details), in a few lines: the codes that changed meaning,
// the SOLUC records touched, and the counts per table. Empty when nothing was compared.
std::string changesSummaryText(const TableChanges& changes);

}  // namespace lindavex::toworkdb
