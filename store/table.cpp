#include "store/table.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <limits>
#include <system_error>
#include <unordered_map>
#include <utility>

#include "store/codepage.h"
#include "store/convert.h"
#include "store/dbf_format.h"
#include "store/error.h"
#include "store/file_io.h"
#include "store/mdx.h"
#include "store/platform.h"
#include "store/workdb.h"

namespace lindavex::store {
namespace fs = std::filesystem;
using dbf::upperAscii;
namespace {

bool endsWithIgnoringCase(std::string_view text, std::string_view suffix) {
    return text.size() >= suffix.size() &&
           upperAscii(text.substr(text.size() - suffix.size())) == upperAscii(suffix);
}

// The file in `dir` whose name equals `name` ignoring letter case, as a Windows program sees
// it, spelled as the folder spells it (Windows also finds "t.dbf" under "T.DBF"); the exact
// name when nothing matches.
fs::path resolveIgnoringCase(const fs::path& dir, const std::string& name) {
    std::error_code ec;
    const std::string wanted = upperAscii(name);
    fs::path found;
    for (fs::directory_iterator it(dir, ec), end; !ec && it != end; it.increment(ec)) {
        const std::string entry = it->path().filename().string();
        if (entry == name) return it->path();
        if (found.empty() && upperAscii(entry) == wanted) found = it->path();
    }
    return found.empty() ? dir / name : found;
}

std::string fileName(std::string_view table, std::string_view extension) {
    std::string base(table);
    if (endsWithIgnoringCase(base, ".DBF")) base.resize(base.size() - 4);
    return base + std::string(extension);
}

[[noreturn]] void cannotWrite(const fs::path& target, int error) {
    throw fileError("No se puede escribir la tabla", target, reasonText(error));
}

// Writes `bytes` to a new file beside `target` and flushes it; returns its path. The caller
// moves it into place.
fs::path writeBeside(const fs::path& target, std::string_view bytes, mode_t mode) {
    fs::path temp;
    if (const int error = file_io::writeBeside(target, bytes, mode, temp); error != 0)
        cannotWrite(target, error);
    return temp;
}

void moveIntoPlace(const fs::path& temp, const fs::path& target) {
    if (file_io::rename(temp, target) != 0) {
        const int error = errno;
        platform::remove(temp);
        cannotWrite(target, error);
    }
}

std::tm today() { return platform::localTime(std::time(nullptr)); }

dbf::Field toStoredField(const FieldDef& def, const std::string& displayName) {
    dbf::Field field;
    field.name = def.name;
    if (def.name.empty() || def.name.size() > 31)
        throw Error("Nombre de campo no válido '" + codepage::toUtf8(def.name) +
                    "' en la tabla: " + displayName);
    switch (def.type) {
        case FieldType::Text:
            if (def.width < 1 || def.width > 254)
                throw Error("Anchura no válida del campo " + def.name +
                            " en la tabla: " + displayName);
            field.type = 'C';
            field.length = static_cast<std::size_t>(def.width);
            break;
        case FieldType::Logical:
            field.type = 'L';
            field.length = 1;
            break;
        case FieldType::Integer:
            field.type = 'I';
            field.length = 4;
            break;
        case FieldType::Float:
            field.type = 'O';
            field.length = 8;
            break;
    }
    return field;
}

// A number as a long, rounded half to even as the engine's integer fields do.
std::int32_t roundedLong(double value) {
    const double rounded = std::nearbyint(value);
    if (!(rounded > std::numeric_limits<std::int32_t>::min() &&
          rounded <= std::numeric_limits<std::int32_t>::max()))
        throw Error("'" + convert::plainDecimal(value) + "' is not a valid integer value");
    return static_cast<std::int32_t>(rounded);
}

bool isBinaryNumber(char type) { return type == 'I' || type == '+' || type == 'O'; }

// The value a new record starts with: blanks for text-like fields, zero bytes (null) for
// binary ones.
void blankField(const dbf::Field& field, char* at) {
    const char fill = (isBinaryNumber(field.type) || field.type == '@') ? '\0' : ' ';
    std::memset(at, fill, field.length);
}

std::string_view trimRight(std::string_view text) {
    while (!text.empty() && (text.back() == ' ' || text.back() == '\0')) text.remove_suffix(1);
    return text;
}

// The civil date of a Julian day number (days from 1 January 4713 BC).
void civilFromJulianDay(long jdn, int& year, int& month, int& day) {
    long a = jdn + 32044;
    long b = (4 * a + 3) / 146097;
    long c = a - 146097 * b / 4;
    long d = (4 * c + 3) / 1461;
    long e = c - 1461 * d / 4;
    long m = (5 * e + 2) / 153;
    day = static_cast<int>(e - (153 * m + 2) / 5 + 1);
    month = static_cast<int>(m + 3 - 12 * (m / 10));
    year = static_cast<int>(100 * b + d - 4800 + m / 10);
}

}  // namespace

fs::path dbfPath(const fs::path& dir, std::string_view table) {
    return dir / fileName(table, ".DBF");
}

fs::path mdxPath(const fs::path& dir, std::string_view table) {
    return dir / fileName(table, ".MDX");
}

namespace {

// Whether another opener, in this process or another, holds the table file. Such a file is
// not deleted, as the platform the tables come from refuses to delete an open file.
bool heldByAnotherOpener(const fs::path& file) {
    platform::File probe;
    const int error = platform::openForReading(file, probe);
    if (error != 0) return error == EWOULDBLOCK;
    return platform::lock(probe, true) == EWOULDBLOCK;
}

}  // namespace

FolderNames::FolderNames(const fs::path& dir, std::error_code& ec) {
    for (fs::directory_iterator it(dir, ec), end; !ec && it != end; it.increment(ec))
        byUpperName_[upperAscii(it->path().filename().string())].push_back(it->path());
    if (ec) byUpperName_.clear();
}

std::vector<fs::path> FolderNames::spellingsOf(std::string_view name) const {
    const auto found = byUpperName_.find(upperAscii(name));
    return found == byUpperName_.end() ? std::vector<fs::path>{} : found->second;
}

fs::path findDbf(const fs::path& dir, std::string_view table) {
    return resolveIgnoringCase(dir, fileName(table, ".DBF"));
}

void deleteTableFiles(const fs::path& dir, std::string_view table) {
    std::error_code ec;
    const FolderNames names(dir, ec);
    const std::vector<fs::path> tables = names.spellingsOf(fileName(table, ".DBF"));
    if (std::any_of(tables.begin(), tables.end(), heldByAnotherOpener)) return;
    for (const fs::path& file : tables) file_io::unlink(file);
    for (const fs::path& file : names.spellingsOf(fileName(table, ".MDX"))) file_io::unlink(file);
}

void recreateTable(const fs::path& dir, std::string_view table, const std::vector<FieldDef>& fields,
                   const std::vector<IndexDef>& indexes) {
    requireWorkDb(dir);
    const fs::path target = dbfPath(dir, table);
    const std::string displayName = target.string();
    if (heldByAnotherOpener(findDbf(dir, table)))
        throw fileError("La tabla está en uso por otro programa", displayName);
    deleteTableFiles(dir, table);
    std::error_code ec;
    if (fs::exists(findDbf(dir, table), ec))
        throw fileError("No se puede borrar la tabla anterior", displayName);
    if (fields.empty()) throw fileError("La tabla no tiene campos", displayName);

    std::vector<dbf::Field> stored;
    std::unordered_map<std::string, std::size_t> byName;
    for (const FieldDef& def : fields) {
        if (!byName.emplace(upperAscii(def.name), stored.size()).second)
            throw Error("Campo repetido " + def.name + " en la tabla: " + displayName);
        stored.push_back(toStoredField(def, displayName));
    }
    for (const IndexDef& index : indexes) {
        auto found = byName.find(upperAscii(index.field));
        if (found == byName.end())
            throw Error("El índice " + index.tag + " usa un campo que no existe (" + index.field +
                        "): " + displayName);
        stored[found->second].indexed = true;
    }
    dbf::Layout layout = dbf::buildLevel7(stored, !indexes.empty());
    if (layout.recordLength > 0xFFFF || layout.headerLength > 0xFFFF)
        throw fileError("La tabla tiene demasiados campos", displayName);
    dbf::stampHeader(layout.header, 0, today());
    std::string bytes = layout.header;
    bytes += dbf::kEndOfFile;

    fs::path mdxTemp;
    if (!indexes.empty()) {
        std::string mdxBytes = mdx::build(layout, {}, 0, indexes, target.stem().string(), today());
        mdxTemp = writeBeside(mdxPath(dir, table), mdxBytes, 0644);
    }
    fs::path temp;
    try {
        temp = writeBeside(target, bytes, 0644);
    } catch (...) {
        if (!mdxTemp.empty()) platform::remove(mdxTemp);
        throw;
    }
    // link() refuses to replace: a table that appeared meanwhile is not overwritten. Where the
    // file system has no hard links, rename() after the check above has to do.
    int linked = file_io::link(temp, target);
    if (linked != 0 && (errno == EPERM || errno == EOPNOTSUPP) && !fs::exists(target, ec) &&
        file_io::rename(temp, target) == 0)
        linked = 0;
    if (linked != 0) {
        int error = errno;
        platform::remove(temp);
        if (!mdxTemp.empty()) platform::remove(mdxTemp);
        throw fileError("No se puede crear la tabla", displayName, reasonText(error));
    }
    file_io::unlink(temp);
    if (!mdxTemp.empty()) moveIntoPlace(mdxTemp, mdxPath(dir, table));
    file_io::syncDirectory(dir);
}

// Index of one field's texts for lookup: each text maps to the positions of the live records
// holding it, ascending, so the first match is the front.
using LookupIndex = std::unordered_map<std::string, std::vector<std::size_t>>;

struct Table::Impl {
    enum class State { Browse, Insert, Edit };

