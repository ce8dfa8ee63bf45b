#pragma once
// The creation protocol of a table in a folder that other programs share, as the tests make
// their work databases: the table's files deleted (unless another program holds the table),
// then an empty table with these fields and indexes.
#include <cerrno>
#include <filesystem>
#include <string_view>
#include <system_error>
#include <vector>

#include "store/dbase/schema.h"
#include "store/dbase/table.h"
#include "store/dbase/table_files.h"
#include "store/error.h"
#include "store/workdb/workdb.h"

namespace lindavex::store {

// Throws lindavex::Error when the folder is missing, the table is in use, or a file that could
// not be deleted is still in the way.
inline void recreateTable(const std::filesystem::path& dir, std::string_view table,
                          const std::vector<FieldDef>& fields,
                          const std::vector<IndexDef>& indexes = {}) {
    requireWorkDb(dir);
    const std::filesystem::path target = dbfPath(dir, table);
    if (exclusiveUseOf(findDbf(dir, table)) == EWOULDBLOCK)
        throw fileError("La tabla está en uso por otro programa", target);
    deleteTableFiles(dir, table);
    std::error_code ec;
    if (std::filesystem::exists(findDbf(dir, table), ec))
        throw fileError("No se puede borrar la tabla anterior", target);
    Table::create(dir, table, fields, indexes).close();
}

}  // namespace lindavex::store
