#pragma once
// Any bytes as a .DBF table: opened, then every field of every record read as text, integer,
// float and logical, and looked up by its own text. Only lindavex::Error may come out.
#include <cstddef>
#include <cstdint>

#include "fuzz/fuzz_scratch.h"
#include "store/error.h"
#include "store/table.h"

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

// One input through the code under test; aborts on a broken promise.
inline void feedDbfTable(const std::uint8_t* data, std::size_t size) {
    using namespace detail;  // NOLINT(google-build-using-namespace)
    static const lindavex::fuzz::FolderRemover folder{lindavex::fuzz::scratchFolder("dbf")};
    const std::filesystem::path file = folder.dir / "SOLUC.DBF";
    lindavex::fuzz::writeFile(file, data, size);
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
        if (!fields.empty()) {
            tolerateErrors([&] {
                table.first();
                if (!table.eof()) {
                    const std::string key = table.asText(fields.front().name);
                    (void)table.lookup(fields.front().name, key);
                }
            });
        }
        table.close();
    });
}

}  // namespace lindavex::fuzz