    fs::path path;
    std::string displayName;
    Mode mode = Mode::Shared;
    platform::File lock;
    unsigned fileMode = 0644;
    platform::Identity identity;  // of the file as opened
    dbf::Layout layout;
    std::string records;  // recordCount * recordLength bytes
    std::size_t count = 0;
    std::size_t pos = 0;
    State state = State::Browse;
    std::string buffer;  // the record being appended or edited
    bool dirty = false;
    // Tags of the production index to rebuild on writing; no value when it cannot be rebuilt.
    std::optional<std::vector<IndexDef>> mdxTags{std::in_place};
    std::unordered_map<std::string, std::size_t> fieldByName;
    std::unordered_map<std::size_t, LookupIndex> lookups;

    const char* record(std::size_t at) const { return records.data() + at * layout.recordLength; }
    bool deleted(std::size_t at) const { return record(at)[0] == '*'; }

    // The current record's bytes, or nullptr where there is none (end of table).
    const char* current() const {
        if (state != State::Browse) return buffer.data();
        return pos < count ? record(pos) : nullptr;
    }

    const dbf::Field& field(std::string_view name) const {
        auto found = fieldByName.find(upperAscii(name));
        if (found == fieldByName.end())
            throw Error("Field '" + codepage::toUtf8(name) + "' not found: " + displayName);
        return layout.fields[found->second];
    }
    std::size_t fieldNumber(std::string_view name) const {
        auto found = fieldByName.find(upperAscii(name));
        if (found == fieldByName.end())
            throw Error("Field '" + codepage::toUtf8(name) + "' not found: " + displayName);
        return found->second;
    }

