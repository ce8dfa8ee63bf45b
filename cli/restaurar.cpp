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
    std::optional<std::string> name;
    std::optional<std::string> workDb;
    for (std::size_t i = 0; i < args.size(); ++i) {
        std::string value;
        const OptionValue option = optionValue(args, i, "--workdb", value);
        std::string problem;
        if (args[i] == "--help" || args[i] == "-h") {
            printUsage(std::cout);
            return 0;
        }
        if (option == OptionValue::Missing || (option == OptionValue::Given && value.empty())) {
            problem = "--workdb necesita una carpeta";
        } else if (option == OptionValue::Given) {
            if (workDb) problem = "--workdb dado dos veces";
            workDb = value;
        } else if (args[i].size() > 1 && args[i].front() == '-') {
            problem = "opción desconocida " + args[i];
        } else if (name) {
            problem = "solo una copia";
        } else {
            name = args[i];
        }
        if (!problem.empty()) {
            printUsageError("restaurar", problem);
            return 2;
        }
    }
    const std::filesystem::path folder =
        workDb ? std::filesystem::path(std::u8string(workDb->begin(), workDb->end()))
               : store::defaultWorkDb();
    try {
        store::requireWorkDb(folder);
        if (!name) {
            listCopies(folder);
            return 0;
        }
        std::vector<const char*> tables = store::work_tables::writtenTables();
        tables.push_back(store::work_tables::kRemovedTable);
        const std::filesystem::path kept = store::restoreTableCopy(folder, *name, tables);
        std::cout << toworkdb::kFinishedText << '\n'
                  << "Copia restaurada: " << *name << '\n'
                  << toworkdb::earlierTablesText(kept);
        return 0;
    } catch (const std::exception& error) {
        std::cerr << error.what() << '\n';
        return 1;
    }
}

}  // namespace lindavex::cli
