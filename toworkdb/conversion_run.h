#pragma once
// The first action: a centre file converted into the work tables. Start here: convert() builds
// every table aside (the steps of steps.h), then puts them in place together.
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <set>
#include <string>
#include <vector>

#include "store/texts.h"
#include "toworkdb/table_changes.h"

namespace lindavex::toworkdb {

// What the user is told: the file chosen is missing; the run ended.
inline constexpr const char* kMissingFileText = "No existe archivo";
using lindavex::kFinishedText;
// Before the folder that the replaced tables went to.
inline constexpr const char* kEarlierTablesText = "Tablas anteriores guardadas en";

// A centre code the tables hold under another code (made unique, shortened or cut).
struct RenamedCode {
    std::string table;
    std::string centreCode;   // code page text
    std::string writtenCode;  // code page text
    bool operator==(const RenamedCode&) const = default;
};

// Something a run finds in the centre file besides what it writes: what would stop it, what it
// quietly changes, and what the timetable export could not give back as the centre wrote it.
struct Finding {
    enum class Kind {
        Error,      // stops the run (when checking, the element is left out and the run goes on)
        Change,     // stored otherwise than the centre file says, or not at all
        RoundTrip,  // the timetable export gives another code back
    };
    enum class What {
        BadNumber,        // a Horas or a session time that is not a number
        NotACentreFile,   // the file does not parse, or its root is not Centro: no run
        Renamed,          // stored under another code (cut, shortened, numbered)
        NoRow,            // gets no row
        TutorEmptied,     // the tutor is no teacher of PROFT
        UnknownCode,      // a department, teaching or subject code that matches nothing
        ZeroHours,        // Horas 0 counted as one hour
        RoomWithoutCode,  // known by its name instead
        NotReturned,      // comes back from the timetable export as another code
        NothingToExport,  // a centre without data: every table is written empty
        EmptyCode,        // an element whose code is empty: its row gets none, or a made one
        HiddenUtf8,       // UTF-8 text in a file that declares a single-byte encoding
    };
    Kind kind = Kind::Change;
    What what = What::Renamed;
    std::string element;     // the XML element, such as "Materia"
    std::string table;       // the work table concerned; empty when none
    std::string code;        // the element's code in the file (code page text)
    std::string storedCode;  // what is stored or given back instead (code page text)
    std::string name;        // the element's name, when it has one (code page text)
    int line = 0;            // of the element in the file; 0 when unknown
    std::string message;     // what happens, in Spanish (UTF-8)
    bool operator==(const Finding&) const = default;
};

struct TableCount {
    std::string name;
    std::size_t records = 0;
};

// What a run wrote, and what it worked out on the way.
struct ConversionReport {
    std::vector<TableCount> tables;         // the tables written, in the order written
    std::vector<Finding> findings;          // in the order the steps met them
    std::vector<RenamedCode> renamedCodes;  // the Renamed findings, in the order written
    std::vector<std::string> workingSet;    // the period entries (ListBoxPlanti)
    std::int32_t L1 = 0, L2 = 0, L3 = 0;    // the leading session lengths, minutes
    std::set<std::string> usedShortCodes;   // subject and activity type codes written
    std::set<std::string> seenLongCodes;
    // The copy that the tables replaced and removed became; empty when there were none.
    std::filesystem::path earlierTables;
    // What putting back an interrupted run did first, in one line; empty when nothing.
    std::string repaired;
    // The tables written set against those they replace (a run) or would replace (a check).
    TableChanges changes;
};

// Whether the input is there: the centre file names an existing file. When it does not, the
// caller says kMissingFileText and nothing runs.
bool hasInput(const std::filesystem::path& centreFile);

// Converts a centre file into the work tables of workDb. Errors are thrown as lindavex::Error
// and leave the work database as it was before the run. A file that does not parse, or whose
// root is not Centro, is refused (the file and why) before any table is touched: converted as an
// empty centre, it would empty every work table. `started`, when given, is called once the file
// is taken, before any table is touched: the window shows its wait cursor from then on.
ConversionReport convert(const std::filesystem::path& centreFile,
                         const std::filesystem::path& workDb,
                         const std::function<void()>& started = {});

// What convert() would find, without touching any work database's tables: the same steps write
// into a temporary folder that is removed afterwards. With a work database, the tables they write
// are set against the ones in place (`changes`), after what an interrupted run left there is put
// back as every command does first. An element whose Horas or session time would stop
// the run is recorded as an Error finding and left out, so that every one is found at once. A
// file that convert() refuses is the one Error finding.
ConversionReport check(const std::filesystem::path& centreFile,
                       const std::filesystem::path& workDb = {});

// Whether any finding would stop the run.
bool stopsTheRun(const std::vector<Finding>& findings);

}  // namespace lindavex::toworkdb
