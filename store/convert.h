#pragma once
// Text-to-number conversions with the system's error texts
// ("'%s' is not a valid integer value", "'%s' is not a valid floating point value").
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace lindavex::convert {

// Decimal integer, optional sign, optional surrounding blanks; a leading '$' means hexadecimal.
// Throws lindavex::Error("'<text>' is not a valid integer value") otherwise or on overflow.
std::int32_t toInt(std::string_view cp1252text);

// The same for a number read by position out of a longer text, such as the hour of a time:
// a blank in it is no part of a number there, so it is an error too ("8 " of "8 :00").
std::int32_t toIntWithoutBlanks(std::string_view cp1252text);

// Decimal number; both ',' and '.' are accepted as the decimal separator (centre files write a
// comma). Throws lindavex::Error("'<text>' is not a valid floating point value").
double toFloat(std::string_view cp1252text);

// Up to 15 digits with neither blank, sign, separator nor exponent, as numbers mostly are
// stored: their value, which toFloat gives too, read without the copy toFloat makes. No value
// for any other text.
std::optional<double> plainDigits(std::string_view text);

// The plain decimal form of a number: 3, not 3.0 or " 3"; 2.5 as 2.5.
std::string plainDecimal(double value);

}  // namespace lindavex::convert
