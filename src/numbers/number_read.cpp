// The number rule of mesh text: decimal numbers as the reader takes them, based integers
// ("&H1F"), and the rounding of numbers to 32-bit integers.
#include <algorithm>
#include <array>
#include <charconv>
#include <cmath>
#include <limits>
#include <string_view>

#include "numbers/numbers.hpp"

namespace corvath {
namespace {

constexpr int kMaxExponent = 9999;

constexpr std::array<double, 23> kExactPowersOfTen = {
    1e0,  1e1,  1e2,  1e3,  1e4,  1e5,  1e6,  1e7,  1e8,  1e9,  1e10, 1e11,
    1e12, 1e13, 1e14, 1e15, 1e16, 1e17, 1e18, 1e19, 1e20, 1e21, 1e22};

bool isDigit(char c) {
  return c >= '0' && c <= '9';
}

// Whether a number's digits go on past c: more digits, a point or an exponent letter.
bool continuesNumber(char c) {
  return isDigit(c) || c == '.' || c == 'E' || c == 'e' || c == 'D' || c == 'd';
}

// Digit value in bases up to 16, or 99 for anything else.
int digitValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return 99;
}

// "&H1F", "&O17", "&Q17", "&B101", "&17": an unsigned integer in base 16, 8, 2 or 8. Carried in
// a double, so very long digit runs lose precision instead of overflowing.
double readBasedInteger(std::string_view text) {
  int base = 8;
  size_t i = 0;
  if (!text.empty()) {
    switch (text[0]) {
      case 'H':
      case 'h':
        base = 16, i = 1;
        break;
      case 'O':
      case 'o':
      case 'Q':
      case 'q':
        base = 8, i = 1;
        break;
      case 'B':
      case 'b':
        base = 2, i = 1;
        break;
      default:
        break;
    }
  }
  double value = 0;
  for (; i < text.size(); ++i) {
    const int digit = digitValue(text[i]);
    if (digit >= base) break;
    value = value * base + digit;
  }
  return value;
}

}  // namespace

double readNumber(std::string_view text) {
  size_t i = 0;
  const size_t n = text.size();
  while (i < n && (text[i] == ' ' || text[i] == '\t' || text[i] == '\n')) ++i;
  if (i < n && text[i] == '&') return readBasedInteger(text.substr(i + 1));

  bool negative = false;
  if (i < n && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';

  // Whole numbers of up to nine digits, most numbers of mesh text (corner, vertex and face
  // numbers, colours), are their own value.
  {
    const char* const first = text.data() + i;
    const char* const end = text.data() + n;
    const char* at = first;
    uint32_t whole = 0;
    while (at < end && at - first < 9 && isDigit(*at))
      whole = whole * 10 + static_cast<uint32_t>(*at++ - '0');
    if (at > first && (at == end || !continuesNumber(*at))) {
      return negative ? -static_cast<double>(whole) : static_cast<double>(whole);
    }
  }

  // Mantissa: the digits as one integer (while it fits 19 digits) and the power of ten that
  // scales it; leading zeros carry no digit.
  const char* const end = text.data() + n;
  const char* const mantissaStart = text.data() + i;
  const char* at = mantissaStart;
  uint64_t mantissa = 0;
  int digitsKept = 0;
  int64_t scale = 0;  // power of ten applied to the kept digits
  bool droppedNonZero = false;
  while (at < end && *at == '0') ++at;
  bool anyDigit = at > mantissaStart;
  for (; at < end && isDigit(*at); ++at) {
    anyDigit = true;
    if (digitsKept < 19) {
      mantissa = mantissa * 10 + static_cast<uint64_t>(*at - '0');
      ++digitsKept;
    } else {
      droppedNonZero |= *at != '0';
      ++scale;
    }
  }
  if (at < end && *at == '.') {
    ++at;
    if (mantissa == 0) {
      const char* const zeros = at;
      while (at < end && *at == '0') ++at;
      anyDigit |= at > zeros;
      scale -= at - zeros;
    }
    for (; at < end && isDigit(*at); ++at) {
      anyDigit = true;
      if (digitsKept < 19) {
        mantissa = mantissa * 10 + static_cast<uint64_t>(*at - '0');
        ++digitsKept;
        --scale;
      } else {
        droppedNonZero |= *at != '0';
      }
    }
  }
  const size_t mantissaEnd = static_cast<size_t>(at - text.data());
  i = mantissaEnd;
  if (!anyDigit) return 0.0;

  int exponent = 0;
  if (i < n && (text[i] == 'E' || text[i] == 'e' || text[i] == 'D' || text[i] == 'd')) {
    size_t j = i + 1;
    bool negativeExponent = false;
    if (j < n && (text[j] == '+' || text[j] == '-')) negativeExponent = text[j++] == '-';
    for (; j < n && isDigit(text[j]); ++j) {
      // Beyond 9999 the exponent counts as 9999.
      exponent = std::min(exponent * 10 + (text[j] - '0'), kMaxExponent + 1);
    }
    exponent = std::min(exponent, kMaxExponent);
    if (negativeExponent) exponent = -exponent;
  }

  double value = 0;
  const int64_t power = scale + exponent;
  if (mantissa == 0) {
    value = 0;
  } else if (!droppedNonZero && mantissa <= (uint64_t{1} << 53) && power >= -22 && power <= 22) {
    // Both operands exact: one correctly rounded operation gives the correctly rounded value.
    const double m = static_cast<double>(mantissa);
    value = power >= 0 ? m * kExactPowersOfTen[power] : m / kExactPowersOfTen[-power];
  } else {
    // General case: the digits and the clamped exponent through the correctly rounded parser.
    std::string digits;
    digits.reserve(static_cast<size_t>(at - mantissaStart) + 8);
    digits.append(mantissaStart, at);
    digits.push_back('e');
    digits += std::to_string(exponent);
    const auto result = std::from_chars(digits.data(), digits.data() + digits.size(), value,
                                        std::chars_format::general);
    if (result.ec == std::errc::result_out_of_range) {
      // Decimal magnitude of the first significant digit decides overflow or underflow.
      const int64_t magnitude = power + digitsKept;
      value = magnitude > 0 ? std::numeric_limits<double>::infinity() : 0.0;
    }
  }
  return negative ? -value : value;
}

int32_t roundToInt32(Extended value) {
  if (extendedIsNan(value)) return 0;
  if (value >= Extended(2147483647)) return std::numeric_limits<int32_t>::max();
  if (value <= Extended(-2147483648.0)) return std::numeric_limits<int32_t>::min();
  // Default rounding mode: nearest, halves to the even neighbour.
  return static_cast<int32_t>(extendedNearbyInt(value));
}

int32_t roundToInt32(double value) {
  // Most numbers in mesh text are whole: they need no rounding at all.
  if (value > -2147483648.0 && value < 2147483647.0) {
    const auto whole = static_cast<int32_t>(value);
    if (whole == value) return whole;
  }
  return roundToInt32(Extended(value));
}

}  // namespace corvath
