#pragma once
// Putting a copy of the tables back (store/workdb/table_copies.h): a swap of its own, so all or
// nothing, and the tables it replaces become a copy in their turn, so a restore can be undone.
#include <filesystem>
#include <string>
#include <vector>

#include "store/error.h"
#include "store/workdb/table_copies.h"

namespace lindavex::store {

struct RestoredCopy {
    std::string name;                        // the copy put back
    std::string repaired;                    // what putting back an interrupted run did first
    std::filesystem::path keptCopy;          // the copy the replaced files became; empty if none
    std::vector<std::string> removedTables;  // tables that went because the copy lacks them
};

// Puts the copy `given` (as copyNamed takes it) back in place of the work database's files of
// `tables`, all or nothing: afterwards those tables' files are exactly the copy's, one spelling
// each (spellingRestored), and a table the copy lacks is gone. A copy is checked first
// (copyProblems) and refused when damaged, nothing changed. Throws lindavex::Error:
// kNoSuchCopyText for a name that is no copy, kDamagedCopyText naming each bad file, and as
// TableSwap does, the work database then as it was.
RestoredCopy restoreTableCopy(const std::filesystem::path& workDb,
                              const std::filesystem::path& given,
                              const std::vector<const char*>& tables);

// The refusal of a damaged copy: kDamagedCopyText, the copy's folder and each of its problems.
Error damagedCopyError(const std::filesystem::path& folder,
                       const std::vector<std::string>& problems);

// The same for the work tables: those the first action writes, and the one it removes.
const std::vector<const char*>& restoredWorkTables();

}  // namespace lindavex::store
