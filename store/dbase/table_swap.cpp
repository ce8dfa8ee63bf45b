#include "store/dbase/table_swap.h"

#include <algorithm>
#include <cassert>
#include <cerrno>
#include <fstream>
#include <map>
#include <optional>
#include <random>
#include <string>
#include <system_error>
#include <vector>

#include "store/dbase/table_copies.h"
#include "store/dbase/table_files.h"
#include "store/error.h"
#include "store/files/file_io.h"
#include "store/files/platform.h"
#include "store/workdb.h"

namespace lindavex::store {
namespace fs = std::filesystem;
namespace {

// Where a swap builds its tables, inside the work database; no table is named so.
constexpr const char* kStagingFolder = ".lindavex-run";
// In the staging folder: the old files kept while the new ones go in, and the list of the
// files being replaced, present only while they are (see undoInterruptedMove).
constexpr const char* kBackupFolder = "anterior";
constexpr const char* kMoveJournal = "moviendo";

// Creates a folder; one that is already there is fine. 0 or the errno.
int createFolder(const fs::path& dir) {
    std::error_code ec;
    const int error = file_io::mkdir(dir);
    return error == EEXIST && fs::is_directory(dir, ec) ? 0 : error;
}

// A swap killed while it moved its tables in leaves its journal: "C NAME", the copy its backup
// folder becomes, then one line per change of a file of the work database, "1 NAME" when the old
// file is kept in the backup folder, "0 NAME" when there was none. A name may be both (an old
// index removed, then the new one put there): then its old file is what comes back. Putting the
// old files back and removing the new ones returns the work database to what it was before that
// swap, however often this is itself interrupted. A copy already made of the backup folder is
// moved back first, in one rename, so that no copy is ever listed with files missing.
void undoInterruptedMove(const fs::path& workDb, const fs::path& staging) {
    std::ifstream journal(staging / kMoveJournal);
    if (!journal) return;
    std::map<std::string, bool> names;  // whether the name's old file is kept
    std::string copyName;
    for (std::string line; std::getline(journal, line);) {
        if (line.size() < 3) continue;
        if (line.front() == 'C')
            copyName = line.substr(2);
        else
            names[line.substr(2)] |= line.front() == '1';
    }
    std::error_code ec;
    const fs::path backups = staging / kBackupFolder;
    const fs::path copies = workDb / kCopiesFolder;
    if (!copyName.empty() && !fs::exists(backups, ec)) {
        const fs::path copy = copies / copyName;
        if (const int error = file_io::renameFolder(copy, backups); error != 0 && error != ENOENT)
            throw fileError("No se puede restaurar la base de datos de trabajo", copy,
                            reasonText(error));
        fs::remove(copies, ec);  // only when no other copy is there
    }
    // New files go before old ones come back: where names have no letter case, removing
    // PROFT.DBF after proft.dbf is back would remove the old table again. Every old file has
    // its backup before the journal exists, so removing first loses nothing.
    for (const bool restoring : {false, true}) {
        for (const auto& [name, kept] : names) {
            if (kept != restoring) continue;
            const fs::path target = workDb / name;
            const int result =
                kept ? file_io::rename(backups / name, target) : file_io::unlink(target);
            if (result != 0 && result != ENOENT)
                throw fileError("No se puede restaurar la base de datos de trabajo", target,
                                reasonText(result));
        }
    }
    file_io::syncDirectory(workDb);
}

// One file of the work database that the swap replaces or removes, with a backup of the old one
// so that the whole change can be undone when a later file fails.
struct Change {
    fs::path target;
    fs::path replacement;  // empty: the target is removed
    fs::path backup;       // empty: there was no old file
    bool ifFree = false;   // a removal that may fail without a word
    bool applied = false;
};

// The changes that put the staged files of one table in place of every old spelling of its
// files (other programs may have written proft.dbf): first every old index goes, so that no old
// index is ever beside the new table (invariant 5); then every old spelling of the table that is
// not staged; then the staged tables; then their indexes. Removing the other spellings first
// matters where names have no letter case: renamed over proft.dbf, PROFT.DBF would keep that
// spelling. Nothing staged: the table goes.
void planTable(std::vector<Change>& changes, const FolderNames& old, const FolderNames& staged,
               const fs::path& workDb, const fs::path& backupDir, std::string_view table) {
    const std::string dbf = dbfPath(workDb, table).filename().string();
    const std::string mdx = mdxPath(workDb, table).filename().string();
    for (const fs::path& index : old.spellingsOf(mdx))
        changes.push_back({index, {}, backupDir / index.filename()});
    const std::vector<fs::path> stagedTables = staged.spellingsOf(dbf);
    const auto isStaged = [&](const fs::path& file) {
        return std::any_of(stagedTables.begin(), stagedTables.end(),
                           [&](const fs::path& s) { return s.filename() == file.filename(); });
    };
    std::vector<fs::path> replaced;
    for (const fs::path& spelling : old.spellingsOf(dbf)) {
        if (isStaged(spelling))
            replaced.push_back(spelling.filename());
        else
            changes.push_back({spelling, {}, backupDir / spelling.filename()});
    }
    for (const fs::path& table : stagedTables) {
        const bool replacesOld =
            std::find(replaced.begin(), replaced.end(), table.filename()) != replaced.end();
        changes.push_back({workDb / table.filename(), table,
                           replacesOld ? backupDir / table.filename() : fs::path()});
    }
    for (const fs::path& index : staged.spellingsOf(mdx))
        changes.push_back({workDb / index.filename(), index, {}});
}

// The changes that remove a table unless another program holds it; each removal may fail.
void planRemovalIfFree(std::vector<Change>& changes, const FolderNames& old, const fs::path& workDb,
                       const fs::path& backupDir, std::string_view table) {
    const std::vector<fs::path> tables =
        old.spellingsOf(dbfPath(workDb, table).filename().string());
    if (std::any_of(tables.begin(), tables.end(),
                    [](const fs::path& dbf) { return exclusiveUseOf(dbf) == EWOULDBLOCK; }))
        return;
    for (const fs::path& dbf : tables)
        changes.push_back({dbf, {}, backupDir / dbf.filename(), true});
    for (const fs::path& index : old.spellingsOf(mdxPath(workDb, table).filename().string()))
        changes.push_back({index, {}, backupDir / index.filename(), true});
}

void makeBackup(const Change& change) {
    if (change.backup.empty()) return;
    std::error_code ec;
    if (file_io::link(change.target, change.backup) != 0)
        fs::copy_file(change.target, change.backup, ec);
    if (ec)
        throw fileError("No se puede guardar una copia del archivo", change.target, reasonText(ec));
}

// Whether every applied change was undone.
bool undo(std::vector<Change>& changes) {
    bool undone = true;
    for (auto it = changes.rbegin(); it != changes.rend(); ++it) {
        if (!it->applied) continue;
        const int result = it->backup.empty() ? file_io::unlink(it->target)
                                              : file_io::rename(it->backup, it->target);
        if (result != 0 && result != ENOENT) undone = false;
    }
    return undone;
}

constexpr const char* kTableInUseText = "La tabla está en uso por otro programa";

// The tables being replaced, every spelling of their .DBF, must not be in use, tested as the
// table engine opens a table for exclusive use: opened so that no other program may write it,
// and locked (exclusiveUseOf). Either refusal means that another program has the table open.
// The old files are not read, so a damaged old table does not stand in the way of its
// replacement. The files are let go at once, as Windows refuses to move a file that is open; a
// program that opens a table after the last test makes its move fail, and the swap is undone.
void requireTablesFree(const fs::path& workDb, const std::vector<std::string>& tables) {
    std::error_code ec;
    const FolderNames old(workDb, ec);
    if (ec) throw fileError("No se puede leer la carpeta", workDb, reasonText(ec));
    for (const std::string& table : tables) {
        for (const fs::path& dbf : old.spellingsOf(dbfPath(workDb, table).filename().string())) {
            const int error = exclusiveUseOf(dbf);
            if (error == EWOULDBLOCK) throw fileError(kTableInUseText, dbf);
            if (error != 0 && error != ENOENT)
                throw fileError("No se puede abrir la tabla", dbf, reasonText(error));
        }
    }
}

}  // namespace

struct TableSwap::Impl {
    fs::path workDb;
    std::vector<std::string> tables;
    std::vector<std::string> removedIfFree;
    fs::path keptCopy;
    fs::path staging;
    platform::File holder;  // the staging folder's lock (invariant 2)
    bool keepForNextSwap = false;
    std::optional<file_io::DeferredFlushes> deferred;  // until commit (invariant 3)

