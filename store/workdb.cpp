#include "store/workdb.h"

#include <system_error>

#include "store/error.h"
#include "store/files/platform.h"

namespace lindavex::store {

std::filesystem::path defaultWorkDb() {
    return platform::environmentPath("LINDAVEX_WORKDB").value_or(platform::defaultWorkDb());
}

void requireWorkDb(const std::filesystem::path& dir) {
    std::error_code ec;
    if (!std::filesystem::is_directory(dir, ec))
        throw fileError("No existe la carpeta de la base de datos de trabajo", dir);
}

}  // namespace lindavex::store
