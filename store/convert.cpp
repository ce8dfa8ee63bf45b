#include "store/convert.h"

#include <charconv>
#include <cmath>
#include <limits>

#include "store/codepage.h"
#include "store/error.h"

namespace lindavex::convert {
namespace {

[[noreturn]] void invalid(std::string_view text, const char* what) {
    throw Error("'" + codepage::toUtf8(text) + "' is not a valid " + what + " value");
}

std::string_view skipLeadingBlanks(std::string_view text) {
    while (!text.empty() && text.front() == ' ') text.remove_prefix(1);
    return text;
}

}  // namespace

std::int32_t toInt(std::string_view text) {
    std::string_view rest = skipLeadingBlanks(text);
    while (!rest.empty() && rest.back() == ' ') rest.remove_suffix(1);
    bool negative = false;
    if (!rest.empty() && (rest.front() == '-' || rest.front() == '+')) {
        negative = rest.front() == '-';
        rest.remove_prefix(1);
    }
    int base = 10;
    if (!rest.empty() && rest.front() == '$') {
        base = 16;
        rest.remove_prefix(1);
    }
    if (rest.empty()) invalid(text, "integer");
    std::int64_t value = 0;
    auto [end, ec] = std::from_chars(rest.data(), rest.data() + rest.size(), value, base);
    if (ec != std::errc() || end != rest.data() + rest.size() || rest.front() == '-' ||
        rest.front() == '+')
        invalid(text, "integer");
    if (negative) value = -value;
    // Hexadecimal texts cover the whole 32-bit pattern (FFFFFFFF is -1), as window handles do.
    if (base == 16 && !negative && value <= 0xFFFFFFFFLL)
        return static_cast<std::int32_t>(static_cast<std::uint32_t>(value));
    if (value < std::numeric_limits<std::int32_t>::min() ||
        value > std::numeric_limits<std::int32_t>::max())
        invalid(text, "integer");
    return static_cast<std::int32_t>(value);
}

std::int32_t toIntWithoutBlanks(std::string_view text) {
    if (text.find(' ') != std::string_view::npos) invalid(text, "integer");
    return toInt(text);
}

std::optional<double> plainDigits(std::string_view text) {
    if (text.empty() || text.size() > 15) return std::nullopt;
    std::int64_t value = 0;
    for (const char c : text) {
        if (c < '0' || c > '9') return std::nullopt;
        value = value * 10 + (c - '0');
    }
    return static_cast<double>(value);
}

double toFloat(std::string_view text) {
    std::string normal(codepage::trim(text));
    if (normal.empty()) invalid(text, "floating point");
    for (char& c : normal)
        if (c == ',') c = '.';
    // from_chars takes a '-' but not a '+'; a second sign is an error either way.
    const std::size_t start = normal.front() == '+' ? 1 : 0;
    const std::size_t afterSign = normal.front() == '+' || normal.front() == '-' ? 1 : 0;
    if (afterSign < normal.size() && (normal[afterSign] == '+' || normal[afterSign] == '-'))
        invalid(text, "floating point");
    double value = 0;
    auto [end, ec] = std::from_chars(normal.data() + start, normal.data() + normal.size(), value,
                                     std::chars_format::general);
    if (ec != std::errc() || end != normal.data() + normal.size() || !std::isfinite(value))
        invalid(text, "floating point");
    return value;
}

std::string plainDecimal(double value) {
    if (std::isfinite(value) && value == std::trunc(value) && std::fabs(value) < 1e15) {
        if (value == 0) return "0";
        return std::to_string(static_cast<long long>(value));
    }
    char buffer[64];
    auto [end, ec] = std::to_chars(buffer, buffer + sizeof buffer, value);
    return std::string(buffer, ec == std::errc() ? end : buffer);
}

}  // namespace lindavex::convert
