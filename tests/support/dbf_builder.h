#pragma once
// Builds dBase table files byte by byte for tests, written independently of the table engine:
// levels III, IV and V (32-byte field descriptors) and 7 (48-byte descriptors), any field
// type, and deliberate damage (wrong lengths or counts, no terminator) for error tests.
//
//   DbfBuilder b(DbfBuilder::kLevel3, {{"DIA", 'N', 2}, {"HORA", 'F', 5, 2}});
//   b.record({"3", "2.00"});
//   b.write(dir / "SOLUC.DBF");
#include <bit>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

namespace lindavex::testing {

struct DbfField {
    std::string name;
    char type = 'C';  // C N F I O L D @ + (or anything, to test unknown types)
    int length = 0;   // 0: the type's fixed width (I + 4, O @ D 8, L 1), else none
    int decimals = 0;
};

class DbfBuilder {
  public:
    static constexpr std::uint8_t kLevel3 = 0x03;
    static constexpr std::uint8_t kLevel3Memo = 0x83;
    static constexpr std::uint8_t kLevel4Memo = 0x8B;  // levels IV and V with a memo file
    static constexpr std::uint8_t kLevel7 = 0x04;
    static constexpr std::uint8_t kLevel7Memo = 0x8C;

    DbfBuilder(std::uint8_t version, std::vector<DbfField> fields)
        : version_(version), fields_(std::move(fields)) {
        for (DbfField& f : fields_)
            if (f.length == 0) f.length = fixedWidth(f.type);
    }

    bool level7() const { return (version_ & 0x07) == 4; }

    // One record from values in their natural text form, by type:
    //   C D: left-justified, blank-padded, cut; N F: right-justified; L: first character;
    //   I +: decimal integer, stored as a level 7 long; O: decimal number, level 7 double;
    //   @: raw 8 bytes. An empty value is the null value (blanks, or zero bytes for I + O @).
    DbfBuilder& record(const std::vector<std::string>& values, bool deleted = false) {
        if (values.size() != fields_.size()) throw std::logic_error("value count");
        std::string rec(1, deleted ? '*' : ' ');
        for (std::size_t i = 0; i < fields_.size(); ++i) rec += encode(fields_[i], values[i]);
        records_.push_back(rec);
        return *this;
    }
    // A record from its raw bytes (deletion flag included).
    DbfBuilder& rawRecord(std::string bytes) {
        records_.push_back(std::move(bytes));
        return *this;
    }

    // Damage and variations.
    std::optional<std::size_t> headerLength, recordLength, recordCount;
    bool terminator = true;
    bool endOfFile = true;
    std::uint8_t mdxFlag = 0;
    std::uint8_t languageDriver = 0x58;
    std::string propertiesAfterTerminator;  // level 7 field properties, kept as bytes

    std::size_t naturalRecordLength() const {
        std::size_t n = 1;
        for (const DbfField& f : fields_) n += static_cast<std::size_t>(f.length);
        return n;
    }

    std::string bytes() const {
        const std::size_t fixed = level7() ? 68 : 32;
        const std::size_t descriptor = level7() ? 48 : 32;
        std::string h(fixed, '\0');
        h[0] = static_cast<char>(version_);
        h[1] = 126;  // 2026-12-08
        h[2] = 12;
        h[3] = 8;
        for (const DbfField& f : fields_) {
            std::string d(descriptor, '\0');
            std::memcpy(d.data(), f.name.data(),
                        std::min(f.name.size(), level7() ? std::size_t{32} : std::size_t{10}));
            const std::size_t typeAt = level7() ? 32 : 11;
            d[typeAt] = f.type;
            d[typeAt + (level7() ? 1 : 5)] = static_cast<char>(f.length);
            d[typeAt + (level7() ? 2 : 6)] = static_cast<char>(f.decimals);
            h += d;
        }
        if (terminator) h += '\x0D';
        h += propertiesAfterTerminator;
        if (level7()) {
            h[28] = static_cast<char>(mdxFlag);
            h[29] = static_cast<char>(languageDriver);
            std::memcpy(&h[32], "DBWINWE0", 8);
        } else {
            h[28] = static_cast<char>(mdxFlag);
            h[29] = static_cast<char>(languageDriver);
        }
        putLe(h, 4, recordCount.value_or(records_.size()), 4);
        putLe(h, 8, headerLength.value_or(h.size()), 2);
        putLe(h, 10, recordLength.value_or(naturalRecordLength()), 2);
        std::string out = h;
        for (const std::string& r : records_) out += r;
        if (endOfFile) out += '\x1A';
        return out;
    }

    void write(const std::filesystem::path& file) const {
        std::ofstream out(file, std::ios::binary | std::ios::trunc);
        const std::string b = bytes();
        out.write(b.data(), static_cast<std::streamsize>(b.size()));
        if (!out) throw std::runtime_error("cannot write " + file.string());
    }

    // Level 7 binary forms, big-endian and order-preserving.
    static std::string long7(std::int32_t v) {
        const std::uint32_t bits = static_cast<std::uint32_t>(v) ^ 0x80000000u;
        std::string out(4, '\0');
        for (int i = 0; i < 4; ++i) out[i] = static_cast<char>(bits >> (24 - 8 * i));
        return out;
    }
    // A timestamp: milliseconds from the start of 31 December of year 0, a plain big-endian double.
    static std::string timestamp7(double ms) {
        const auto bits = std::bit_cast<std::uint64_t>(ms);
        std::string out(8, '\0');
        for (int i = 0; i < 8; ++i) out[i] = static_cast<char>(bits >> (56 - 8 * i));
        return out;
    }
    static std::string double7(double v) {
        std::uint64_t bits = std::bit_cast<std::uint64_t>(v);
        bits = v < 0 ? ~bits : bits | 0x8000000000000000ull;
        std::string out(8, '\0');
        for (int i = 0; i < 8; ++i) out[i] = static_cast<char>(bits >> (56 - 8 * i));
        return out;
    }

  private:
    static int fixedWidth(char type) {
        switch (type) {
            case 'I':
            case '+':
                return 4;
            case 'O':
            case '@':
            case 'D':
                return 8;
            case 'L':
                return 1;
            default:
                return 0;  // kept as given, for tests of fields without width
        }
    }

    static void putLe(std::string& s, std::size_t at, std::size_t v, std::size_t width) {
        for (std::size_t i = 0; i < width; ++i)
            s[at + i] = static_cast<char>((v >> (8 * i)) & 0xFF);
    }

    static std::string encode(const DbfField& f, const std::string& value) {
        const auto width = static_cast<std::size_t>(f.length);
        switch (f.type) {
            case 'I':
            case '+':
                return value.empty() ? std::string(4, '\0')
                                     : long7(static_cast<std::int32_t>(std::stol(value)));
            case 'O':
                return value.empty() ? std::string(8, '\0') : double7(std::stod(value));
            case '@':
                return value.empty() ? std::string(8, '\0') : value.substr(0, 8);
            case 'N':
            case 'F': {
                std::string v = value.substr(0, width);
                return std::string(width - v.size(), ' ') + v;
            }
            default: {
                std::string v = value.substr(0, width);
                return v + std::string(width - v.size(), ' ');
            }
        }
    }

    std::uint8_t version_;
    std::vector<DbfField> fields_;
    std::vector<std::string> records_;
};

}  // namespace lindavex::testing
