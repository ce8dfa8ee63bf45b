#include "toworkdb/hours.h"

#include <charconv>
#include <cmath>
#include <optional>

#include "store/codepage.h"
#include "store/convert.h"

namespace lindavex::toworkdb {
namespace {

// A decimal text held exactly: value = digits x 10^-scale, digits without leading zeros and,
// when scale > 0, without trailing zeros.
struct ExactDecimal {
    std::string digits;
    long scale = 0;
};

// Reads the forms convert::toFloat accepts (sign '+', digits, ',' or '.', exponent). No value
// when the text has some other form; the caller then falls back to binary floating point.
std::optional<ExactDecimal> readExact(std::string_view text) {
    text = codepage::trim(text);
    if (!text.empty() && text.front() == '+') text.remove_prefix(1);
    ExactDecimal d;
    bool afterSeparator = false;
    std::size_t i = 0;
    for (; i < text.size(); ++i) {
        const char c = text[i];
        if (c >= '0' && c <= '9') {
            d.digits += c;
            if (afterSeparator) ++d.scale;
        } else if ((c == ',' || c == '.') && !afterSeparator) {
            afterSeparator = true;
        } else {
            break;
        }
    }
    if (i < text.size()) {
        if (text[i] != 'e' && text[i] != 'E') return std::nullopt;
        std::string_view exponentText = text.substr(i + 1);
        if (!exponentText.empty() && exponentText.front() == '+') exponentText.remove_prefix(1);
        int exponent = 0;
        auto [end, ec] = std::from_chars(exponentText.data(),
                                         exponentText.data() + exponentText.size(), exponent);
        if (ec != std::errc() || end != exponentText.data() + exponentText.size() ||
            exponent > 1000 || exponent < -1000)
            return std::nullopt;
        d.scale -= exponent;
    }
    const auto firstNonZero = d.digits.find_first_not_of('0');
    d.digits.erase(0, firstNonZero == std::string::npos ? d.digits.size() : firstNonZero);
    while (d.scale > 0 && !d.digits.empty() && d.digits.back() == '0') {
        d.digits.pop_back();
        --d.scale;
    }
    if (d.digits.empty()) d.scale = 0;
    return d;
}

// Sessions for fractional hours with binary floating point; only for texts too long to hold
// exactly (more than 18 significant digits), where the last digits cannot change the answer
// in practice.
double sessionsApproximately(double hours, const SessionLengths& lengths) {
    const double minutes = hours * 60;
    for (const std::int32_t length : lengths) {
        if (length == 0) break;
        const double quotient = minutes / length;
        if (quotient == std::trunc(quotient)) return quotient;
    }
    return std::ceil(hours);
}

}  // namespace

std::string sessionPattern(double value) {
    const double n = std::ceil(value);
    if (!(n > 0)) return {};
    if (n <= 13) return std::string(static_cast<std::size_t>(n), '1');
    return convert::plainDecimal(n - 13) + std::string(13, '1');
}

WeeklyLoad weeklyLoad(std::string_view horas, const SessionLengths& lengths) {
    // Validates the text and gives the error text of the system for anything not a number.
    const double hours = convert::toFloat(horas);

    WeeklyLoad load;
    const std::optional<ExactDecimal> exact = readExact(horas);
    if (!exact || exact->scale <= 0 || exact->digits.empty()) {
        if (!exact && hours != std::trunc(hours)) {
            load.hours = sessionsApproximately(hours, lengths);
        } else {
            // Whole hours; a subject without hours counts as one hour.
            load.zeroCountedAsOne = hours == 0;
            load.hours = load.zeroCountedAsOne ? 1 : hours;
        }
    } else if (exact->digits.size() > 18 || exact->scale > 18) {
        load.hours = sessionsApproximately(hours, lengths);
    } else {
        // minutes = digits x 60 / 10^scale, as an exact fraction.
        __int128 denominator = 1;
        for (long i = 0; i < exact->scale; ++i) denominator *= 10;
        const __int128 digits = std::stoll(exact->digits);
        const __int128 minutesNumerator = digits * 60;
        bool divided = false;
        for (const std::int32_t length : lengths) {
            if (length == 0) break;
            const __int128 divisor = denominator * length;
            if (minutesNumerator % divisor == 0) {
                const __int128 sessions = minutesNumerator / divisor;  // exact
                load.hours = static_cast<double>(sessions);
                divided = true;
                break;
            }
        }
        // No length fits: the hours rounded up (never whole here, so the quotient by 60 is not).
        if (!divided) {
            const __int128 roundedUp = (digits + denominator - 1) / denominator;
            load.hours = static_cast<double>(roundedUp);
        }
    }
    load.pattern = sessionPattern(load.hours);
    return load;
}

}  // namespace lindavex::toworkdb
