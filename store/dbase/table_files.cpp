#include "store/dbase/table_files.h"

#include <algorithm>
#include <cerrno>

#include "store/dbase/dbf_format.h"
#include "store/error.h"
#include "store/files/file_io.h"
#include "store/files/platform.h"

namespace lindavex::store {
namespace fs = std::filesystem;
using dbf::upperAscii;

namespace {

bool endsWithIgnoringCase(std::string_view text, std::string_view suffix) {
    return text.size() >= suffix.size() &&
           upperAscii(text.substr(text.size() - suffix.size())) == upperAscii(suffix);
}

// NAME + extension, for a table given with or without ".DBF".
std::string fileName(std::string_view table, std::string_view extension) {
    std::string base(table);
    if (endsWithIgnoringCase(base, ".DBF")) base.resize(base.size() - 4);
    return base + std::string(extension);
}

// Whether another opener, in this process or another, holds the table file. Such a file is
// not deleted, as the platform the tables come from refuses to delete an open file.
bool heldByAnotherOpener(const fs::path& file) { return exclusiveUseOf(file) == EWOULDBLOCK; }

}  // namespace

void requireWorkDb(const fs::path& dir) {
    std::error_code ec;
    if (!fs::is_directory(dir, ec))
        throw fileError("No existe la carpeta de la base de datos de trabajo", dir);
}

fs::path dbfPath(const fs::path& dir, std::string_view table) {
    return dir / fileName(table, ".DBF");
}

fs::path mdxPath(const fs::path& dir, std::string_view table) {
    return dir / fileName(table, ".MDX");
}

fs::path resolveIgnoringCase(const fs::path& dir, const std::string& name) {
    // Spelled as the folder spells it: Windows also finds "t.dbf" under "T.DBF".
    std::error_code unreadable;  // the name as given, which then fails
    return FolderNames(dir, unreadable).spelled(name);
}

fs::path findDbf(const fs::path& dir, std::string_view table) {
    return resolveIgnoringCase(dir, fileName(table, ".DBF"));
}

FolderNames::FolderNames(const fs::path& dir, std::error_code& ec) : dir_(dir) {
    std::vector<platform::Listed> entries;
    if (const int error = file_io::listFolder(dir, entries); error != 0) {
        ec = std::error_code(error, std::generic_category());
        return;
    }
    ec.clear();
    // Kept by name: a path is made only for the few names looked up.
    for (platform::Listed& entry : entries) {
        std::string upper = upperAscii(entry.name.string());
        byUpperName_[std::move(upper)].push_back(std::move(entry.name));
    }
}

std::vector<fs::path> FolderNames::spellingsOf(std::string_view name) const {
    std::vector<fs::path> files;
    const auto found = byUpperName_.find(upperAscii(name));
    if (found != byUpperName_.end())
        for (const fs::path& spelling : found->second) files.push_back(dir_ / spelling);
    return files;
}

fs::path findDbf(const FolderNames& folder, std::string_view table) {
    return folder.spelled(fileName(table, ".DBF"));
}

fs::path FolderNames::spelled(std::string_view name) const {
    const auto found = byUpperName_.find(upperAscii(name));
    if (found == byUpperName_.end()) return dir_ / name;
    for (const fs::path& spelling : found->second)
        if (spelling.string() == name) return dir_ / spelling;
    return dir_ / found->second.front();
}

int exclusiveUseOf(const fs::path& file) {
    platform::File probe;
    // Opened so that nobody may write it meanwhile, as Windows keeps other programs out: a
    // program that has it open for writing stands in the way even without the tool's lock.
    if (const int error = platform::openDenyingWriters(file, probe); error != 0) return error;
    return platform::lock(probe, true);
}

void deleteTableFiles(const fs::path& dir, std::string_view table) {
    std::error_code ec;
    const FolderNames names(dir, ec);
    const std::vector<fs::path> tables = names.spellingsOf(fileName(table, ".DBF"));
    if (std::any_of(tables.begin(), tables.end(), heldByAnotherOpener)) return;
    for (const fs::path& file : tables) file_io::unlink(file);
    for (const fs::path& file : names.spellingsOf(fileName(table, ".MDX"))) file_io::unlink(file);
}

}  // namespace lindavex::store
