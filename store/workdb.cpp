#include "store/workdb.h"

#include <system_error>

#include "store/error.h"
#include "store/files/platform.h"

namespace lindavex::store {

std::filesystem::path defaultWorkDb() {
    return platform::environmentPath("LINDAVEX_WORKDB").value_or(platform::defaultWorkDb());
}

bool isFile(const std::filesystem::path& path) {
    std::error_code ec;
    return !path.empty() && std::filesystem::is_regular_file(path, ec);
}

void requireWorkDb(const std::filesystem::path& dir) {
    std::error_code ec;
    if (!std::filesystem::is_directory(dir, ec))
        throw fileError("No existe la carpeta de la base de datos de trabajo", dir);
}

}  // namespace lindavex::store
