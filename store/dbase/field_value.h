#pragma once
// Values in a record's bytes: how each storage (dbf::storageOf) is read as text, number or
// logical and written from them. The cursor of table.cpp finds the bytes; this decides what
// they mean. `at` points at the field's first byte; `table` names the table in errors.
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "store/dbase/dbf_format.h"
#include "store/dbase/schema.h"

namespace lindavex::store::field_value {

// The stored field a definition asks for (the type letter each FieldType is written as), and
// the definition a stored field reads back as (letters outside FieldType read as Text).
dbf::Field toStored(const FieldDef& def, const std::string& table);
FieldDef fromStored(const dbf::Field& field);

// Text without trailing pad blanks; numbers in their plain decimal form; logicals "True" or
// "False"; timestamps "YYYY-MM-DD hh:mm:ss"; unset values empty.
std::string readText(const dbf::Field& f, const char* at, const std::string& table);
// The same text as a view: of the record's bytes for text fields, which hold it as it reads,
// else of `scratch`, where it is made.
std::string_view readTextView(const dbf::Field& f, const char* at, const std::string& table,
                              std::string& scratch);
// Numbers asked of a text field are converted and raise the conversion errors.
std::optional<double> readNumber(const dbf::Field& f, const char* at, const std::string& table);
std::optional<std::int32_t> readInteger(const dbf::Field& f, const char* at,
                                        const std::string& table);
// A number and its text read at once, with the values and errors that readInteger (or
// readNumber) and then readText give: a field read for both is decoded once.
using store::IntegerAndText;
using store::NumberAndText;
IntegerAndText readIntegerAndText(const dbf::Field& f, const char* at, const std::string& table);
NumberAndText readNumberAndText(const dbf::Field& f, const char* at, const std::string& table);
std::optional<bool> readLogical(const dbf::Field& f, const char* at, const std::string& table);

void writeBlank(const dbf::Field& f, char* at);  // null: blanks or zero bytes
void writeText(const dbf::Field& f, char* at, std::string_view value,
               const std::string& table);  // cut to the width
void writeInteger(const dbf::Field& f, char* at, std::int32_t value, const std::string& table);
void writeFloat(const dbf::Field& f, char* at, double value, const std::string& table);
void writeLogical(const dbf::Field& f, char* at, bool value, const std::string& table);
// A text given for any field: parsed for logical and number fields, blank text as null.
void writeParsed(const dbf::Field& f, char* at, std::string_view value, const std::string& table);

}  // namespace lindavex::store::field_value
