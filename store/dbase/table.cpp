// The cursor over a table held in memory: walking, appending, editing, posting and the lookup
// index. What the bytes of a field mean is field_value.cpp's; where the files are, their lock
// and how they are written back is table_files.cpp's.
#include "store/dbase/table.h"

#include <algorithm>
#include <cstring>
#include <functional>
#include <unordered_map>
#include <utility>

#include "store/codepage.h"
#include "store/dbase/dbf_format.h"
#include "store/dbase/field_value.h"
#include "store/dbase/table_files.h"
#include "store/dbase/table_io.h"
#include "store/error.h"

namespace lindavex::store {
namespace fs = std::filesystem;

// Keys are looked up as they are given, with no string made for the asking.
struct TextHash {
    using is_transparent = void;
    std::size_t operator()(std::string_view text) const {
        return std::hash<std::string_view>()(text);
    }
};

// Index of one field's texts for lookup: each text maps to the positions of the live records
// holding it, ascending, so the first match is the front.
using LookupIndex =
    std::unordered_map<std::string, std::vector<std::size_t>, TextHash, std::equal_to<>>;

namespace {

// Field names compare as upperAscii makes them: ASCII letters in either case.
bool sameAsciiName(std::string_view a, std::string_view b) {
    const auto upper = [](char c) {
        return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c;
    };
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(),
                                              [&](char x, char y) { return upper(x) == upper(y); });
}

}  // namespace

struct Table::Impl {
    enum class State { Browse, Insert, Edit };

    fs::path path;
    std::string displayName;
    Mode mode = Mode::Shared;
    table_io::LockedFile file;  // the lock, and the file's identity as opened
    bool unwritten = false;     // made by create(), with no files yet
    dbf::Layout layout;
    std::string records;  // recordCount * recordLength bytes
    std::size_t count = 0;
    std::size_t pos = 0;
    State state = State::Browse;
    std::string buffer;  // the record being appended or edited
    bool dirty = false;
    // Tags of the production index to rebuild on writing; no value when it cannot be rebuilt.
    std::optional<std::vector<IndexDef>> mdxTags{std::in_place};
    std::vector<std::unique_ptr<LookupIndex>> lookups;  // by field number, once built
    // The last lookup and its answer: records in a row asking for the same key, as the sessions
    // of one class do, are answered without the index. Any change to the records forgets it.
    // The key is a view of the index's own key when found (the index keeps its keys in place
    // until a change, which forgets the answer), or of `missing`.
    struct LastLookup {
        std::size_t fieldNo = Column::kLacking;
        std::string_view key;
        std::string missing;
        std::optional<std::size_t> found;
    } last;
    // A record with every field unset, which append() starts from; made on the first append.
    std::string blankRecord;

    bool isOpen() const { return unwritten || file.lock.isOpen(); }

    const char* record(std::size_t at) const { return records.data() + at * layout.recordLength; }
    bool deleted(std::size_t at) const { return record(at)[0] == '*'; }

    // The current record's bytes, or nullptr where there is none (end of table).
    const char* current() const {
        if (state != State::Browse) return buffer.data();
        return pos < count ? record(pos) : nullptr;
    }

    // A field by its name: the few names of the table are compared in place, with no key made
    // for the asking. Loops name their fields once (Table::column).
    Column column(std::string_view name) const {
        for (std::size_t i = 0; i < layout.fields.size(); ++i)
            if (sameAsciiName(layout.fields[i].name, name)) return {i, {}};
        return {Column::kLacking, std::string(name)};
    }
    std::size_t fieldNumber(const Column& column) const {
        if (column.number >= layout.fields.size())
            throw Error("Field '" + codepage::toUtf8(column.lacking) +
                        "' not found: " + displayName);
        return column.number;
    }
    const dbf::Field& field(const Column& column) const {
        return layout.fields[fieldNumber(column)];
    }
    const dbf::Field& field(std::string_view name) const { return field(column(name)); }

    // The bytes of one field in a record.
    static const char* at(const dbf::Field& f, const char* rec) { return rec + 1 + f.offset; }

