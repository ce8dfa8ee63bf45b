#pragma once
// Writing and reading whole files as bytes, for the centre document tests.
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

namespace lindavex::store::files {

inline void writeBytes(const std::filesystem::path& file, const std::string& bytes) {
    std::ofstream out(file, std::ios::binary);
    out << bytes;
}

inline std::string readBytes(const std::filesystem::path& file) {
    std::ifstream in(file, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

}  // namespace lindavex::store::files
