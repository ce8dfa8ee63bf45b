#include "store/workdb/table_swap.h"

#include <algorithm>
#include <cassert>
#include <cerrno>
#include <map>
#include <optional>
#include <random>
#include <string>
#include <system_error>
#include <vector>

#include "store/dbase/table_files.h"
#include "store/error.h"
#include "store/files/file_io.h"
#include "store/files/platform.h"
#include "store/workdb/table_copies.h"

namespace lindavex::store {
namespace fs = std::filesystem;
namespace {

// Where a swap builds its tables, inside the work database; no table is named so.
constexpr const char* kStagingFolder = ".lindavex-run";
// In the staging folder: the old files kept while the new ones go in, and the list of the
// files being replaced, present only while they are (see undoPending).
constexpr const char* kBackupFolder = "anterior";
constexpr const char* kMoveJournal = "moviendo";

constexpr const char* kRepairedText =
    "Se deshizo una operación interrumpida: la base de datos de trabajo vuelve a estar como "
    "antes de ella";
constexpr const char* kUndoFailedText = "No se puede restaurar la base de datos de trabajo";
constexpr const char* kTableInUseText = "La tabla está en uso por otro programa";

bool isFolder(const fs::path& path) {
    std::error_code ec;
    return fs::symlink_status(path, ec).type() == fs::file_type::directory;
}

bool isThere(const fs::path& path) {
    std::error_code ec;
    return fs::exists(fs::symlink_status(path, ec));
}

// Creates a folder; one that is already there is fine. 0 or the errno.
int createFolder(const fs::path& dir) {
    const int error = file_io::mkdir(dir);
    return error == EEXIST && isFolder(dir) ? 0 : error;
}

// Removes everything in a folder, not the folder itself (which may be held open).
int emptyFolder(const fs::path& dir) {
    std::vector<file_io::Entry> entries;
    if (const int error = file_io::listFolder(dir, entries); error != 0) return error;
    for (const file_io::Entry& entry : entries) {
        const int error =
            entry.folder ? file_io::removeTree(entry.path) : file_io::unlink(entry.path);
        if (error != 0 && error != ENOENT) return error;
    }
    return 0;
}

// A swap stopped while it moved its tables in leaves its journal: "C NAME", the copy its backup
// folder becomes; "D" when the swap made the copies folder; then one line per change of a file
// of the work database, "1 NAME" when the old file is kept in the backup folder, "0 NAME" when
// there was none. A name may be both (an old index removed, then the new one put there): then
// its old file is what comes back. Putting the old files back and removing the new ones returns
// the work database to what it was before that swap, however often this is itself interrupted,
// and whether or not the swap had already put some back. A copy already made of the backup
// folder is moved back first, in one rename, so that no copy is ever listed with files missing.
// Whether there was a journal.
bool undoPending(const fs::path& workDb, const fs::path& staging) {
    const fs::path journalPath = staging / kMoveJournal;
    std::string journal;
    if (const int error = file_io::readFile(journalPath, journal); error != 0) {
        if (error == ENOENT) return false;
        throw fileError(kUndoFailedText, journalPath, reasonText(error));
    }
    std::map<std::string, bool> names;  // whether the name's old file is kept
    std::string copyName;
    bool madeCopies = false;
    for (std::size_t at = 0; at < journal.size();) {
        std::size_t end = journal.find('\n', at);
        if (end == std::string::npos) end = journal.size();
        const std::string line = journal.substr(at, end - at);
        at = end + 1;
        if (line == "D")
            madeCopies = true;
        else if (line.size() >= 3 && line.front() == 'C')
            copyName = line.substr(2);
        else if (line.size() >= 3)
            names[line.substr(2)] |= line.front() == '1';
    }
    const fs::path backups = staging / kBackupFolder;
    const fs::path copies = workDb / kCopiesFolder;
    if (!copyName.empty() && !isThere(backups)) {
        const fs::path copy = copies / copyName;
        if (const int error = file_io::renameFolder(copy, backups); error != 0 && error != ENOENT)
            throw fileError(kUndoFailedText, copy, reasonText(error));
    }
    // Only empty, and only when that swap made it: any other copies folder is not ours to remove.
    if (madeCopies) (void)file_io::rmdir(copies);
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
                throw fileError(kUndoFailedText, target, reasonText(result));
        }
    }
    // The old names are on disk before the journal that brings them back goes.
    if (const int error = file_io::syncDirectory(workDb); error != 0)
        throw fileError(kUndoFailedText, workDb, reasonText(error));
    if (const int error = file_io::unlink(journalPath); error != 0 && error != ENOENT)
        throw fileError(kUndoFailedText, journalPath, reasonText(error));
    if (const int error = file_io::syncDirectory(staging); error != 0)
        throw fileError(kUndoFailedText, staging, reasonText(error));
    return true;
}

