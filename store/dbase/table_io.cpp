#include "store/dbase/table_io.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <ctime>
#include <span>
#include <system_error>
#include <unordered_map>

#include "store/dbase/field_value.h"
#include "store/dbase/mdx.h"
#include "store/dbase/table_files.h"
#include "store/error.h"
#include "store/files/file_io.h"

namespace lindavex::store::table_io {
namespace fs = std::filesystem;
using dbf::upperAscii;

namespace {

[[noreturn]] void cannotWrite(const fs::path& target, int error) {
    throw fileError("No se puede escribir la tabla", target, reasonText(error));
}

// Writes `pieces` one after the other to a new file beside `target` and flushes it; returns its
// path. The caller moves it into place.
fs::path writeBeside(const fs::path& target, std::span<const std::string_view> pieces,
                     mode_t mode) {
    fs::path temp;
    if (const int error = file_io::writeBeside(target, pieces, mode, temp); error != 0)
        cannotWrite(target, error);
    return temp;
}

fs::path writeBeside(const fs::path& target, std::string_view bytes, mode_t mode) {
    return writeBeside(target, std::span<const std::string_view>(&bytes, 1), mode);
}

void moveIntoPlace(const fs::path& temp, const fs::path& target) {
    if (const int error = file_io::rename(temp, target); error != 0) {
        platform::remove(temp);
        cannotWrite(target, error);
    }
}

std::tm today() { return platform::localTime(file_io::now()); }

// The tags a table is written with: refused when its index could not be read back.
const std::vector<IndexDef>& tagsToWrite(const std::optional<std::vector<IndexDef>>& tags,
                                         const std::string& displayName) {
    if (!tags)
        throw namedFileError("No se puede actualizar el índice de producción de la tabla",
                             displayName);
    return *tags;
}

// Writes the .DBF and, where it has tags, the .MDX beside their targets, then moves each into
// place (invariant 1 for each file). `held`, the lock on the table, is let go of before the
// renames: Windows refuses to replace a file that is open, our own handle included.
void writeFiles(const fs::path& path, const fs::path& mdxFile, const dbf::Layout& layout,
                const std::string& records, std::size_t count, const std::vector<IndexDef>& tags,
                mode_t mode, platform::File* held) {
    std::tm date = today();
    std::string header = layout.header;
    dbf::stampHeader(header, count, date);
    // Written as they stand: a table's records may be most of the run's memory.
    const std::string_view endOfFile(&dbf::kEndOfFile, 1);
    const std::array<std::string_view, 3> bytes = {header, records, endOfFile};

    fs::path mdxTemp;
    if (!tags.empty()) {
        std::string mdxBytes = mdx::build(layout, records, count, tags, path.stem().string(), date);
        mdxTemp = writeBeside(mdxFile, mdxBytes, mode);
    }
    fs::path temp;
    try {
        temp = writeBeside(path, bytes, mode);
    } catch (...) {
        if (!mdxTemp.empty()) platform::remove(mdxTemp);
        throw;
    }
    // An opener that gets in between reads the old file, and its own close then finds that
    // the file under the name has changed.
    if (held != nullptr) held->close();
    try {
        moveIntoPlace(temp, path);
    } catch (...) {
        if (!mdxTemp.empty()) platform::remove(mdxTemp);
        throw;
    }
    if (!mdxTemp.empty()) moveIntoPlace(mdxTemp, mdxFile);
    file_io::syncDirectory(path.parent_path());
}

}  // namespace

LockedFile openLocked(const fs::path& dbf, bool exclusive, const std::string& displayName) {
    LockedFile file;
    // Lock, then make sure the locked file is still the one under the name: a writer that
    // was closing may have just moved a new file into place.
    platform::FileInfo locked;
    for (int attempt = 0;; ++attempt) {
        platform::File opened;
        // Exclusive use also keeps out other programs' writers, whose engines lock bytes of
        // their own: the file is opened so that it cannot be written meanwhile.
        if (const int error = exclusive ? platform::openDenyingWriters(dbf, opened)
                                        : platform::openForReading(dbf, opened);
            error != 0) {
            if (error == ENOENT) throw namedFileError("No existe la tabla", displayName);
            if (error == EWOULDBLOCK)
                throw namedFileError("La tabla está en uso por otro programa", displayName);
            throw namedFileError("No se puede abrir la tabla", displayName, reasonText(error));
        }
        if (const int error = platform::lock(opened, exclusive); error != 0) {
            if (error == EWOULDBLOCK)
                throw namedFileError("La tabla está en uso por otro programa", displayName);
            throw namedFileError("No se puede bloquear la tabla", displayName, reasonText(error));
        }
        platform::FileInfo named;
        if (platform::describe(opened, locked) != 0)
            throw namedFileError("No se puede abrir la tabla", displayName);
        if (platform::describe(dbf, named) == 0 && named.identity == locked.identity) {
            file.lock = std::move(opened);
            break;
        }
        if (attempt >= 10)
            throw namedFileError("La tabla está en uso por otro programa", displayName);
    }
    file.fileMode = locked.permissions;
    file.identity = locked.identity;
    return file;
}

dbf::Layout readLayout(const LockedFile& file, const std::string& displayName) {
    std::uint64_t size = 0;
    std::string head;
    int error = platform::sizeOf(file.lock, size);
    if (error == 0)
        error =
            file_io::readAt(file.lock, 0, std::min<std::uint64_t>(size, dbf::kLongestHeader), head);
    if (error != 0)
        throw namedFileError("No se puede leer la tabla", displayName, reasonText(error));
    // A file cut short since its size was taken is judged by what could be read.
    if (head.size() < dbf::kLongestHeader) size = std::min<std::uint64_t>(size, head.size());
    return dbf::parse(head, size, displayName);
}

std::string readRecords(const LockedFile& file, const dbf::Layout& layout,
                        const std::string& displayName) {
    const std::size_t size = layout.recordCount * layout.recordLength;
    std::string records;
    if (const int error = file_io::readAt(file.lock, layout.headerLength, size, records);
        error != 0)
        throw namedFileError("No se puede leer la tabla", displayName, reasonText(error));
    // The header was checked against the file's size: only a file cut short since falls short.
    if (records.size() != size) throw namedFileError("No se puede leer la tabla", displayName);
    return records;
}

std::optional<std::vector<IndexDef>> productionTags(const fs::path& dbf,
                                                    const dbf::Layout& layout) {
    if (!layout.hasProductionMdx) return std::vector<IndexDef>{};
    const fs::path mdxFile = resolveIgnoringCase(dbf.parent_path(), dbf.stem().string() + ".MDX");
    std::error_code ec;
    if (!fs::exists(mdxFile, ec)) return std::vector<IndexDef>{};
    return mdx::readTags(mdxFile, layout);
}

void writePair(const fs::path& path, LockedFile& opened, const dbf::Layout& layout,
               const std::string& records, std::size_t count,
               const std::optional<std::vector<IndexDef>>& tags, const std::string& displayName) {
    // Another shared opener may have written the table since it was read: writing over its
    // records would lose them.
    platform::FileInfo now;
    if (platform::describe(path, now) != 0 || now.identity != opened.identity)
        throw namedFileError("La tabla ha sido modificada por otro programa", displayName);
    const std::vector<IndexDef>& written = tagsToWrite(tags, displayName);
    // The index is written under the spelling it has; looked for only for a table that has one.
    const fs::path mdxFile =
        written.empty() ? fs::path()
                        : resolveIgnoringCase(path.parent_path(), path.stem().string() + ".MDX");
    writeFiles(path, mdxFile, layout, records, count, written, opened.fileMode, &opened.lock);
}

NewTable newTable(const fs::path& dbf, const std::vector<FieldDef>& fields,
                  const std::vector<IndexDef>& indexes, const std::string& displayName) {
    if (fields.empty()) throw namedFileError("La tabla no tiene campos", displayName);
    std::vector<dbf::Field> stored;
    std::unordered_map<std::string, std::size_t> byName;
    for (const FieldDef& def : fields) {
        if (!byName.emplace(upperAscii(def.name), stored.size()).second)
            throw namedFileError("Campo repetido " + def.name + " en la tabla", displayName);
        stored.push_back(field_value::toStored(def, displayName));
    }
    for (const IndexDef& index : indexes) {
        auto found = byName.find(upperAscii(index.field));
        if (found == byName.end())
            throw namedFileError(
                "El índice " + index.tag + " usa un campo que no existe (" + index.field + ")",
                displayName);
        stored[found->second].indexed = true;
    }
    const dbf::Layout built = dbf::buildLevel7(stored, !indexes.empty());
    if (built.recordLength > 0xFFFF || built.headerLength > 0xFFFF)
        throw namedFileError("La tabla tiene demasiados campos", displayName);
    // The table as opening its files would read it: its header, and the tags its index holds.
    const std::tm date = today();
    std::string header = built.header;
    dbf::stampHeader(header, 0, date);
    header += dbf::kEndOfFile;
    NewTable table{dbf::parse(header, displayName)};
    if (!indexes.empty()) {
        const std::string index = mdx::build(built, {}, 0, indexes, dbf.stem().string(), date);
        table.tags = mdx::readTags(std::string_view(index), table.layout);
    }
    return table;
}

void writeCreated(const fs::path& dbf, const dbf::Layout& layout, const std::string& records,
                  std::size_t count, const std::optional<std::vector<IndexDef>>& tags,
                  const std::string& displayName) {
    const std::vector<IndexDef>& written = tagsToWrite(tags, displayName);
    const fs::path index = mdxPath(dbf.parent_path(), dbf.filename().string());
    // Invariant 2: nobody else is in this folder, so the files simply replace whatever has the
    // name. An index of an earlier table of the name would not match the new one.
    if (written.empty()) {
        const fs::path oldIndex = resolveIgnoringCase(dbf.parent_path(), index.filename().string());
        std::error_code ec;
        if (fs::exists(oldIndex, ec)) {
            if (const int error = file_io::unlink(oldIndex); error != 0)
                cannotWrite(oldIndex, error);
        }
    }
    writeFiles(dbf, index, layout, records, count, written, 0644, nullptr);
}

}  // namespace lindavex::store::table_io
