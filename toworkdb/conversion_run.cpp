// The first action: choose the centre file, build every work table aside, then put them in
// place together. A run that stops on an error leaves the work database as it was. This file
// owns the atomicity of the work database as a whole: invariants 2 to 6 of store/files/file_io.h.
#include "toworkdb/conversion_run.h"

#include <algorithm>
#include <cerrno>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <optional>
#include <random>
#include <string>
#include <system_error>
#include <vector>

#include "store/dbase/dbf_format.h"
#include "store/dbase/table.h"
#include "store/dbase/table_files.h"
#include "store/error.h"
#include "store/files/file_io.h"
#include "store/files/platform.h"
#include "store/work_tables.h"
#include "store/workdb.h"
#include "store/xml/centre_document.h"
#include "toworkdb/steps.h"

namespace lindavex::toworkdb {
namespace fs = std::filesystem;
namespace {

// Where a run builds its tables, inside the work database; no table is named so.
constexpr const char* kStagingFolder = ".lindavex-run";
// In the staging folder: the old files kept while the new ones go in, and the list of the
// files being replaced, present only while they are (see undoInterruptedMove).
constexpr const char* kBackupFolder = "anterior";
constexpr const char* kMoveJournal = "moviendo";

// Creates a folder; one that is already there is fine. 0 or the errno.
int createFolder(const fs::path& dir) {
    std::error_code ec;
    const int error = store::file_io::mkdir(dir);
    return error == EEXIST && fs::is_directory(dir, ec) ? 0 : error;
}

// A run killed while it moved its tables in leaves its journal: one line per change of a file of
// the work database, "1 NAME" when the old file is kept in the backup folder, "0 NAME" when there
// was none. A name may be both (an old index removed, then the new one put there): then its old
// file is what comes back. Putting the old files back and removing the new ones returns the work
// database to what it was before that run, however often this is itself interrupted.
void undoInterruptedMove(const fs::path& workDb, const fs::path& staging) {
    std::ifstream journal(staging / kMoveJournal);
    if (!journal) return;
    std::map<std::string, bool> names;  // whether the name's old file is kept
    for (std::string line; std::getline(journal, line);)
        if (line.size() >= 3) names[line.substr(2)] |= line.front() == '1';
    // New files go before old ones come back: where names have no letter case, removing
    // PROFT.DBF after proft.dbf is back would remove the old table again. Every old file has
    // its backup before the journal exists, so removing first loses nothing.
    for (const bool restoring : {false, true}) {
        for (const auto& [name, kept] : names) {
            if (kept != restoring) continue;
            const fs::path target = workDb / name;
            const int result = kept ? store::file_io::rename(staging / kBackupFolder / name, target)
                                    : store::file_io::unlink(target);
            if (result != 0 && result != ENOENT)
                throw fileError("No se puede restaurar la base de datos de trabajo", target,
                                reasonText(result));
        }
    }
    store::file_io::syncDirectory(workDb);
}

// The staging folder of this run (invariant 2): created (or cleared when a killed run left it),
// locked so that a second run on the same work database is refused rather than mixed in,
// removed at the end.
class Staging {
  public:
    explicit Staging(const fs::path& workDb) : path_(workDb / kStagingFolder) {
        if (const int error = createFolder(path_); error != 0)
            throw fileError("No se puede crear la carpeta de trabajo", path_, reasonText(error));
        const int held = store::platform::holdFolder(path_, holder_);
        if (held == EWOULDBLOCK)
            throw fileError("Otra conversión está en curso sobre la base de datos de trabajo",
                            workDb);
        if (held != 0)
            throw fileError("No se puede abrir la carpeta de trabajo", path_, reasonText(held));
        // Whatever is here was left by a run that was killed (invariant 6).
        undoInterruptedMove(workDb, path_);
        std::error_code ec;
        for (fs::directory_iterator stale(path_, ec), end; !ec && stale != end; stale.increment(ec))
            fs::remove_all(stale->path(), ec);
        if (ec) throw fileError("No se puede vaciar la carpeta de trabajo", path_, reasonText(ec));
    }
    ~Staging() {
        if (keep_) return;
        std::error_code ec;
        fs::remove_all(path_, ec);
        // Windows removes a folder still held only once it is let go.
        holder_.close();
        fs::remove(path_, ec);
    }
    Staging(const Staging&) = delete;
    Staging& operator=(const Staging&) = delete;

    const fs::path& path() const { return path_; }
    void keepForNextRun() { keep_ = true; }

