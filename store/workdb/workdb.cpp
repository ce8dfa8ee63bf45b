#include "store/workdb/workdb.h"

#include "store/files/platform.h"

namespace lindavex::store {

std::filesystem::path defaultWorkDb() {
    return platform::environmentPath("LINDAVEX_WORKDB").value_or(platform::defaultWorkDb());
}

}  // namespace lindavex::store