    void moveIntoPlace();
    // What commit() leaves, checked in debug builds.
    void assertCommitted() const;
};

TableSwap::TableSwap(const fs::path& workDb, const std::vector<const char*>& tables,
                     const std::vector<const char*>& removedIfFree)
    : impl_(std::make_unique<Impl>()) {
    requireWorkDb(workDb);
    impl_->workDb = workDb;
    impl_->tables.assign(tables.begin(), tables.end());
    impl_->removedIfFree.assign(removedIfFree.begin(), removedIfFree.end());
    // Before anything is written: a table that another program holds stops the swap at once.
    requireTablesFree(workDb, impl_->tables);
    impl_->staging = workDb / kStagingFolder;
    const fs::path& staging = impl_->staging;
    if (const int error = createFolder(staging); error != 0)
        throw fileError("No se puede crear la carpeta de trabajo", staging, reasonText(error));
    const int held = platform::holdFolder(staging, impl_->holder);
    if (held == EWOULDBLOCK)
        throw fileError("Otra conversión está en curso sobre la base de datos de trabajo", workDb);
    if (held != 0)
        throw fileError("No se puede abrir la carpeta de trabajo", staging, reasonText(held));
    // Whatever is here was left by a swap that was killed (invariant 6).
    undoInterruptedMove(workDb, staging);
    std::error_code ec;
    for (fs::directory_iterator stale(staging, ec), end; !ec && stale != end; stale.increment(ec))
        fs::remove_all(stale->path(), ec);
    if (ec) throw fileError("No se puede vaciar la carpeta de trabajo", staging, reasonText(ec));
    impl_->deferred.emplace();
}

TableSwap::~TableSwap() {
    impl_->deferred.reset();
    if (impl_->keepForNextSwap) return;
    std::error_code ec;
    fs::remove_all(impl_->staging, ec);
    // Windows removes a folder still held only once it is let go.
    impl_->holder.close();
    fs::remove(impl_->staging, ec);
    // No journal outlives a swap but one kept for the next (invariant 6).
    assert(!fs::exists(impl_->staging / kMoveJournal, ec));
}

const fs::path& TableSwap::folder() const { return impl_->staging; }

const fs::path& TableSwap::keptCopy() const { return impl_->keptCopy; }

void TableSwap::commit() {
    impl_->deferred.reset();
    if (const int error = file_io::flushFileSystem(impl_->staging); error != 0)
        throw fileError("No se puede escribir", impl_->staging, reasonText(error));
    impl_->moveIntoPlace();
    impl_->assertCommitted();
}

// Puts the staged tables in place of the old ones, every spelling of their names, all or nothing.
void TableSwap::Impl::moveIntoPlace() {
    std::error_code ec;
    const FolderNames old(workDb, ec);
    if (ec) throw fileError("No se puede leer la carpeta", workDb, reasonText(ec));
    const FolderNames staged(staging, ec);
    if (ec) throw fileError("No se puede leer la carpeta", staging, reasonText(ec));
    const fs::path backupDir = staging / kBackupFolder;
    std::vector<Change> changes;
    for (const std::string& table : tables)
        planTable(changes, old, staged, workDb, backupDir, table);
    for (const std::string& table : removedIfFree)
        planRemovalIfFree(changes, old, workDb, backupDir, table);
    const bool keepsFiles = std::any_of(changes.begin(), changes.end(),
                                        [](const Change& c) { return !c.backup.empty(); });
    const fs::path copies = workDb / kCopiesFolder;
    const std::string copyName = keepsFiles ? newCopyName(copies) : std::string();
    // Tested again, now that the swap is about to move: a program may have opened a table
    // since the swap started.
    requireTablesFree(workDb, tables);

    if (const int error = createFolder(backupDir); error != 0)
        throw fileError("No se puede crear la carpeta", backupDir, reasonText(error));
    std::string journal = keepsFiles ? "C " + copyName + '\n' : std::string();
    for (const Change& change : changes) {
        makeBackup(change);
        journal += (change.backup.empty() ? "0 " : "1 ") + change.target.filename().string() + '\n';
    }
    // Invariant 4: the journal is on disk before the first rename.
    const fs::path journalPath = staging / kMoveJournal;
    if (const int error = file_io::replaceFile(journalPath, journal, 0644); error != 0)
        throw fileError("No se puede escribir", journalPath, reasonText(error));

    for (Change& change : changes) {
        int error = change.replacement.empty() ? file_io::unlink(change.target)
                                               : file_io::rename(change.replacement, change.target);
        // Nothing to remove, or a removal that may fail: nothing changed, nothing to undo.
        if (change.replacement.empty() && error != 0 && (error == ENOENT || change.ifFree))
            continue;
        if (error != 0) {
            // When the old files cannot all be put back now, the journal and the backups stay
            // for the next swap to put back (invariant 6) instead of going with the folder.
            if (!undo(changes)) keepForNextSwap = true;
            // Windows refuses to replace or delete a file that another program has open, with a
            // sharing violation or, for some openers, access denied.
            if (error == EWOULDBLOCK || error == EACCES)
                throw fileError(kTableInUseText, change.target);
            throw fileError("No se puede escribir", change.target, reasonText(error));
        }
        change.applied = true;
    }
    // Invariant 6: the new names are recorded on disk, and the old files are a whole copy,
    // before the journal goes and the swap reports success; from then on nothing undoes them.
    file_io::syncDirectory(workDb);
    if (keepsFiles) {
        const fs::path copy = copies / copyName;
        int error = createFolder(copies);
        if (error == 0) error = file_io::renameFolder(backupDir, copy);
        if (error != 0) {
            fs::remove(copies, ec);  // only when no other copy is there
            if (!undo(changes)) keepForNextSwap = true;
            throw fileError("No se puede guardar la copia de las tablas", copy, reasonText(error));
        }
        file_io::syncDirectory(copies);
        keptCopy = copy;
    }
    file_io::unlink(journalPath);
    file_io::syncDirectory(staging);
    if (keepsFiles) pruneCopies(copies);
}

void TableSwap::Impl::assertCommitted() const {
#ifndef NDEBUG
    // Every staged file has moved in. Left are the old files and, only where removing it failed,
    // the journal, which then goes with the folder.
    std::error_code ec;
    for (fs::directory_iterator it(staging, ec), end; !ec && it != end; it.increment(ec))
        assert(it->path().filename() == kBackupFolder || it->path().filename() == kMoveJournal);
#endif
}

struct ScratchTables::Impl {
    fs::path folder;
    file_io::DeferredFlushes deferred;  // tables that are thrown away need not reach the disk
};

ScratchTables::ScratchTables() : impl_(std::make_unique<Impl>()) {
    std::error_code ec;
    const fs::path temp = fs::temp_directory_path(ec);
    if (ec) throw fileError("No se puede usar la carpeta temporal", temp, reasonText(ec));
    std::random_device random;
    for (int attempt = 0; attempt < 100; ++attempt) {
        const fs::path candidate =
            temp / ("lindavex-comprobar-" + std::to_string(random()) + std::to_string(random()));
        const int error = file_io::mkdir(candidate, 0700);
        if (error == 0) {
            impl_->folder = candidate;
            return;
        }
        if (error != EEXIST)
            throw fileError("No se puede crear la carpeta", candidate, reasonText(error));
    }
    throw fileError("No se puede crear la carpeta", temp, reasonText(EEXIST));
}

ScratchTables::~ScratchTables() {
    std::error_code ec;
    if (!impl_->folder.empty()) fs::remove_all(impl_->folder, ec);
}

const fs::path& ScratchTables::folder() const { return impl_->folder; }

}  // namespace lindavex::store
