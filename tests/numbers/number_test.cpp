// The reader's number rule, the 15-digit number text and its digits, rounding to integers.
#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <cstdlib>
#include <random>
#include <string>

#include "numbers/decimal_digits.hpp"

namespace corvath {
namespace {

// Cases "text=value" to read, or "value=text" to write; the value as strtod reads it.
void expectReads(std::initializer_list<std::string> cases) {
  for (const std::string& c : cases) {
    const size_t at = c.rfind('=');
    EXPECT_EQ(readNumber(c.substr(0, at)), std::strtod(c.c_str() + at + 1, nullptr)) << c;
  }
}
void expectTexts(std::initializer_list<std::string> cases) {
  for (const std::string& c : cases) {
    EXPECT_EQ(numberText(std::strtod(c.c_str(), nullptr)), c.substr(c.find('=') + 1)) << c;
  }
}

// A second point ends the number; an exponent letter without digits adds nothing; text without
// digits gives 0. The exponent clamps at 9999, but the digits can still bring the value back.
TEST(NumberRule, ReadsSignsPointsAndClampedExponents) {
  expectReads({"1.5=1.5", "-2=-2", "+7=7", "3E2=300", "3D2=300", "2.5e-1=0.25", " \t\n -.5=-0.5",
               "5.=5", "1.2.3=1.2", "12E=12", "0.1=0.1", "4.33012723922729=4.33012723922729",
               "2.71050543121376E-19=2.71050543121376E-19",
               "123456789012345678901234567890=123456789012345678901234567890",
               "0.000000000000000000000000000012345=1.2345e-29", "1.5E+16=1.5e16"});
  expectReads({"12abc=12", "abc=0", "=0", "-=0", ".=0", "E5=0", "- 5=0", "1E9999=inf",
               "-1E99999999999999999999=-inf", "1E-9999=0", "0.0000000001E99999=inf",
               "4.9E-324=4.9E-324"});
}

// 9 is no octal digit; a sign before the ampersand is no number.
TEST(NumberRule, AmpersandReadsIntegersInOtherBases) {
  expectReads({"&H1F=31", "&hff=255", "&O17=15", "&Q17=15", "&B101=5", "&17=15", "&19=1",
               "&HFFFFFFFFFFFF=281474976710655", "&=0", "-&H10=0"});
}

// Plain decimal numbers of any length read as the correctly rounded value, whatever follows them
// on the line.
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
    if (engine() % 4 == 0) {
      number.append("E").append(std::to_string(static_cast<int>(engine() % 60) - 30));
    }
    const std::string follower = followers[engine() % std::size(followers)];
    const bool hasDigit = number.find_first_of("0123456789") < number.find('E');
    const double expected = hasDigit ? std::strtod(number.c_str(), nullptr) : 0.0;
    ASSERT_EQ(readNumber(number + follower), expected) << number + follower;
  }
}

// Integers carry a sign character, fractions no zero before the point; sixteen integer digits or
// more than sixteen decimals take the exponent form.
TEST(NumberText, SignCharacterNoLeadingZeroAndExponentPastFifteenDigits) {
  expectTexts({"10= 10", "-105=-105", "65280= 65280", "0= 0", "-0= 0", "0.5= .5", "-0.5=-.5",
               "-0.25=-.25", "12.25= 12.25", "0.1= .1", "-4.330127239227295=-4.33012723922729",
               "123456789012345= 123456789012345", "1e15= 1E+15", "1e-16= .0000000000000001",
               "1.5e-17= 1.5E-17", "1.5e16= 1.5E+16",
               "2.7105054312137611e-19= 2.71050543121376E-19"});
  EXPECT_EQ(numberText(int32_t{0}) + numberText(int32_t{12}) + numberText(INT32_MIN),
            " 0 12-2147483648");
}

// To 18 digits, 0.1 + 0.2 is .300000000000000044, 2/3 .666666666666666630 and 1.0000000000000004
// 1.00000000000000044. A carry through every digit raises the exponent. Integers are exact, so
// their digits carry a tie as it stands: 1234567890123425 (2 even: down), 1234567890123435 (3 odd:
// up), and 12345678901234251, whose 17th and 18th digits are not looked at.
TEST(NumberText, SixteenthDigitAloneDecidesTheRoundingWithTiesToEven) {
  expectTexts({"0.30000000000000004= .3", "0.66666666666666663= .666666666666667",
               "1.0000000000000004= 1", "9.9999999999999995= 10", "999999999999999.9= 1E+15",
               "4000000000000010= 4.00000000000001E+15", "1234567890123425= 1.23456789012342E+15",
               "1234567890123435= 1.23456789012344E+15",
               "12345678901234251= 1.23456789012342E+16"});
}

// The exact digits of short binary fractions must be the correctly rounded ones in every case the
// exact path takes, ties at the 18th digit included.
TEST(NumberText, ExactDigitsAgreeWithTheGeneralFormatter) {
  std::mt19937_64 engine(2026);
  int exactCount = 0;
  const auto check = [&](double magnitude) {
    char exact[kRoundedDigits], rounded[kRoundedDigits];
    int exactExponent = 0, roundedExponent = 0;
    if (!exactDecimalDigits(magnitude, exact, exactExponent)) return;
    ++exactCount;
    roundedDecimalDigits(magnitude, rounded, roundedExponent);
    ASSERT_EQ(std::string(exact, kRoundedDigits) + 'e' + std::to_string(exactExponent),
              std::string(rounded, kRoundedDigits) + 'e' + std::to_string(roundedExponent))
        << magnitude;
  };
  for (int i = 0; i < 300000; ++i) {
    // Any 32-bit float, as the scene's ring points are.
    const float single = std::bit_cast<float>(static_cast<uint32_t>(engine()) & 0x7fffffffu);
    if (std::isfinite(single) && single != 0) check(single);
    // Wide odd mantissas over few halvings: 19 or more digits, many of them exact ties.
    check(std::ldexp(static_cast<double>((engine() >> 11) | 1), -static_cast<int>(engine() % 60)));
    // Values just below a power of ten, where rounding carries into a new first digit.
    check(std::nextafter(std::pow(10.0, static_cast<double>(engine() % 30) - 15), 0.0));
  }
  EXPECT_GT(exactCount, 250000);
}

TEST(Rounding, HalvesGoToTheEvenNeighbourAndLargeValuesClamp) {
  const double kValues[] = {2.5, 3.5, -2.5, 0.4, 1e12, -1e12, HUGE_VAL, std::nan("")};
  const int32_t kRounded[] = {2, 4, -2, 0, INT32_MAX, INT32_MIN, INT32_MAX, 0};
  for (size_t i = 0; i < std::size(kValues); ++i) {
    EXPECT_EQ(roundToInt32(kValues[i]), kRounded[i]) << kValues[i];
  }
}

}  // namespace
}  // namespace corvath
