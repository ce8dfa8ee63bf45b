// lindavex-cli restaurar [FECHA] [--workdb DIR]: the copies of the tables that the first action
// replaced, listed, or one of them put back.
#include <iostream>
#include <optional>
#include <string>
#include <vector>

#include "cli/arguments.h"
#include "cli/commands.h"
#include "store/dbase/table_files.h"
#include "store/error.h"
#include "store/workdb/copy_restore.h"
#include "store/workdb/copy_texts.h"
#include "store/workdb/table_swap.h"
#include "toworkdb/conversion_run.h"
#include "toworkdb/findings.h"

namespace lindavex::cli {
namespace {

void listCopies(const std::filesystem::path& workDb) {
    const std::vector<store::TableCopy> copies =
        store::tableCopies(workDb, store::restoredWorkTables());
    std::cout << (copies.empty() ? store::noCopiesText(workDb) + '\n' : store::copiesText(copies));
}

}  // namespace

int restaurar(const std::vector<std::string>& args) {
    const std::optional<CommandArguments> parsed =
        parseArguments("restaurar", args, {nullptr, "solo una copia"});
    if (!parsed) return 2;
    if (parsed->help) {
        printUsage(std::cout);
        return 0;
    }
    const std::filesystem::path& folder = parsed->workDb;
    try {
        store::requireWorkDb(folder);
        if (parsed->file.empty()) {
            // The copies as they stand once a run stopped midway is put back.
            if (const std::string repaired = store::repairWorkDb(folder); !repaired.empty())
                std::cout << repaired << '\n';
            listCopies(folder);
            return 0;
        }
        const store::RestoredCopy restored =
            store::restoreTableCopy(folder, parsed->file, store::restoredWorkTables());
        if (!restored.repaired.empty()) std::cout << restored.repaired << '\n';
        std::cout << toworkdb::kFinishedText << '\n'
                  << store::restoredCopyText(restored)
                  << toworkdb::earlierTablesText(restored.keptCopy);
        return 0;
    } catch (const std::exception& error) {
        std::cerr << error.what() << '\n';
        return 1;
    }
}

}  // namespace lindavex::cli
