#pragma once
// Byte layout of dBase table files: the header and field descriptors of levels III, IV, V
// (32-byte descriptors) and 7 (48-byte descriptors), and the binary number forms of level 7.
#include <array>
#include <cstdint>
#include <ctime>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace lindavex::store::dbf {

// Level 7 file header and descriptor sizes.
inline constexpr std::size_t kLevel7HeaderSize = 68;
inline constexpr std::size_t kLevel7DescriptorSize = 48;
inline constexpr std::size_t kLevel3HeaderSize = 32;
inline constexpr std::size_t kLevel3DescriptorSize = 32;
inline constexpr char kHeaderTerminator = 0x0D;
inline constexpr char kEndOfFile = 0x1A;
inline constexpr std::size_t kMdxFlagOffset = 28;
inline constexpr std::size_t kLanguageDriverOffset = 29;
inline constexpr std::size_t kLanguageDriverNameOffset = 32;

// Windows ANSI, code page 1252: the language driver id and name written into every table.
inline constexpr std::uint8_t kLanguageDriverId = 0x58;
inline constexpr std::string_view kLanguageDriverName = "DBWINWE0";

// How a field type holds its value in the record's bytes. The type letter is read in one place,
// storageOf(); everything else asks for the storage.
enum class Storage {
    Character,      // C: code page text, blank padded
    Date,           // D: eight digits, YYYYMMDD, kept as text
    Digits,         // N, F: a number written as blank-padded decimal digits
    BinaryInteger,  // I, +: level 7 long (encodeInteger)
    BinaryDouble,   // O: level 7 double (encodeDouble)
    Logical,        // L: one letter, T/t/Y/y or F/f/N/n, blank or '?' when unset
    Timestamp,      // @: level 7 timestamp (decodeTimestamp)
    Memo,           // M, B, G: a block number in a memo file this engine does not read
};

struct TypeInfo {
    Storage storage;
    std::size_t fixedLength;  // 0 when any width is valid
    char blank;               // the byte an unset value is filled with
};

namespace detail {

constexpr std::optional<TypeInfo> typeInfo(char type) {
    switch (type) {
        case 'C':
            return TypeInfo{Storage::Character, 0, ' '};
        case 'D':
            return TypeInfo{Storage::Date, 8, ' '};
        case 'N':
        case 'F':
            return TypeInfo{Storage::Digits, 0, ' '};
        case 'I':
        case '+':
            return TypeInfo{Storage::BinaryInteger, 4, '\0'};
        case 'O':
            return TypeInfo{Storage::BinaryDouble, 8, '\0'};
        case 'L':
            return TypeInfo{Storage::Logical, 1, ' '};
        case '@':
            return TypeInfo{Storage::Timestamp, 8, '\0'};
        case 'M':
        case 'B':
        case 'G':
            return TypeInfo{Storage::Memo, 0, ' '};
        default:
            return std::nullopt;
    }
}

// Every byte's storage, worked out when compiling: every field read or written asks it.
inline constexpr std::array<std::optional<TypeInfo>, 256> kStorages = [] {
    std::array<std::optional<TypeInfo>, 256> storages{};
    for (std::size_t byte = 0; byte < storages.size(); ++byte)
        storages[byte] = typeInfo(static_cast<char>(byte));
    return storages;
}();

}  // namespace detail

// The storage of a type letter; no value for a letter no dBase level uses.
constexpr std::optional<TypeInfo> storageOf(char type) {
    return detail::kStorages[static_cast<unsigned char>(type)];
}

struct Field {
    std::string name;
    char type = 'C';  // C N F I O L D @ + (M B G are recognised but not readable)
    std::size_t length = 0;
    std::size_t decimals = 0;
    std::size_t offset = 0;  // from the start of the record, after the deletion flag
    bool indexed = false;    // level 7 / IV production index flag
};

// A table file's header as read or to be written. `header` holds its bytes as stored (fields,
// terminator and anything after it), so a file is written back with all it had.
struct Layout {
    std::string header;
    std::vector<Field> fields;
    std::size_t headerLength = 0;
    std::size_t recordLength = 0;
    std::size_t recordCount = 0;
    bool level7 = false;
    bool hasProductionMdx = false;
};

// Little-endian unsigned numbers of `width` bytes, as headers store their counts and sizes.
std::size_t readLe(std::string_view bytes, std::size_t at, std::size_t width);
void writeLe(std::string& bytes, std::size_t at, std::size_t value, std::size_t width);

// Field, tag and file names compare without regard to ASCII letter case.
std::string upperAscii(std::string_view text);

// Parses and checks a whole table file. Every inconsistency (sizes that disagree, records
// past the end of the file, an unknown field type, a missing terminator, no fields) throws
// lindavex::Error naming `displayName`.
Layout parse(std::string_view file, const std::string& displayName);
// The same from the file's first bytes (at least kLongestHeader of them, or the whole file) and
// its size, for a reader that leaves the records in the file.
inline constexpr std::size_t kLongestHeader = 0xFFFF;
Layout parse(std::string_view head, std::uint64_t fileSize, const std::string& displayName);

// Builds the header of an empty level 7 table with these fields (names up to 31 characters).
// `hasMdx` sets the production index flag of the table and of the fields named in `indexed`.
Layout buildLevel7(const std::vector<Field>& fields, bool hasMdx);

// Puts the date of last update and the record count into a header.
void stampHeader(std::string& header, std::size_t recordCount, const std::tm& date);

// Level 7 binary numbers: integers are big-endian with the sign bit inverted, doubles are
// big-endian with the sign bit inverted (values >= 0) or every bit inverted (values < 0), so
// that the bytes sort like the values. All-zero bytes are the null value.
void encodeInteger(std::int32_t value, char* out4);
std::optional<std::int32_t> decodeInteger(const char* in4);
void encodeDouble(double value, char* out8);
std::optional<double> decodeDouble(const char* in8);

// Level 7 timestamps: a big-endian double counting milliseconds from the start of the day
// before 1 January of year 1 (so that day is day 1). Written plain by the engines seen; the
// order-preserving form of doubles (sign bit set for values >= 0) is read as well.
std::optional<double> decodeTimestamp(const char* in8);
inline constexpr long kJulianDayOfDayZero = 1721425;  // 31 December of year 0

}  // namespace lindavex::store::dbf
