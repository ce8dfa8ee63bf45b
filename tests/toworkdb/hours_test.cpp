// Weekly hours to HORAS and SESIONES.
#include "toworkdb/hours.h"

#include <gtest/gtest.h>

#include <string>

#include "support/error_text.h"

namespace lindavex::toworkdb {
namespace {

struct Case {
    const char* horas;
    SessionLengths lengths;
    double hours;
    const char* pattern;
};

void expectLoad(const Case& c) {
    SCOPED_TRACE(std::string("Horas ") + c.horas);
    const WeeklyLoad load = weeklyLoad(c.horas, c.lengths);
    EXPECT_EQ(load.hours, c.hours);
    EXPECT_EQ(load.pattern, c.pattern);
}

TEST(WeeklyLoad, CentreFileFormsWithTheCentresSessionLengths) {
    const SessionLengths centre = {55, 35, 0};
    for (const Case& c : {
             Case{"04,00", centre, 4, "1111"},  // whole hours stay hours
             Case{"01,50", centre, 2, "11"},    // 90 min: neither 55 nor 35 divides it
             Case{"02,75", centre, 3, "111"},   // 165 min = 3 x 55
             Case{"01,75", centre, 3, "111"},   // 105 min: not 55, but 3 x 35
             Case{"00,00", centre, 1, "1"},     // no hours count as one
             Case{"15,00", centre, 15, "21111111111111"},
         })
        expectLoad(c);
}

TEST(WeeklyLoad, MinutesComeExactlyFromTheDecimalTextWithCommaOrPoint) {
    // 4.2 hours is 252 minutes exactly, six sessions of 42.
    expectLoad({"04,20", {42, 0, 0}, 6, "111111"});
    expectLoad({"4.20", {42, 0, 0}, 6, "111111"});
    expectLoad({"02.75", {55, 35, 0}, 3, "111"});
    expectLoad({"0,70", {42, 0, 0}, 1, "1"});
    // More than two decimals are exact too: 1.125 h = 67.5 min, not a whole number of 45.
    expectLoad({"01,125", {45, 0, 0}, 2, "11"});
    expectLoad({"01,5", {45, 0, 0}, 2, "11"});  // 90 = 2 x 45
    // A length that is tried after one that does not divide.
    expectLoad({"02,50", {55, 40, 50}, 3, "111"});
}

TEST(WeeklyLoad, WithoutSessionLengthsFractionalHoursRoundUp) {
    expectLoad({"02,50", {0, 0, 0}, 3, "111"});
    expectLoad({"00,01", {0, 0, 0}, 1, "1"});
    // A zero length ends the trials: 35 after it is never tried.
    expectLoad({"01,75", {55, 0, 35}, 2, "11"});
}

TEST(WeeklyLoad, WholeHoursAreRecognisedByValueInAnyForm) {
    for (const Case& c : {
             Case{"4,00", {55, 0, 0}, 4, "1111"},
             Case{"4", {55, 0, 0}, 4, "1111"},
             Case{"4.0", {60, 0, 0}, 4, "1111"},
             Case{"04,", {0, 0, 0}, 4, "1111"},
             Case{"0", {55, 0, 0}, 1, "1"},
             Case{"0,0", {55, 0, 0}, 1, "1"},
             Case{"+3", {55, 0, 0}, 3, "111"},
             // Negative hours give no sessions.
             Case{"-2,00", {55, 0, 0}, -2, ""},
             Case{"-1,50", {55, 0, 0}, -1, ""},
         })
        expectLoad(c);
}

TEST(WeeklyLoad, TextThatIsNotANumberStopsWithTheSystemsMessage) {
    for (const char* bad : {"", "   ", "abc", "4,00h", "4,0,0", "--1", "1 2"}) {
        EXPECT_EQ(testing::errorText([bad] {
                      (void)weeklyLoad(bad, {55, 35, 0});
                  }),
                  "'" + std::string(bad) + "' is not a valid floating point value");
    }
}

TEST(SessionPattern, OnesUpToThirteenThenTheRestAsANumber) {
    EXPECT_EQ(sessionPattern(1), "1");
    EXPECT_EQ(sessionPattern(3), "111");
    EXPECT_EQ(sessionPattern(2.1), "111");  // rounded up
    EXPECT_EQ(sessionPattern(13), std::string(13, '1'));
    EXPECT_EQ(sessionPattern(14), std::string(14, '1'));
    EXPECT_EQ(sessionPattern(15), "2" + std::string(13, '1'));
    EXPECT_EQ(sessionPattern(23), "10" + std::string(13, '1'));
    EXPECT_EQ(sessionPattern(0), "");
    EXPECT_EQ(sessionPattern(-3), "");
}

}  // namespace
}  // namespace lindavex::toworkdb
