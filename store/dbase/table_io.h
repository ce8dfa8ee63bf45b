#pragma once
// The cursor's side of a table's files (table.cpp alone uses it): the lock an open table
// holds, reading the .DBF, and writing the .DBF/.MDX pair back (invariant 1 of file_io.h).
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "store/dbase/dbf_format.h"
#include "store/dbase/schema.h"
#include "store/files/platform.h"

namespace lindavex::store::table_io {

// A table file opened and locked (exclusive or shared), with what writing it back needs to
// know: its permissions and its identity as opened.
struct LockedFile {
    platform::File lock;
    unsigned fileMode = 0644;
    platform::Identity identity;  // of the file as opened
};
LockedFile openLocked(const std::filesystem::path& dbf, bool exclusive,
                      const std::string& displayName);

// The locked file's header, checked against the file's size; the records are not read.
dbf::Layout readLayout(const LockedFile& file, const std::string& displayName);
// The records the layout counts, read straight from the file.
std::string readRecords(const LockedFile& file, const dbf::Layout& layout,
                        const std::string& displayName);

// The production index's tags for a table whose header says it has one: none when the file is
// missing, no value when it cannot be rebuilt.
std::optional<std::vector<IndexDef>> productionTags(const std::filesystem::path& dbf,
                                                    const dbf::Layout& layout);

// Writes a table's records back over its files: the .MDX rebuilt when it has tags, both files
// written beside and renamed into place. Refuses when the file under the name is no longer
// the one `opened` locked (another shared opener wrote it meanwhile). Lets go of the lock
// before the rename, as Windows cannot replace an open file.
void writePair(const std::filesystem::path& dbf, LockedFile& opened, const dbf::Layout& layout,
               const std::string& records, std::size_t count,
               const std::optional<std::vector<IndexDef>>& tags, const std::string& displayName);

// A new table in a folder that only the caller writes (the first action's staging folder):
// its layout and its index's tags exactly as reading its files back would give them, with the
// same refusals, but nothing written until writeCreated. Its records start empty.
struct NewTable {
    dbf::Layout layout;
    std::optional<std::vector<IndexDef>> tags{std::in_place};
};
NewTable newTable(const std::filesystem::path& dbf, const std::vector<FieldDef>& fields,
                  const std::vector<IndexDef>& indexes, const std::string& displayName);
// Writes a new table's files, replacing whatever has their names in that folder; an index of
// that name, in any letter case, goes when the new table has none.
void writeCreated(const std::filesystem::path& dbf, const dbf::Layout& layout,
                  const std::string& records, std::size_t count,
                  const std::optional<std::vector<IndexDef>>& tags, const std::string& displayName);

}  // namespace lindavex::store::table_io
