#include "store/dbase/dbf_format.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstring>

#include "store/error.h"

namespace lindavex::store::dbf {
namespace {

[[noreturn]] void corrupt(const std::string& what, const std::string& displayName) {
    throw namedFileError("La tabla está dañada", displayName, what);
}

}  // namespace

std::size_t readLe(std::string_view bytes, std::size_t at, std::size_t width) {
    std::size_t value = 0;
    for (std::size_t i = 0; i < width; ++i)
        value |= static_cast<std::size_t>(static_cast<unsigned char>(bytes[at + i])) << (8 * i);
    return value;
}

void writeLe(std::string& bytes, std::size_t at, std::size_t value, std::size_t width) {
    for (std::size_t i = 0; i < width; ++i)
        bytes[at + i] = static_cast<char>((value >> (8 * i)) & 0xFF);
}

std::string upperAscii(std::string_view text) {
    std::string out(text);
    for (char& c : out)
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    return out;
}

Layout parse(std::string_view file, const std::string& displayName) {
    return parse(file, file.size(), displayName);
}

Layout parse(std::string_view file, std::uint64_t fileSize, const std::string& displayName) {
    // The header's length is two bytes: every check but the last one needs only the head.
    file = file.substr(0, std::min<std::uint64_t>(fileSize, kLongestHeader));
    if (file.size() < kLevel3HeaderSize) corrupt("cabecera incompleta", displayName);
    Layout layout;
    const auto version = static_cast<unsigned char>(file[0]);
    switch (version & 0x07) {
        case 3:
            layout.level7 = false;
            break;
        case 4:
            layout.level7 = true;
            break;
        default:
            corrupt("versión de dBase desconocida", displayName);
    }
    const std::size_t fixed = layout.level7 ? kLevel7HeaderSize : kLevel3HeaderSize;
    const std::size_t descriptorSize =
        layout.level7 ? kLevel7DescriptorSize : kLevel3DescriptorSize;
    if (file.size() < fixed) corrupt("cabecera incompleta", displayName);

    layout.recordCount = readLe(file, 4, 4);
    layout.headerLength = readLe(file, 8, 2);
    layout.recordLength = readLe(file, 10, 2);
    layout.hasProductionMdx = file[kMdxFlagOffset] != 0;
    if (layout.headerLength > file.size() || layout.headerLength <= fixed)
        corrupt("longitud de cabecera no válida", displayName);

    std::size_t at = fixed;
    std::size_t offset = 0;
    bool terminated = false;
    while (at < layout.headerLength) {
        if (file[at] == kHeaderTerminator) {
            terminated = true;
            break;
        }
        if (at + descriptorSize > layout.headerLength) break;
        std::string_view d = file.substr(at, descriptorSize);
        const std::size_t nameSize = layout.level7 ? 32 : 11;
        std::string_view name = d.substr(0, nameSize);
        name = name.substr(0, name.find('\0'));
        Field field;
        field.name = std::string(name);
        const std::size_t typeAt = layout.level7 ? 32 : 11;
        const std::size_t lengthAt = layout.level7 ? 33 : 16;
        field.type = d[typeAt];
        field.length = static_cast<unsigned char>(d[lengthAt]);
        field.decimals = static_cast<unsigned char>(d[lengthAt + 1]);
        field.indexed = d[layout.level7 ? 37 : 31] != 0;
        field.offset = offset;
        if (field.name.empty()) corrupt("campo sin nombre", displayName);
        const std::optional<TypeInfo> info = storageOf(field.type);
        if (!info) corrupt("tipo de campo desconocido en " + field.name, displayName);
        if (field.length == 0) corrupt("campo de anchura 0: " + field.name, displayName);
        if (info->fixedLength != 0 && field.length != info->fixedLength)
            corrupt("anchura no válida del campo " + field.name, displayName);
        offset += field.length;
        layout.fields.push_back(std::move(field));
        at += descriptorSize;
    }
    if (!terminated) corrupt("falta el terminador de la cabecera", displayName);
    if (layout.fields.empty()) corrupt("la tabla no tiene campos", displayName);
    if (offset + 1 != layout.recordLength)
        corrupt("la longitud de registro no coincide con los campos", displayName);
    const std::uint64_t available = (fileSize - layout.headerLength) / layout.recordLength;
    if (layout.recordCount > available)
        corrupt("el número de registros excede el tamaño del fichero", displayName);
    layout.header = std::string(file.substr(0, layout.headerLength));
    return layout;
}

Layout buildLevel7(const std::vector<Field>& fields, bool hasMdx) {
    Layout layout;
    layout.level7 = true;
    layout.hasProductionMdx = hasMdx;
    layout.headerLength = kLevel7HeaderSize + fields.size() * kLevel7DescriptorSize + 1;
    std::string& h = layout.header;
    h.assign(layout.headerLength, '\0');
    h[0] = 0x04;
    writeLe(h, 8, layout.headerLength, 2);
    h[kMdxFlagOffset] = hasMdx ? 0x01 : 0x00;
    h[kLanguageDriverOffset] = static_cast<char>(kLanguageDriverId);
    std::memcpy(&h[kLanguageDriverNameOffset], kLanguageDriverName.data(),
                kLanguageDriverName.size());
    std::size_t offset = 0;
    std::size_t at = kLevel7HeaderSize;
    for (const Field& f : fields) {
        Field stored = f;
        stored.offset = offset;
        std::memcpy(&h[at], f.name.data(), std::min<std::size_t>(f.name.size(), 31));
        h[at + 32] = f.type;
        h[at + 33] = static_cast<char>(f.length);
        h[at + 34] = static_cast<char>(f.decimals);
        h[at + 37] = hasMdx && f.indexed ? 0x01 : 0x00;
        offset += f.length;
        layout.fields.push_back(std::move(stored));
        at += kLevel7DescriptorSize;
    }
    h[at] = kHeaderTerminator;
    layout.recordLength = offset + 1;
    writeLe(h, 10, layout.recordLength, 2);
    return layout;
}

void stampHeader(std::string& header, std::size_t recordCount, const std::tm& date) {
    header[1] = static_cast<char>(date.tm_year & 0xFF);  // years since 1900
    header[2] = static_cast<char>(date.tm_mon + 1);
    header[3] = static_cast<char>(date.tm_mday);
    writeLe(header, 4, recordCount, 4);
}

void encodeInteger(std::int32_t value, char* out4) {
    const std::uint32_t bits = static_cast<std::uint32_t>(value) ^ 0x80000000u;
    for (int i = 0; i < 4; ++i) out4[i] = static_cast<char>((bits >> (8 * (3 - i))) & 0xFF);
}

std::optional<std::int32_t> decodeInteger(const char* in4) {
    std::uint32_t bits = 0;
    for (int i = 0; i < 4; ++i) bits = (bits << 8) | static_cast<unsigned char>(in4[i]);
    if (bits == 0) return std::nullopt;
    return static_cast<std::int32_t>(bits ^ 0x80000000u);
}

void encodeDouble(double value, char* out8) {
    if (value == 0) value = 0.0;  // -0.0 would otherwise encode as the null pattern
    auto bits = std::bit_cast<std::uint64_t>(value);
    bits = std::signbit(value) ? ~bits : bits ^ 0x8000000000000000ull;
    for (int i = 0; i < 8; ++i) out8[i] = static_cast<char>((bits >> (8 * (7 - i))) & 0xFF);
}

std::optional<double> decodeDouble(const char* in8) {
    std::uint64_t bits = 0;
    for (int i = 0; i < 8; ++i) bits = (bits << 8) | static_cast<unsigned char>(in8[i]);
    if (bits == 0) return std::nullopt;
    bits = (bits & 0x8000000000000000ull) != 0 ? bits ^ 0x8000000000000000ull : ~bits;
    return std::bit_cast<double>(bits);
}

std::optional<double> decodeTimestamp(const char* in8) {
    std::uint64_t bits = 0;
    for (int i = 0; i < 8; ++i) bits = (bits << 8) | static_cast<unsigned char>(in8[i]);
    if (bits == 0) return std::nullopt;
    bits &= ~0x8000000000000000ull;  // a timestamp is never negative
    const auto value = std::bit_cast<double>(bits);
    if (!std::isfinite(value)) return std::nullopt;
    return value;
}

}  // namespace lindavex::store::dbf