// Holds the staging folder for this process: a second swap, or a repair, gets EWOULDBLOCK.
void holdStaging(const fs::path& workDb, const fs::path& staging, platform::File& holder) {
    const int held = platform::holdFolder(staging, holder);
    if (held == EWOULDBLOCK)
        throw fileError("Otra conversión está en curso sobre la base de datos de trabajo", workDb);
    if (held != 0)
        throw fileError("No se puede abrir la carpeta de trabajo", staging, reasonText(held));
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

// A second name for the old file in the backup folder, or, where the file system has no links,
// a copy of it (flushed by the file layer before the journal lists it).
void makeBackup(const Change& change) {
    if (change.backup.empty()) return;
    if (file_io::link(change.target, change.backup) == 0) return;
    if (const int error = file_io::copyFile(change.target, change.backup); error != 0)
        throw fileError("No se puede guardar una copia del archivo", change.target,
                        reasonText(error));
}

// Whether every applied change was undone.
bool undo(std::vector<Change>& changes) {
    bool undone = true;
    for (auto it = changes.rbegin(); it != changes.rend(); ++it) {
        if (!it->applied) continue;
        const int result = it->backup.empty() ? file_io::unlink(it->target)
                                              : file_io::rename(it->backup, it->target);
        if (result != 0 && result != ENOENT)
            undone = false;
        else
            it->applied = false;
    }
    return undone;
}

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

std::string repairWorkDb(const fs::path& workDb) {
    const fs::path staging = workDb / kStagingFolder;
    if (!isFolder(staging)) return {};
    platform::File holder;
    if (platform::holdFolder(staging, holder) == ENOENT) return {};  // a swap just ended
    if (!holder.isOpen()) holdStaging(workDb, staging, holder);      // says why it is not held
    const bool undone = undoPending(workDb, staging);
    // What is left is a stopped swap's tables and backups, whose journal is gone: nobody's.
    (void)emptyFolder(staging);
    holder.close();
    (void)file_io::rmdir(staging);
    return undone ? kRepairedText : std::string();
}

struct TableSwap::Impl {
    enum class State { Open, Staged, Journaled, Moving, Moved, Copied, Committed, Failed };

    fs::path workDb;
    std::vector<std::string> tables;
    std::vector<std::string> removedIfFree;
    fs::path staging;
    fs::path backupDir;
    fs::path journalPath;
    std::string journal;
    fs::path copies;
    fs::path keptCopy;
    std::string repaired;
    platform::File holder;                             // the staging folder's lock (invariant 2)
    std::optional<file_io::DeferredFlushes> deferred;  // until commit (invariant 3)
    std::vector<Change> changes;
    State state = State::Open;
    bool madeCopies = false;  // the copies folder is this swap's to remove on an undo
    bool copyMade = false;    // the backup folder has become keptCopy
    bool keepForNextSwap = false;

    void expect(State expected) const {
        assert(state == expected);
        (void)expected;
    }
    void moveIntoPlace(const std::vector<std::string>& keep);
    // Puts the old files back after a failure from Journaled on; what cannot be put back now is
    // left with the journal for the next command. Then throws `error`.
    [[noreturn]] void fail(const Error& error);
};

TableSwap::TableSwap(const fs::path& workDb, const std::vector<const char*>& tables,
                     const std::vector<const char*>& removedIfFree)
    : impl_(std::make_unique<Impl>()) {
    requireWorkDb(workDb);
    Impl& s = *impl_;
    s.workDb = workDb;
    s.tables.assign(tables.begin(), tables.end());
    s.removedIfFree.assign(removedIfFree.begin(), removedIfFree.end());
    // Before anything is written: a table that another program holds stops the swap at once.
    requireTablesFree(workDb, s.tables);
    s.staging = workDb / kStagingFolder;
    s.backupDir = s.staging / kBackupFolder;
    s.journalPath = s.staging / kMoveJournal;
    s.copies = workDb / kCopiesFolder;
    if (const int error = createFolder(s.staging); error != 0)
        throw fileError("No se puede crear la carpeta de trabajo", s.staging, reasonText(error));
    holdStaging(workDb, s.staging, s.holder);
    try {
        // Whatever is here was left by a swap that was stopped (invariant 6).
        if (undoPending(workDb, s.staging)) s.repaired = kRepairedText;
        if (const int error = emptyFolder(s.staging); error != 0)
            throw fileError("No se puede vaciar la carpeta de trabajo", s.staging,
                            reasonText(error));
    } catch (const Error&) {
        // Left as found, but for the folder itself when it is empty.
        s.holder.close();
        (void)file_io::rmdir(s.staging);
        throw;
    }
    s.deferred.emplace();
}

TableSwap::~TableSwap() {
    Impl& s = *impl_;
    s.deferred.reset();
    if (s.keepForNextSwap) return;
    // A swap that committed or failed cleanly has no journal left (invariant 6).
    assert(!isThere(s.journalPath));
    (void)emptyFolder(s.staging);
    // Windows removes a folder still held only once it is let go.
    s.holder.close();
    (void)file_io::rmdir(s.staging);
}

const fs::path& TableSwap::folder() const { return impl_->staging; }

const std::string& TableSwap::repaired() const { return impl_->repaired; }

const fs::path& TableSwap::keptCopy() const { return impl_->keptCopy; }

void TableSwap::commit(const std::vector<std::string>& keep) {
    Impl& s = *impl_;
    s.expect(Impl::State::Open);
    s.deferred.reset();
    if (const int error = file_io::flushFileSystem(s.staging); error != 0)
        throw fileError("No se puede escribir", s.staging, reasonText(error));
    s.state = Impl::State::Staged;
    s.moveIntoPlace(keep);
    s.expect(Impl::State::Committed);
}

void TableSwap::Impl::fail(const Error& error) {
    assert(state != State::Open && state != State::Staged && state != State::Failed);
    state = State::Failed;
    // The journal must be there while files move back, so that a stop now is undone later.
    if (!isThere(journalPath) && file_io::replaceFile(journalPath, journal, 0644) != 0) {
        keepForNextSwap = true;
        throw error;
    }
    bool undone = true;
    if (copyMade) {
        // The old files are in the copy: back into the backup folder first, in one rename.
        undone = file_io::renameFolder(keptCopy, backupDir) == 0;
        if (undone) copyMade = false;
        keptCopy.clear();
    }
    if (undone) undone = undo(changes);
    if (undone && madeCopies) (void)file_io::rmdir(copies);
    if (undone) undone = file_io::syncDirectory(workDb) == 0;
    if (undone) undone = file_io::unlink(journalPath) == 0;
    // The journal stays, with the backups, for the next command to finish (repairWorkDb).
    keepForNextSwap = !undone;
    throw error;
}

// Puts the staged tables in place of the old ones, every spelling of their names, all or nothing.
void TableSwap::Impl::moveIntoPlace(const std::vector<std::string>& keep) {
    expect(State::Staged);
    std::error_code ec;
    const FolderNames old(workDb, ec);
    if (ec) throw fileError("No se puede leer la carpeta", workDb, reasonText(ec));
    const FolderNames staged(staging, ec);
    if (ec) throw fileError("No se puede leer la carpeta", staging, reasonText(ec));
    for (const std::string& table : tables)
        planTable(changes, old, staged, workDb, backupDir, table);
    for (const std::string& table : removedIfFree)
        planRemovalIfFree(changes, old, workDb, backupDir, table);
    const bool keepsFiles = std::any_of(changes.begin(), changes.end(),
                                        [](const Change& c) { return !c.backup.empty(); });
    // A file of the user's in the way of the copies folder stops the swap before anything moves,
    // and stays as it is.
    if (keepsFiles && isThere(copies) && !isFolder(copies))
        throw fileError("No se puede guardar la copia de las tablas", copies,
                        "es un archivo, no una carpeta");
    const std::string copyName = keepsFiles ? newCopyName(copies) : std::string();
    // Tested again, now that the swap is about to move: a program may have opened a table
    // since the swap started.
    requireTablesFree(workDb, tables);

    if (const int error = createFolder(backupDir); error != 0)
        throw fileError("No se puede crear la carpeta", backupDir, reasonText(error));
    journal = keepsFiles ? "C " + copyName + '\n' : std::string();
    madeCopies = keepsFiles && !isThere(copies);
    if (madeCopies) journal += "D\n";
    for (const Change& change : changes) {
        makeBackup(change);
        journal += (change.backup.empty() ? "0 " : "1 ") + change.target.filename().string() + '\n';
    }
    if (keepsFiles) {
        const std::string order = std::to_string(nextCopyOrder(copies)) + '\n';
        const fs::path orderFile = backupDir / kCopyOrderFile;
        if (const int error = file_io::writeNewFile(orderFile, order); error != 0)
            throw fileError("No se puede escribir", orderFile, reasonText(error));
    }
    // The backups' names are on disk before the journal counts on them.
    if (const int error = file_io::syncDirectory(backupDir); error != 0)
        throw fileError("No se puede escribir", backupDir, reasonText(error));
    // Invariant 4: the journal is on disk before the first rename.
    if (const int error = file_io::replaceFile(journalPath, journal, 0644); error != 0)
        throw fileError("No se puede escribir", journalPath, reasonText(error));
    state = State::Journaled;

    if (madeCopies) {
        if (const int error = file_io::mkdir(copies); error != 0)
            fail(fileError("No se puede crear la carpeta", copies, reasonText(error)));
    }
    state = State::Moving;
    for (Change& change : changes) {
        const int error = change.replacement.empty()
                              ? file_io::unlink(change.target)
                              : file_io::rename(change.replacement, change.target);
        // Nothing to remove, or a removal that may fail: nothing changed, nothing to undo.
        if (change.replacement.empty() && error != 0 && (error == ENOENT || change.ifFree))
            continue;
        // Windows refuses to replace or delete a file that another program has open, with a
        // sharing violation or, for some openers, access denied.
        if (error == EWOULDBLOCK || error == EACCES)
            fail(fileError(kTableInUseText, change.target));
        if (error != 0) fail(fileError("No se puede escribir", change.target, reasonText(error)));
        change.applied = true;
    }
    // Invariant 6: the new names are recorded on disk, and the old files are a whole copy,
    // before the journal goes and the swap reports success; from then on nothing undoes them.
    if (const int error = file_io::syncDirectory(workDb); error != 0)
        fail(fileError("No se puede escribir", workDb, reasonText(error)));
    state = State::Moved;
    if (keepsFiles) {
        const fs::path copy = copies / copyName;
        if (const int error = file_io::renameFolder(backupDir, copy); error != 0)
            fail(fileError("No se puede guardar la copia de las tablas", copy, reasonText(error)));
        copyMade = true;
        keptCopy = copy;
        if (const int error = file_io::syncDirectory(copies); error != 0)
            fail(fileError("No se puede guardar la copia de las tablas", copy, reasonText(error)));
    }
    state = State::Copied;
    if (const int error = file_io::unlink(journalPath); error != 0)
        fail(fileError("No se puede terminar de poner las tablas", journalPath, reasonText(error)));
    if (const int error = file_io::syncDirectory(staging); error != 0) {
        // The journal's removal may not last: it is written again and the swap undone, unless
        // it cannot be written, and then the swap stands as done, which it is on disk so far.
        if (file_io::replaceFile(journalPath, journal, 0644) == 0)
            fail(fileError("No se puede terminar de poner las tablas", staging, reasonText(error)));
    }
    state = State::Committed;
    if (keepsFiles) {
        std::vector<std::string> kept = keep;
        kept.push_back(copyName);
        pruneCopies(copies, kept);
    }
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
    if (!impl_->folder.empty()) (void)file_io::removeTree(impl_->folder);
}

const fs::path& ScratchTables::folder() const { return impl_->folder; }

}  // namespace lindavex::store
