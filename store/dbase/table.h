#pragma once
// The cursor over a dBase table of the work database. Writes dBase level 7 (.DBF with 48-byte
// field descriptors, .MDX production index); reads levels III, IV, V and 7. Where the table's
// files are, and deleting them, is table_files.h's.
#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "store/dbase/schema.h"

namespace lindavex::store {

// An open table. Record positions are 0-based in natural (physical) order.
// Changes are kept in memory and written when the table is closed (or destroyed): the new
// file is written beside the old one, flushed and renamed into place, so a table file is
// never left torn. A table opened Exclusive holds an OS lock that excludes every other
// opener, in this process or another; Shared excludes only Exclusive openers.
class Table {
  public:
    enum class Mode { Shared, Exclusive };

    // A new empty table in a folder that only the caller writes (the first action's staging
    // folder, invariant 2 of table_swap.h), open. Its files are written when it is closed, and
    // then replace a table of that name there and its index; until then the folder is as it
    // was, and no lock is taken, as no other opener is looked for.
    static Table create(const std::filesystem::path& dir, std::string_view table,
                        const std::vector<FieldDef>& fields,
                        const std::vector<IndexDef>& indexes = {});
    static Table open(const std::filesystem::path& dir, std::string_view table, Mode mode);
    static Table openFile(const std::filesystem::path& dbf, Mode mode);

    Table(Table&&) noexcept;
    Table& operator=(Table&&) noexcept;
    ~Table();  // closes; errors while closing in a destructor are swallowed, call close()

    // Writes pending changes (and rebuilds the .MDX), releases the lock. Throws when another
    // shared opener wrote the table since it was read, rather than drop that opener's records.
    void close();
    bool isOpen() const;
    const std::filesystem::path& path() const;

    // Walking. Records carrying the deletion flag are skipped (recordCount() counts them).
    // Moving, append(), edit() and lookup() post a record being appended or edited first.
    void first();
    void next();
    bool eof() const;
    std::size_t recordCount() const;
    std::size_t position() const;
    bool isDeleted() const;  // the current record carries the deletion flag

    // Appending / editing: append() or edit(), then set*, then post(). A field is named by its
    // name, or by a Column named once (below) for a loop that writes record after record.
    struct Column;
    // Room for this many more records, for a writer that knows how many it will append: the
    // records then grow once instead of doubling their way there.
    void reserve(std::size_t moreRecords);
    void append();
    void edit();
    void setNull(std::string_view field);
    void setText(std::string_view field, std::string_view cp1252value);  // cut to the width
    void setInteger(std::string_view field, std::int32_t value);
    void setFloat(std::string_view field, double value);
    void setLogical(std::string_view field, bool value);
    void setNull(const Column& field);
    void setText(const Column& field, std::string_view cp1252value);
    void setInteger(const Column& field, std::int32_t value);
    void setFloat(const Column& field, double value);
    void setLogical(const Column& field, bool value);
    void post();

    // Reading the current record. Unset fields read as empty text and as no value.
    // Text has no trailing pad blanks; numbers read as text give their plain decimal form;
    // logicals read as text give "True" or "False".
    // Numbers asked of a text field are converted and raise the conversion errors.
    std::string asText(std::string_view field) const;
    std::optional<std::int32_t> asInteger(std::string_view field) const;
    std::optional<double> asFloat(std::string_view field) const;
    std::optional<bool> asLogical(std::string_view field) const;

    // A field named once, for reads, writes and lookups in a loop without finding it by name
    // each time. Using it does what naming the field does; a field the table lacks raises its
    // error when it is used, not when it is named.
    struct Column {
        std::size_t number = kLacking;  // of the field in the table
        std::string lacking;            // the name asked for, when the table lacks it
        static constexpr std::size_t kLacking = static_cast<std::size_t>(-1);
    };
    Column column(std::string_view field) const;
    std::string asText(const Column& field) const;
    // What asText gives, as a view for a loop that reads record after record: of the record
    // itself for a text field, valid until the table moves or changes; else of `scratch`.
    std::string_view asTextView(const Column& field, std::string& scratch) const;
    std::optional<std::int32_t> asInteger(const Column& field) const;
    std::optional<double> asFloat(const Column& field) const;
    // A field read for its number and its text alike, decoded once: what asInteger (asFloat)
    // and then asText give, with the same errors.
    using IntegerAndText = store::IntegerAndText;
    using NumberAndText = store::NumberAndText;
    IntegerAndText asIntegerAndText(const Column& field) const;
    NumberAndText asFloatAndText(const Column& field) const;
    // The field's characters as the file holds them, trimmed: for naming a value that does not
    // read as the type asked of it.
    std::string storedText(const Column& field) const;
    // The field's bytes exactly as the record holds them (empty past the end): what every read
    // of the field is made from, for a loop that keeps what it read by them.
    std::string_view storedBytes(const Column& field) const;
    bool lookup(const Column& field, std::string_view key);

    bool hasField(std::string_view field) const;
    std::vector<FieldDef> fields() const;  // as stored (types outside FieldType map to Text)

    // The first record in natural order whose field, read as text, equals key exactly
    // (whole value, case-sensitive). On success the table stands on that record.
    // Backed by an index built on first use and kept up to date by post().
    bool lookup(std::string_view field, std::string_view key);

  private:
    struct Impl;
    explicit Table(std::unique_ptr<Impl> impl);
    std::unique_ptr<Impl> impl_;
};

// A table held for exclusive use and never read: found, locked and its header checked as
// Table::open does, with the same errors, but its records are left in the file.
class HeldTable {
  public:
    static HeldTable open(const std::filesystem::path& dir, std::string_view table);

    HeldTable(HeldTable&&) noexcept;
    HeldTable& operator=(HeldTable&&) noexcept;
    ~HeldTable();  // lets go of the lock

    void close();
    bool isOpen() const;

  private:
    struct Impl;
    explicit HeldTable(std::unique_ptr<Impl> impl);
    std::unique_ptr<Impl> impl_;
};

}  // namespace lindavex::store
