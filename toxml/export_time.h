#pragma once
// The moment a result file is written, as the centre file's FechaExportacion shows it, and the
// clock the run reads it from (replaceable, so that a run can be repeated to the second).
#include <ctime>
#include <functional>
#include <string>

namespace lindavex::toxml {

// A local date and time, as the user's clock shows it.
struct LocalDateTime {
    int year = 0;
    int month = 0;  // 1 to 12
    int day = 0;    // 1 to 31
    int hour = 0;
    int minute = 0;
    int second = 0;
};

using LocalClock = std::function<LocalDateTime()>;

// One reading of the local clock.
LocalDateTime readLocalClock();

// The short date, one blank and the long time. On Windows in the user's regional formats;
// elsewhere the Spanish regional default dd/mm/yyyy hh:mm:ss. Code page text.
std::string formatExportTime(const LocalDateTime& when);

// The same moment as the C library's broken-down time.
std::tm toTm(const LocalDateTime& when);

}  // namespace lindavex::toxml
