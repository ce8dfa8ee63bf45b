#pragma once
// Weekly hours of a group's subject (MateriaGrupo Horas) as a number of sessions.
#include <array>
#include <cstdint>
#include <string>
#include <string_view>

namespace lindavex::toworkdb {

// The leading session lengths L1, L2, L3 in minutes; 0 means "no such length".
using SessionLengths = std::array<std::int32_t, 3>;

struct WeeklyLoad {
    double hours = 0;               // ASIGT.HORAS
    std::string pattern;            // ASIGT.SESIONES
    bool zeroCountedAsOne = false;  // Horas was 0
};

// Works out HORAS and SESIONES from a Horas text such as 04,00 or 02,75.
// Whole hours (by value: 4, 4,00 and 4.0 alike) are kept as hours; zero counts as one hour.
// Otherwise the weekly minutes, taken exactly from the decimal text, are divided by the first
// leading length that divides them evenly, or else the hours are rounded up.
// Comma and point are both decimal separators. Throws lindavex::Error
// "'<text>' is not a valid floating point value" when the text is not a number.
WeeklyLoad weeklyLoad(std::string_view horas, const SessionLengths& lengths);

// SESIONES for a value: n = value rounded up; n ones up to 13, beyond that the decimal text of
// n - 13 followed by thirteen ones; empty for n <= 0.
std::string sessionPattern(double value);

}  // namespace lindavex::toworkdb
