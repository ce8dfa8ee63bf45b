#pragma once
// The copies of the tables (store/workdb/table_copies.h) and a restore's outcome as people read
// them, the same on the command line and in the window. UTF-8.
#include <cstddef>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "store/workdb/copy_restore.h"
#include "store/workdb/table_copies.h"

namespace lindavex::store {

// "No hay copias de las tablas en C:\WTEMP".
std::string noCopiesText(const std::filesystem::path& workDb);

// The records of all the copy's tables; none for a damaged copy, which is not counted from what
// its files happen to hold.
std::optional<std::size_t> copyRecords(const TableCopy& copy);

// "dañada: ASIGT.DBF cortada, AULAT.DBF vacía"; empty for a sound copy.
std::string damagedCopyText(const TableCopy& copy);

// One table of a copy: "12 registros", or "dañada (cortada)".
std::string copiedTableText(const CopiedTable& table);

// Every copy, newest first: its name (and what makes it damaged), then a line per table.
std::string copiesText(const std::vector<TableCopy>& copies);

// "Copia restaurada: NAME", then the tables that went because the copy lacks them.
std::string restoredCopyText(const RestoredCopy& restored);

}  // namespace lindavex::store
