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
//     replaced or removed and whether its old copy is kept in the backup folder, names the copy
//     that the backup folder becomes (store/workdb/table_copies.h) and whether the swap made
//     the copies folder; it is written by invariant 1, after the backups are flushed. Its
//     presence means "the work database is between two states".
//  5. Each table's old index is removed before the table itself is replaced, so a stop between
//     the two leaves a table without an index, never a table beside another table's index.
//  6. The journal is removed only after the work database folder is flushed with the new
//     names and the backup folder, whole, has become its copy; the swap reports success only
//     once the journal's removal is on disk. A journal that cannot be removed makes the swap
//     fail and be undone, now or by the next command (repairWorkDb), never the reverse.
//
// A swap goes through these states, each step checked against them in debug builds:
//   Open -> Staged -> Journaled -> Moving -> Moved -> Copied -> Committed
// and from Journaled on, on any failure, to Failed: the old files back, or, when even that
// failed, the journal left for the next command to finish the undo.
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

namespace lindavex::store {

// Puts back what a swap that was killed or failed left pending in workDb (invariant 6), before
// anything reads or writes its tables. Returns the line that tells the user so
// ("Se deshizo una operación interrumpida: …"), empty when nothing was pending. Throws
// lindavex::Error when another swap is under way on workDb or the old files cannot be put back:
// then the tables must not be read.
std::string repairWorkDb(const std::filesystem::path& workDb);

class TableSwap {
  public:
    // Takes the staging folder of workDb for the tables named, after putting back what a swap
    // that was killed left there (repairWorkDb), and empties it. Each of `tables` becomes what
    // is staged for it (nothing staged: it goes); each of `removedIfFree` goes as well unless
    // another program holds it, a file that cannot be removed staying without a word. Throws
    // lindavex::Error when the work database is missing or another swap holds it.
    TableSwap(const std::filesystem::path& workDb, const std::vector<const char*>& tables,
              const std::vector<const char*>& removedIfFree = {});
    // Removes the staging folder with what is left in it, unless a failed swap left its journal
    // there for the next command.
    ~TableSwap();
    TableSwap(const TableSwap&) = delete;
    TableSwap& operator=(const TableSwap&) = delete;

    // Where the new tables are written; until commit(), nothing written there is flushed.
    const std::filesystem::path& folder() const;

    // What putting back an interrupted swap did before this one started; empty when nothing.
    const std::string& repaired() const;

    // Puts the staged tables in place of the work database's, all or nothing. On an error,
    // a table in use by another program or a file that cannot be moved, the work database is
    // as it was, or, when even putting it back failed, as the next command puts it back.
    // `keep` names copies that pruning must leave (a copy being restored).
    void commit(const std::vector<std::string>& keep = {});

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