  private:
    bool keep_ = false;
    fs::path path_;
    store::platform::File holder_;
};

// One file of the work database that the run replaces or removes, with a backup of the old one
// so that the whole change can be undone when a later file fails.
struct Change {
    fs::path target;
    fs::path replacement;  // empty: the target is removed
    fs::path backup;       // empty: there was no old file
    bool applied = false;
};

// The changes that put one staged table in place of every old spelling of its files (other
// programs may have written proft.dbf): first every old index goes, so that no old index is ever
// beside the new table (invariant 5); then every old spelling of the table other than its own
// name; then the table; then its new index. Removing the other spellings first matters where
// names have no letter case: renamed over proft.dbf, the new table would keep that spelling.
void planTable(std::vector<Change>& changes, const store::FolderNames& old, const fs::path& workDb,
               const fs::path& staged, const fs::path& backupDir, std::string_view table) {
    const fs::path dbf = store::dbfPath(workDb, table);
    const fs::path mdx = store::mdxPath(workDb, table);
    for (const fs::path& index : old.spellingsOf(mdx.filename().string()))
        changes.push_back({index, {}, backupDir / index.filename()});
    bool replacesOld = false;
    for (const fs::path& spelling : old.spellingsOf(dbf.filename().string())) {
        if (spelling.filename() == dbf.filename())
            replacesOld = true;
        else
            changes.push_back({spelling, {}, backupDir / spelling.filename()});
    }
    changes.push_back({dbf, store::dbfPath(staged, table),
                       replacesOld ? backupDir / dbf.filename() : fs::path()});
    std::error_code ec;
    const fs::path newIndex = store::mdxPath(staged, table);
    if (fs::exists(newIndex, ec)) changes.push_back({mdx, newIndex, {}});
}

void makeBackup(const Change& change) {
    if (change.backup.empty()) return;
    std::error_code ec;
    if (store::file_io::link(change.target, change.backup) != 0)
        fs::copy_file(change.target, change.backup, ec);
    if (ec)
        throw fileError("No se puede guardar una copia del archivo", change.target, reasonText(ec));
}

// Whether every applied change was undone.
bool undo(std::vector<Change>& changes) {
    bool undone = true;
    for (auto it = changes.rbegin(); it != changes.rend(); ++it) {
        if (!it->applied) continue;
        const int result = it->backup.empty() ? store::file_io::unlink(it->target)
                                              : store::file_io::rename(it->backup, it->target);
        if (result != 0 && result != ENOENT) undone = false;
    }
    return undone;
}

// Puts the staged tables in place of the old ones, every spelling of their names, all or nothing.
void moveIntoPlace(const fs::path& workDb, Staging& staging) {
    const fs::path& staged = staging.path();
    std::error_code ec;
    const store::FolderNames old(workDb, ec);
    if (ec) throw fileError("No se puede leer la carpeta", workDb, reasonText(ec));
    const fs::path backupDir = staged / kBackupFolder;
    std::vector<Change> changes;
    for (const char* table : store::work_tables::writtenTables())
        planTable(changes, old, workDb, staged, backupDir, table);

    // The tables being replaced must not be in use: the same lock the table engine takes when
    // it opens a table for exclusive use. The old files are not read, so a damaged old table
    // does not stand in the way of its replacement. The locks are let go before the files move,
    // as Windows refuses to move a file that is open; a program that opens a table meanwhile
    // makes its move fail there, and the run is undone.
    for (const Change& change : changes) {
        if (change.backup.empty() ||
            store::dbf::upperAscii(change.target.extension().string()) != ".DBF")
            continue;
        store::platform::File file;
        int error = store::platform::openForReading(change.target, file);
        if (error == 0) error = store::platform::lock(file, true);
        if (error == EWOULDBLOCK)
            throw fileError("La tabla está en uso por otro programa", change.target);
        if (error != 0)
            throw fileError("No se puede abrir la tabla", change.target, reasonText(error));
    }

    if (const int error = createFolder(backupDir); error != 0)
        throw fileError("No se puede crear la carpeta", backupDir, reasonText(error));
    std::string journal;
    for (const Change& change : changes) {
        makeBackup(change);
        journal += (change.backup.empty() ? "0 " : "1 ") + change.target.filename().string() + '\n';
    }
    // Invariant 4: the journal is on disk before the first rename.
    const fs::path journalPath = staged / kMoveJournal;
    if (const int error = store::file_io::replaceFile(journalPath, journal, 0644); error != 0)
        throw fileError("No se puede escribir", journalPath, reasonText(error));

    for (Change& change : changes) {
        int error = change.replacement.empty()
                        ? store::file_io::unlink(change.target)
                        : store::file_io::rename(change.replacement, change.target);
        if (change.replacement.empty() && error == ENOENT) error = 0;
        if (error != 0) {
            // When the old files cannot all be put back now, the journal and the backups stay
            // for the next run to put back (invariant 6) instead of going with the folder.
            if (!undo(changes)) staging.keepForNextRun();
            throw fileError("No se puede escribir", change.target, reasonText(error));
        }
        change.applied = true;
    }
    // Invariant 6: the new names are recorded on disk before the journal goes and the run
    // reports success; from then on nothing undoes them.
    store::file_io::syncDirectory(workDb);
    store::file_io::unlink(journalPath);
    store::file_io::syncDirectory(staged);
}

// The seven steps, in their order, into one folder.
void runSteps(RunData& run, const store::CentreDocument& centre, const fs::path& dir) {
    StepContext ctx{run, centre, dir};
    ExportarMaterias(ctx);
    ExportarTiposActividad(ctx);
    ExportarProfesores(ctx);
    ExportarAulas(ctx);
    ExportarGrupos(ctx);
    ExportarSesiones(ctx);
    ExportarAsignaciones(ctx);
    // Converting it empties the school's tables; that may be meant, but it is worth a word.
    if (std::all_of(run.records.begin(), run.records.end(),
                    [](const auto& table) { return table.second == 0; })) {
        ctx.note(Finding::Kind::Change, Finding::What::NothingToExport, centre.documentElement(),
                 "", "", "", "",
                 "el centro no tiene datos que exportar: la exportación dejaría vacías todas las "
                 "tablas de trabajo");
    }
}

ConversionReport reportOf(RunData& run) {
    ConversionReport report;
    for (const char* table : work_tables::writtenTables())
        report.tables.push_back({table, run.records[table]});
    for (const Finding& f : run.findings)
        if (f.what == Finding::What::Renamed)
            report.renamedCodes.push_back({f.table, f.code, f.storedCode});
    report.findings = std::move(run.findings);
    report.workingSet = std::move(run.workingSet);
    report.L1 = run.L1;
    report.L2 = run.L2;
    report.L3 = run.L3;
    report.usedShortCodes = std::move(run.usedShortCodes);
    report.seenLongCodes = std::move(run.seenLongCodes);
    return report;
}

// A new, empty folder of the system's temporary folder, removed with everything in it when this
// goes: where a check writes its tables.
class ScratchFolder {
  public:
    ScratchFolder() {
        std::error_code ec;
        const fs::path temp = fs::temp_directory_path(ec);
        if (ec) throw fileError("No se puede usar la carpeta temporal", temp, reasonText(ec));
        std::random_device random;
        for (int attempt = 0; attempt < 100; ++attempt) {
            const fs::path candidate = temp / ("lindavex-comprobar-" + std::to_string(random()) +
                                               std::to_string(random()));
            const int error = store::file_io::mkdir(candidate, 0700);
            if (error == 0) {
                path_ = candidate;
                return;
            }
            if (error != EEXIST)
                throw fileError("No se puede crear la carpeta", candidate, reasonText(error));
        }
        throw fileError("No se puede crear la carpeta", temp, reasonText(EEXIST));
    }
    ~ScratchFolder() {
        std::error_code ec;
        fs::remove_all(path_, ec);
    }
    ScratchFolder(const ScratchFolder&) = delete;
    ScratchFolder& operator=(const ScratchFolder&) = delete;
    const fs::path& path() const { return path_; }

