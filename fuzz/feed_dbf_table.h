#pragma once
// Any bytes as a .DBF table (and, after a separator line, its .MDX index): opened, read,
// looked up, appended to and written back. Only lindavex::Error may come out.
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>

#include "fuzz/fuzz_scratch.h"
#include "store/dbase/table.h"
#include "store/error.h"

namespace lindavex::fuzz::detail {

using lindavex::store::Table;

template <typename Read>
void tolerateErrors(Read read) {
    try {
        read();
    } catch (const lindavex::Error&) {  // NOLINT(bugprone-empty-catch): a clean refusal
    }
}

}  // namespace lindavex::fuzz::detail

namespace lindavex::fuzz {

// An input may carry the table's production index after this line; without it the table has
// no index file.
inline constexpr std::string_view kIndexSeparator = "\nLINDAVEX-MDX\n";

// One input through the code under test: the table opened, every field of its first records
// read as each type and looked up, then one record appended and the table written back with
// its index rebuilt. Only lindavex::Error may come out.
inline void feedDbfTable(const std::uint8_t* data, std::size_t size) {
    using namespace detail;  // NOLINT(google-build-using-namespace)
    static const lindavex::fuzz::FolderRemover folder{lindavex::fuzz::scratchFolder("dbf")};
    const std::filesystem::path file = folder.dir / "SOLUC.DBF";
    const std::filesystem::path index = folder.dir / "SOLUC.MDX";
    const std::string_view input(reinterpret_cast<const char*>(data), size);
    const std::size_t split = input.find(kIndexSeparator);
    const std::string_view table = input.substr(0, split);
    writeFile(file, reinterpret_cast<const std::uint8_t*>(table.data()), table.size());
    std::error_code ec;
    std::filesystem::remove(index, ec);
    if (split != std::string_view::npos) {
        const std::string_view mdx = input.substr(split + kIndexSeparator.size());
        writeFile(index, reinterpret_cast<const std::uint8_t*>(mdx.data()), mdx.size());
    }
    tolerateErrors([&] {
        Table table = Table::openFile(file, Table::Mode::Shared);
        const auto fields = table.fields();
        std::size_t records = 0;
        for (table.first(); !table.eof() && records < 16; table.next(), ++records) {
            for (const auto& field : fields) {
                std::string text;
                tolerateErrors([&] { text = table.asText(field.name); });
                tolerateErrors([&] { (void)table.asInteger(field.name); });
                tolerateErrors([&] { (void)table.asFloat(field.name); });
                tolerateErrors([&] { (void)table.asLogical(field.name); });
                (void)table.isDeleted();
            }
        }
        if (fields.empty()) return;
        const std::string& name = fields.front().name;
        table.first();
        std::string key;
        if (!table.eof()) tolerateErrors([&] { key = table.asText(name); });
        (void)table.lookup(name, key);
        tolerateErrors([&] {
            table.append();
            table.setText(name, key);
            table.post();
        });
        table.close();
        Table again = Table::openFile(file, Table::Mode::Shared);
        again.close();
    });
}

}  // namespace lindavex::fuzz
