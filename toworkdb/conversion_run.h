#pragma once
// The first action: a centre file converted into the work tables. Start here: convert() builds
// every table aside (the steps of steps.h), then puts them in place together.
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <set>
#include <string>
#include <vector>

#include "store/centre_document.h"

namespace lindavex::toworkdb {

// What the user is told: the file chosen is missing; the run ended.
inline constexpr const char* kMissingFileText = "No existe archivo";
inline constexpr const char* kFinishedText = "Proceso finalizado";

// A centre code the tables hold under another code (made unique, shortened or cut).
struct RenamedCode {
    std::string table;
    std::string centreCode;   // code page text
    std::string writtenCode;  // code page text
    bool operator==(const RenamedCode&) const = default;
};

struct TableCount {
    std::string name;
    std::size_t records = 0;
};

// What a run wrote, and what it worked out on the way.
struct ConversionReport {
    std::vector<TableCount> tables;         // the tables written, in the order written
    std::vector<RenamedCode> renamedCodes;  // in the order written
    std::vector<std::string> workingSet;    // the period entries (ListBoxPlanti)
    std::int32_t L1 = 0, L2 = 0, L3 = 0;    // the leading session lengths, minutes
    std::set<std::string> usedShortCodes;   // subject and activity type codes written
    std::set<std::string> seenLongCodes;
};

// Converts a loaded centre into the work tables of workDb. Errors are thrown as
// lindavex::Error and leave the work database as it was before the run.
ConversionReport convert(const store::CentreDocument& centre, const std::filesystem::path& workDb);

// The same for a centre file; a file that does not parse converts as an empty centre.
ConversionReport convert(const std::filesystem::path& centreFile,
                         const std::filesystem::path& workDb);

}  // namespace lindavex::toworkdb
