#pragma once
// Whole files as bytes, and snapshots of folders, for tests.
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <string>

namespace lindavex::testing {

inline std::string readBytes(const std::filesystem::path& file) {
    std::ifstream in(file, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

inline void writeBytes(const std::filesystem::path& file, const std::string& bytes) {
    std::ofstream(file, std::ios::binary) << bytes;
}

// Every file under a folder with its bytes (folders as "<folder>"), names relative to it.
inline std::map<std::string, std::string> snapshot(const std::filesystem::path& dir) {
    std::map<std::string, std::string> files;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(dir))
        files[std::filesystem::relative(entry.path(), dir).string()] =
            entry.is_regular_file() ? readBytes(entry.path()) : "<folder>";
    return files;
}

}  // namespace lindavex::testing
