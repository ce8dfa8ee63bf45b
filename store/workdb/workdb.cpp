#include "store/workdb/workdb.h"

#include <system_error>

#include "store/files/platform.h"

namespace lindavex::store {

std::filesystem::path defaultWorkDb() {
    return platform::environmentPath("LINDAVEX_WORKDB").value_or(platform::defaultWorkDb());
}

bool isFile(const std::filesystem::path& path) {
    std::error_code ec;
    return !path.empty() && std::filesystem::is_regular_file(path, ec);
}

}  // namespace lindavex::store
