#include "store/workdb.h"

#include <cstdlib>
#include <system_error>

#include "store/error.h"

namespace lindavex::store {

std::filesystem::path defaultWorkDb() {
    if (const char* env = std::getenv("LINDAVEX_WORKDB"); env != nullptr && *env != '\0')
        return env;
#ifdef _WIN32
    return "C:\\WTEMP";
#else
    if (const char* prefix = std::getenv("WINEPREFIX"); prefix != nullptr && *prefix != '\0')
        return std::filesystem::path(prefix) / "drive_c" / "WTEMP";
    const char* home = std::getenv("HOME");
    return std::filesystem::path(home != nullptr ? home : "") / ".wine" / "drive_c" / "WTEMP";
#endif
}

void requireWorkDb(const std::filesystem::path& dir) {
    std::error_code ec;
    if (!std::filesystem::is_directory(dir, ec))
        throw fileError("No existe la carpeta de la base de datos de trabajo", dir);
}

}  // namespace lindavex::store
