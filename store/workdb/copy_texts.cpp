#include "store/workdb/copy_texts.h"

#include "store/error.h"

namespace lindavex::store {

std::string noCopiesText(const std::filesystem::path& workDb) {
    return "No hay copias de las tablas en " + utf8Path(workDb);
}

std::optional<std::size_t> copyRecords(const TableCopy& copy) {
    if (!copy.problems.empty()) return std::nullopt;
    std::size_t records = 0;
    for (const CopiedTable& table : copy.tables) records += table.records.value_or(0);
    return records;
}

std::string damagedCopyText(const TableCopy& copy) {
    std::string text;
    for (const std::string& problem : copy.problems)
        text += (text.empty() ? "dañada: " : ", ") + problem;
    return text;
}

std::string copiedTableText(const CopiedTable& table) {
    return table.records ? std::to_string(*table.records) + " registros"
                         : "dañada (" + table.problem + ")";
}

std::string copiesText(const std::vector<TableCopy>& copies) {
    std::string text;
    for (const TableCopy& copy : copies) {
        text += copy.name;
        if (const std::string damaged = damagedCopyText(copy); !damaged.empty())
            text += " (" + damaged + ")";
        text += '\n';
        for (const CopiedTable& table : copy.tables)
            text += "  " + table.file + ": " + copiedTableText(table) + '\n';
    }
    return text;
}

std::string restoredCopyText(const RestoredCopy& restored) {
    std::string text = "Copia restaurada: " + restored.name + '\n';
    if (!restored.removedTables.empty()) {
        text += "Tablas quitadas porque la copia no las tiene:";
        for (const std::string& table : restored.removedTables) text += ' ' + table;
        text += '\n';
    }
    return text;
}

}  // namespace lindavex::store