    char* writable(const dbf::Field& f) {
        if (state == State::Browse)
            throw fileError("La tabla no está en modo de edición ni de inserción", displayName);
        return buffer.data() + 1 + f.offset;
    }

    std::string text(const dbf::Field& f, const char* rec) const;
    std::optional<double> number(const dbf::Field& f, const char* rec) const;
    void putDigits(const dbf::Field& f, double value);
    void putInteger(const dbf::Field& f, std::int32_t value);
    void putFloat(const dbf::Field& f, double value);
    void putText(const dbf::Field& f, std::string_view value);  // cut to the width

    void postPending();
    void skipDeletedFrom(std::size_t at) {
        while (at < count && deleted(at)) ++at;
        pos = at;
    }
    LookupIndex& lookupIndex(std::size_t fieldNo);
    void writeFiles();
    void requireOpen() const {
        if (!lock.isOpen()) throw fileError("La tabla está cerrada", displayName);
    }
};

std::string Table::Impl::text(const dbf::Field& f, const char* rec) const {
    const char* at = rec + 1 + f.offset;
    switch (f.type) {
        case 'C':
        case 'D':
            return std::string(trimRight(std::string_view(at, f.length)));
        case 'N':
        case 'F':
        case 'I':
        case '+':
        case 'O': {
            std::optional<double> value = number(f, rec);
            return value ? convert::plainDecimal(*value) : std::string();
        }
        case 'L':
            switch (*at) {
                case 'T':
                case 't':
                case 'Y':
                case 'y':
                    return "True";
                case 'F':
                case 'f':
                case 'N':
                case 'n':
                    return "False";
                default:
                    return {};
            }
        case '@': {
            std::optional<double> ms = dbf::decodeTimestamp(at);
            constexpr double kDay = 86400000.0;
            if (!ms || *ms < kDay || *ms > 1e17) return {};
            const double days = std::floor(*ms / kDay);
            int year = 0;
            int month = 0;
            int dayOfMonth = 0;
            civilFromJulianDay(static_cast<long>(days) + dbf::kJulianDayOfDayZero, year, month,
                               dayOfMonth);
            const auto seconds = static_cast<long>((*ms - days * kDay) / 1000);
            char out[40];
            std::snprintf(out, sizeof out, "%04d-%02d-%02d %02ld:%02ld:%02ld", year, month,
                          dayOfMonth, seconds / 3600, seconds / 60 % 60, seconds % 60);
            return out;
        }
        default:
            throw Error("El campo " + codepage::toUtf8(f.name) +
                        " es de un tipo que no se puede leer (" + std::string(1, f.type) +
                        "): " + displayName);
    }
}

std::optional<double> Table::Impl::number(const dbf::Field& f, const char* rec) const {
    const char* at = rec + 1 + f.offset;
    switch (f.type) {
        case 'I':
        case '+': {
            std::optional<std::int32_t> value = dbf::decodeInteger(at);
            if (!value) return std::nullopt;
            return static_cast<double>(*value);
        }
        case 'O':
            return dbf::decodeDouble(at);
        default: {
            // Numbers stored as digits (N, F) and numbers asked of text fields.
            std::string stored = f.type == 'N' || f.type == 'F'
                                     ? std::string(std::string_view(at, f.length))
                                     : text(f, rec);
            if (codepage::trim(stored).empty()) return std::nullopt;
            return convert::toFloat(stored);
        }
    }
}

void Table::Impl::putDigits(const dbf::Field& f, double value) {
    char digits[400];
    int n = std::snprintf(digits, sizeof digits, "%*.*f", static_cast<int>(f.length),
                          static_cast<int>(f.decimals), value);
    if (n < 0 || static_cast<std::size_t>(n) > f.length)
        throw Error("El valor " + convert::plainDecimal(value) + " no cabe en el campo " +
                    codepage::toUtf8(f.name) + ": " + displayName);
    std::memcpy(writable(f), digits, f.length);
}

void Table::Impl::putInteger(const dbf::Field& f, std::int32_t value) {
    switch (f.type) {
        case 'I':
        case '+':
            // The lowest long has the same bytes as null; it cannot be stored.
            if (value == std::numeric_limits<std::int32_t>::min())
                throw Error("El valor " + std::to_string(value) + " no cabe en el campo " +
                            codepage::toUtf8(f.name) + ": " + displayName);
            dbf::encodeInteger(value, writable(f));
            return;
        case 'O':
        case 'N':
        case 'F':
            putFloat(f, value);
            return;
        default:
            putText(f, std::to_string(value));
    }
}

void Table::Impl::putFloat(const dbf::Field& f, double value) {
    if (std::isnan(value)) throw Error("'NAN' is not a valid floating point value");
    switch (f.type) {
        case 'O':
            dbf::encodeDouble(value, writable(f));
            return;
        case 'I':
        case '+':
            putInteger(f, roundedLong(value));
            return;
        case 'N':
        case 'F':
            putDigits(f, value);
            return;
        default:
            putText(f, convert::plainDecimal(value));
    }
}

void Table::Impl::putText(const dbf::Field& f, std::string_view value) {
    if (f.type != 'C' && f.type != 'D')
        throw Error("El campo " + codepage::toUtf8(f.name) +
                    " no admite ese valor: " + displayName);
    char* at = writable(f);
    const std::size_t n = std::min(value.size(), f.length);
    std::memcpy(at, value.data(), n);
    std::memset(at + n, ' ', f.length - n);
}

LookupIndex& Table::Impl::lookupIndex(std::size_t fieldNo) {
    auto found = lookups.find(fieldNo);
    if (found != lookups.end()) return found->second;
    LookupIndex index;
    const dbf::Field& f = layout.fields[fieldNo];
    for (std::size_t at = 0; at < count; ++at)
        if (!deleted(at)) index[text(f, record(at))].push_back(at);
    return lookups.emplace(fieldNo, std::move(index)).first->second;
}

void Table::Impl::postPending() {
    if (state == State::Browse) return;
    if (state == State::Insert) {
        const std::size_t at = count;
        records += buffer;
        ++count;
        pos = at;
        for (auto& [fieldNo, index] : lookups)
            if (!deleted(at)) index[text(layout.fields[fieldNo], record(at))].push_back(at);
    } else {
        const std::size_t at = pos;
        for (auto& [fieldNo, index] : lookups) {
            const dbf::Field& f = layout.fields[fieldNo];
            std::string before = text(f, record(at));
            std::string after = text(f, buffer.data());
            if (before == after && deleted(at) == (buffer[0] == '*')) continue;
            if (!deleted(at)) {
                auto& positions = index[before];
                auto it = std::lower_bound(positions.begin(), positions.end(), at);
                if (it != positions.end() && *it == at) positions.erase(it);
                if (positions.empty()) index.erase(before);
            }
            if (buffer[0] != '*') {
                auto& positions = index[after];
                positions.insert(std::lower_bound(positions.begin(), positions.end(), at), at);
            }
        }
        std::memcpy(records.data() + at * layout.recordLength, buffer.data(), layout.recordLength);
    }
    state = State::Browse;
    buffer.clear();
    dirty = true;
}

void Table::Impl::writeFiles() {
    std::tm date = today();
    std::string bytes = layout.header;
    dbf::stampHeader(bytes, count, date);
    bytes.reserve(bytes.size() + records.size() + 1);
    bytes += records;
    bytes += dbf::kEndOfFile;

    // Another shared opener may have written the table since it was read: writing over its
    // records would lose them.
    platform::FileInfo now;
    if (platform::describe(path, now) != 0 || now.identity != identity)
        throw fileError("La tabla ha sido modificada por otro programa", displayName);

    fs::path mdxTemp;
    const fs::path mdxFile = resolveIgnoringCase(path.parent_path(), path.stem().string() + ".MDX");
    if (!mdxTags)
        throw fileError("No se puede actualizar el índice de producción de la tabla", displayName);
    if (!mdxTags->empty()) {
        std::string mdxBytes =
            mdx::build(layout, records, count, *mdxTags, path.stem().string(), date);
        mdxTemp = writeBeside(mdxFile, mdxBytes, fileMode);
    }
    fs::path temp;
    try {
        temp = writeBeside(path, bytes, fileMode);
    } catch (...) {
        if (!mdxTemp.empty()) platform::remove(mdxTemp);
        throw;
    }
    // Windows refuses to replace a file that is open, our own handle included: the lock is let
    // go first. An opener that gets in between reads the old file, and its own close then finds
    // that the file under the name has changed.
    lock.close();
    try {
        moveIntoPlace(temp, path);
    } catch (...) {
        if (!mdxTemp.empty()) platform::remove(mdxTemp);
        throw;
    }
    if (!mdxTemp.empty()) moveIntoPlace(mdxTemp, mdxFile);
    file_io::syncDirectory(path.parent_path());
}

Table::Table(std::unique_ptr<Impl> impl) : impl_(std::move(impl)) {}
Table::Table(Table&&) noexcept = default;
Table& Table::operator=(Table&& other) noexcept {
    if (this != &other) {
        try {
            if (impl_) close();
        } catch (...) {  // NOLINT(bugprone-empty-catch): see the destructor
        }
        impl_ = std::move(other.impl_);
    }
    return *this;
}
Table::~Table() {
    try {
        if (impl_) close();
    } catch (...) {  // NOLINT(bugprone-empty-catch): a destructor must not throw
    }
}

Table Table::open(const fs::path& dir, std::string_view table, Mode mode) {
    requireWorkDb(dir);
    return openFile(findDbf(dir, table), mode);
}

Table Table::openFile(const fs::path& dbf, Mode mode) {
    auto impl = std::make_unique<Impl>();
    impl->path = dbf;
    impl->displayName = dbf.string();
    impl->mode = mode;

    // Lock, then make sure the locked file is still the one under the name: a writer that
    // was closing may have just moved a new file into place.
    platform::FileInfo locked;
    for (int attempt = 0;; ++attempt) {
        platform::File file;
        if (const int error = platform::openForReading(dbf, file); error != 0) {
            if (error == ENOENT) throw fileError("No existe la tabla", impl->displayName);
            if (error == EWOULDBLOCK)
                throw fileError("La tabla está en uso por otro programa", impl->displayName);
            throw fileError("No se puede abrir la tabla", impl->displayName, reasonText(error));
        }
        if (const int error = platform::lock(file, mode == Mode::Exclusive); error != 0) {
            if (error == EWOULDBLOCK)
                throw fileError("La tabla está en uso por otro programa", impl->displayName);
            throw fileError("No se puede bloquear la tabla", impl->displayName, reasonText(error));
        }
        platform::FileInfo named;
        if (platform::describe(file, locked) != 0)
            throw fileError("No se puede abrir la tabla", impl->displayName);
        if (platform::describe(dbf, named) == 0 && named.identity == locked.identity) {
            impl->lock = std::move(file);
            break;
        }
        if (attempt >= 10)
            throw fileError("La tabla está en uso por otro programa", impl->displayName);
    }
    impl->fileMode = locked.permissions;
    impl->identity = locked.identity;

    std::string bytes;
    if (const int error = platform::readAll(impl->lock, bytes); error != 0)
        throw fileError("No se puede leer la tabla", impl->displayName, reasonText(error));

    impl->layout = dbf::parse(bytes, impl->displayName);
    impl->count = impl->layout.recordCount;
    impl->records =
        bytes.substr(impl->layout.headerLength, impl->count * impl->layout.recordLength);
    for (std::size_t i = 0; i < impl->layout.fields.size(); ++i)
        impl->fieldByName.emplace(upperAscii(impl->layout.fields[i].name), i);

    if (impl->layout.hasProductionMdx) {
        const fs::path mdxFile =
            resolveIgnoringCase(dbf.parent_path(), dbf.stem().string() + ".MDX");
        std::error_code ec;
        if (fs::exists(mdxFile, ec))
            impl->mdxTags = mdx::readTags(mdxFile, impl->layout);
        else
            impl->mdxTags.emplace();
    }
    impl->skipDeletedFrom(0);
    return Table(std::move(impl));
}

void Table::close() {
    if (!impl_ || !impl_->lock.isOpen()) return;
    try {
        impl_->postPending();
        if (impl_->dirty) impl_->writeFiles();
    } catch (...) {
        impl_->lock.close();
        throw;
    }
    impl_->lock.close();
}

bool Table::isOpen() const { return impl_ && impl_->lock.isOpen(); }
const fs::path& Table::path() const { return impl_->path; }

void Table::first() {
    impl_->postPending();
    impl_->skipDeletedFrom(0);
}

void Table::next() {
    impl_->postPending();
    if (impl_->pos < impl_->count) impl_->skipDeletedFrom(impl_->pos + 1);
}

bool Table::eof() const {
    return impl_->state == Impl::State::Browse && impl_->pos >= impl_->count;
}
std::size_t Table::recordCount() const { return impl_->count; }
std::size_t Table::position() const { return impl_->pos; }

bool Table::isDeleted() const {
    const char* rec = impl_->current();
    return rec != nullptr && rec[0] == '*';
}

void Table::append() {
    impl_->requireOpen();
    impl_->postPending();
    impl_->buffer.assign(impl_->layout.recordLength, ' ');
    for (const dbf::Field& f : impl_->layout.fields)
        blankField(f, impl_->buffer.data() + 1 + f.offset);
    impl_->state = Impl::State::Insert;
    impl_->pos = impl_->count;
}

void Table::edit() {
    impl_->requireOpen();
    impl_->postPending();
    if (impl_->pos >= impl_->count)
        throw fileError("No hay registro actual que modificar", impl_->displayName);
    impl_->buffer.assign(impl_->record(impl_->pos), impl_->layout.recordLength);
    impl_->state = Impl::State::Edit;
}

void Table::setNull(std::string_view field) {
    const dbf::Field& f = impl_->field(field);
    blankField(f, impl_->writable(f));
}

void Table::setText(std::string_view field, std::string_view cp1252value) {
    const std::string_view value = cp1252value;
    const dbf::Field& f = impl_->field(field);
    switch (f.type) {
        case 'L': {
            std::string_view trimmed = codepage::trim(value);
            if (trimmed.empty()) return setNull(field);
            char c = trimmed.front();
            if (std::strchr("TtYy", c) != nullptr) return setLogical(field, true);
            if (std::strchr("FfNn", c) != nullptr) return setLogical(field, false);
            throw Error("'" + codepage::toUtf8(value) + "' no es un valor lógico válido");
        }
        case 'I':
        case '+':
        case 'O':
        case 'N':
        case 'F': {
            const std::string_view number = codepage::trim(value);
            if (number.empty()) return setNull(field);
            if (f.type == 'I' || f.type == '+') return impl_->putInteger(f, convert::toInt(number));
            return impl_->putFloat(f, convert::toFloat(number));
        }
        default:
            impl_->putText(f, value);
    }
}

void Table::setInteger(std::string_view field, std::int32_t value) {
    impl_->putInteger(impl_->field(field), value);
}

void Table::setFloat(std::string_view field, double value) {
    impl_->putFloat(impl_->field(field), value);
}

void Table::setLogical(std::string_view field, bool value) {
    const dbf::Field& f = impl_->field(field);
    char* at = impl_->writable(f);
    if (f.type == 'L' || f.type == 'C') {
        at[0] = value ? 'T' : 'F';
        if (f.type == 'C') std::memset(at + 1, ' ', f.length - 1);
        return;
    }
    throw Error("El campo " + codepage::toUtf8(f.name) + " no es lógico: " + impl_->displayName);
}

void Table::post() { impl_->postPending(); }

std::string Table::asText(std::string_view field) const {
    const dbf::Field& f = impl_->field(field);
    const char* rec = impl_->current();
    return rec != nullptr ? impl_->text(f, rec) : std::string();
}

std::optional<std::int32_t> Table::asInteger(std::string_view field) const {
    const dbf::Field& f = impl_->field(field);
    const char* rec = impl_->current();
    if (rec == nullptr) return std::nullopt;
    if (f.type == 'I' || f.type == '+') return dbf::decodeInteger(rec + 1 + f.offset);
    if (f.type == 'N' || f.type == 'F' || f.type == 'O') {
        std::optional<double> value = impl_->number(f, rec);
        if (!value) return std::nullopt;
        return roundedLong(*value);
    }
    std::string value = impl_->text(f, rec);
    if (codepage::trim(value).empty()) return std::nullopt;
    return convert::toInt(value);
}

std::optional<double> Table::asFloat(std::string_view field) const {
    const dbf::Field& f = impl_->field(field);
    const char* rec = impl_->current();
    return rec != nullptr ? impl_->number(f, rec) : std::nullopt;
}

std::optional<bool> Table::asLogical(std::string_view field) const {
    const dbf::Field& f = impl_->field(field);
    const char* rec = impl_->current();
    if (rec == nullptr) return std::nullopt;
    std::string value = f.type == 'L' ? std::string(1, rec[1 + f.offset]) : impl_->text(f, rec);
    std::string_view trimmed = codepage::trim(value);
    if (trimmed.empty() || trimmed == "?") return std::nullopt;
    if (std::strchr("TtYy", trimmed.front()) != nullptr) return true;
    if (std::strchr("FfNn", trimmed.front()) != nullptr) return false;
    throw Error("'" + codepage::toUtf8(value) + "' no es un valor lógico válido");
}

bool Table::hasField(std::string_view field) const {
    return impl_->fieldByName.contains(upperAscii(field));
}

std::vector<FieldDef> Table::fields() const {
    std::vector<FieldDef> out;
    for (const dbf::Field& f : impl_->layout.fields) {
        FieldDef def{f.name, FieldType::Text, static_cast<int>(f.length)};
        if (f.type == 'L') def = {f.name, FieldType::Logical, 0};
        if (f.type == 'I') def = {f.name, FieldType::Integer, 0};
        if (f.type == 'O') def = {f.name, FieldType::Float, 0};
        out.push_back(def);
    }
    return out;
}

bool Table::lookup(std::string_view field, std::string_view key) {
    const std::size_t fieldNo = impl_->fieldNumber(field);
    impl_->postPending();
    LookupIndex& index = impl_->lookupIndex(fieldNo);
    auto found = index.find(std::string(key));
    if (found == index.end() || found->second.empty()) return false;
    impl_->pos = found->second.front();
    return true;
}

}  // namespace lindavex::store
