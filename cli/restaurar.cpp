// lindavex-cli restaurar [FECHA] [--workdb DIR]: the copies of the tables that the first action
// replaced, listed, or one of them put back.
#include <iostream>
#include <optional>
#include <string>
#include <vector>

#include "cli/arguments.h"
#include "cli/commands.h"
#include "store/dbase/table_copies.h"
#include "store/error.h"
#include "store/work_tables.h"
#include "store/workdb.h"
#include "toworkdb/conversion_run.h"
#include "toworkdb/findings.h"

namespace lindavex::cli {
namespace {

void listCopies(const std::filesystem::path& workDb) {
    const std::vector<store::TableCopy> copies = store::tableCopies(workDb);
    if (copies.empty()) {
        std::cout << "No hay copias de las tablas en " << utf8Path(workDb) << '\n';
        return;
    }
    for (const store::TableCopy& copy : copies) {
        std::cout << copy.name << '\n';
        for (const store::CopiedTable& table : copy.tables) {
            std::cout << "  " << table.file << ": "
                      << (table.records ? std::to_string(*table.records) + " registros"
                                        : std::string("ilegible"))
                      << '\n';
        }
    }
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
            listCopies(folder);
            return 0;
        }
        const std::string name = utf8Path(parsed->file);
        std::vector<const char*> tables = store::work_tables::writtenTables();
        tables.push_back(store::work_tables::kRemovedTable);
        const std::filesystem::path kept = store::restoreTableCopy(folder, name, tables);
        std::cout << toworkdb::kFinishedText << '\n'
                  << "Copia restaurada: " << name << '\n'
                  << toworkdb::earlierTablesText(kept);
        return 0;
    } catch (const std::exception& error) {
        std::cerr << error.what() << '\n';
        return 1;
    }
}

}  // namespace lindavex::cli
