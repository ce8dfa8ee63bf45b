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

// A snapshot without the folder `top` of its folder, and what that holds.
inline std::map<std::string, std::string> without(std::map<std::string, std::string> files,
                                                  const std::string& top) {
    std::erase_if(
        files, [&](const auto& file) { return *std::filesystem::path(file.first).begin() == top; });
    return files;
}

// A snapshot of each folder in dir, by the folder's name; none when dir is missing.
inline std::map<std::string, std::map<std::string, std::string>> folderSnapshots(
    const std::filesystem::path& dir) {
    std::map<std::string, std::map<std::string, std::string>> folders;
    std::error_code ec;
    for (const auto& entry : std::filesystem::directory_iterator(dir, ec))
        if (entry.is_directory())
            folders[entry.path().filename().string()] = snapshot(entry.path());
    return folders;
}

}  // namespace lindavex::testing
