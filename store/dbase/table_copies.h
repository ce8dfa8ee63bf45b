#pragma once
// The tables a swap replaced, kept. Every swap that replaces or removes files of the work
// database keeps the old ones, moved rather than copied, in a folder of its own inside
// LINDAVEX-COPIAS, named by the date and time of the run ("2026-12-09_154812"); the ten newest
// stay. A copy is put back all or nothing by a swap of its own, so the files it replaces become
// a copy in their turn and a restore can be undone as well.
#include <cstddef>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace lindavex::store {

inline constexpr const char* kCopiesFolder = "LINDAVEX-COPIAS";
inline constexpr std::size_t kCopiesKept = 10;
inline constexpr const char* kNoSuchCopyText = "No existe la copia";

struct CopiedTable {
    std::string file;                    // the .DBF as spelled in the copy
    std::optional<std::size_t> records;  // none when its header cannot be read
};

struct TableCopy {
    std::string name;  // the date and time of the run that made it
    std::filesystem::path folder;
    std::vector<CopiedTable> tables;  // by name
};

// The copies of workDb, newest first; none when it has no copies folder.
std::vector<TableCopy> tableCopies(const std::filesystem::path& workDb);

// Puts the copy `name` back in place of the work database's files of `tables`, all or nothing:
// afterwards those tables' files are exactly the copy's, each spelled as the copy spells it, and
// a table the copy lacks is gone. Returns the copy that the replaced files became; empty when
// there were none. Throws lindavex::Error: kNoSuchCopyText for a name that is no copy, and as
// TableSwap does, the work database then as it was.
std::filesystem::path restoreTableCopy(const std::filesystem::path& workDb, const std::string& name,
                                       const std::vector<const char*>& tables);

// The name of a copy made now in the folder `copies`: the local date and time, followed by
// "-002", "-003", … when a copy of that second is there already; the names sort as made.
std::string newCopyName(const std::filesystem::path& copies);

// Removes all but the kCopiesKept newest copies, and what an interrupted removal left. Each goes
// by a rename first, so that a copy is listed whole or not at all; what cannot go stays.
void pruneCopies(const std::filesystem::path& copies);

}  // namespace lindavex::store
