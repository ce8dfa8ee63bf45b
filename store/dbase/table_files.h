#pragma once
// A table's files in a folder: NAME.DBF and its production index NAME.MDX, found in any letter
// case as a Windows program finds them, whether another program holds them, and deleting them.
#include <filesystem>
#include <string>
#include <string_view>
#include <system_error>
#include <unordered_map>
#include <vector>

namespace lindavex::store {

// Throws lindavex::Error naming the folder of tables (the work database) when it is not an
// existing folder.
void requireWorkDb(const std::filesystem::path& dir);

// Path of a table's .DBF / .MDX in a directory: NAME.DBF, NAME.MDX.
std::filesystem::path dbfPath(const std::filesystem::path& dir, std::string_view table);
std::filesystem::path mdxPath(const std::filesystem::path& dir, std::string_view table);

// The file in `dir` whose name equals `name` ignoring letter case; the exact name when none does.
std::filesystem::path resolveIgnoringCase(const std::filesystem::path& dir,
                                          const std::string& name);

// The table's .DBF as it is spelled in dir, in any letter case; NAME.DBF when there is none.
std::filesystem::path findDbf(const std::filesystem::path& dir, std::string_view table);

// The files of one folder looked up by name without regard to letter case, as a Windows program
// sees them: another program may have written proft.dbf where this one writes PROFT.DBF, and
// where names keep their case both may be there. The folder is read once.
class FolderNames {
  public:
    // A folder that cannot be read lists nothing and sets ec.
    FolderNames(const std::filesystem::path& dir, std::error_code& ec);
    // Every file whose name equals `name` ignoring letter case.
    std::vector<std::filesystem::path> spellingsOf(std::string_view name) const;
    // The file as resolveIgnoringCase finds it: spelled exactly as `name` when there is one,
    // else the first spelling listed; the folder and `name` when none is there.
    std::filesystem::path spelled(std::string_view name) const;

  private:
    std::filesystem::path dir_;
    // The names listed, without the folder, by their upper-case form.
    std::unordered_map<std::string, std::vector<std::filesystem::path>> byUpperName_;
};

// findDbf in a folder listed once for several tables.
std::filesystem::path findDbf(const FolderNames& folder, std::string_view table);

// Whether a table file could be held for exclusive use now, as the table engine holds it: 0
// when it could (it is let go at once), EWOULDBLOCK when another opener, in this process or
// another, holds it or (Windows) has it open for writing, or the errno of opening it (ENOENT
// when it is not there).
int exclusiveUseOf(const std::filesystem::path& file);

// Deletes NAME.DBF then NAME.MDX, every spelling of each; a file that cannot be deleted stays,
// silently, and so do all the table's files while another program holds the table.
void deleteTableFiles(const std::filesystem::path& dir, std::string_view table);

}  // namespace lindavex::store
