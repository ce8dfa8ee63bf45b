#pragma once
// What a table is made of: its fields' names, types and widths, and its index tags. The cursor
// (table.h), the field values (field_value.h), the index (mdx.h) and the work tables'
// schemas (work_tables.h) all speak of tables in these terms.
#include <cstdint>
#include <optional>
#include <string>

namespace lindavex::store {

enum class FieldType {
    Text,     // C, width n, blank padded
    Logical,  // L
    Integer,  // I, 4-byte dBase 7 long
    Float,    // O, 8-byte dBase 7 double
};

struct FieldDef {
    std::string name;  // up to 31 characters
    FieldType type;
    int width = 0;  // text fields only
};

// One index tag in the production .MDX: ascending on one field, duplicates allowed.
struct IndexDef {
    std::string tag;
    std::string field;
};

// A field read for its number and its text alike, decoded once (Table::asIntegerAndText,
// asFloatAndText): no value where the field is unset.
struct IntegerAndText {
    std::optional<std::int32_t> value;
    std::string text;
};
struct NumberAndText {
    std::optional<double> value;
    std::string text;
};

}  // namespace lindavex::store