  private:
    fs::path path_;
};

}  // namespace

ConversionReport convert(const store::CentreDocument& centre, const fs::path& workDb) {
    store::requireWorkDb(workDb);
    // Every run writes the whole ASIGNOMT afresh, so it starts with no code used or seen.
    RunData run;
    Staging staging(workDb);
    {
        // Invariant 3: the staged tables are flushed together once all steps are done, not
        // each time a step closes one.
        store::file_io::DeferredFlushes deferred;
        runSteps(run, centre, staging.path());
    }
    if (const int error = store::file_io::flushFileSystem(staging.path()); error != 0)
        throw fileError("No se puede escribir", staging.path(), reasonText(error));
    moveIntoPlace(workDb, staging);
    // Another program may hold the courses table, or it may not be deletable: then it stays,
    // without a message, beside the tables written.
    store::deleteTableFiles(workDb, work_tables::kRemovedTable);
    return reportOf(run);
}

ConversionReport check(const store::CentreDocument& centre) {
    RunData run;
    run.collectErrors = true;
    const ScratchFolder scratch;
    {
        // Tables that are thrown away need not reach the disk.
        store::file_io::DeferredFlushes deferred;
        runSteps(run, centre, scratch.path());
    }
    return reportOf(run);
}

ConversionReport check(const fs::path& centreFile) {
    store::CentreDocument centre;
    const store::ParseResult parsed = centre.load(centreFile);
    if (const auto refusal = store::notACentreFile(centre, parsed, centreFile)) {
        ConversionReport report;
        const store::Node root = centre.documentElement();
        report.findings.push_back({Finding::Kind::Error, Finding::What::NotACentreFile, "", "", "",
                                   "", "", root ? root.line() : parsed.line, *refusal});
        return report;
    }
    return check(centre);
}

bool stopsTheRun(const std::vector<Finding>& findings) {
    return std::any_of(findings.begin(), findings.end(),
                       [](const Finding& f) { return f.kind == Finding::Kind::Error; });
}

void loadCentre(store::CentreDocument& centre, const fs::path& centreFile) {
    const store::ParseResult parsed = centre.load(centreFile);
    if (const auto refusal = store::notACentreFile(centre, parsed, centreFile))
        throw Error(*refusal);
}

ConversionReport convert(const fs::path& centreFile, const fs::path& workDb) {
    store::CentreDocument centre;
    loadCentre(centre, centreFile);
    return convert(centre, workDb);
}

}  // namespace lindavex::toworkdb
