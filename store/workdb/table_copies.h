#pragma once
// The tables a swap replaced, kept. Every swap that replaces or removes files of the work
// database keeps the old ones, moved rather than copied, in a folder of its own inside
// LINDAVEX-COPIAS, named by the date and time of the run ("2026-12-09_154812") for people, and
// numbered in the order the copies were made (kCopyOrderFile) for the system: a PC's clock may
// be set back, or go back an hour in October, so names need not sort as copies were made. The
// ten most recently made stay. A copy is only trusted once its files read as tables
// (copyProblems); putting one back is store/workdb/copy_restore.h.
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace lindavex::store {

inline constexpr const char* kCopiesFolder = "LINDAVEX-COPIAS";
inline constexpr std::size_t kCopiesKept = 10;
inline constexpr const char* kNoSuchCopyText = "No existe la copia";
inline constexpr const char* kDamagedCopyText = "La copia está dañada";
// In each copy: its number in the order copies were made, in decimal digits.
inline constexpr const char* kCopyOrderFile = "LINDAVEX.ORDEN";

struct CopiedTable {
    std::string file;                    // the .DBF as spelled in the copy, UTF-8
    std::optional<std::size_t> records;  // none when it is damaged
    std::string problem;                 // what is wrong with it ("cortada"); empty when nothing
};

struct TableCopy {
    std::string name;  // the date and time of the run that made it
    std::filesystem::path folder;
    std::uint64_t order = 0;          // 0 for a copy made before copies were numbered
    std::vector<CopiedTable> tables;  // by name
    // Why it cannot be put back, each naming a file and what is wrong ("ASIGT.DBF cortada");
    // empty for a sound copy.
    std::vector<std::string> problems;
};

// The copies of workDb, most recently made first, each checked as copyProblems checks it for
// `tables`; none when it has no copies folder.
std::vector<TableCopy> tableCopies(const std::filesystem::path& workDb,
                                   const std::vector<const char*>& tables);

// The name of a copy as a person gives it: the name itself, with a trailing separator (as tab
// completion writes it), or the copy's full path. No value when it names no copy of workDb.
std::optional<std::string> copyNamed(const std::filesystem::path& workDb,
                                     const std::filesystem::path& given);

// What stands in the way of putting the copy in `folder` back for `tables`: each table's .DBF
// must read as a table (its header, its size against its record count), a table whose header
// announces an index must have it, and a copy must hold at least one table. Several spellings of
// one file are allowed: the one restored is spellingRestored's.
std::vector<std::string> copyProblems(const std::filesystem::path& folder,
                                      const std::vector<const char*>& tables);

// Of several spellings of one file in a copy, the one that is put back: the upper-case one as the
// system writes it, else the first by name.
std::filesystem::path spellingRestored(std::vector<std::filesystem::path> spellings);

// The name of a copy made now in the folder `copies`: the local date and time, followed by
// "-002", "-003", … when a copy of that name is there already.
std::string newCopyName(const std::filesystem::path& copies);

// The number the next copy made in `copies` gets: one more than any copy there has. Throws
// lindavex::Error when a copy's number cannot be read.
std::uint64_t nextCopyOrder(const std::filesystem::path& copies);

// Removes all but the kCopiesKept most recently made copies, never one of `keep`, and what an
// interrupted removal left. Each goes by a rename first, so that a copy is listed whole or not at
// all; what cannot go stays.
void pruneCopies(const std::filesystem::path& copies, const std::vector<std::string>& keep);

}  // namespace lindavex::store