    char* writable(const dbf::Field& f) {
        if (state == State::Browse)
            throw namedFileError("La tabla no está en modo de edición ni de inserción",
                                 displayName);
        return buffer.data() + 1 + f.offset;
    }

    std::string text(const dbf::Field& f, const char* rec) const {
        return field_value::readText(f, at(f, rec), displayName);
    }

    void postPending();
    void skipDeletedFrom(std::size_t from) {
        while (from < count && deleted(from)) ++from;
        pos = from;
    }
    LookupIndex& lookupIndex(std::size_t fieldNo);
    void requireOpen() const {
        if (!isOpen()) throw namedFileError("La tabla está cerrada", displayName);
    }
};

LookupIndex& Table::Impl::lookupIndex(std::size_t fieldNo) {
    if (lookups.size() <= fieldNo) lookups.resize(layout.fields.size());
    if (lookups[fieldNo]) return *lookups[fieldNo];
    auto index = std::make_unique<LookupIndex>();
    const dbf::Field& f = layout.fields[fieldNo];
    for (std::size_t r = 0; r < count; ++r)
        if (!deleted(r)) (*index)[text(f, record(r))].push_back(r);
    return *(lookups[fieldNo] = std::move(index));
}

void Table::Impl::postPending() {
    if (state == State::Browse) return;
    last.fieldNo = Column::kLacking;
    if (state == State::Insert) {
        const std::size_t r = count;
        records += buffer;
        ++count;
        pos = r;
        for (std::size_t fieldNo = 0; fieldNo < lookups.size(); ++fieldNo)
            if (lookups[fieldNo] && !deleted(r))
                (*lookups[fieldNo])[text(layout.fields[fieldNo], record(r))].push_back(r);
    } else {
        const std::size_t r = pos;
        for (std::size_t fieldNo = 0; fieldNo < lookups.size(); ++fieldNo) {
            if (!lookups[fieldNo]) continue;
            LookupIndex& index = *lookups[fieldNo];
            const dbf::Field& f = layout.fields[fieldNo];
            std::string before = text(f, record(r));
            std::string after = text(f, buffer.data());
            if (before == after && deleted(r) == (buffer[0] == '*')) continue;
            if (!deleted(r)) {
                auto& positions = index[before];
                auto it = std::lower_bound(positions.begin(), positions.end(), r);
                if (it != positions.end() && *it == r) positions.erase(it);
                if (positions.empty()) index.erase(before);
            }
            if (buffer[0] != '*') {
                auto& positions = index[after];
                positions.insert(std::lower_bound(positions.begin(), positions.end(), r), r);
            }
        }
        std::memcpy(records.data() + r * layout.recordLength, buffer.data(), layout.recordLength);
    }
    state = State::Browse;
    buffer.clear();
    dirty = true;
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

Table Table::create(const fs::path& dir, std::string_view table,
                    const std::vector<FieldDef>& fields, const std::vector<IndexDef>& indexes) {
    requireWorkDb(dir);
    auto impl = std::make_unique<Impl>();
    impl->path = dbfPath(dir, table);
    impl->displayName = utf8Path(impl->path);
    table_io::NewTable made = table_io::newTable(impl->path, fields, indexes, impl->displayName);
    impl->layout = std::move(made.layout);
    impl->mdxTags = std::move(made.tags);
    // Nobody else is in its folder: its files are first written when it is closed.
    impl->unwritten = true;
    return Table(std::move(impl));
}

Table Table::open(const fs::path& dir, std::string_view table, Mode mode) {
    requireWorkDb(dir);
    return openFile(findDbf(dir, table), mode);
}

Table Table::openFile(const fs::path& dbf, Mode mode) {
    auto impl = std::make_unique<Impl>();
    impl->path = dbf;
    impl->displayName = utf8Path(dbf);
    impl->mode = mode;
    impl->file = table_io::openLocked(dbf, mode == Mode::Exclusive, impl->displayName);
    impl->layout = table_io::readLayout(impl->file, impl->displayName);
    impl->count = impl->layout.recordCount;
    // Only the records are read (a table can be tens of megabytes), into their own buffer.
    impl->records = table_io::readRecords(impl->file, impl->layout, impl->displayName);
    impl->mdxTags = table_io::productionTags(dbf, impl->layout);
    impl->skipDeletedFrom(0);
    return Table(std::move(impl));
}

struct HeldTable::Impl {
    table_io::LockedFile file;
};

HeldTable::HeldTable(std::unique_ptr<Impl> impl) : impl_(std::move(impl)) {}
HeldTable::HeldTable(HeldTable&&) noexcept = default;
HeldTable& HeldTable::operator=(HeldTable&&) noexcept = default;
HeldTable::~HeldTable() = default;

HeldTable HeldTable::open(const fs::path& dir, std::string_view table) {
    requireWorkDb(dir);
    const fs::path dbf = findDbf(dir, table);
    const std::string displayName = utf8Path(dbf);
    auto impl = std::make_unique<Impl>();
    impl->file = table_io::openLocked(dbf, true, displayName);
    (void)table_io::readLayout(impl->file, displayName);
    return HeldTable(std::move(impl));
}

void HeldTable::close() {
    if (impl_) impl_->file.lock.close();
}

bool HeldTable::isOpen() const { return impl_ && impl_->file.lock.isOpen(); }

void Table::close() {
    if (!impl_ || !impl_->isOpen()) return;
    const bool created = std::exchange(impl_->unwritten, false);
    try {
        impl_->postPending();
        if (created)
            table_io::writeCreated(impl_->path, impl_->layout, impl_->records, impl_->count,
                                   impl_->mdxTags, impl_->displayName);
        else if (impl_->dirty)
            table_io::writePair(impl_->path, impl_->file, impl_->layout, impl_->records,
                                impl_->count, impl_->mdxTags, impl_->displayName);
    } catch (...) {
        impl_->file.lock.close();
        throw;
    }
    impl_->file.lock.close();
}

bool Table::isOpen() const { return impl_ && impl_->isOpen(); }
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

void Table::reserve(std::size_t moreRecords) {
    impl_->requireOpen();
    impl_->records.reserve(impl_->records.size() + moreRecords * impl_->layout.recordLength);
}

void Table::append() {
    impl_->requireOpen();
    impl_->postPending();
    std::string& blank = impl_->blankRecord;
    if (blank.empty()) {
        blank.assign(impl_->layout.recordLength, ' ');
        for (const dbf::Field& f : impl_->layout.fields)
            field_value::writeBlank(f, blank.data() + 1 + f.offset);
    }
    impl_->buffer.assign(blank);
    impl_->state = Impl::State::Insert;
    impl_->pos = impl_->count;
}

void Table::edit() {
    impl_->requireOpen();
    impl_->postPending();
    if (impl_->pos >= impl_->count)
        throw namedFileError("No hay registro actual que modificar", impl_->displayName);
    impl_->buffer.assign(impl_->record(impl_->pos), impl_->layout.recordLength);
    impl_->state = Impl::State::Edit;
}

void Table::setNull(std::string_view field) { setNull(column(field)); }
void Table::setText(std::string_view field, std::string_view cp1252value) {
    setText(column(field), cp1252value);
}
void Table::setInteger(std::string_view field, std::int32_t value) {
    setInteger(column(field), value);
}
void Table::setFloat(std::string_view field, double value) { setFloat(column(field), value); }
void Table::setLogical(std::string_view field, bool value) { setLogical(column(field), value); }

void Table::setNull(const Column& field) {
    const dbf::Field& f = impl_->field(field);
    field_value::writeBlank(f, impl_->writable(f));
}

void Table::setText(const Column& field, std::string_view cp1252value) {
    const dbf::Field& f = impl_->field(field);
    field_value::writeParsed(f, impl_->writable(f), cp1252value, impl_->displayName);
}

void Table::setInteger(const Column& field, std::int32_t value) {
    const dbf::Field& f = impl_->field(field);
    field_value::writeInteger(f, impl_->writable(f), value, impl_->displayName);
}

void Table::setFloat(const Column& field, double value) {
    const dbf::Field& f = impl_->field(field);
    field_value::writeFloat(f, impl_->writable(f), value, impl_->displayName);
}

void Table::setLogical(const Column& field, bool value) {
    const dbf::Field& f = impl_->field(field);
    field_value::writeLogical(f, impl_->writable(f), value, impl_->displayName);
}

void Table::post() { impl_->postPending(); }

Table::Column Table::column(std::string_view field) const { return impl_->column(field); }

std::string Table::asText(std::string_view field) const { return asText(column(field)); }

std::string Table::asText(const Column& field) const {
    const dbf::Field& f = impl_->field(field);
    const char* rec = impl_->current();
    return rec != nullptr ? impl_->text(f, rec) : std::string();
}

std::string_view Table::asTextView(const Column& field, std::string& scratch) const {
    const dbf::Field& f = impl_->field(field);
    const char* rec = impl_->current();
    if (rec == nullptr) return {};
    return field_value::readTextView(f, Impl::at(f, rec), impl_->displayName, scratch);
}

std::string Table::storedText(const Column& field) const {
    return std::string(codepage::trim(storedBytes(field)));
}

std::string_view Table::storedBytes(const Column& field) const {
    const dbf::Field& f = impl_->field(field);
    const char* rec = impl_->current();
    if (rec == nullptr) return {};
    return {Impl::at(f, rec), f.length};
}

std::optional<std::int32_t> Table::asInteger(std::string_view field) const {
    return asInteger(column(field));
}

std::optional<std::int32_t> Table::asInteger(const Column& field) const {
    const dbf::Field& f = impl_->field(field);
    const char* rec = impl_->current();
    if (rec == nullptr) return std::nullopt;
    return field_value::readInteger(f, Impl::at(f, rec), impl_->displayName);
}

std::optional<double> Table::asFloat(std::string_view field) const {
    return asFloat(column(field));
}

std::optional<double> Table::asFloat(const Column& field) const {
    const dbf::Field& f = impl_->field(field);
    const char* rec = impl_->current();
    if (rec == nullptr) return std::nullopt;
    return field_value::readNumber(f, Impl::at(f, rec), impl_->displayName);
}

Table::IntegerAndText Table::asIntegerAndText(const Column& field) const {
    const dbf::Field& f = impl_->field(field);
    const char* rec = impl_->current();
    if (rec == nullptr) return {};
    return field_value::readIntegerAndText(f, Impl::at(f, rec), impl_->displayName);
}

Table::NumberAndText Table::asFloatAndText(const Column& field) const {
    const dbf::Field& f = impl_->field(field);
    const char* rec = impl_->current();
    if (rec == nullptr) return {};
    return field_value::readNumberAndText(f, Impl::at(f, rec), impl_->displayName);
}

std::optional<bool> Table::asLogical(std::string_view field) const {
    const dbf::Field& f = impl_->field(field);
    const char* rec = impl_->current();
    if (rec == nullptr) return std::nullopt;
    return field_value::readLogical(f, Impl::at(f, rec), impl_->displayName);
}

bool Table::hasField(std::string_view field) const {
    return impl_->column(field).number != Column::kLacking;
}

std::vector<FieldDef> Table::fields() const {
    std::vector<FieldDef> out;
    for (const dbf::Field& f : impl_->layout.fields) out.push_back(field_value::fromStored(f));
    return out;
}

bool Table::lookup(std::string_view field, std::string_view key) {
    return lookup(column(field), key);
}

bool Table::lookup(const Column& field, std::string_view key) {
    const std::size_t fieldNo = impl_->fieldNumber(field);
    impl_->postPending();
    Impl::LastLookup& last = impl_->last;
    if (last.fieldNo != fieldNo || last.key != key) {
        LookupIndex& index = impl_->lookupIndex(fieldNo);
        auto found = index.find(key);
        last.fieldNo = fieldNo;
        last.found.reset();
        if (found != index.end()) {
            last.key = found->first;
            if (!found->second.empty()) last.found = found->second.front();
        } else {
            last.missing = key;
            last.key = last.missing;
        }
    }
    if (!last.found) return false;
    impl_->pos = *last.found;
    return true;
}

}  // namespace lindavex::store
