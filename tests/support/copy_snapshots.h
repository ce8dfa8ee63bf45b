#pragma once
// The copies of the tables in a work database's copies folder, for tests.
#include <filesystem>
#include <map>
#include <string>

#include "store/workdb/table_copies.h"
#include "support/files.h"

namespace lindavex::testing {

// A snapshot of each copy in the copies folder, by the copy's name: what it holds of the work
// database, without its number in the order copies were made. None when the folder is missing.
inline std::map<std::string, std::map<std::string, std::string>> copySnapshots(
    const std::filesystem::path& copies) {
    auto folders = folderSnapshots(copies);
    for (auto& [name, files] : folders) files.erase(store::kCopyOrderFile);
    return folders;
}

}  // namespace lindavex::testing
