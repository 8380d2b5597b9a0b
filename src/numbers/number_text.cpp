// Decimal text of numbers with 15 significant digits, as generated mesh text and messages use it.
#include <algorithm>
#include <array>
#include <bit>
#include <cassert>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <limits>

#include "numbers/decimal_digits.hpp"
#include "numbers/numbers.hpp"

namespace corvath {

namespace {

// Appends to a caller's buffer that is known to be large enough.
struct TextCursor {
  char* at;
  void put(char c) { *at++ = c; }
  void put(const char* text, size_t length) {
    std::memcpy(at, text, length);
    at += length;
  }
  void put(const char* text) { put(text, std::strlen(text)); }
  void repeat(size_t count, char c) {
    std::memset(at, c, count);
    at += count;
  }
};

constexpr int kSignificantDigits = 15;
constexpr int kMaxIntegerDigits = 15;
constexpr int kMaxDecimals = 16;

// "00" to "99": four digits of a fraction come from two lookups.
constexpr std::array<char, 200> kDigitPairs = [] {
  std::array<char, 200> pairs{};
  for (int i = 0; i < 100; ++i) {
    pairs[2 * i] = static_cast<char>('0' + i / 10);
    pairs[2 * i + 1] = static_cast<char>('0' + i % 10);
  }
  return pairs;
}();

// A fraction numerator below 2^k times 10^4 must stay below 2^64.
constexpr int kMaxFractionBits = 50;

// Adds one unit in the last of the first `count` digits. A carry out of the first digit turns
// 999... into 1000..., one more power of ten.
void roundUpDigits(char* digits, int count, int& exponent) {
  int at = count - 1;
  while (at >= 0 && digits[at] == '9') digits[at--] = '0';
  if (at >= 0) {
    ++digits[at];
  } else {
    digits[0] = '1';
    ++exponent;
  }
}

}  // namespace

void roundedDecimalDigits(double magnitude, char digits[kRoundedDigits], int& exponent) {
  assert(magnitude >= 0 && magnitude <= std::numeric_limits<double>::max());
  // d.ddddddddddddddddde+x: 18 significant digits, correctly rounded.
  char buffer[40];
#if defined(__cpp_lib_to_chars)
  const auto result = std::to_chars(buffer, buffer + sizeof buffer, magnitude,
                                    std::chars_format::scientific, kRoundedDigits - 1);
#else
  // Libraries without the floating-point to_chars (the WebAssembly one): its printf rounds
  // correctly and writes the same form.
  const int written = std::snprintf(buffer, sizeof buffer, "%.*e", kRoundedDigits - 1, magnitude);
  const std::to_chars_result result{buffer + written, std::errc{}};
#endif
  const char* mark = buffer + kRoundedDigits + 1;
  digits[0] = buffer[0];
  std::memcpy(digits + 1, buffer + 2, kRoundedDigits - 1);
  std::from_chars(mark + 1 + (mark[1] == '+'), result.ptr, exponent);
  exponent += 1;
}

bool exactDecimalDigits(double magnitude, char digits[kRoundedDigits], int& exponent) {
  const auto bits = std::bit_cast<uint64_t>(magnitude);
  const auto biasedExponent = static_cast<int>(bits >> 52);
  if (biasedExponent == 0 || biasedExponent == 2047) return false;
  uint64_t mantissa = (bits & ((uint64_t{1} << 52) - 1)) | (uint64_t{1} << 52);
  int binaryExponent = biasedExponent - 1075;
  const int trailingZeros = std::countr_zero(mantissa);
  mantissa >>= trailingZeros;
  binaryExponent += trailingZeros;
  // magnitude = mantissa / 2^k: a whole part and a fraction numerator below 2^k, whose decimal
  // digits come exactly four at a time.
  const int k = -binaryExponent;
  if (k <= 0 || k > kMaxFractionBits) return false;
  const uint64_t whole = mantissa >> k;
  const uint64_t fractionMask = (uint64_t{1} << k) - 1;
  uint64_t fraction = mantissa & fractionMask;

  // Enough digits for 19 significant ones: at most 16 whole digits, 4 zeros of
  // 2^-50 ≈ 8.9e-16 beyond those of the first chunks, and the chunks themselves.
  char text[64];
  size_t length = 0;
  size_t firstSignificant = 0;
  if (whole != 0) length = std::to_chars(text, text + sizeof text, whole).ptr - text;
  exponent = static_cast<int>(length);
  while (fraction != 0 && length - firstSignificant <= kRoundedDigits) {
    fraction *= 10000;
    const auto chunk = static_cast<uint32_t>(fraction >> k);
    fraction &= fractionMask;
    std::memcpy(text + length, &kDigitPairs[2 * (chunk / 100)], 2);
    std::memcpy(text + length + 2, &kDigitPairs[2 * (chunk % 100)], 2);
    length += 4;
    if (whole == 0) {
      // Leading zeros of a value below 1 are not significant digits.
      while (firstSignificant < length && text[firstSignificant] == '0') {
        ++firstSignificant;
        --exponent;
      }
    }
  }

  const char* const significant = text + firstSignificant;
  const char* const end = text + length;
  const size_t count = length - firstSignificant;
  if (count <= kRoundedDigits) {
    std::memcpy(digits, significant, count);
    std::memset(digits + count, '0', kRoundedDigits - count);
    return true;
  }
  std::memcpy(digits, significant, kRoundedDigits);
  // What lies beyond the 18th digit: the digits written past it and the fraction left over.
  const char next = significant[kRoundedDigits];
  bool roundUp = next > '5';
  if (next == '5') {
    const bool beyondHalf = fraction != 0 || std::any_of(significant + kRoundedDigits + 1, end,
                                                         [](char c) { return c != '0'; });
    roundUp = beyondHalf || (digits[kRoundedDigits - 1] - '0') % 2 == 1;
  }
  if (roundUp) roundUpDigits(digits, kRoundedDigits, exponent);
  return true;
}

size_t writeNumberText(char* text, double value) {
  TextCursor out{text};
  if (value == 0) {
    out.put(" 0");
    return out.at - text;
  }
  if (std::isnan(value)) {
    out.put(" NAN");
    return out.at - text;
  }
  out.put(value < 0 ? '-' : ' ');
  if (std::isinf(value)) {
    out.put("INF");
    return out.at - text;
  }

  const double magnitude = std::fabs(value);
  char digits[20] = {};  // zeroed: g++ cannot see that every path fills what is read
  int count = 0;         // significant digits kept
  int exponent = 0;      // value = 0.d1d2... * 10^exponent
  if (magnitude < 1e15 && magnitude == static_cast<double>(static_cast<int64_t>(magnitude))) {
    // Whole numbers below 10^15 have at most 15 digits: they are their own text.
    const auto end = std::to_chars(digits, digits + sizeof digits, static_cast<int64_t>(magnitude));
    count = static_cast<int>(end.ptr - digits);
    exponent = count;
  } else {
    // Generated mesh text is mostly 32-bit floats, whose digits come exactly and quickly.
    if (!exactDecimalDigits(magnitude, digits, exponent))
      roundedDecimalDigits(magnitude, digits, exponent);
    // Then to 15 digits by the 16th digit alone: an exact 5 there goes to the even 15th
    // digit, whatever the 17th and 18th digits say.
    const char sixteenth = digits[15];
    const bool roundUp = sixteenth > '5' || (sixteenth == '5' && (digits[14] - '0') % 2 == 1);
    count = kSignificantDigits;
    if (roundUp) roundUpDigits(digits, kSignificantDigits, exponent);
    while (count > 1 && digits[count - 1] == '0') --count;
  }

  if (exponent >= count && exponent <= kMaxIntegerDigits) {
    out.put(digits, count);
    out.repeat(exponent - count, '0');
  } else if (exponent < count && count - exponent <= kMaxDecimals) {
    if (exponent > 0) {
      out.put(digits, exponent);
      out.put('.');
      out.put(digits + exponent, count - exponent);
    } else {
      out.put('.');
      out.repeat(-exponent, '0');
      out.put(digits, count);
    }
  } else {
    out.put(digits[0]);
    if (count > 1) {
      out.put('.');
      out.put(digits + 1, count - 1);
    }
    const int shown = exponent - 1;
    out.put(shown >= 0 ? "E+" : "E-");
    char exponentText[8];
    const auto end = std::to_chars(exponentText, exponentText + sizeof exponentText,
                                   shown >= 0 ? shown : -shown);
    out.put(exponentText, end.ptr - exponentText);
  }
  return out.at - text;
}

std::string numberText(double value) {
  char text[32];
  return std::string(text, writeNumberText(text, value));
}

std::string numberText(int32_t value) {
  char buffer[16];
  buffer[0] = value < 0 ? '-' : ' ';
  // The magnitude as unsigned, so the most negative value has its digits too.
  const uint32_t magnitude =
      value < 0 ? 0u - static_cast<uint32_t>(value) : static_cast<uint32_t>(value);
  const auto end = std::to_chars(buffer + 1, buffer + sizeof buffer, magnitude);
  return std::string(buffer, end.ptr);
}

}  // namespace corvath
