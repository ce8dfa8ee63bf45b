#pragma once
// A folder of one fuzzing process, on a memory file system when there is one, so that the
// files each input goes through cost no disk flushes.
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <string_view>

namespace lindavex::fuzz {

inline std::filesystem::path scratchFolder(std::string_view purpose) {
    std::error_code ec;
    std::filesystem::path base = "/dev/shm";
    if (!std::filesystem::is_directory(base, ec)) base = std::filesystem::temp_directory_path();
    std::filesystem::path dir =
        base / ("lindavex-fuzz-" + std::string(purpose) + "-" + std::to_string(::getpid()));
    std::filesystem::remove_all(dir, ec);
    std::filesystem::create_directories(dir);
    return dir;
}

inline void writeFile(const std::filesystem::path& path, const std::uint8_t* data,
                      std::size_t size) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
}

// Removes the folder when the fuzzing process ends normally.
struct FolderRemover {
    std::filesystem::path dir;
    ~FolderRemover() {
        std::error_code ec;
        std::filesystem::remove_all(dir, ec);
    }
};

}  // namespace lindavex::fuzz
