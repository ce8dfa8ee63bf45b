#include "store/dbase/table_copies.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <ctime>
#include <fstream>
#include <functional>
#include <set>
#include <string_view>
#include <system_error>

#include "store/dbase/dbf_format.h"
#include "store/dbase/table_swap.h"
#include "store/error.h"
#include "store/files/file_io.h"

namespace lindavex::store {
namespace fs = std::filesystem;
namespace {

// A copy being removed is renamed so first: it no longer reads as a copy.
constexpr std::string_view kRemovingSuffix = ".borrando";

// "2026-12-09_154812", or "2026-12-09_154812-002" for a later copy of that second: names that
// sort as the copies were made.
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

// The copies in the folder, newest first.
std::vector<std::string> copyNames(const fs::path& copies) {
    std::vector<std::string> names;
    std::error_code ec;
    for (fs::directory_iterator it(copies, ec), end; !ec && it != end; it.increment(ec)) {
        const std::string name = it->path().filename().string();
        if (isCopyName(name) && it->is_directory(ec)) names.push_back(name);
    }
    std::sort(names.begin(), names.end(), std::greater<>());
    return names;
}

std::optional<std::size_t> recordsOf(const fs::path& dbf) {
    std::ifstream in(dbf, std::ios::binary);
    std::string header(8, '\0');
    if (!in.read(header.data(), static_cast<std::streamsize>(header.size()))) return std::nullopt;
    return dbf::readLe(header, 4, 4);
}

bool hasExtension(const fs::path& file, std::string_view extension) {
    return dbf::upperAscii(file.extension().string()) == extension;
}

}  // namespace

std::vector<TableCopy> tableCopies(const fs::path& workDb) {
    const fs::path copies = workDb / kCopiesFolder;
    std::vector<TableCopy> listed;
    for (const std::string& name : copyNames(copies)) {
        TableCopy copy{name, copies / name, {}};
        std::error_code ec;
        for (fs::directory_iterator it(copy.folder, ec), end; !ec && it != end; it.increment(ec))
            if (hasExtension(it->path(), ".DBF"))
                copy.tables.push_back({it->path().filename().string(), recordsOf(it->path())});
        std::sort(copy.tables.begin(), copy.tables.end(),
                  [](const CopiedTable& a, const CopiedTable& b) { return a.file < b.file; });
        listed.push_back(std::move(copy));
    }
    return listed;
}

fs::path restoreTableCopy(const fs::path& workDb, const std::string& name,
                          const std::vector<const char*>& tables) {
    const fs::path folder = workDb / kCopiesFolder / name;
    std::error_code ec;
    if (!isCopyName(name) || !fs::is_directory(folder, ec))
        throw fileError(kNoSuchCopyText, folder);
    std::set<std::string> fileNames;
    for (const char* table : tables)
        for (const char* extension : {".DBF", ".MDX"})
            fileNames.insert(dbf::upperAscii(table) + extension);
    TableSwap swap(workDb, tables);
    // Copied, not moved: the copy stays as it is whatever becomes of the restore.
    for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
        if (!fileNames.contains(dbf::upperAscii(it->path().filename().string()))) continue;
        std::error_code copied;
        fs::copy_file(it->path(), swap.folder() / it->path().filename(), copied);
        if (copied) throw fileError("No se puede leer", it->path(), reasonText(copied));
    }
    if (ec) throw fileError("No se puede leer la carpeta", folder, reasonText(ec));
    swap.commit();
    return swap.keptCopy();
}

std::string newCopyName(const fs::path& copies) {
    const std::time_t now = std::time(nullptr);
    char stamp[32] = {};
    std::strftime(stamp, sizeof stamp, "%Y-%m-%d_%H%M%S", std::localtime(&now));
    std::string name = stamp;
    std::error_code ec;
    // Three digits, so that the names sort as the copies were made.
    for (int n = 2; fs::exists(copies / name, ec) && n < 1000; ++n) {
        char suffix[8] = {};
        std::snprintf(suffix, sizeof suffix, "-%03d", n);
        name = std::string(stamp) + suffix;
    }
    return name;
}

void pruneCopies(const fs::path& copies) {
    std::error_code ec;
    const std::vector<std::string> names = copyNames(copies);
    for (std::size_t i = kCopiesKept; i < names.size(); ++i)
        file_io::renameFolder(copies / names[i],
                              copies / (names[i] + std::string(kRemovingSuffix)));
    std::vector<fs::path> removing;
    for (fs::directory_iterator it(copies, ec), end; !ec && it != end; it.increment(ec))
        if (it->path().filename().string().ends_with(kRemovingSuffix))
            removing.push_back(it->path());
    for (const fs::path& folder : removing) fs::remove_all(folder, ec);
}

}  // namespace lindavex::store
