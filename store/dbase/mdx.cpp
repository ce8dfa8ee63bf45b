#include "store/dbase/mdx.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstring>
#include <iterator>
#include <numeric>

#include "store/codepage.h"
#include "store/convert.h"
#include "store/error.h"
#include "store/files/file_io.h"

namespace lindavex::store::mdx {
namespace {

constexpr std::size_t kHeaderPages = 4;  // file header and tag table
constexpr std::size_t kPagesPerBlock = kBlockSize / kPageSize;
constexpr std::size_t kNumericKeyLength = 12;

// Where each value sits: byte offsets, little-endian numbers of the width given.
// The file header, at the start of the file.
namespace file_header {
constexpr std::size_t kVersion = 0;
constexpr std::size_t kCreated = 1;       // year - 1900, month, day
constexpr std::size_t kDataFileName = 4;  // 16 bytes, upper case, no extension
constexpr std::size_t kDataFileNameSize = 16;
constexpr std::size_t kPagesPerBlock = 20;  // 2
constexpr std::size_t kBlockBytes = 22;     // 2
constexpr std::size_t kProduction = 24;     // 1: the table's production index
constexpr std::size_t kTagSlots = 25;       // entries the tag table has room for
constexpr std::size_t kTagEntrySize = 26;
constexpr std::size_t kTagsInUse = 28;  // 2
constexpr std::size_t kNextTagNumber = 30;
constexpr std::size_t kMarker = 31;       // 0x1B in every file seen
constexpr std::size_t kPagesInFile = 32;  // 4
constexpr std::size_t kUpdated = 44;      // year - 1900, month, day
}  // namespace file_header

// One entry of the tag table (at kTagTableOffset).
namespace tag_entry {
constexpr std::size_t kHeaderPage = 0;  // 4
constexpr std::size_t kName = 4;        // 11 bytes, the last a zero
constexpr std::size_t kNameSize = 11;
constexpr std::size_t kKeyFormat = 15;
constexpr std::size_t kLeft = 16;  // tag numbers of the tag name tree, 0 for none
constexpr std::size_t kRight = 17;
constexpr std::size_t kParent = 18;
constexpr std::size_t kMarker = 19;  // 0x02 in every file seen
constexpr std::size_t kKeyType = 20;
}  // namespace tag_entry

// The header block of one tag.
namespace tag_header {
constexpr std::size_t kRootPage = 0;        // 4
constexpr std::size_t kPagesUsed = 4;       // 4
constexpr std::size_t kKeyFormat = 8;       // 0x10: ascending, duplicates allowed
constexpr std::size_t kKeyType = 9;         // 'C' character, 'N' numeric
constexpr std::size_t kMarker = 11;         // 0x1B in every file seen
constexpr std::size_t kKeyLength = 12;      // 2
constexpr std::size_t kKeysPerBlock = 14;   // 2
constexpr std::size_t kSecondaryType = 16;  // 2
constexpr std::size_t kItemLength = 18;     // 2: pointer and key, rounded up to 4
constexpr std::size_t kSingleField = 20;    // 1 when the key is one field
constexpr std::size_t kUnique = 23;
constexpr std::size_t kExpression = 24;  // the key expression, zero-terminated
constexpr std::size_t kExpressionSize = 220;
constexpr std::size_t kHasKeys = 246;
constexpr std::size_t kFirstLeaf = 248;   // 4
constexpr std::size_t kLastLeaf = 252;    // 4
constexpr std::size_t kUpdated = 257;     // year - 1900, month, day
constexpr std::size_t kKeyIsField = 480;  // 1 when the expression is a plain field name
}  // namespace tag_header

// A B-tree block: the entry count, then entries of (pointer, key), then the last pointer.
namespace node_block {
constexpr std::size_t kCount = 0;    // 4
constexpr std::size_t kEntries = 8;  // first entry
constexpr std::size_t kPointerSize = 4;
}  // namespace node_block

constexpr char kAscendingWithDuplicates = 0x10;

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

dbf::Storage storageOf(const dbf::Field& f) {
    return dbf::storageOf(f.type).value_or(dbf::TypeInfo{dbf::Storage::Memo, 0, ' '}).storage;
}

bool numericField(const dbf::Field& f) {
    const dbf::Storage storage = storageOf(f);
    return storage == dbf::Storage::Digits || storage == dbf::Storage::BinaryInteger ||
           storage == dbf::Storage::BinaryDouble;
}

// Character and number fields can be keys; dates, logicals and the rest cannot.
bool keyable(const dbf::Field* f) {
    return f != nullptr && (storageOf(*f) == dbf::Storage::Character || numericField(*f));
}

// The value of a numeric field as the index sorts it: blank and unreadable values as 0.
double numberOf(const dbf::Field& f, const char* record) {
    const char* at = record + 1 + f.offset;
    std::optional<double> value;
    if (storageOf(f) == dbf::Storage::BinaryInteger) {
        if (auto v = dbf::decodeInteger(at)) value = *v;
    } else if (storageOf(f) == dbf::Storage::BinaryDouble) {
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
    dbf::writeLe(block, node_block::kCount, n, 4);
    std::size_t at = node_block::kEntries;
    for (std::size_t i = 0; i < n; ++i) {
        const Entry& e = entries[first + i];
        dbf::writeLe(block, at, e.pointer, node_block::kPointerSize);
        std::memcpy(&block[at + node_block::kPointerSize], e.key.data(), e.key.size());
        at += itemLength;
    }
    dbf::writeLe(block, at, last, node_block::kPointerSize);
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
    std::string bytes;
    if (file_io::readFile(file, bytes) != 0) return std::nullopt;
    return readTags(std::string_view(bytes), layout);
}

std::optional<std::vector<IndexDef>> readTags(std::string_view bytes, const dbf::Layout& layout) {
    if (bytes.size() < kHeaderPages * kPageSize) return std::nullopt;
    const std::size_t used = dbf::readLe(bytes, file_header::kTagsInUse, 2);
    const std::size_t entrySize = static_cast<unsigned char>(bytes[file_header::kTagEntrySize]);
    if (used > kMaxTags || entrySize <= tag_entry::kKeyType) return std::nullopt;
    std::vector<IndexDef> tags;
    for (std::size_t i = 0; i < used; ++i) {
        const std::size_t at = kTagTableOffset + i * entrySize;
        if (at + entrySize > bytes.size()) return std::nullopt;
        const std::size_t headerAt = dbf::readLe(bytes, at + tag_entry::kHeaderPage, 4) * kPageSize;
        if (headerAt + tag_header::kExpression + tag_header::kExpressionSize > bytes.size())
            return std::nullopt;
        IndexDef tag{
            trimmed(bytes.substr(at + tag_entry::kName, tag_entry::kNameSize)),
            trimmed(bytes.substr(headerAt + tag_header::kExpression, tag_header::kExpressionSize))};
        if (!keyable(findField(layout, tag.field))) return std::nullopt;
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

    const auto putDate = [&date](std::string& bytes, std::size_t at) {
        bytes[at] = static_cast<char>(date.tm_year & 0xFF);
        bytes[at + 1] = static_cast<char>(date.tm_mon + 1);
        bytes[at + 2] = static_cast<char>(date.tm_mday);
    };
    namespace fh = file_header;
    file[fh::kVersion] = 0x02;
    putDate(file, fh::kCreated);
    const std::string name = dbf::upperAscii(tableName).substr(0, fh::kDataFileNameSize);
    std::memcpy(&file[fh::kDataFileName], name.data(), name.size());
    dbf::writeLe(file, fh::kPagesPerBlock, kPagesPerBlock, 2);
    dbf::writeLe(file, fh::kBlockBytes, kBlockSize, 2);
    file[fh::kProduction] = 0x01;
    file[fh::kTagSlots] = 48;
    file[fh::kTagEntrySize] = static_cast<char>(kTagEntrySize);
    dbf::writeLe(file, fh::kTagsInUse, tags.size(), 2);
    file[fh::kNextTagNumber] = static_cast<char>(tags.size() + 1);
    file[fh::kMarker] = 0x1B;
    putDate(file, fh::kUpdated);

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
        if (!keyable(f))
            throw Error("No se puede mantener el índice " + tag.tag + " de la tabla " + tableName);
        const bool character = storageOf(*f) == dbf::Storage::Character;
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

        namespace th = tag_header;
        std::string header(kBlockSize, '\0');
        dbf::writeLe(header, th::kRootPage, root, 4);
        dbf::writeLe(header, th::kPagesUsed, nodeBlocks * kPagesPerBlock, 4);
        header[th::kKeyFormat] = kAscendingWithDuplicates;
        header[th::kKeyType] = character ? 'C' : 'N';
        header[th::kMarker] = 0x1B;
        dbf::writeLe(header, th::kKeyLength, keyLength, 2);
        dbf::writeLe(header, th::kKeysPerBlock, perBlock, 2);
        dbf::writeLe(header, th::kSecondaryType, 0, 2);
        dbf::writeLe(header, th::kItemLength, itemLength, 2);
        header[th::kSingleField] = 0x01;
        header[th::kUnique] = 0x00;
        const std::string expression = f->name.substr(0, th::kExpressionSize - 1);
        std::memcpy(&header[th::kExpression], expression.data(), expression.size());
        header[th::kHasKeys] = count > 0 ? 0x01 : 0x00;
        dbf::writeLe(header, th::kFirstLeaf, firstLeaf, 4);
        dbf::writeLe(header, th::kLastLeaf, lastLeaf, 4);
        putDate(header, th::kUpdated);
        header[th::kKeyIsField] = 0x01;

        std::string entry(kTagEntrySize, '\0');
        dbf::writeLe(entry, tag_entry::kHeaderPage, headerPage, 4);
        const std::string tagName = dbf::upperAscii(tag.tag).substr(0, tag_entry::kNameSize - 1);
        std::memcpy(&entry[tag_entry::kName], tagName.data(), tagName.size());
        entry[tag_entry::kKeyFormat] = kAscendingWithDuplicates;
        entry[tag_entry::kLeft] = static_cast<char>(left[t]);
        entry[tag_entry::kRight] = static_cast<char>(right[t]);
        entry[tag_entry::kParent] = static_cast<char>(parent[t]);
        entry[tag_entry::kMarker] = 0x02;
        entry[tag_entry::kKeyType] = header[th::kKeyType];
        std::memcpy(&file[kTagTableOffset + t * kTagEntrySize], entry.data(), entry.size());

        file += header;
        file += blocks;
        pages += nodeBlocks * kPagesPerBlock;
    }
    dbf::writeLe(file, file_header::kPagesInFile, pages, 4);
    return file;
}

}  // namespace lindavex::store::mdx
