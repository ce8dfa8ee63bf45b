// The system code page (Windows-1252) against UTF-8, and trimming.
#include "store/codepage.h"

#include <gtest/gtest.h>

namespace lindavex::codepage {
namespace {

TEST(CodePageTest, EveryByteSurvivesTheRoundTripThroughUtf8) {
    std::string all;
    for (int b = 0; b < 256; ++b) all += static_cast<char>(b);
    const std::string utf8 = toUtf8(all);
    EXPECT_EQ(fromUtf8(utf8), all);
    // Bytes that the code page leaves undefined keep their own code point.
    EXPECT_EQ(toUtf8("\x81\x8D\x8F\x90\x9D"), "\xC2\x81\xC2\x8D\xC2\x8F\xC2\x90\xC2\x9D");
}

TEST(CodePageTest, TheHighControlRangeIsTheWindowsOneNotLatin1) {
    EXPECT_EQ(toUtf8("\x80"), "\xE2\x82\xAC");  // euro sign
    EXPECT_EQ(toUtf8("\x9F"), "\xC5\xB8");      // Y with diaeresis
    EXPECT_EQ(toUtf8("Mi\xE9rcoles S\xE1"
                     "bado"),
              "Mi\xC3\xA9rcoles S\xC3\xA1"
              "bado");
    EXPECT_EQ(fromUtf8("\xE2\x80\x94\xC5\xA0"), "\x97\x8A");  // em dash, S with caron
    // U+0080..U+009F other than the five undefined bytes are not in the code page.
    EXPECT_EQ(fromUtf8("\xC2\x80\xC2\x9F"), "??");
}

TEST(CodePageTest, CharactersOutsideTheCodePageBecomeOneQuestionMarkEach) {
    EXPECT_EQ(fromUtf8("a\xCE\xA9"
                       "b\xE4\xB8\xAD"
                       "c\xF0\x9F\x98\x80"
                       "d"),
              "a?b?c?d");
}

TEST(CodePageTest, MalformedUtf8BecomesQuestionMarksWithoutSwallowingText) {
    EXPECT_EQ(fromUtf8("\xC3"), "?");  // cut off at the end
    EXPECT_EQ(fromUtf8("\xE2\x82"
                       "A"),
              "?A");  // cut off before a plain character
    EXPECT_EQ(fromUtf8("\x80"
                       "A\xBF"),
              "?A?");  // stray continuation bytes
    EXPECT_EQ(fromUtf8("\xFF\xFE"
                       "A"),
              "??A");                              // bytes that never occur
    EXPECT_EQ(fromUtf8("\xED\xA0\x80"), "?");      // a surrogate half
    EXPECT_EQ(fromUtf8("\xF4\x90\x80\x80"), "?");  // beyond U+10FFFF
    // Overlong forms must not smuggle in characters such as '<', '/' or NUL.
    EXPECT_EQ(fromUtf8("\xC0\xBC"), "??");
    EXPECT_EQ(fromUtf8("\xE0\x80\xAF"), "?");
    EXPECT_EQ(fromUtf8("\xE0\x83\xA9"), "?");  // overlong e-acute
    EXPECT_EQ(fromUtf8("\xF0\x80\x80\x80"), "?");
    EXPECT_EQ(fromUtf8(std::string_view("a\0b", 3)), std::string("a\0b", 3));
}

TEST(CodePageTest, TrimRemovesBlanksAndControlsAtBothEndsOnly) {
    EXPECT_EQ(trim(std::string_view("\0\t\r\n a  b \x1F\x01 ", 12)), "a  b");
    EXPECT_EQ(trim(" \t "), "");
    EXPECT_EQ(trim(""), "");
    EXPECT_EQ(trim("!x!"), "!x!");  // code 33 stays
    // Bytes above 127, such as the code page's no-break space, are text.
    EXPECT_EQ(trim("\xA0x\xA0"), "\xA0x\xA0");
}

}  // namespace
}  // namespace lindavex::codepage
