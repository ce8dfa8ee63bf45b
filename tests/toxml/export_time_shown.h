#pragma once
// The export time of the tests' runs as FechaExportacion shows it.
#include <string>

#include "store/files/platform.h"
#include "toxml/export_time.h"

namespace lindavex::testing {

// 7 March 2026, 09:05:01, or `when`: the Spanish default given, or the user's regional formats
// where the platform has them (Windows).
inline std::string exportTime(const std::string& spanish,
                              const toxml::LocalDateTime& when = {2026, 3, 7, 9, 5, 1}) {
    return store::platform::regionalDateTime(toxml::toTm(when)).value_or(spanish);
}

}  // namespace lindavex::testing
