// The byte-string helpers: fixed-field copies, integer parsing, Shift-JIS filters.
#include "drawing/Func_.h"

#include <gtest/gtest.h>

#include <array>

using namespace quellmark;

TEST(SanitizeSjis, DropsControlBytesAndKeepsDoubleByteCharacters) {
    EXPECT_EQ(SanitizeSjis("A\tB"), "AB");
    EXPECT_EQ(SanitizeSjis("\x90\x7d\r\n\x96\xca"), "\x90\x7d\x96\xca");  // two words, line break
    EXPECT_EQ(SanitizeSjis("\xB1\xB2"), "\xB1\xB2");                      // half-width katakana
    EXPECT_EQ(SanitizeSjis(std::string("\x81\x0A", 2)), std::string("\x81\x0A", 2));  // trail < 0x40
    EXPECT_EQ(SanitizeSjis("ab\x82"), "ab\x82");  // a lone lead byte at the end stays
    EXPECT_EQ(SanitizeSjis(""), "");
    EXPECT_EQ(SanitizeSjis("\x01\x02"), "");
    EXPECT_EQ(SanitizeSjis("^m"), "^m");  // only the writers' filter drops it
}

TEST(SanitizeSjisText, DropsCaretMOnlyWhereASingleByteCharacterStands) {
    EXPECT_EQ(SanitizeSjisText("^m"), " ");
    EXPECT_EQ(SanitizeSjisText("a^mb"), "ab");
    EXPECT_EQ(SanitizeSjisText("a^Mb"), "a^Mb");
    EXPECT_EQ(SanitizeSjisText("\x01"), " ");
    EXPECT_EQ(SanitizeSjisText(""), "");
    // 0x81 0x5E is one double-byte character; the "m" after it is an ordinary letter.
    EXPECT_EQ(SanitizeSjisText("\x81^m"), "\x81^m");
    EXPECT_TRUE(IsCleanSjisText("\x81^m"));
    EXPECT_FALSE(IsCleanSjisText("x^m"));
    EXPECT_FALSE(IsCleanSjisText("\x1F"));
    EXPECT_TRUE(IsCleanSjisText(""));
}

TEST(StrToIntDef0, ParsesWholeDecimalAndHexadecimalTexts) {
    EXPECT_EQ(StrToIntDef0(" 42"), 42);
    EXPECT_EQ(StrToIntDef0("42 "), 0);
    EXPECT_EQ(StrToIntDef0("-7"), -7);
    EXPECT_EQ(StrToIntDef0("+7"), 7);
    EXPECT_EQ(StrToIntDef0("$1F"), 31);
    EXPECT_EQ(StrToIntDef0("0x1f"), 31);
    EXPECT_EQ(StrToIntDef0("X10"), 16);
    EXPECT_EQ(StrToIntDef0("-$10"), 16);  // the sign does nothing to a hexadecimal value
    EXPECT_EQ(StrToIntDef0("$FFFFFFFF"), -1);
    EXPECT_EQ(StrToIntDef0("$100000000"), 0);
    EXPECT_EQ(StrToIntDef0("2147483647"), 2147483647);
    EXPECT_EQ(StrToIntDef0("2147483648"), 0);
    EXPECT_EQ(StrToIntDef0("-2147483648"), INT32_MIN);
    EXPECT_EQ(StrToIntDef0("-2147483649"), 0);
    EXPECT_EQ(StrToIntDef0(""), 0);
    EXPECT_EQ(StrToIntDef0("-"), 0);
    EXPECT_EQ(StrToIntDef0("0x"), 0);
    EXPECT_EQ(StrToIntDef0("1a"), 0);
    EXPECT_EQ(StrToIntDef0("99999999999999999999"), 0);
}

TEST(CharArrays, CopyAndFillStayInsideTheirCount) {
    std::array<char, 10> field;
    field.fill('.');
    CopyToCharArray(field, "abcdefghij", -8);
    EXPECT_EQ(std::string(field.data(), 10), "abcdefgh..");
    field.fill('.');
    CopyToCharArray(field, "abc", 8);
    EXPECT_EQ(std::string(field.data(), 10), "abc.......");
    EXPECT_THROW(CopyToCharArray(field, "abcdefghijkl", 12), std::out_of_range);

    FillCharArray(field, 'x', 4);
    EXPECT_EQ(std::string(field.data(), 10), "xxxx......");
    FillCharArray(field, 'y', -3);
    EXPECT_EQ(std::string(field.data(), 10), "xxxx......");
    EXPECT_THROW(FillCharArray(field, 'z', 11), std::out_of_range);
}

TEST(UpperSjis, UpperCasesAsciiLettersButNeverATrailByte) {
    EXPECT_EQ(UpperSjis("image1.bmp"), "IMAGE1.BMP");
    // 0x82 0x61 is a double-byte character whose trail byte happens to be 'a'.
    EXPECT_EQ(UpperSjis("\x82\x61" "a"), "\x82\x61" "A");
}
