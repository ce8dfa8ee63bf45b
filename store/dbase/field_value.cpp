#include "store/dbase/field_value.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <limits>

#include "store/codepage.h"
#include "store/convert.h"
#include "store/error.h"

namespace lindavex::store::field_value {
namespace {

using dbf::Storage;

dbf::TypeInfo infoOf(const dbf::Field& f) {
    // Fields come from parse() or toStored(), which admit known letters only.
    return dbf::storageOf(f.type).value_or(dbf::TypeInfo{Storage::Memo, 0, ' '});
}

Storage storageOf(const dbf::Field& f) { return infoOf(f).storage; }

std::string nameOf(const dbf::Field& f) { return codepage::toUtf8(f.name); }

[[noreturn]] void notAnInteger(const std::string& utf8text) {
    throw Error("'" + utf8text + "' is not a valid integer value");
}

// A number as a long, rounded half to even as the engine's integer fields do.
std::int32_t roundedLong(double value) {
    const double rounded = std::nearbyint(value);
    if (!(rounded > std::numeric_limits<std::int32_t>::min() &&
          rounded <= std::numeric_limits<std::int32_t>::max()))
        notAnInteger(convert::plainDecimal(value));
    return static_cast<std::int32_t>(rounded);
}

// A number's plain decimal form: of digits already in that form (no leading zero but a lone
// "0"), those digits.
std::string digitsAsText(const dbf::Field& f, const char* at, double value) {
    if (storageOf(f) == Storage::Digits) {
        const std::string_view trimmed = codepage::trim(std::string_view(at, f.length));
        if (convert::plainDigits(trimmed) && (trimmed.size() == 1 || trimmed.front() != '0'))
            return std::string(trimmed);
    }
    return convert::plainDecimal(value);
}

std::string_view trimRight(std::string_view text) {
    // Eight bytes at a time from the end: a field is mostly the blanks after a short text. A
    // byte with no bit set but the space's is a blank (a space or a NUL).
    constexpr std::uint64_t kNotBlankBits = 0xDFDFDFDFDFDFDFDFU;
    while (std::endian::native == std::endian::little && text.size() >= sizeof(std::uint64_t)) {
        std::uint64_t word = 0;
        std::memcpy(&word, text.data() + text.size() - sizeof word, sizeof word);
        const std::uint64_t notBlank = word & kNotBlankBits;
        if (notBlank != 0) {
            // The highest byte that is not blank is the last character kept.
            text.remove_suffix(static_cast<std::size_t>(std::countl_zero(notBlank)) / 8);
            return text;
        }
        text.remove_suffix(sizeof word);
    }
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

std::string timestampText(const char* at) {
    std::optional<double> ms = dbf::decodeTimestamp(at);
    constexpr double kDay = 86400000.0;
    if (!ms || *ms < kDay || *ms > 1e17) return {};
    const double days = std::floor(*ms / kDay);
    int year = 0;
    int month = 0;
    int dayOfMonth = 0;
    civilFromJulianDay(static_cast<long>(days) + dbf::kJulianDayOfDayZero, year, month, dayOfMonth);
    const auto seconds = static_cast<long>((*ms - days * kDay) / 1000);
    char out[40];
    std::snprintf(out, sizeof out, "%04d-%02d-%02d %02ld:%02ld:%02ld", year, month, dayOfMonth,
                  seconds / 3600, seconds / 60 % 60, seconds % 60);
    return out;
}

void writeDigits(const dbf::Field& f, char* at, double value, const std::string& table) {
    char digits[400];
    int n = std::snprintf(digits, sizeof digits, "%*.*f", static_cast<int>(f.length),
                          static_cast<int>(f.decimals), value);
    if (n < 0 || static_cast<std::size_t>(n) > f.length)
        throw namedFileError(
            "El valor " + convert::plainDecimal(value) + " no cabe en el campo " + nameOf(f),
            table);
    std::memcpy(at, digits, f.length);
}

}  // namespace

dbf::Field toStored(const FieldDef& def, const std::string& table) {
    dbf::Field field;
    field.name = def.name;
    if (def.name.empty() || def.name.size() > 31)
        throw namedFileError(
            "Nombre de campo no válido '" + codepage::toUtf8(def.name) + "' en la tabla", table);
    switch (def.type) {
        case FieldType::Text:
            if (def.width < 1 || def.width > 254)
                throw namedFileError("Anchura no válida del campo " + def.name + " en la tabla",
                                     table);
            field.type = 'C';
            field.length = static_cast<std::size_t>(def.width);
            return field;
        case FieldType::Logical:
            field.type = 'L';
            break;
        case FieldType::Integer:
            field.type = 'I';
            break;
        case FieldType::Float:
            field.type = 'O';
            break;
    }
    field.length = infoOf(field).fixedLength;
    return field;
}

FieldDef fromStored(const dbf::Field& field) {
    switch (field.type) {
        case 'L':
            return {field.name, FieldType::Logical, 0};
        case 'I':
            return {field.name, FieldType::Integer, 0};
        case 'O':
            return {field.name, FieldType::Float, 0};
        default:
            return {field.name, FieldType::Text, static_cast<int>(field.length)};
    }
}

std::string readText(const dbf::Field& f, const char* at, const std::string& table) {
    switch (storageOf(f)) {
        case Storage::Character:
        case Storage::Date:
            return std::string(trimRight(std::string_view(at, f.length)));
        case Storage::Digits:
        case Storage::BinaryInteger:
        case Storage::BinaryDouble: {
            std::optional<double> value = readNumber(f, at, table);
            return value ? digitsAsText(f, at, *value) : std::string();
        }
        case Storage::Logical:
            if (std::strchr("TtYy", *at) != nullptr && *at != '\0') return "True";
            if (std::strchr("FfNn", *at) != nullptr && *at != '\0') return "False";
            return {};
        case Storage::Timestamp:
            return timestampText(at);
        case Storage::Memo:
            break;
    }
    throw namedFileError("El campo " + nameOf(f) + " es de un tipo que no se puede leer (" +
                             std::string(1, f.type) + ")",
                         table);
}

std::string_view readTextView(const dbf::Field& f, const char* at, const std::string& table,
                              std::string& scratch) {
    const Storage storage = storageOf(f);
    if (storage == Storage::Character || storage == Storage::Date)
        return trimRight(std::string_view(at, f.length));
    scratch = readText(f, at, table);
    return scratch;
}

std::optional<double> readNumber(const dbf::Field& f, const char* at, const std::string& table) {
    switch (storageOf(f)) {
        case Storage::BinaryInteger: {
            std::optional<std::int32_t> value = dbf::decodeInteger(at);
            if (!value) return std::nullopt;
            return static_cast<double>(*value);
        }
        case Storage::BinaryDouble:
            return dbf::decodeDouble(at);
        case Storage::Digits: {
            const std::string_view stored(at, f.length);
            const std::string_view trimmed = codepage::trim(stored);
            if (trimmed.empty()) return std::nullopt;
            if (const std::optional<double> value = convert::plainDigits(trimmed)) return value;
            return convert::toFloat(stored);
        }
        default: {
            // Numbers asked of text fields.
            const std::string stored = readText(f, at, table);
            if (codepage::trim(stored).empty()) return std::nullopt;
            return convert::toFloat(stored);
        }
    }
}

NumberAndText readNumberAndText(const dbf::Field& f, const char* at, const std::string& table) {
    switch (storageOf(f)) {
        case Storage::Digits:
        case Storage::BinaryInteger:
        case Storage::BinaryDouble: {
            // Stored as a number: its text is its plain decimal form.
            NumberAndText read{readNumber(f, at, table), {}};
            if (read.value) read.text = digitsAsText(f, at, *read.value);
            return read;
        }
        default: {
            NumberAndText read{std::nullopt, readText(f, at, table)};
            if (!codepage::trim(read.text).empty()) read.value = convert::toFloat(read.text);
            return read;
        }
    }
}

IntegerAndText readIntegerAndText(const dbf::Field& f, const char* at, const std::string& table) {
    switch (storageOf(f)) {
        case Storage::Digits:
        case Storage::BinaryInteger:
        case Storage::BinaryDouble: {
            // As readInteger, from the number read once; the text from the same number.
            std::optional<double> number;
            if (storageOf(f) != Storage::Digits) {
                number = readNumber(f, at, table);
            } else {
                try {
                    number = readNumber(f, at, table);
                } catch (const Error&) {
                    notAnInteger(codepage::toUtf8(std::string_view(at, f.length)));
                }
            }
            if (!number) return {};
            return {storageOf(f) == Storage::BinaryInteger ? static_cast<std::int32_t>(*number)
                                                           : roundedLong(*number),
                    digitsAsText(f, at, *number)};
        }
        default: {
            IntegerAndText read{std::nullopt, readText(f, at, table)};
            if (!codepage::trim(read.text).empty()) read.value = convert::toInt(read.text);
            return read;
        }
    }
}

std::optional<std::int32_t> readInteger(const dbf::Field& f, const char* at,
                                        const std::string& table) {
    switch (storageOf(f)) {
        case Storage::BinaryInteger:
            return dbf::decodeInteger(at);
        case Storage::BinaryDouble: {
            std::optional<double> value = readNumber(f, at, table);
            if (!value) return std::nullopt;
            return roundedLong(*value);
        }
        case Storage::Digits: {
            // Asked for an integer, digits that are no number say so as an integer would.
            std::optional<double> value;
            try {
                value = readNumber(f, at, table);
            } catch (const Error&) {
                notAnInteger(codepage::toUtf8(std::string_view(at, f.length)));
            }
            if (!value) return std::nullopt;
            return roundedLong(*value);
        }
        default: {
            std::string value = readText(f, at, table);
            if (codepage::trim(value).empty()) return std::nullopt;
            return convert::toInt(value);
        }
    }
}

std::optional<bool> readLogical(const dbf::Field& f, const char* at, const std::string& table) {
    std::string value =
        storageOf(f) == Storage::Logical ? std::string(1, *at) : readText(f, at, table);
    std::string_view trimmed = codepage::trim(value);
    if (trimmed.empty() || trimmed == "?") return std::nullopt;
    if (std::strchr("TtYy", trimmed.front()) != nullptr) return true;
    if (std::strchr("FfNn", trimmed.front()) != nullptr) return false;
    throw Error("'" + codepage::toUtf8(value) + "' no es un valor lógico válido");
}

void writeBlank(const dbf::Field& f, char* at) { std::memset(at, infoOf(f).blank, f.length); }

void writeText(const dbf::Field& f, char* at, std::string_view value, const std::string& table) {
    const Storage storage = storageOf(f);
    if (storage != Storage::Character && storage != Storage::Date)
        throw namedFileError("El campo " + nameOf(f) + " no admite ese valor", table);
    const std::size_t n = std::min(value.size(), f.length);
    std::memcpy(at, value.data(), n);
    std::memset(at + n, ' ', f.length - n);
}

void writeInteger(const dbf::Field& f, char* at, std::int32_t value, const std::string& table) {
    switch (storageOf(f)) {
        case Storage::BinaryInteger:
            // The lowest long has the same bytes as null; it cannot be stored.
            if (value == std::numeric_limits<std::int32_t>::min())
                throw namedFileError(
                    "El valor " + std::to_string(value) + " no cabe en el campo " + nameOf(f),
                    table);
            dbf::encodeInteger(value, at);
            return;
        case Storage::BinaryDouble:
        case Storage::Digits:
            writeFloat(f, at, value, table);
            return;
        default:
            writeText(f, at, std::to_string(value), table);
    }
}

void writeFloat(const dbf::Field& f, char* at, double value, const std::string& table) {
    if (std::isnan(value)) throw Error("'NAN' is not a valid floating point value");
    switch (storageOf(f)) {
        case Storage::BinaryDouble:
            dbf::encodeDouble(value, at);
            return;
        case Storage::BinaryInteger:
            writeInteger(f, at, roundedLong(value), table);
            return;
        case Storage::Digits:
            writeDigits(f, at, value, table);
            return;
        default:
            writeText(f, at, convert::plainDecimal(value), table);
    }
}

void writeLogical(const dbf::Field& f, char* at, bool value, const std::string& table) {
    const Storage storage = storageOf(f);
    if (storage != Storage::Logical && storage != Storage::Character)
        throw namedFileError("El campo " + nameOf(f) + " no es lógico", table);
    at[0] = value ? 'T' : 'F';
    if (storage == Storage::Character) std::memset(at + 1, ' ', f.length - 1);
}

void writeParsed(const dbf::Field& f, char* at, std::string_view value, const std::string& table) {
    switch (storageOf(f)) {
        case Storage::Logical: {
            std::string_view trimmed = codepage::trim(value);
            if (trimmed.empty()) return writeBlank(f, at);
            char c = trimmed.front();
            if (std::strchr("TtYy", c) != nullptr) return writeLogical(f, at, true, table);
            if (std::strchr("FfNn", c) != nullptr) return writeLogical(f, at, false, table);
            throw Error("'" + codepage::toUtf8(value) + "' no es un valor lógico válido");
        }
        case Storage::BinaryInteger:
        case Storage::BinaryDouble:
        case Storage::Digits: {
            const std::string_view number = codepage::trim(value);
            if (number.empty()) return writeBlank(f, at);
            if (storageOf(f) == Storage::BinaryInteger)
                return writeInteger(f, at, convert::toInt(number), table);
            return writeFloat(f, at, convert::toFloat(number), table);
        }
        default:
            writeText(f, at, value, table);
    }
}

}  // namespace lindavex::store::field_value
