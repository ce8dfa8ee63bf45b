#pragma once
// Production index files (.MDX, the dBase IV / level 7 multiple-index structure): a file
// header with its tag table, one header block per tag, and B-tree blocks whose leaves hold
// keys with 1-based record numbers. The tables only ever need them rebuilt whole.
#include <ctime>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "store/dbase/dbf_format.h"
#include "store/dbase/schema.h"

namespace lindavex::store::mdx {

inline constexpr std::size_t kPageSize = 512;
inline constexpr std::size_t kBlockSize = 1024;  // two pages
inline constexpr std::size_t kTagTableOffset = 544;
inline constexpr std::size_t kTagEntrySize = 32;
inline constexpr std::size_t kMaxTags = 47;

// The tags of an index file whose keys are single fields of this table, or no value when
// the file cannot be read or holds a key this engine cannot rebuild.
std::optional<std::vector<IndexDef>> readTags(const std::filesystem::path& file,
                                              const dbf::Layout& layout);
// The same, of the index file's bytes.
std::optional<std::vector<IndexDef>> readTags(std::string_view bytes, const dbf::Layout& layout);

// The whole index file for these records (`count` records of layout.recordLength bytes),
// ascending keys, duplicates in record order. `tableName` is the data file's name without
// extension. Throws lindavex::Error for a tag on a missing field or a field type that
// cannot be a key.
std::string build(const dbf::Layout& layout, std::string_view records, std::size_t count,
                  const std::vector<IndexDef>& tags, const std::string& tableName,
                  const std::tm& date);

// The 12-byte numeric key form: 0x34 plus the count of whole digits, then the count of
// encoded digits (bits 2-6) with the sign in bit 7 and bit 0 set, then the digits packed
// two to a byte, high nibble first.
std::string numericKey(double value);

}  // namespace lindavex::store::mdx
