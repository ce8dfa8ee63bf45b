#include "store/workdb/copy_restore.h"

#include <system_error>

#include "store/dbase/table_files.h"
#include "store/error.h"
#include "store/files/file_io.h"
#include "store/work_tables.h"
#include "store/workdb/table_swap.h"

namespace lindavex::store {
namespace fs = std::filesystem;

const std::vector<const char*>& restoredWorkTables() {
    static const std::vector<const char*> tables = [] {
        std::vector<const char*> all = work_tables::writtenTables();
        all.push_back(work_tables::kRemovedTable);
        return all;
    }();
    return tables;
}

Error damagedCopyError(const fs::path& folder, const std::vector<std::string>& problems) {
    std::string reasons;
    for (const std::string& problem : problems) reasons += (reasons.empty() ? "" : ", ") + problem;
    return fileError(kDamagedCopyText, folder, reasons);
}

RestoredCopy restoreTableCopy(const fs::path& workDb, const fs::path& given,
                              const std::vector<const char*>& tables) {
    requireWorkDb(workDb);
    RestoredCopy restored;
    // Whatever a stopped run left is put back before the copy is read or the tables replaced.
    TableSwap swap(workDb, tables);
    restored.repaired = swap.repaired();
    const std::optional<std::string> name = copyNamed(workDb, given);
    if (!name) throw fileError(kNoSuchCopyText, workDb / kCopiesFolder / given.filename());
    restored.name = *name;
    const fs::path folder = workDb / kCopiesFolder / *name;
    if (const std::vector<std::string> problems = copyProblems(folder, tables); !problems.empty())
        throw damagedCopyError(folder, problems);
    std::error_code ec;
    const FolderNames files(folder, ec);
    if (ec) throw fileError("No se puede leer la carpeta", folder, reasonText(ec));
    const FolderNames current(workDb, ec);
    if (ec) throw fileError("No se puede leer la carpeta", workDb, reasonText(ec));
    // Copied, not moved: the copy stays as it is whatever becomes of the restore.
    for (const char* table : tables) {
        const fs::path dbf =
            spellingRestored(files.spellingsOf(dbfPath(folder, table).filename().string()));
        if (dbf.empty()) {
            if (!current.spellingsOf(dbfPath(workDb, table).filename().string()).empty())
                restored.removedTables.emplace_back(table);
            continue;
        }
        const fs::path mdx =
            spellingRestored(files.spellingsOf(mdxPath(folder, table).filename().string()));
        for (const fs::path& file : {dbf, mdx}) {
            if (file.empty()) continue;
            if (const int error = file_io::copyFile(file, swap.folder() / file.filename());
                error != 0)
                throw fileError("No se puede leer", file, reasonText(error));
        }
    }
    swap.commit({*name});
    restored.keptCopy = swap.keptCopy();
    return restored;
}

}  // namespace lindavex::store
