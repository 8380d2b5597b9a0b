// Number text: the 15-digit decimal form of generated mesh text, and its round trip.
#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <charconv>
#include <limits>
#include <random>
#include <string>

#include "mesh/decimal_digits.hpp"
#include "mesh/mesh.hpp"

namespace corvath {
namespace {

TEST(NumberText, IntegersCarryASignCharacter) {
  EXPECT_EQ(numberText(10.0), " 10");
  EXPECT_EQ(numberText(-105.0), "-105");
  EXPECT_EQ(numberText(65280.0), " 65280");
  EXPECT_EQ(numberText(0.0), " 0");
  EXPECT_EQ(numberText(-0.0), " 0");
  EXPECT_EQ(numberText(int32_t{0}), " 0");
  EXPECT_EQ(numberText(int32_t{12}), " 12");
  EXPECT_EQ(numberText(int32_t{-2147483647 - 1}), "-2147483648");
  EXPECT_EQ(numberText(123456789012345.0), " 123456789012345");
  EXPECT_EQ(numberText(1e15), " 1E+15");  // sixteen integer digits take the exponent form
}

TEST(NumberText, FractionsHaveNoZeroBeforeThePoint) {
  EXPECT_EQ(numberText(0.5), " .5");
  EXPECT_EQ(numberText(-0.5), "-.5");
  EXPECT_EQ(numberText(-0.25), "-.25");
  EXPECT_EQ(numberText(12.25), " 12.25");
  EXPECT_EQ(numberText(0.1), " .1");
  EXPECT_EQ(numberText(-4.330127239227295), "-4.33012723922729");
  EXPECT_EQ(numberText(1e-16), " .0000000000000001");  // sixteen decimals still fit
  EXPECT_EQ(numberText(1.5e-17), " 1.5E-17");
  EXPECT_EQ(numberText(1.5e16), " 1.5E+16");
  EXPECT_EQ(numberText(2.7105054312137611e-19), " 2.71050543121376E-19");
}

TEST(NumberText, SixteenthDigitAloneDecidesTheRounding) {
  // 0.30000000000000004 has the 18 digits 300000000000000044: the 16th digit is 0.
  EXPECT_EQ(numberText(0.1 + 0.2), " .3");
  // 2/3 = .666666666666666630 (18 digits): the 16th digit 6 rounds up.
  EXPECT_EQ(numberText(2.0 / 3.0), " .666666666666667");
  // 1.0000000000000005 is 1.00000000000000044 to 18 digits: 16th digit 4, down.
  EXPECT_EQ(numberText(1.0000000000000004), " 1");
  // A carry through every digit raises the exponent.
  EXPECT_EQ(numberText(9.9999999999999995), " 10");
  EXPECT_EQ(numberText(999999999999999.9), " 1E+15");
}

TEST(NumberText, ExactFiveOnTheSixteenthDigitGoesToTheEvenFifteenth) {
  // Integers are exact, so their 18 digits carry the tie as it stands.
  EXPECT_EQ(numberText(1000000000000002.5 * 4), " 4.00000000000001E+15");  // 4000000000000010
  EXPECT_EQ(numberText(1234567890123425.0), " 1.23456789012342E+15");     // 2 even: down
  EXPECT_EQ(numberText(1234567890123435.0), " 1.23456789012344E+15");     // 3 odd: up
  // The tie looks at the 16th digit only, not at the 17th and 18th.
  EXPECT_EQ(numberText(12345678901234251.0), " 1.23456789012342E+16");
}

// The exact digits of short binary fractions must be the correctly rounded ones in every case the
// exact path takes, ties at the 18th digit included.
TEST(NumberText, ExactDigitsAgreeWithTheGeneralFormatter) {
  std::mt19937_64 engine(2026);
  int exactCount = 0;
  const auto check = [&](double magnitude) {
    char exact[kRoundedDigits];
    char rounded[kRoundedDigits];
    int exactExponent = 0;
    int roundedExponent = 0;
    if (!exactDecimalDigits(magnitude, exact, exactExponent)) return;
    ++exactCount;
    roundedDecimalDigits(magnitude, rounded, roundedExponent);
    ASSERT_EQ(std::string(exact, kRoundedDigits), std::string(rounded, kRoundedDigits)) << magnitude;
    ASSERT_EQ(exactExponent, roundedExponent) << magnitude;
  };
  for (int i = 0; i < 300000; ++i) {
    // Any 32-bit float, as the scene's ring points are.
    const auto floatBits = static_cast<uint32_t>(engine()) & 0x7fffffffu;
    const float single = std::bit_cast<float>(floatBits);
    if (std::isfinite(single) && single != 0) check(single);
    // Wide odd mantissas over few halvings: 19 or more digits, many of them exact ties.
    const uint64_t mantissa = (engine() >> 11) | 1;
    check(std::ldexp(static_cast<double>(mantissa), -static_cast<int>(engine() % 60)));
    // Values just below a power of ten, where rounding carries into a new first digit.
    check(std::nextafter(std::pow(10.0, static_cast<double>(engine() % 30) - 15), 0.0));
  }
  EXPECT_GT(exactCount, 250000);
}

TEST(NumberText, ReaderReadsTheTextBackToFifteenDigits) {
  std::mt19937_64 engine(12345);
  for (int i = 0; i < 20000; ++i) {
    const double magnitude = std::pow(10.0, std::uniform_real_distribution<double>(-25, 25)(engine));
    const double value = (engine() & 1 ? -1 : 1) * magnitude;
    const std::string text = numberText(value);
    const double back = readNumber(text);
    ASSERT_NEAR(back, value, std::fabs(value) * 6e-15) << text;
    // The text of what was read back is the same text.
    ASSERT_EQ(numberText(back), text);
  }
}

}  // namespace
}  // namespace corvath
