#pragma once
// The work database changed all together or not at all. A set of tables is built aside, in a
// staging folder inside the work database, and then put in place of the old ones, every
// spelling of their names, at once; a failure, or a kill at any file call, leaves the work
// database as it was before or, once the swap has committed, as it is after.
//
// What the swap keeps, numbered as the code cites them ("invariant N"; 1 and 7, one file
// replaced whole and the result file, are the file layer's: store/files/file_io.h):
//
//  2. The tables are built in a staging folder of their own inside the work database, held
//     locked from start to end; a second swap on the same work database is refused. Nothing
//     else opens or writes files there, so inside it no file is checked for other openers or
//     flushed one by one.
//  3. The staged tables are flushed together (one file-system flush) before the first of them
//     moves into the work database.
//  4. Before the first rename into the work database, the journal lists every file to be
//     replaced or removed and whether its old copy is kept in the backup folder, and names the
//     copy that the backup folder becomes (store/dbase/table_copies.h); it is written by
//     invariant 1. Its presence means "the work database is between two states".
//  5. Each table's old index is removed before the table itself is replaced, so a stop between
//     the two leaves a table without an index, never a table beside another table's index.
//  6. The journal is removed only after the work database folder is flushed with the new
//     names and the backup folder, whole, has become its copy. A swap that finds a journal puts
//     the old files back before anything else, from the backup folder or from the copy.
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

namespace lindavex::store {

class TableSwap {
  public:
    // Takes the staging folder of workDb for the tables named, after putting back what a swap
    // that was killed left there (invariant 6), and empties it. Each of `tables` becomes what
    // is staged for it (nothing staged: it goes); each of `removedIfFree` goes as well unless
    // another program holds it, a file that cannot be removed staying without a word. Throws
    // lindavex::Error when the work database is missing or another swap holds it.
    TableSwap(const std::filesystem::path& workDb, const std::vector<const char*>& tables,
              const std::vector<const char*>& removedIfFree = {});
    // Removes the staging folder with what is left in it: the old files of a committed swap,
    // or the tables of one that never committed.
    ~TableSwap();
    TableSwap(const TableSwap&) = delete;
    TableSwap& operator=(const TableSwap&) = delete;

    // Where the new tables are written; until commit(), nothing written there is flushed.
    const std::filesystem::path& folder() const;

    // Puts the staged tables in place of the work database's, all or nothing. On an error,
    // a table in use by another program or a file that cannot be moved, the work database is
    // as it was, or, when even putting it back failed, as the next swap puts it back.
    void commit();

    // After commit(): the copy in which the replaced and removed files were kept; empty when
    // the work database had none of them.
    const std::filesystem::path& keptCopy() const;

  private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

// A new, empty folder of the system's temporary folder for tables written only to be looked
// at, removed with everything in it when this goes; nothing written there is flushed.
class ScratchTables {
  public:
    ScratchTables();
    ~ScratchTables();
    ScratchTables(const ScratchTables&) = delete;
    ScratchTables& operator=(const ScratchTables&) = delete;

    const std::filesystem::path& folder() const;

  private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

}  // namespace lindavex::store
