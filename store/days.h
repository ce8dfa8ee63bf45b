#pragma once
// Days of the week as both systems name them: the letters of the centre file's sessions and
// activities ("L" Monday ... "D" Sunday) and the names the day-and-period grid holds.
#include <cstdint>
#include <string_view>

namespace lindavex::days {

inline constexpr std::string_view kLetters = "LMXJVSD";

// The day number 1..7 of a letter (case-sensitive), 0 for anything else.
inline std::int32_t numberOf(char letter) {
    const auto at = kLetters.find(letter);
    return at == std::string_view::npos ? 0 : static_cast<std::int32_t>(at) + 1;
}

// The letter of day 1..7; empty for any other number.
inline std::string_view letterOf(std::int32_t day) {
    return day >= 1 && day <= 7 ? kLetters.substr(static_cast<std::size_t>(day) - 1, 1)
                                : std::string_view();
}

// The day's name in UTF-8 ("Lunes" ... "Domingo") for day 1..7.
inline std::string_view nameOf(std::int32_t day) {
    static constexpr std::string_view names[] = {"Lunes",   "Martes", "Miércoles", "Jueves",
                                                 "Viernes", "Sábado", "Domingo"};
    return day >= 1 && day <= 7 ? names[day - 1] : std::string_view();
}

}  // namespace lindavex::days
