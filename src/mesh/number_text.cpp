// Decimal text of numbers with 15 significant digits, as generated mesh text and messages use it.
#include <algorithm>
#include <array>
#include <bit>
#include <charconv>
#include <cmath>
#include <cstring>
#include <limits>

#include "mesh/decimal_digits.hpp"
#include "mesh/mesh.hpp"

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

using Uint128 = unsigned __int128;

// 5^0 ... 5^55, the largest power below 2^128.
constexpr std::array<Uint128, 56> kPowersOfFive = [] {
  std::array<Uint128, 56> powers{};
  Uint128 power = 1;
  for (Uint128& entry : powers) {
    entry = power;
    power *= 5;
  }
  return powers;
}();

constexpr uint64_t kTenToTheNineteen = 10000000000000000000u;

int bitWidth(Uint128 value) {
  const auto high = static_cast<uint64_t>(value >> 64);
  return high != 0 ? 64 + std::bit_width(high) : std::bit_width(static_cast<uint64_t>(value));
}

// Decimal text of a value below 2^127, without leading zeros; returns its length (at most 39).
size_t writeWholeDigits(char* text, Uint128 value) {
  if (value >> 64 == 0) {
    return std::to_chars(text, text + 40, static_cast<uint64_t>(value)).ptr - text;
  }
  // Below 2^127 the part above the last 19 digits fits 64 bits.
  const auto high = static_cast<uint64_t>(value / kTenToTheNineteen);
  auto low = static_cast<uint64_t>(value - static_cast<Uint128>(high) * kTenToTheNineteen);
  const size_t highLength = std::to_chars(text, text + 40, high).ptr - text;
  for (size_t k = highLength + 19; k > highLength; --k) {
    text[k - 1] = static_cast<char>('0' + low % 10);
    low /= 10;
  }
  return highLength + 19;
}

}  // namespace

void roundedDecimalDigits(double magnitude, char digits[kRoundedDigits], int& exponent) {
  // d.ddddddddddddddddde+x: 18 significant digits, correctly rounded.
  char buffer[40];
  const auto result =
      std::to_chars(buffer, buffer + sizeof buffer, magnitude, std::chars_format::scientific, kRoundedDigits - 1);
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
  // magnitude = mantissa / 2^k = mantissa × 5^k / 10^k: exact while the product stays small.
  const int k = -binaryExponent;
  if (k <= 0 || k >= static_cast<int>(kPowersOfFive.size())) return false;
  if (std::bit_width(mantissa) + bitWidth(kPowersOfFive[k]) > 127) return false;

  char text[40] = {};  // zeroed: g++ cannot see that the digits written cover what is read
  const size_t length = writeWholeDigits(text, mantissa * kPowersOfFive[k]);
  exponent = static_cast<int>(length) - k;
  if (length <= kRoundedDigits) {
    std::memcpy(digits, text, length);
    std::memset(digits + length, '0', kRoundedDigits - length);
    return true;
  }
  std::memcpy(digits, text, kRoundedDigits);
  const char next = text[kRoundedDigits];
  bool roundUp = next > '5';
  if (next == '5') {
    const bool beyondHalf = std::any_of(text + kRoundedDigits + 1, text + length, [](char c) { return c != '0'; });
    roundUp = beyondHalf || (digits[kRoundedDigits - 1] - '0') % 2 == 1;
  }
  if (roundUp) {
    int at = kRoundedDigits - 1;
    while (at >= 0 && digits[at] == '9') digits[at--] = '0';
    if (at >= 0) {
      ++digits[at];
    } else {
      digits[0] = '1';
      ++exponent;
    }
  }
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
  int count = 0;     // significant digits kept
  int exponent = 0;  // value = 0.d1d2... * 10^exponent
  if (magnitude < 1e15 && magnitude == static_cast<double>(static_cast<int64_t>(magnitude))) {
    // Whole numbers below 10^15 have at most 15 digits: they are their own text.
    const auto end = std::to_chars(digits, digits + sizeof digits, static_cast<int64_t>(magnitude));
    count = static_cast<int>(end.ptr - digits);
    exponent = count;
  } else {
    // Generated mesh text is mostly 32-bit floats, whose digits come exactly and quickly.
    if (!exactDecimalDigits(magnitude, digits, exponent)) roundedDecimalDigits(magnitude, digits, exponent);
    // Then to 15 digits by the 16th digit alone: an exact 5 there goes to the even 15th
    // digit, whatever the 17th and 18th digits say.
    const char sixteenth = digits[15];
    const bool roundUp = sixteenth > '5' || (sixteenth == '5' && (digits[14] - '0') % 2 == 1);
    count = kSignificantDigits;
    if (roundUp) {
      int k = kSignificantDigits - 1;
      while (k >= 0 && digits[k] == '9') digits[k--] = '0';
      if (k >= 0) {
        ++digits[k];
      } else {
        // A carry out of the first digit: 999... becomes 1000..., one more power of ten.
        digits[0] = '1';
        ++exponent;
      }
    }
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
    const auto end = std::to_chars(exponentText, exponentText + sizeof exponentText, shown >= 0 ? shown : -shown);
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
  const uint32_t magnitude = value < 0 ? 0u - static_cast<uint32_t>(value) : static_cast<uint32_t>(value);
  const auto end = std::to_chars(buffer + 1, buffer + sizeof buffer, magnitude);
  return std::string(buffer, end.ptr);
}

}  // namespace corvath
