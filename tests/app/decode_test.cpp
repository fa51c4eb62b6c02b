#include <gtest/gtest.h>

#include <cstdio>

#include "decode.h"

namespace {

TEST(DecodeSpeed, TellingRows) {
  EXPECT_EQ(decode_speed("07 64 32"), "50 km/h");
  EXPECT_EQ(decode_speed("07 01 32"), "0 km/h");    // 0.5 goes to even 0
  EXPECT_EQ(decode_speed("07 01 96"), "2 km/h");    // 1.5 goes to even 2
  EXPECT_EQ(decode_speed("07 01 FA"), "2 km/h");    // 2.5 goes to even 2
  EXPECT_EQ(decode_speed("07 FF 64"), "255 km/h");  // 255.00000000000003
  EXPECT_EQ(decode_speed("07 FF FF"), "650 km/h");  // 650.2500000000001
}

TEST(DecodeSpeed, ReplyWithoutTheFieldGivesNothing) {
  EXPECT_EQ(decode_speed(""), std::nullopt);
  EXPECT_EQ(decode_speed("0805\r06 64 32\r>"), std::nullopt);
  EXPECT_EQ(decode_speed("0\r7"), std::nullopt);
}

TEST(DecodeSpeed, TakesTheFirst07AnywhereInTheReply) {
  EXPECT_EQ(decode_speed("107 0A 32"), "5 km/h");
  EXPECT_EQ(decode_speed("0805\r01 02 03 07 64 32 07 FF FF\r>"), "50 km/h");
}

TEST(DecodeSpeed, FieldTooCloseToTheEndReadsEmptyValues) {
  EXPECT_EQ(decode_speed("07\r>"), "0 km/h");
  EXPECT_EQ(decode_speed("07"), "0 km/h");
  EXPECT_EQ(decode_speed("07 6"), "0 km/h");  // b comes from the empty text
}

TEST(DecodeSpeed, DigitRulesOfTheValues) {
  EXPECT_EQ(decode_speed("07 ff 64"), "255 km/h");
  EXPECT_EQ(decode_speed("07 4G 10"), "0 km/h");    // a = 0
  EXPECT_EQ(decode_speed("07 G4 10"), "1 km/h");    // a = 4, b = 16, 0.64
  EXPECT_EQ(decode_speed("07x64y32"), "50 km/h");   // the separators are not examined
  EXPECT_EQ(decode_speed("07xx64yy32"), "0 km/h");  // a from "x6", b from "yy"
}

TEST(DecodeSpeed, AZeroByteEndsTheReply) { EXPECT_EQ(decode_speed(std::string_view("07 64\0 32", 9)), "0 km/h"); }

// The double nearest to 0.01 is M / 2^59 with 2^52 <= M < 2^53.
constexpr int factor_shift = 59;
const unsigned __int128 factor_mantissa = ((static_cast<unsigned __int128>(1) << factor_shift) + 50) / 100;

int bit_length(unsigned __int128 x) {
  int bits = 0;
  while (x != 0) {
    ++bits;
    x >>= 1;
  }
  return bits;
}

// Rounds the integer x to 53 significant bits, ties to even, as a double
// product would be rounded; the scale 2^-59 is implied and unchanged.
unsigned __int128 round_to_double(unsigned __int128 x) {
  const int excess = bit_length(x) - 53;
  if (excess <= 0) return x;
  const unsigned __int128 unit = static_cast<unsigned __int128>(1) << excess;
  unsigned __int128 kept = x >> excess;
  const unsigned __int128 rest = x & (unit - 1);
  const unsigned __int128 half = unit >> 1;
  if (rest > half || (rest == half && (kept & 1) != 0)) ++kept;
  return kept << excess;
}

struct ExactSpeed {
  std::int32_t value;
  bool tie;
  bool below_half_up;
};

// (a × 0.01) × b with each product rounded to double, then to an integer with
// ties to even, in integer arithmetic only.
ExactSpeed exact_speed(unsigned a, unsigned b) {
  const unsigned __int128 scaled = round_to_double(factor_mantissa * a);
  const unsigned __int128 product = round_to_double(scaled * b);
  const unsigned __int128 unit = static_cast<unsigned __int128>(1) << factor_shift;
  auto whole = static_cast<std::int32_t>(product >> factor_shift);
  const unsigned __int128 fraction = product & (unit - 1);
  const unsigned __int128 half = unit >> 1;
  const bool tie = fraction == half;
  const bool up = fraction > half || (tie && (whole & 1) != 0);
  return {whole + (up ? 1 : 0), tie, tie && !up};
}

TEST(DecodeSpeed, EveryPairAgreesWithExactArithmetic) {
  int ties = 0;
  int ties_below_half_up = 0;
  char reply[16];
  for (unsigned a = 0; a < 256; ++a) {
    for (unsigned b = 0; b < 256; ++b) {
      const ExactSpeed exact = exact_speed(a, b);
      ties += exact.tie;
      ties_below_half_up += exact.below_half_up;
      ASSERT_EQ(speed_of(static_cast<std::int32_t>(a), static_cast<std::int32_t>(b)), exact.value)
          << "a=" << a << " b=" << b;
      std::snprintf(reply, sizeof reply, "07 %02X %02x\r>", a, b);
      ASSERT_EQ(decode_speed(reply), decimal_text(exact.value) + " km/h") << reply;
    }
  }
  EXPECT_EQ(ties, 1580);
  EXPECT_EQ(ties_below_half_up, 793);
}

}  // namespace
