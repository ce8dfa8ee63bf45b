#include "store/mdx.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstring>
#include <fstream>
#include <iterator>
#include <numeric>

#include "store/codepage.h"
#include "store/convert.h"
#include "store/error.h"

namespace lindavex::store::mdx {
namespace {

constexpr std::size_t kHeaderPages = 4;  // file header and tag table
constexpr std::size_t kPagesPerBlock = kBlockSize / kPageSize;
constexpr std::size_t kNumericKeyLength = 12;
constexpr std::size_t kExpressionOffset = 24;
constexpr std::size_t kExpressionSize = 220;

std::string trimmed(std::string_view text) {
    text = text.substr(0, text.find('\0'));
    return std::string(codepage::trim(text));
}

const dbf::Field* findField(const dbf::Layout& layout, std::string_view name) {
    const std::string wanted = dbf::upperAscii(name);
    for (const dbf::Field& f : layout.fields)
        if (dbf::upperAscii(f.name) == wanted) return &f;
    return nullptr;
}

bool numericType(char type) { return std::strchr("NFIO+", type) != nullptr; }

// The value of a numeric field as the index sorts it: blank and unreadable values as 0.
double numberOf(const dbf::Field& f, const char* record) {
    const char* at = record + 1 + f.offset;
    std::optional<double> value;
    if (f.type == 'I' || f.type == '+') {
        if (auto v = dbf::decodeInteger(at)) value = *v;
    } else if (f.type == 'O') {
        value = dbf::decodeDouble(at);
    } else {
        std::string_view digits = codepage::trim(std::string_view(at, f.length));
        if (!digits.empty()) {
            try {
                value = convert::toFloat(digits);
            } catch (const Error&) {  // unreadable digits index like a blank value
                value.reset();
            }
        }
    }
    return value.value_or(0.0);
}

struct Entry {
    std::string key;
    std::uint32_t pointer;  // record number in leaves, page number in branches
    double number = 0;      // the value of a numeric key
};

// One block of the tree: its entries; in a branch, `last` points to the rightmost child.
std::string nodeBlock(const std::vector<Entry>& entries, std::size_t first, std::size_t n,
                      std::size_t itemLength, std::uint32_t last) {
    std::string block(kBlockSize, '\0');
    dbf::writeLe(block, 0, n, 4);
    std::size_t at = 8;
    for (std::size_t i = 0; i < n; ++i) {
        const Entry& e = entries[first + i];
        dbf::writeLe(block, at, e.pointer, 4);
        std::memcpy(&block[at + 4], e.key.data(), e.key.size());
        at += itemLength;
    }
    dbf::writeLe(block, at, last, 4);
    return block;
}

}  // namespace

std::string numericKey(double value) {
    std::string key(kNumericKeyLength, '\0');
    if (value == 0 || !std::isfinite(value)) {
        key[0] = 0x34;
        key[1] = 0x01;
        return key;
    }
    const bool negative = value < 0;
    const double magnitude = std::fabs(value);
    // Digits without leading zeros, and the position of the decimal point within them.
    std::string digits;
    int wholeDigits = 0;
    if (magnitude == std::trunc(magnitude) && magnitude < 1e20) {
        char buffer[32];
        auto [end, ec] =
            std::to_chars(buffer, buffer + sizeof buffer, magnitude, std::chars_format::fixed, 0);
        digits.assign(buffer, ec == std::errc() ? end : buffer);
        wholeDigits = static_cast<int>(digits.size());
    } else {
        char buffer[64];
        auto [end, ec] =
            std::to_chars(buffer, buffer + sizeof buffer, magnitude, std::chars_format::scientific);
        std::string_view text(buffer, ec == std::errc() ? end : buffer);
        std::size_t e = text.find('e');
        int exponent = 0;
        std::from_chars(text.data() + e + 1 + (text[e + 1] == '+' ? 1 : 0),
                        text.data() + text.size(), exponent);
        for (char c : text.substr(0, e))
            if (c != '.') digits += c;
        while (digits.size() > 1 && digits.back() == '0') digits.pop_back();
        wholeDigits = exponent + 1;
    }
    digits.resize(std::min<std::size_t>(digits.size(), 20));
    key[0] = static_cast<char>(0x34 + wholeDigits);
    key[1] = static_cast<char>((digits.size() << 2) | 0x01 | (negative ? 0x80 : 0x00));
    for (std::size_t i = 0; i < digits.size(); ++i) {
        auto nibble = static_cast<unsigned char>(digits[i] - '0');
        key[2 + i / 2] = static_cast<char>(static_cast<unsigned char>(key[2 + i / 2]) |
                                           (i % 2 == 0 ? nibble << 4 : nibble));
    }
    return key;
}

std::optional<std::vector<IndexDef>> readTags(const std::filesystem::path& file,
                                              const dbf::Layout& layout) {
    std::ifstream in(file, std::ios::binary);
    if (!in) return std::nullopt;
    std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (bytes.size() < kHeaderPages * kPageSize) return std::nullopt;
    const std::size_t used = dbf::readLe(bytes, 28, 2);
    const std::size_t entrySize = static_cast<unsigned char>(bytes[26]);
    if (used > kMaxTags || entrySize < 21) return std::nullopt;
    std::vector<IndexDef> tags;
    for (std::size_t i = 0; i < used; ++i) {
        const std::size_t at = kTagTableOffset + i * entrySize;
        if (at + entrySize > bytes.size()) return std::nullopt;
        const std::size_t headerAt = dbf::readLe(bytes, at, 4) * kPageSize;
        if (headerAt + kExpressionOffset + kExpressionSize > bytes.size()) return std::nullopt;
        IndexDef tag{
            trimmed(std::string_view(bytes).substr(at + 4, 11)),
            trimmed(std::string_view(bytes).substr(headerAt + kExpressionOffset, kExpressionSize))};
        const dbf::Field* f = findField(layout, tag.field);
        if (f == nullptr || (f->type != 'C' && !numericType(f->type))) return std::nullopt;
        tags.push_back(std::move(tag));
    }
    return tags;
}

std::string build(const dbf::Layout& layout, std::string_view records, std::size_t count,
                  const std::vector<IndexDef>& tags, const std::string& tableName,
                  const std::tm& date) {
    if (tags.size() > kMaxTags) throw Error("Demasiados índices en la tabla " + tableName);
    std::string file(kHeaderPages * kPageSize, '\0');
    std::size_t pages = kHeaderPages;

    file[0] = 0x02;
    file[1] = static_cast<char>(date.tm_year & 0xFF);
    file[2] = static_cast<char>(date.tm_mon + 1);
    file[3] = static_cast<char>(date.tm_mday);
    const std::string name = dbf::upperAscii(tableName).substr(0, 16);
    std::memcpy(&file[4], name.data(), name.size());
    dbf::writeLe(file, 20, kPagesPerBlock, 2);
    dbf::writeLe(file, 22, kBlockSize, 2);
    file[24] = 0x01;  // production index
    file[25] = 48;    // slots in the tag table
    file[26] = static_cast<char>(kTagEntrySize);
    dbf::writeLe(file, 28, tags.size(), 2);
    file[30] = static_cast<char>(tags.size() + 1);  // next tag number
    file[31] = 0x1B;
    file[44] = file[1];
    file[45] = file[2];
    file[46] = file[3];

    // Tag table entries also form a binary tree ordered by tag name (left, right, parent).
    std::vector<std::size_t> left(tags.size(), 0);
    std::vector<std::size_t> right(tags.size(), 0);
    std::vector<std::size_t> parent(tags.size(), 0);
    for (std::size_t i = 1; i < tags.size(); ++i) {
        std::size_t node = 0;
        for (;;) {
            auto& child = tags[i].tag < tags[node].tag ? left[node] : right[node];
            if (child == 0) {
                child = i + 1;
                parent[i] = node + 1;
                break;
            }
            node = child - 1;
        }
    }

    for (std::size_t t = 0; t < tags.size(); ++t) {
        const IndexDef& tag = tags[t];
        const dbf::Field* f = findField(layout, tag.field);
        if (f == nullptr || (f->type != 'C' && !numericType(f->type)))
            throw Error("No se puede mantener el índice " + tag.tag + " de la tabla " + tableName);
        const bool character = f->type == 'C';
        const std::size_t keyLength = character ? f->length : kNumericKeyLength;
        const std::size_t itemLength = (keyLength + 4 + 3) / 4 * 4;
        const std::size_t perBlock = (kBlockSize - 12) / itemLength;

        // Leaves: every record (deleted ones too), ascending key, ties in record order.
        std::vector<Entry> entries;
        entries.reserve(count);
        for (std::size_t r = 0; r < count; ++r) {
            const char* record = records.data() + r * layout.recordLength;
            const auto number = static_cast<std::uint32_t>(r + 1);
            if (character) {
                entries.push_back({std::string(record + 1 + f->offset, f->length), number});
            } else {
                const double value = numberOf(*f, record);
                entries.push_back({numericKey(value), number, value});
            }
        }
        // Numeric keys do not sort as bytes: they sort by the values they stand for.
        std::stable_sort(entries.begin(), entries.end(),
                         [character](const Entry& a, const Entry& b) {
                             return character ? a.key < b.key : a.number < b.number;
                         });

        const std::size_t headerPage = pages;
        pages += kPagesPerBlock;
        std::string blocks;
        std::size_t nodeBlocks = 0;
        auto allocate = [&](const std::string& block) {
            const auto page = static_cast<std::uint32_t>(pages + nodeBlocks * kPagesPerBlock);
            blocks += block;
            ++nodeBlocks;
            return page;
        };

        // Bottom-up: each level's nodes as (highest key below, page).
        std::vector<Entry> level;
        const std::size_t leafCount =
            std::max<std::size_t>(1, (entries.size() + perBlock - 1) / perBlock);
        std::uint32_t firstLeaf = 0;
        std::uint32_t lastLeaf = 0;
        for (std::size_t i = 0; i < leafCount; ++i) {
            const std::size_t begin = entries.size() * i / leafCount;
            const std::size_t end = entries.size() * (i + 1) / leafCount;
            std::uint32_t page = allocate(nodeBlock(entries, begin, end - begin, itemLength, 0));
            if (i == 0) firstLeaf = page;
            lastLeaf = page;
            level.push_back(
                {end > begin ? entries[end - 1].key : std::string(keyLength, '\0'), page});
        }
        while (level.size() > 1) {
            // A branch holds up to perBlock keys and one more child pointer.
            const std::size_t fanout = perBlock + 1;
            const std::size_t nodes = (level.size() + fanout - 1) / fanout;
            std::vector<Entry> upper;
            for (std::size_t i = 0; i < nodes; ++i) {
                const std::size_t begin = level.size() * i / nodes;
                const std::size_t end = level.size() * (i + 1) / nodes;
                std::uint32_t page = allocate(
                    nodeBlock(level, begin, end - begin - 1, itemLength, level[end - 1].pointer));
                upper.push_back({level[end - 1].key, page});
            }
            level = std::move(upper);
        }
        const std::uint32_t root = level.front().pointer;

        std::string header(kBlockSize, '\0');
        dbf::writeLe(header, 0, root, 4);
        dbf::writeLe(header, 4, nodeBlocks * kPagesPerBlock, 4);
        header[8] = 0x10;  // ascending, duplicates allowed
        header[9] = character ? 'C' : 'N';
        header[11] = 0x1B;
        dbf::writeLe(header, 12, keyLength, 2);
        dbf::writeLe(header, 14, perBlock, 2);
        dbf::writeLe(header, 16, 0, 2);
        dbf::writeLe(header, 18, itemLength, 2);
        header[20] = 0x01;
        header[23] = 0x00;  // not unique
        const std::string expression = f->name.substr(0, kExpressionSize - 1);
        std::memcpy(&header[kExpressionOffset], expression.data(), expression.size());
        header[246] = count > 0 ? 0x01 : 0x00;
        dbf::writeLe(header, 248, firstLeaf, 4);
        dbf::writeLe(header, 252, lastLeaf, 4);
        header[257] = file[1];
        header[258] = file[2];
        header[259] = file[3];
        header[480] = 0x01;  // key is one field

        std::string entry(kTagEntrySize, '\0');
        dbf::writeLe(entry, 0, headerPage, 4);
        const std::string tagName = dbf::upperAscii(tag.tag).substr(0, 10);
        std::memcpy(&entry[4], tagName.data(), tagName.size());
        entry[15] = 0x10;
        entry[16] = static_cast<char>(left[t]);
        entry[17] = static_cast<char>(right[t]);
        entry[18] = static_cast<char>(parent[t]);
        entry[19] = 0x02;
        entry[20] = header[9];
        std::memcpy(&file[kTagTableOffset + t * kTagEntrySize], entry.data(), entry.size());

        file += header;
        file += blocks;
        pages += nodeBlocks * kPagesPerBlock;
    }
    dbf::writeLe(file, 32, pages, 4);
    return file;
}

}  // namespace lindavex::store::mdx
