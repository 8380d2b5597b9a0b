// The number rule of mesh text: decimal numbers as the reader takes them, based integers
// ("&H1F"), and the rounding of numbers to 32-bit integers.
#include <algorithm>
#include <array>
#include <charconv>
#include <cmath>
#include <cstdlib>
#include <limits>
#include <string>
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

// Whole numbers of up to nine digits, most numbers of mesh text (corner, vertex and face
// numbers, colours), are their own value: true, with that value, when the text at `at` is one.
bool readSmallWhole(const char* at, const char* end, double& magnitude) {
  const char* const first = at;
  uint32_t whole = 0;
  while (at < end && at - first < 9 && isDigit(*at))
    whole = whole * 10 + static_cast<uint32_t>(*at++ - '0');
  if (at == first || (at < end && continuesNumber(*at))) return false;
  magnitude = static_cast<double>(whole);
  return true;
}

// The digits of a decimal mantissa: the significant ones as one integer while it fits
// kKeptDigits digits, the power of ten that scales it, and the text they were read from.
constexpr int kKeptDigits = 19;
struct ScannedDigits {
  const char* start = nullptr;  // the digits and the point, as written
  const char* end = nullptr;
  uint64_t mantissa = 0;
  int digitsKept = 0;
  int64_t scale = 0;            // power of ten applied to the kept digits
  bool droppedNonZero = false;  // a digit beyond those kept was not 0
  bool anyDigit = false;
};

// A run of digits into the mantissa: kept digits after the point lower the scale, dropped
// digits before it raise the scale.
const char* scanDigitRun(const char* at, const char* end, bool afterPoint, ScannedDigits& digits) {
  for (; at < end && isDigit(*at); ++at) {
    digits.anyDigit = true;
    if (digits.digitsKept < kKeptDigits) {
      digits.mantissa = digits.mantissa * 10 + static_cast<uint64_t>(*at - '0');
      ++digits.digitsKept;
      if (afterPoint) --digits.scale;
    } else {
      digits.droppedNonZero |= *at != '0';
      if (!afterPoint) ++digits.scale;
    }
  }
  return at;
}

// Digits with at most one point; leading zeros carry no digit, only scale.
ScannedDigits scanMantissa(const char* at, const char* end) {
  ScannedDigits digits;
  digits.start = at;
  while (at < end && *at == '0') ++at;
  digits.anyDigit = at > digits.start;
  at = scanDigitRun(at, end, false, digits);
  if (at < end && *at == '.') {
    ++at;
    if (digits.mantissa == 0) {
      const char* const zeros = at;
      while (at < end && *at == '0') ++at;
      digits.anyDigit |= at > zeros;
      digits.scale -= at - zeros;
    }
    at = scanDigitRun(at, end, true, digits);
  }
  digits.end = at;
  return digits;
}

// An E or D exponent at `at`, its magnitude clamped at kMaxExponent; 0 without one.
int scanExponent(const char* at, const char* end) {
  if (at == end || !(*at == 'E' || *at == 'e' || *at == 'D' || *at == 'd')) return 0;
  ++at;
  bool negative = false;
  if (at < end && (*at == '+' || *at == '-')) negative = *at++ == '-';
  int exponent = 0;
  // Beyond 9999 the exponent counts as 9999.
  for (; at < end && isDigit(*at); ++at)
    exponent = std::min(exponent * 10 + (*at - '0'), kMaxExponent + 1);
  exponent = std::min(exponent, kMaxExponent);
  return negative ? -exponent : exponent;
}

// The digits as written and the clamped exponent through the correctly rounded parser.
double parseDigitText(const ScannedDigits& digits, int exponent) {
  std::string text;
  text.reserve(static_cast<size_t>(digits.end - digits.start) + 8);
  text.append(digits.start, digits.end);
  text.push_back('e');
  text += std::to_string(exponent);
  double value = 0;
#if defined(__cpp_lib_to_chars)
  const auto result =
      std::from_chars(text.data(), text.data() + text.size(), value, std::chars_format::general);
  if (result.ec == std::errc::result_out_of_range) {
    // Decimal magnitude of the first significant digit decides overflow or underflow.
    const int64_t magnitude = digits.scale + exponent + digits.digitsKept;
    value = magnitude > 0 ? std::numeric_limits<double>::infinity() : 0.0;
  }
#else
  // Libraries without the floating-point from_chars (the WebAssembly one): its strtod rounds
  // correctly too, and gives infinity or zero where from_chars reports the range exceeded.
  value = std::strtod(text.c_str(), nullptr);
#endif
  return value;
}

// The correctly rounded magnitude of the scanned digits times 10^exponent.
double convertScanned(const ScannedDigits& digits, int exponent) {
  if (digits.mantissa == 0) return 0;
  const int64_t power = digits.scale + exponent;
  if (!digits.droppedNonZero && digits.mantissa <= (uint64_t{1} << 53) && power >= -22 &&
      power <= 22) {
    // Both operands exact: one correctly rounded operation gives the correctly rounded value.
    const double m = static_cast<double>(digits.mantissa);
    return power >= 0 ? m * kExactPowersOfTen[power] : m / kExactPowersOfTen[-power];
  }
  return parseDigitText(digits, exponent);
}

}  // namespace

double readNumber(std::string_view text) {
  const char* at = text.data();
  const char* const end = at + text.size();
  while (at < end && (*at == ' ' || *at == '\t' || *at == '\n')) ++at;
  if (at < end && *at == '&') return readBasedInteger({at + 1, static_cast<size_t>(end - at - 1)});
  bool negative = false;
  if (at < end && (*at == '+' || *at == '-')) negative = *at++ == '-';
  double magnitude = 0;
  if (!readSmallWhole(at, end, magnitude)) {
    const ScannedDigits digits = scanMantissa(at, end);
    if (!digits.anyDigit) return 0.0;
    magnitude = convertScanned(digits, scanExponent(digits.end, end));
  }
  return negative ? -magnitude : magnitude;
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
