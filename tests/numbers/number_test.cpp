// The reader's number rule, the 15-digit number text and its digits, rounding to integers.
#include <gtest/gtest.h>

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdlib>
#include <random>
#include <string>

#include "numbers/decimal_digits.hpp"

namespace corvath {
namespace {

// Cases "text=value" to read, or "value=text" to write; the value as strtod reads it.
void expectCases(bool reading, std::initializer_list<std::string> cases) {
  for (const std::string& c : cases) {
    const size_t at = reading ? c.rfind('=') : c.find('=');
    if (reading)
      EXPECT_EQ(readNumber(c.substr(0, at)), std::strtod(&c[at + 1], nullptr)) << c;
    else
      EXPECT_EQ(numberText(std::strtod(c.c_str(), nullptr)), c.substr(at + 1)) << c;
  }
}
constexpr bool kRead = true, kWrite = false;

// A second point ends the number; an exponent letter without digits adds nothing; text without
// digits gives 0. The exponent clamps at 9999, but the digits can still bring the value back.
TEST(NumberRule, ReadsSignsPointsAndClampedExponents) {
  expectCases(kRead, {"1.5=1.5", "-2=-2", "+7=7", "3E2=300", "3D2=300", "2.5e-1=0.25", "5.=5",
                      "1.2.3=1.2", "12E=12", "0.1=0.1"});
  expectCases(kRead, {"1.5E+16=1.5e16", "abc=0", "=0", "-=0", ".=0", "E5=0", "- 5=0", "12abc=12",
                      "1E9999=inf", "1E-9999=0"});
  expectCases(kRead, {"0.0000000001E99999=inf", "4.9E-324=4.9E-324", "-1E99999999999999999999=-inf",
                      "4.33012723922729=4.33012723922729", " \t\n -.5=-0.5",
                      "2.71050543121376E-19=2.71050543121376E-19",
                      "0.000000000000000000000000000012345=1.2345e-29",
                      "123456789012345678901234567890=123456789012345678901234567890"});
}

// 9 is no octal digit; a sign before the ampersand is no number.
TEST(NumberRule, AmpersandReadsIntegersInOtherBases) {
  expectCases(kRead, {"&H1F=31", "&hff=255", "&O17=15", "&Q17=15", "&B101=5", "&17=15", "&19=1",
                      "&HFFFFFFFFFFFF=281474976710655", "&=0", "-&H10=0"});
}

// Correctly rounded at any length, whatever follows on the line.
TEST(NumberRule, DecimalNumbersOfAnyLengthAreCorrectlyRounded) {
  std::mt19937_64 engine(77);
  const std::string followers[] = {"", " Y: 3", "x", ":", "/", "\x80\xff"};
  const auto digits = [&](std::string& number) {
    for (auto k = engine() % 22; k > 0; --k) number += static_cast<char>('0' + engine() % 10);
  };
  for (int i = 0; i < 100000; ++i) {
    std::string number = engine() % 4 == 0 ? "-" : "";
    digits(number);
    if (engine() % 3 != 0) digits(number += '.');
    if (engine() % 4 == 0) number.append("E").append(std::to_string(int(engine() % 60) - 30));
    const std::string follower = followers[engine() % std::size(followers)];
    const bool hasDigit = number.find_first_of("0123456789") < number.find('E');
    ASSERT_EQ(readNumber(number + follower), hasDigit ? std::strtod(number.c_str(), nullptr) : 0.0)
        << number + follower;
  }
}

// Integers carry a sign character, fractions no zero before the point; sixteen integer digits or
// more than sixteen decimals take the exponent form.
TEST(NumberText, SignCharacterNoLeadingZeroAndExponentPastFifteenDigits) {
  expectCases(kWrite, {"10= 10", "-105=-105", "65280= 65280", "0= 0", "-0= 0", "0.5= .5",
                       "-0.5=-.5", "-0.25=-.25", "12.25= 12.25", "0.1= .1",
                       "-4.330127239227295=-4.33012723922729", "123456789012345= 123456789012345",
                       "1e15= 1E+15", "1e-16= .0000000000000001", "1.5e-17= 1.5E-17",
                       "1.5e16= 1.5E+16", "2.7105054312137611e-19= 2.71050543121376E-19"});
  EXPECT_EQ(numberText(int32_t{0}) + numberText(int32_t{12}) + numberText(INT32_MIN),
            " 0 12-2147483648");
}

// Digits past the 16th are never looked at (.300000000000000044 gives .3); integers carry a tie
// as it stands (...25 down, ...35 up); a carry through every digit raises the exponent.
TEST(NumberText, SixteenthDigitAloneDecidesTheRoundingWithTiesToEven) {
  expectCases(
      kWrite,
      {"0.30000000000000004= .3", "0.66666666666666663= .666666666666667", "1.0000000000000004= 1",
       "9.9999999999999995= 10", "999999999999999.9= 1E+15",
       "4000000000000010= 4.00000000000001E+15", "1234567890123425= 1.23456789012342E+15",
       "1234567890123435= 1.23456789012344E+15", "12345678901234251= 1.23456789012342E+16"});
}

// Wherever the exact path answers, ties at the 18th digit included, it gives the rounded digits.
TEST(NumberText, ExactDigitsAgreeWithTheGeneralFormatter) {
  std::mt19937_64 engine(2026);
  int exactCount = 0;
  const auto check = [&](double magnitude) {
    char exact[kRoundedDigits], rounded[kRoundedDigits];
    int exactExponent = 0, roundedExponent = 0;
    if (!exactDecimalDigits(magnitude, exact, exactExponent)) return;
    roundedDecimalDigits(magnitude, rounded, roundedExponent), ++exactCount;
    ASSERT_TRUE(std::equal(exact, exact + kRoundedDigits, rounded) &&
                exactExponent == roundedExponent)
        << magnitude;
  };
  // Any 32-bit float; wide odd mantissas over few halvings (many exact ties); values just below a
  // power of ten, where rounding carries into a new first digit.
  for (int i = 0; i < 300000; ++i) {
    const float single = std::bit_cast<float>(static_cast<uint32_t>(engine()) & 0x7fffffffu);
    if (std::isfinite(single) && single != 0) check(single);
    check(std::ldexp(static_cast<double>((engine() >> 11) | 1), -static_cast<int>(engine() % 60)));
    check(std::nextafter(std::pow(10.0, static_cast<double>(engine() % 30) - 15), 0.0));
  }
  EXPECT_GT(exactCount, 250000);
}

TEST(Rounding, HalvesGoToTheEvenNeighbourAndLargeValuesClamp) {
  for (const auto& [value, rounded] : {std::pair{2.5, 2},
                                       {3.5, 4},
                                       {-2.5, -2},
                                       {0.4, 0},
                                       {1e12, INT32_MAX},
                                       {-1e12, INT32_MIN},
                                       {HUGE_VAL, INT32_MAX},
                                       {std::nan(""), 0}})
    EXPECT_EQ(roundToInt32(value), rounded) << value;
}

}  // namespace
}  // namespace corvath
