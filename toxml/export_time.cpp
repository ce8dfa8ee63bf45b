#include "toxml/export_time.h"

#include <cstdio>
#include <ctime>

#ifdef _WIN32
#include <windows.h>
#endif

namespace lindavex::toxml {

LocalDateTime readLocalClock() {
    const std::time_t now = std::time(nullptr);
    std::tm local{};
#ifdef _WIN32
    localtime_s(&local, &now);
#else
    localtime_r(&now, &local);
#endif
    return {local.tm_year + 1900, local.tm_mon + 1, local.tm_mday,
            local.tm_hour,        local.tm_min,     local.tm_sec};
}

std::string formatExportTime(const LocalDateTime& when) {
#ifdef _WIN32
    // The user's regional short date and long time, as the rest of Windows shows them.
    SYSTEMTIME st{};
    st.wYear = static_cast<WORD>(when.year);
    st.wMonth = static_cast<WORD>(when.month);
    st.wDay = static_cast<WORD>(when.day);
    st.wHour = static_cast<WORD>(when.hour);
    st.wMinute = static_cast<WORD>(when.minute);
    st.wSecond = static_cast<WORD>(when.second);
    char date[128];
    char time[128];
    if (GetDateFormatA(LOCALE_USER_DEFAULT, DATE_SHORTDATE, &st, nullptr, date, sizeof date) > 0 &&
        GetTimeFormatA(LOCALE_USER_DEFAULT, 0, &st, nullptr, time, sizeof time) > 0)
        return std::string(date) + ' ' + time;
#endif
    char text[96];
    std::snprintf(text, sizeof text, "%02d/%02d/%04d %02d:%02d:%02d", when.day, when.month,
                  when.year, when.hour, when.minute, when.second);
    return text;
}

}  // namespace lindavex::toxml
