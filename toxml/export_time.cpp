#include "toxml/export_time.h"

#include <cstdio>
#include <ctime>

#include "store/files/file_io.h"
#include "store/files/platform.h"

namespace lindavex::toxml {

LocalDateTime readLocalClock() {
    const std::tm local = store::platform::localTime(store::file_io::now());
    return {local.tm_year + 1900, local.tm_mon + 1, local.tm_mday,
            local.tm_hour,        local.tm_min,     local.tm_sec};
}

std::tm toTm(const LocalDateTime& when) {
    std::tm fields{};
    fields.tm_year = when.year - 1900;
    fields.tm_mon = when.month - 1;
    fields.tm_mday = when.day;
    fields.tm_hour = when.hour;
    fields.tm_min = when.minute;
    fields.tm_sec = when.second;
    return fields;
}

std::string formatExportTime(const LocalDateTime& when) {
    const std::tm fields = toTm(when);
    // The user's regional short date and long time, where the platform has them.
    if (auto regional = store::platform::regionalDateTime(fields)) return *regional;
    char text[96];
    std::snprintf(text, sizeof text, "%02d/%02d/%04d %02d:%02d:%02d", when.day, when.month,
                  when.year, when.hour, when.minute, when.second);
    return text;
}

}  // namespace lindavex::toxml
