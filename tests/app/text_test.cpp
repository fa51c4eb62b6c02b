#include <gtest/gtest.h>

#include "text.h"

namespace {

TEST(TextLength, CountsBytesBeforeTheFirstZero) {
  EXPECT_EQ(text_length(""), 0);
  EXPECT_EQ(text_length("abc"), 3);
  EXPECT_EQ(text_length(std::string_view("ab\0cd", 5)), 2);
  EXPECT_EQ(text_length(text_view(static_cast<const char*>(nullptr))), 0);
}

TEST(HexValue, TakesTheRunOfDigitsAtTheEnd) {
  EXPECT_EQ(hex_value(""), 0);
  EXPECT_EQ(hex_value("x1f"), 31);
  EXPECT_EQ(hex_value("FF"), 255);
  EXPECT_EQ(hex_value("ff"), 255);
  EXPECT_EQ(hex_value("12 "), 0);  // a trailing blank ends the scan at once
  EXPECT_EQ(hex_value("G4"), 4);   // the scan stops at G
  EXPECT_EQ(hex_value("4G"), 0);
  EXPECT_EQ(hex_value("-1"), 1);     // no sign
  EXPECT_EQ(hex_value("0x10"), 16);  // "x" stops the scan, not a prefix
  EXPECT_EQ(hex_value("@:"), 0);     // the bytes beside "0"-"9" and "A"-"F"
  EXPECT_EQ(hex_value("`G"), 0);
}

TEST(HexValue, WrapsModulo2To64) {
  EXPECT_EQ(hex_value("10000000000000000"), 0);  // a one and sixteen zeros
  EXPECT_EQ(hex_value("FFFFFFFFFFFFFFFF"), -1);
  EXPECT_EQ(hex_value("8000000000000000"), INT64_MIN);
  EXPECT_EQ(hex_value("123FFFFFFFFFFFFFFFF"), -1);  // digits before the last sixteen add nothing
}

TEST(HexValue, CountsTheHighBytesThatUpperCasingLowersIntoDigits) {
  // Bytes 0xE1 to 0xE6 are lowered to 0xC1 to 0xC6, which are no digits;
  // the scan must look at the upper-cased text, not the raw one.
  EXPECT_EQ(hex_value("\xE1"), 0);
  EXPECT_EQ(hex_value("7\xE1"), 0);
}

TEST(FindText, FindsTheFirstOccurrenceFromStart) {
  EXPECT_EQ(find_text("abcabc", "bc", 3), 5);
  EXPECT_EQ(find_text("abcabc", "bc", 1), 2);
  EXPECT_EQ(find_text("abc", "c", 0), 3);
  EXPECT_EQ(find_text("abc", "c", -7), 3);
  EXPECT_EQ(find_text("abc", "c", 4), 0);
  EXPECT_EQ(find_text("abc", "c", 3), 3);
  EXPECT_EQ(find_text("abc", "", 1), 0);
  EXPECT_EQ(find_text("", "a", 1), 0);
  EXPECT_EQ(find_text("ab", "abc", 1), 0);
  EXPECT_EQ(find_text("abc", "C", 1), 0);  // case counts
  EXPECT_EQ(find_text("0805\r07 64 32\r>", "\r>", 1), 14);
}

TEST(FindText, SeesOnlyTheBytesBeforeAZero) {
  EXPECT_EQ(find_text(std::string_view("ab\0cd", 5), "cd", 1), 0);
  EXPECT_EQ(find_text("abcd", std::string_view("c\0x", 3), 1), 3);
}

TEST(MidText, ClampsStartAndLength) {
  EXPECT_EQ(mid_text("abc", 0, 2), "ab");
  EXPECT_EQ(mid_text("abc", -5, 2), "ab");
  EXPECT_EQ(mid_text("abc", 3, 5), "c");
  EXPECT_EQ(mid_text("abc", 4, 1), "");
  EXPECT_EQ(mid_text("abc", 2, -1), "");
  EXPECT_EQ(mid_text("abc", 2, 0), "");
  EXPECT_EQ(mid_text("abc", INT32_MAX, INT32_MAX), "");
  EXPECT_EQ(mid_text("abc", 1, INT32_MAX), "abc");
}

TEST(DecimalText, FormatsSignedValues) {
  EXPECT_EQ(decimal_text(0), "0");
  EXPECT_EQ(decimal_text(-5), "-5");
  EXPECT_EQ(decimal_text(650), "650");
  EXPECT_EQ(decimal_text(1000000), "1000000");
  EXPECT_EQ(decimal_text(INT32_MAX), "2147483647");
  EXPECT_EQ(decimal_text(INT32_MIN), "-2147483648");
  EXPECT_EQ(decimal_text(INT32_MIN + 1), "-2147483647");
}

TEST(UpperText, LowersTwoByteRangesAndNothingElse) {
  EXPECT_EQ(upper_text("abz{`"), "ABZ{`");
  EXPECT_EQ(upper_text("\xF7\xFF\xDF\xE0"), "\xD7\xDF\xDF\xC0");
  for (int byte = 1; byte < 256; ++byte) {
    const Text in(1, static_cast<char>(byte));
    const bool lowered = (byte >= 0x61 && byte <= 0x7A) || byte >= 0xE0;
    const int expected = lowered ? byte - 0x20 : byte;
    EXPECT_EQ(static_cast<unsigned char>(upper_text(in)[0]), expected) << "byte " << byte;
  }
}

}  // namespace
