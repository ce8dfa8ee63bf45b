#include "store/workdb/table_copies.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdio>
#include <limits>
#include <string_view>
#include <system_error>
#include <tuple>

#include "store/dbase/dbf_format.h"
#include "store/dbase/table_files.h"
#include "store/error.h"
#include "store/files/file_io.h"
#include "store/files/platform.h"

namespace lindavex::store {
namespace fs = std::filesystem;
namespace {

// A copy being removed is renamed so first: it no longer reads as a copy.
constexpr std::string_view kRemovingSuffix = ".borrando";

// "2026-12-09_154812", or "2026-12-09_154812-002" for a later copy of that name.
bool isCopyName(std::string_view name) {
    constexpr std::string_view first = "dddd-dd-dd_dddddd";
    constexpr std::string_view later = "dddd-dd-dd_dddddd-ddd";
    if (name.size() != first.size() && name.size() != later.size()) return false;
    for (std::size_t i = 0; i < name.size(); ++i) {
        const bool digit = std::isdigit(static_cast<unsigned char>(name[i])) != 0;
        if (later[i] == 'd' ? !digit : name[i] != later[i]) return false;
    }
    return true;
}

// A copy's number in the order copies were made; 0 when it has none (made before copies were
// numbered, or its number is no number), which puts it before every numbered copy. No value when
// the number is there but cannot be read now.
std::optional<std::uint64_t> orderOf(const fs::path& copy) {
    std::string text;
    if (const int error = file_io::readFile(copy / kCopyOrderFile, text); error != 0)
        return error == ENOENT ? std::optional<std::uint64_t>(0) : std::nullopt;
    std::uint64_t order = 0;
    for (const char c : text) {
        if (c == '\n' || c == '\r') break;
        if (std::isdigit(static_cast<unsigned char>(c)) == 0) return 0;
        if (order > (std::numeric_limits<std::uint64_t>::max() - 9) / 10) return 0;
        order = order * 10 + static_cast<std::uint64_t>(c - '0');
    }
    return order;
}

struct Listed {
    std::string name;
    std::uint64_t order;
};

// The copies in the folder, most recently made first. `complete` says whether every copy's
// order was read: without it, which copies are the oldest is not known.
std::vector<Listed> listCopies(const fs::path& copies, bool& complete) {
    std::vector<file_io::Entry> entries;
    std::vector<Listed> listed;
    const int listing = file_io::listFolder(copies, entries);
    complete = listing == 0 || listing == ENOENT;
    for (const file_io::Entry& entry : entries) {
        const std::string name = entry.path.filename().string();
        if (!entry.folder || !isCopyName(name)) continue;
        const std::optional<std::uint64_t> order = orderOf(entry.path);
        if (!order) complete = false;
        listed.push_back({name, order.value_or(0)});
    }
    std::sort(listed.begin(), listed.end(), [](const Listed& a, const Listed& b) {
        return std::tie(a.order, a.name) > std::tie(b.order, b.name);
    });
    return listed;
}

bool hasExtension(const fs::path& file, std::string_view extension) {
    return dbf::upperAscii(file.extension().string()) == extension;
}

// What is wrong with one table file of a copy, in a word or two; empty when it reads as a table,
// and then `records` is its record count.
std::string tableProblem(const fs::path& dbf, bool hasIndex, std::optional<std::size_t>& records) {
    std::string bytes;
    if (const int error = file_io::readFile(dbf, bytes); error != 0)
        return "ilegible (" + reasonText(error) + ")";
    if (bytes.empty()) return "vacía";
    const std::string name = utf8Path(dbf.filename());
    dbf::Layout layout;
    try {
        // The header alone first, as if the file were long enough: a header that reads then is
        // a file cut short.
        (void)dbf::parse(bytes, std::numeric_limits<std::uint32_t>::max(), name);
    } catch (const Error&) {
        return "ilegible";
    }
    try {
        layout = dbf::parse(bytes, name);
    } catch (const Error&) {
        return "cortada";
    }
    if (layout.hasProductionMdx && !hasIndex) return "sin su índice";
    records = layout.recordCount;
    return {};
}

}  // namespace

fs::path spellingRestored(std::vector<fs::path> spellings) {
    std::sort(spellings.begin(), spellings.end());
    for (const fs::path& spelling : spellings) {
        const std::string name = spelling.filename().string();
        if (name == dbf::upperAscii(name)) return spelling;
    }
    return spellings.empty() ? fs::path() : spellings.front();
}

std::vector<std::string> copyProblems(const fs::path& folder,
                                      const std::vector<const char*>& tables) {
    std::error_code ec;
    const FolderNames files(folder, ec);
    if (ec) return {utf8Path(folder.filename()) + " ilegible (" + reasonText(ec) + ")"};
    std::vector<std::string> problems;
    bool anyTable = false;
    for (const char* table : tables) {
        const fs::path dbf =
            spellingRestored(files.spellingsOf(dbfPath(folder, table).filename().string()));
        if (dbf.empty()) continue;
        anyTable = true;
        const bool hasIndex =
            !files.spellingsOf(mdxPath(folder, table).filename().string()).empty();
        std::optional<std::size_t> records;
        if (const std::string problem = tableProblem(dbf, hasIndex, records); !problem.empty())
            problems.push_back(utf8Path(dbf.filename()) + " " + problem);
    }
    if (!anyTable && problems.empty()) problems.emplace_back("no tiene ninguna tabla");
    return problems;
}

std::vector<TableCopy> tableCopies(const fs::path& workDb, const std::vector<const char*>& tables) {
    const fs::path copies = workDb / kCopiesFolder;
    std::vector<TableCopy> listed;
    bool complete = true;
    for (const auto& [name, order] : listCopies(copies, complete)) {
        TableCopy copy{name, copies / name, order, {}, copyProblems(copies / name, tables)};
        std::vector<file_io::Entry> entries;
        (void)file_io::listFolder(copy.folder, entries);
        std::error_code ec;
        const FolderNames files(copy.folder, ec);
        for (const file_io::Entry& entry : entries) {
            if (entry.folder || !hasExtension(entry.path, ".DBF")) continue;
            CopiedTable table{utf8Path(entry.path.filename()), std::nullopt, {}};
            const bool hasIndex = !files.spellingsOf(entry.path.stem().string() + ".MDX").empty();
            table.problem = tableProblem(entry.path, hasIndex, table.records);
            copy.tables.push_back(std::move(table));
        }
        std::sort(copy.tables.begin(), copy.tables.end(),
                  [](const CopiedTable& a, const CopiedTable& b) { return a.file < b.file; });
        listed.push_back(std::move(copy));
    }
    return listed;
}

std::optional<std::string> copyNamed(const fs::path& workDb, const fs::path& given) {
    fs::path name = given;
    // "2026-12-09_154812/" names its folder: a trailing separator leaves an empty last part.
    while (!name.empty() && !name.has_filename() && name.has_relative_path())
        name = name.parent_path();
    const std::string text = name.filename().string();
    if (!isCopyName(text)) return std::nullopt;
    const fs::path copies = workDb / kCopiesFolder;
    std::error_code ec;
    if (name.has_parent_path() && !fs::equivalent(name.parent_path(), copies, ec))
        return std::nullopt;
    if (!fs::is_directory(copies / text, ec)) return std::nullopt;
    return text;
}

std::string newCopyName(const fs::path& copies) {
    const std::tm local = platform::localTime(file_io::now());
    char stamp[32] = {};
    std::strftime(stamp, sizeof stamp, "%Y-%m-%d_%H%M%S", &local);
    std::string name = stamp;
    std::error_code ec;
    for (int n = 2; fs::exists(copies / name, ec) && n < 1000; ++n) {
        char suffix[16] = {};
        std::snprintf(suffix, sizeof suffix, "-%03d", n);
        name = std::string(stamp) + suffix;
    }
    return name;
}

std::uint64_t nextCopyOrder(const fs::path& copies) {
    bool complete = true;
    const std::vector<Listed> listed = listCopies(copies, complete);
    // A number below one already given would have the new copy pruned before older ones.
    if (!complete) throw fileError("No se puede leer la carpeta", copies, reasonText(EIO));
    return listed.empty() ? 1 : listed.front().order + 1;
}

void pruneCopies(const fs::path& copies, const std::vector<std::string>& keep) {
    bool complete = true;
    const std::vector<Listed> listed = listCopies(copies, complete);
    // Which are the oldest is only known when every copy was read: else none goes this time.
    if (!complete) return;
    std::size_t kept = 0;
    for (const auto& [name, order] : listed) {
        const bool wanted = std::find(keep.begin(), keep.end(), name) != keep.end();
        if (wanted || kept < kCopiesKept) {
            ++kept;
            continue;
        }
        (void)file_io::renameFolder(copies / name, copies / (name + std::string(kRemovingSuffix)));
    }
    std::vector<file_io::Entry> entries;
    if (file_io::listFolder(copies, entries) != 0) return;
    for (const file_io::Entry& entry : entries)
        if (entry.folder && entry.path.filename().string().ends_with(kRemovingSuffix))
            (void)file_io::removeTree(entry.path);
}

}  // namespace lindavex::store
