// Number conversions and their error texts.
#include "store/convert.h"

#include <gtest/gtest.h>

#include <limits>

#include "support/error_text.h"

namespace lindavex::convert {
namespace {

using testing::errorText;

TEST(ConvertTest, IntegersInTheirAcceptedForms) {
    EXPECT_EQ(toInt("3"), 3);
    EXPECT_EQ(toInt("  -42"), -42);
    EXPECT_EQ(toInt("+7"), 7);
    EXPECT_EQ(toInt("007"), 7);
    EXPECT_EQ(toInt(" 3 "), 3);
    EXPECT_EQ(toInt("2147483647"), std::numeric_limits<std::int32_t>::max());
    EXPECT_EQ(toInt("-2147483648"), std::numeric_limits<std::int32_t>::min());
    // Hexadecimal covers the whole 32-bit pattern, as window handles do.
    EXPECT_EQ(toInt("$1A"), 26);
    EXPECT_EQ(toInt("$FFFFFFFF"), -1);
    EXPECT_EQ(toInt("$80000000"), std::numeric_limits<std::int32_t>::min());
}

TEST(ConvertTest, IntegerErrorsCarryTheTextAsGiven) {
    for (const char* text :
         {"", " ", "3,5", "3.0", "1e3", "--3", "+-3", "- 3", "0x10", "$", "$-1", "2147483648",
          "-2147483649", "99999999999999999999", "$100000000", "3a", "\t3"}) {
        SCOPED_TRACE(text);
        EXPECT_EQ(errorText([text] { (void)toInt(text); }),
                  std::string("'") + text + "' is not a valid integer value");
    }
    // The text is shown in UTF-8, whatever code page byte it holds.
    EXPECT_EQ(errorText([] { (void)toInt("N\xBA"); }), "'N\xC2\xBA' is not a valid integer value");
}

TEST(ConvertTest, FloatsTakeCommaOrPointAndASign) {
    EXPECT_DOUBLE_EQ(toFloat("1,5"), 1.5);
    EXPECT_DOUBLE_EQ(toFloat("1.5"), 1.5);
    EXPECT_DOUBLE_EQ(toFloat(" 2 "), 2.0);
    EXPECT_DOUBLE_EQ(toFloat("+0,25"), 0.25);
    EXPECT_DOUBLE_EQ(toFloat("-1,5"), -1.5);
    EXPECT_DOUBLE_EQ(toFloat("   -12.50"), -12.5);  // a negative dBase numeric field
    EXPECT_DOUBLE_EQ(toFloat("1e3"), 1000.0);
}

// Plain digits, read in place, read as the full conversion reads them; anything else is left
// to it.
TEST(ConvertTest, PlainDigitsAreWhatTheFullConversionReads) {
    for (const char* text : {"0", "7", "007", "120", "999999999999999", "123456789012345"}) {
        ASSERT_TRUE(plainDigits(text).has_value()) << text;
        EXPECT_EQ(*plainDigits(text), toFloat(std::string(" ") + text + " ")) << text;
    }
    for (const char* text :
         {"", " 7", "7 ", "+7", "-7", "7,5", "7.5", "7e1", "x7", "1234567890123456"})
        EXPECT_FALSE(plainDigits(text).has_value()) << text;
}

TEST(ConvertTest, FloatErrorsCarryTheTextAsGiven) {
    for (const char* text : {"", "  ", "1,2,3", "1.234,5", "abc", "++1", "+-1", "-+1", "--1", "1 5",
                             "inf", "nan", "1e999", "0x1p3"}) {
        SCOPED_TRACE(text);
        EXPECT_EQ(errorText([text] { (void)toFloat(text); }),
                  std::string("'") + text + "' is not a valid floating point value");
    }
}

TEST(ConvertTest, PlainDecimalHasNoTrailingZerosOrPadding) {
    EXPECT_EQ(plainDecimal(3.0), "3");
    EXPECT_EQ(plainDecimal(-0.0), "0");
    EXPECT_EQ(plainDecimal(-7.0), "-7");
    EXPECT_EQ(plainDecimal(2.5), "2.5");
    EXPECT_EQ(plainDecimal(0.1), "0.1");
    EXPECT_EQ(plainDecimal(123456789012.0), "123456789012");
    // Every value reads back as itself.
    for (double v : {0.1, 1.0 / 3.0, -2.75, 1e-3, 98765.4321})
        EXPECT_EQ(toFloat(plainDecimal(v)), v) << plainDecimal(v);
}

}  // namespace
}  // namespace lindavex::convert
