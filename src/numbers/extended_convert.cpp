// Conversions of the software double-extended numbers: from and to float, double, integers and
// the native long double, rounding to whole numbers, and the sine and cosine.
#include <bit>
#include <cmath>
#include <limits>

#include "numbers/numbers.hpp"
#include "numbers/extended_format.hpp"

namespace corvath {

using namespace extended_format;

namespace {

// x truncated toward zero to a signed integer of `bits` bits; the integer indefinite (the
// smallest value) when it does not fit.
int64_t truncateToInteger(SoftExtended x, int bits) {
  const int64_t indefinite = std::numeric_limits<int64_t>::min() >> (64 - bits);
  const Unpacked u = unpack(x);
  if (u.kind == Kind::kZero) return 0;
  if (u.kind != Kind::kFinite) return indefinite;
  if (u.exponent >= 0) {
    if (u.exponent >= 64 || bitLength(u.significand) + u.exponent > bits) return indefinite;
  }
  const uint64_t magnitude = u.exponent >= 0     ? u.significand << u.exponent
                             : u.exponent <= -64 ? 0
                                                 : u.significand >> -u.exponent;
  const uint64_t limit = uint64_t{1} << (bits - 1);
  if (magnitude > limit || (magnitude == limit && !u.negative)) return indefinite;
  return u.negative ? static_cast<int64_t>(0 - magnitude) : static_cast<int64_t>(magnitude);
}

// x rounded to a whole number: to nearest even, or down.
SoftExtended roundWhole(SoftExtended x, bool down) {
  const Unpacked u = unpack(x);
  if (u.kind == Kind::kUnsupported) return kExtendedIndefinite;
  if (u.kind == Kind::kNan) return quiet(x);
  if (u.kind != Kind::kFinite || u.exponent >= 0) return x;  // already whole
  const int32_t shift = -u.exponent;
  uint64_t kept = 0;
  bool half = false;
  bool below = false;
  if (shift > 64) {
    below = true;
  } else if (shift == 64) {
    half = (u.significand >> 63) != 0;
    below = (u.significand << 1) != 0;
  } else {
    kept = u.significand >> shift;
    half = ((u.significand >> (shift - 1)) & 1) != 0;
    below = (u.significand & ((uint64_t{1} << (shift - 1)) - 1)) != 0;
  }
  if (down ? (u.negative && (half || below)) : (half && (below || (kept & 1) != 0))) ++kept;
  return packExtended(u.negative, kept, 0);
}

}  // namespace

// ---------------------------------------------------------------------------------------------
// Operations
// ---------------------------------------------------------------------------------------------
SoftExtended SoftExtended::fromDouble(double value) {
  const auto bits = std::bit_cast<uint64_t>(value);
  const bool negative = (bits >> 63) != 0;
  const auto field = static_cast<int32_t>((bits >> 52) & 0x7FF);
  const uint64_t fraction = bits & ((uint64_t{1} << 52) - 1);
  if (field == 0x7FF) {
    if (fraction == 0) return infinity(negative);
    return fromBits(signOf(negative) | kTopField, kIntegerBit | kQuietBit | (fraction << 11));
  }
  if (field == 0) return packExtended(negative, fraction, -1074);  // zero or subnormal
  return packExtended(negative, fraction | (uint64_t{1} << 52), field - 1023 - 52);
}

SoftExtended SoftExtended::fromFloat(float value) {
  const auto bits = std::bit_cast<uint32_t>(value);
  const bool negative = (bits >> 31) != 0;
  const auto field = static_cast<int32_t>((bits >> 23) & 0xFF);
  const uint64_t fraction = bits & ((uint32_t{1} << 23) - 1);
  if (field == 0xFF) {
    if (fraction == 0) return infinity(negative);
    return fromBits(signOf(negative) | kTopField, kIntegerBit | kQuietBit | (fraction << 40));
  }
  if (field == 0) return packExtended(negative, fraction, -149);
  return packExtended(negative, fraction | (uint32_t{1} << 23), field - 127 - 23);
}

SoftExtended SoftExtended::fromInt64(int64_t value) {
  const bool negative = value < 0;
  const uint64_t magnitude =
      negative ? 0 - static_cast<uint64_t>(value) : static_cast<uint64_t>(value);
  return magnitude == 0 ? zero(false) : packExtended(negative, magnitude, 0);
}

SoftExtended SoftExtended::fromUint64(uint64_t value) {
  return value == 0 ? zero(false) : packExtended(false, value, 0);
}

SoftExtended::operator double() const {
  const Unpacked u = unpack(*this);
  const uint64_t sign = u.negative ? uint64_t{1} << 63 : 0;
  uint64_t bits = 0;
  switch (u.kind) {
    case Kind::kUnsupported:
      bits = 0xFFF8000000000000u;  // the double indefinite
      break;
    case Kind::kNan:
      bits = sign | 0x7FF8000000000000u | ((significand >> 11) & ((uint64_t{1} << 52) - 1));
      break;
    case Kind::kInfinity:
      bits = sign | 0x7FF0000000000000u;
      break;
    case Kind::kZero:
      bits = sign;
      break;
    case Kind::kFinite: {
      const Rounded r = roundWide(u.significand, u.exponent, 53, -1074);
      if ((r.significand >> 52) == 0) {
        bits = sign | r.significand;  // subnormal or zero
      } else {
        const int32_t field = r.exponent + 52 + 1023;
        bits = field >= 0x7FF ? sign | 0x7FF0000000000000u
                              : sign | (static_cast<uint64_t>(field) << 52) |
                                    (r.significand & ((uint64_t{1} << 52) - 1));
      }
      break;
    }
  }
  return std::bit_cast<double>(bits);
}

SoftExtended::operator float() const {
  const Unpacked u = unpack(*this);
  const uint32_t sign = u.negative ? uint32_t{1} << 31 : 0;
  uint32_t bits = 0;
  switch (u.kind) {
    case Kind::kUnsupported:
      bits = 0xFFC00000u;
      break;
    case Kind::kNan:
      bits = sign | 0x7FC00000u | static_cast<uint32_t>((significand >> 40) & 0x7FFFFF);
      break;
    case Kind::kInfinity:
      bits = sign | 0x7F800000u;
      break;
    case Kind::kZero:
      bits = sign;
      break;
    case Kind::kFinite: {
      const Rounded r = roundWide(u.significand, u.exponent, 24, -149);
      if ((r.significand >> 23) == 0) {
        bits = sign | static_cast<uint32_t>(r.significand);
      } else {
        const int32_t field = r.exponent + 23 + 127;
        bits = field >= 0xFF ? sign | 0x7F800000u
                             : sign | (static_cast<uint32_t>(field) << 23) |
                                   static_cast<uint32_t>(r.significand & 0x7FFFFF);
      }
      break;
    }
  }
  return std::bit_cast<float>(bits);
}

SoftExtended::operator int64_t() const {
  return truncateToInteger(*this, 64);
}

SoftExtended::operator int32_t() const {
  return static_cast<int32_t>(truncateToInteger(*this, 32));
}

SoftExtended softNearbyInt(SoftExtended x) {
  return roundWhole(x, false);
}

SoftExtended softFloor(SoftExtended x) {
  return roundWhole(x, true);
}

long double softToNative(SoftExtended x) {
  static_assert(std::numeric_limits<long double>::digits >= 64, "long double must hold 64 bits");
  const Unpacked u = unpack(x);
  long double magnitude = 0;
  switch (u.kind) {
    case Kind::kUnsupported:
    case Kind::kNan:
      magnitude = std::numeric_limits<long double>::quiet_NaN();
      break;
    case Kind::kInfinity:
      magnitude = std::numeric_limits<long double>::infinity();
      break;
    case Kind::kZero:
      magnitude = 0;
      break;
    case Kind::kFinite:
      magnitude = std::ldexp(static_cast<long double>(u.significand), u.exponent);
      break;
  }
  return u.negative ? -magnitude : magnitude;
}

SoftExtended softFromNative(long double x) {
  const bool negative = std::signbit(x);
  if (std::isnan(x)) return kExtendedIndefinite;
  if (std::isinf(x)) return infinity(negative);
  if (x == 0) return zero(negative);
  int exponent = 0;
  const long double fraction = std::frexp(std::fabs(x), &exponent);
  // Up to 113 significand bits, exactly, whichever format long double has.
  const auto whole = static_cast<Wide>(std::ldexp(fraction, 113));
  return packExtended(negative, whole, exponent - 113);
}

// A NaN passes through quieted; infinities and unsupported formats are invalid.
SoftExtended softSin(SoftExtended x) {
  const Unpacked u = unpack(x);
  if (u.kind == Kind::kNan) return quiet(x);
  if (u.kind == Kind::kInfinity || u.kind == Kind::kUnsupported) return kExtendedIndefinite;
  return softFromNative(softSinNative(x));
}

SoftExtended softCos(SoftExtended x) {
  const Unpacked u = unpack(x);
  if (u.kind == Kind::kNan) return quiet(x);
  if (u.kind == Kind::kInfinity || u.kind == Kind::kUnsupported) return kExtendedIndefinite;
  return softFromNative(softCosNative(x));
}

long double softSinNative(SoftExtended x) {
  return std::sin(softToNative(x));
}

long double softCosNative(SoftExtended x) {
  return std::cos(softToNative(x));
}

}  // namespace corvath
