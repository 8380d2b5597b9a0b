// The x87 double-extended arithmetic in software: unpacking, one rounding routine, the operations.
#include "mesh/extended.hpp"

#include <algorithm>
#include <bit>
#include <cmath>
#include <limits>
#include <utility>

namespace corvath {

namespace {

// ---------------------------------------------------------------------------------------------
// Records
// ---------------------------------------------------------------------------------------------

using Wide = unsigned __int128;

constexpr int32_t kBias = 16383;
constexpr int32_t kTopField = 0x7FFF;  // infinities and NaN
constexpr uint64_t kIntegerBit = uint64_t{1} << 63;
constexpr uint64_t kQuietBit = uint64_t{1} << 62;
// The weight of the lowest significand bit at biased exponent 1, which denormals share.
constexpr int32_t kLowestExponent = 1 - kBias - 63;

enum class Kind { kZero, kFinite, kInfinity, kNan, kUnsupported };

// A number taken apart: value = significand * 2^exponent for the finite kinds.
struct Unpacked {
  bool negative = false;
  Kind kind = Kind::kZero;
  int32_t exponent = 0;
  uint64_t significand = 0;
};

// A significand rounded to some precision: value = significand * 2^exponent.
struct Rounded {
  uint64_t significand = 0;
  int32_t exponent = 0;
};

// ---------------------------------------------------------------------------------------------
// Local helpers
// ---------------------------------------------------------------------------------------------

int bitLength(Wide w) {
  const auto high = static_cast<uint64_t>(w >> 64);
  if (high != 0) return 128 - std::countl_zero(high);
  return 64 - std::countl_zero(static_cast<uint64_t>(w));
}

Unpacked unpack(SoftExtended x) {
  Unpacked u;
  u.negative = (x.signExponent >> 15) != 0;
  const int32_t field = x.signExponent & kTopField;
  const bool integerBit = (x.significand & kIntegerBit) != 0;
  u.significand = x.significand;
  if (field == kTopField) {
    // Without the integer bit these are pseudo-infinities and pseudo-NaN, invalid operands.
    u.kind = !integerBit                 ? Kind::kUnsupported
             : (x.significand << 1) == 0 ? Kind::kInfinity
                                         : Kind::kNan;
  } else if (field == 0) {
    // Denormals, and pseudo-denormals (integer bit set), which weigh as at exponent 1.
    u.kind = x.significand == 0 ? Kind::kZero : Kind::kFinite;
  } else {
    u.kind = integerBit ? Kind::kFinite : Kind::kUnsupported;  // an unnormal
  }
  u.exponent = std::max(field, 1) - kBias - 63;
  return u;
}

// The significand shifted up to its integer bit, the exponent down by as much.
void normalise(Unpacked& u) {
  const int shift = std::countl_zero(u.significand);
  u.significand <<= shift;
  u.exponent -= shift;
}

uint16_t signOf(bool negative) {
  return negative ? 0x8000 : 0;
}

SoftExtended zero(bool negative) {
  return SoftExtended::fromBits(signOf(negative), 0);
}

SoftExtended infinity(bool negative) {
  return SoftExtended::fromBits(signOf(negative) | kTopField, kIntegerBit);
}

SoftExtended quiet(SoftExtended x) {
  return SoftExtended::fromBits(x.signExponent, x.significand | kQuietBit);
}

// wide * 2^exponent rounded to nearest, ties to even, to `precision` bits whose lowest weighs at
// least 2^lowest. The lowest bit of wide must already include (OR) anything nonzero below it:
// callers keep at least two bits beyond the precision, so that bit only ever breaks ties.
Rounded roundWide(Wide wide, int32_t exponent, int precision, int32_t lowest) {
  const int32_t shift = std::max(bitLength(wide) - precision, lowest - exponent);
  if (shift <= 0) return {static_cast<uint64_t>(wide << -shift), exponent + shift};
  Wide kept = 0;
  bool half = false;
  bool below = false;
  if (shift > 128) {
    below = wide != 0;
  } else if (shift == 128) {
    half = (wide >> 127) != 0;
    below = (wide << 1) != 0;
  } else {
    kept = wide >> shift;
    half = ((wide >> (shift - 1)) & 1) != 0;
    below = (wide & ((Wide{1} << (shift - 1)) - 1)) != 0;
  }
  if (half && (below || (kept & 1) != 0)) ++kept;
  int32_t resultExponent = exponent + shift;
  if ((kept >> precision) != 0) {  // rounded up to the next power of two
    kept >>= 1;
    ++resultExponent;
  }
  return {static_cast<uint64_t>(kept), resultExponent};
}

// The extended number nearest to (-1)^negative * wide * 2^exponent: denormal below 2^-16382,
// infinite from 2^16384 on.
SoftExtended packExtended(bool negative, Wide wide, int32_t exponent) {
  if (wide == 0) return zero(negative);
  const Rounded r = roundWide(wide, exponent, 64, kLowestExponent);
  if ((r.significand & kIntegerBit) == 0)
    return SoftExtended::fromBits(signOf(negative), r.significand);
  const int32_t field = r.exponent + 63 + kBias;
  if (field >= kTopField) return infinity(negative);
  return SoftExtended::fromBits(static_cast<uint16_t>(signOf(negative) | field), r.significand);
}

// The result of an operation with a NaN or an unsupported operand, if it has one. Unsupported
// formats are invalid and give the indefinite; of two NaN the x87 keeps the one with the larger
// significand, quieted.
bool specialOperands(SoftExtended a, const Unpacked& ua, SoftExtended b, const Unpacked& ub,
                     SoftExtended& result) {
  if (ua.kind == Kind::kUnsupported || ub.kind == Kind::kUnsupported) {
    result = kExtendedIndefinite;
  } else if (ua.kind == Kind::kNan && ub.kind == Kind::kNan) {
    if (a.significand != b.significand) {
      result = quiet(a.significand > b.significand ? a : b);
    } else {
      // Equal significands: the positive one.
      result = quiet((a.signExponent & 0x8000) == 0 ? a : b);
    }
  } else if (ua.kind == Kind::kNan) {
    result = quiet(a);
  } else if (ub.kind == Kind::kNan) {
    result = quiet(b);
  } else {
    return false;
  }
  return true;
}

SoftExtended add(SoftExtended a, SoftExtended b, bool subtract) {
  Unpacked ua = unpack(a);
  Unpacked ub = unpack(b);
  SoftExtended special;
  if (specialOperands(a, ua, b, ub, special)) return special;
  if (subtract) ub.negative = !ub.negative;
  if (ua.kind == Kind::kInfinity || ub.kind == Kind::kInfinity) {
    if (ua.kind == ub.kind && ua.negative != ub.negative) return kExtendedIndefinite;  // inf - inf
    return infinity(ua.kind == Kind::kInfinity ? ua.negative : ub.negative);
  }
  if (ua.kind == Kind::kZero && ub.kind == Kind::kZero) return zero(ua.negative && ub.negative);
  if (ua.exponent < ub.exponent) std::swap(ua, ub);
  // 62 bits of room below both significands; what the alignment shifts out of the smaller one
  // is kept as its lowest bit. The larger one is then normal, so the sum keeps at least 60
  // bits below the 64 of the result, and that lowest bit can only break ties.
  const Wide large = Wide{ua.significand} << 62;
  Wide small = Wide{ub.significand} << 62;
  const int32_t distance = ua.exponent - ub.exponent;
  if (distance >= 127) {
    small = small != 0 ? 1 : 0;
  } else if (distance > 0) {
    small = (small >> distance) | ((small & ((Wide{1} << distance) - 1)) != 0 ? 1 : 0);
  }
  const int32_t exponent = ua.exponent - 62;
  if (ua.negative == ub.negative) return packExtended(ua.negative, large + small, exponent);
  if (large == small) return zero(false);  // exact cancellation is +0 when rounding to nearest
  if (large > small) return packExtended(ua.negative, large - small, exponent);
  return packExtended(ub.negative, small - large, exponent);
}

SoftExtended multiply(SoftExtended a, SoftExtended b) {
  const Unpacked ua = unpack(a);
  const Unpacked ub = unpack(b);
  SoftExtended special;
  if (specialOperands(a, ua, b, ub, special)) return special;
  const bool negative = ua.negative != ub.negative;
  if (ua.kind == Kind::kInfinity || ub.kind == Kind::kInfinity) {
    if (ua.kind == Kind::kZero || ub.kind == Kind::kZero) return kExtendedIndefinite;  // 0 * inf
    return infinity(negative);
  }
  if (ua.kind == Kind::kZero || ub.kind == Kind::kZero) return zero(negative);
  return packExtended(negative, Wide{ua.significand} * ub.significand, ua.exponent + ub.exponent);
}

SoftExtended divide(SoftExtended a, SoftExtended b) {
  Unpacked ua = unpack(a);
  Unpacked ub = unpack(b);
  SoftExtended special;
  if (specialOperands(a, ua, b, ub, special)) return special;
  const bool negative = ua.negative != ub.negative;
  if (ua.kind == Kind::kInfinity) {
    return ub.kind == Kind::kInfinity ? kExtendedIndefinite : infinity(negative);
  }
  if (ub.kind == Kind::kInfinity) return zero(negative);
  if (ub.kind == Kind::kZero)
    return ua.kind == Kind::kZero ? kExtendedIndefinite : infinity(negative);
  if (ua.kind == Kind::kZero) return zero(negative);
  normalise(ua);
  normalise(ub);
  // 128 quotient bits in two steps of 64; the last remainder decides the lowest bit.
  const Wide numerator = Wide{ua.significand} << 64;
  const Wide high = numerator / ub.significand;
  const Wide remainder = (numerator % ub.significand) << 64;
  const Wide low = remainder / ub.significand;
  const bool rest = (low & 3) != 0 || remainder % ub.significand != 0;
  const Wide quotient = (high << 62) | (low >> 2) | (rest ? 1 : 0);
  return packExtended(negative, quotient, ua.exponent - ub.exponent - 126);
}

// The whole square root of n and its remainder, two bits at a time.
Wide wholeSquareRoot(Wide n, Wide& remainder) {
  Wide root = 0;
  Wide rest = 0;
  for (int i = 0; i < 64; ++i) {
    rest = (rest << 2) | (n >> 126);
    n <<= 2;
    root <<= 1;
    const Wide trial = (root << 1) | 1;
    if (rest >= trial) {
      rest -= trial;
      root |= 1;
    }
  }
  remainder = rest;
  return root;
}

// Ordering of two numbers known to be neither NaN nor unsupported: -1, 0 or 1.
int compareValues(const Unpacked& ua, const Unpacked& ub) {
  const auto key = [](Unpacked u) {
    if (u.kind == Kind::kZero)
      return std::pair<int32_t, uint64_t>{std::numeric_limits<int32_t>::min(), 0};
    if (u.kind == Kind::kInfinity)
      return std::pair<int32_t, uint64_t>{std::numeric_limits<int32_t>::max(), 0};
    normalise(u);
    return std::pair<int32_t, uint64_t>{u.exponent, u.significand};
  };
  const bool zeroA = ua.kind == Kind::kZero;
  const bool zeroB = ub.kind == Kind::kZero;
  if (zeroA && zeroB) return 0;  // -0 == +0
  const bool negativeA = ua.negative && !zeroA;
  const bool negativeB = ub.negative && !zeroB;
  if (negativeA != negativeB) return negativeA ? -1 : 1;
  const auto ka = key(ua);
  const auto kb = key(ub);
  const int magnitude = ka < kb ? -1 : kb < ka ? 1 : 0;
  return negativeA ? -magnitude : magnitude;
}

bool unordered(const Unpacked& u) {
  return u.kind == Kind::kNan || u.kind == Kind::kUnsupported;
}

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

SoftExtended& SoftExtended::operator+=(SoftExtended other) {
  return *this = *this + other;
}
SoftExtended& SoftExtended::operator-=(SoftExtended other) {
  return *this = *this - other;
}
SoftExtended& SoftExtended::operator*=(SoftExtended other) {
  return *this = *this * other;
}
SoftExtended& SoftExtended::operator/=(SoftExtended other) {
  return *this = *this / other;
}

SoftExtended operator+(SoftExtended a, SoftExtended b) {
  return add(a, b, false);
}
SoftExtended operator-(SoftExtended a, SoftExtended b) {
  return add(a, b, true);
}
SoftExtended operator*(SoftExtended a, SoftExtended b) {
  return multiply(a, b);
}
SoftExtended operator/(SoftExtended a, SoftExtended b) {
  return divide(a, b);
}

bool operator==(SoftExtended a, SoftExtended b) {
  const Unpacked ua = unpack(a);
  const Unpacked ub = unpack(b);
  return !unordered(ua) && !unordered(ub) && compareValues(ua, ub) == 0;
}

bool operator<(SoftExtended a, SoftExtended b) {
  const Unpacked ua = unpack(a);
  const Unpacked ub = unpack(b);
  return !unordered(ua) && !unordered(ub) && compareValues(ua, ub) < 0;
}

bool operator<=(SoftExtended a, SoftExtended b) {
  const Unpacked ua = unpack(a);
  const Unpacked ub = unpack(b);
  return !unordered(ua) && !unordered(ub) && compareValues(ua, ub) <= 0;
}

SoftExtended softSqrt(SoftExtended x) {
  Unpacked u = unpack(x);
  if (u.kind == Kind::kUnsupported) return kExtendedIndefinite;
  if (u.kind == Kind::kNan) return quiet(x);
  if (u.kind == Kind::kZero) return x;  // sqrt(-0) is -0
  if (u.negative) return kExtendedIndefinite;
  if (u.kind == Kind::kInfinity) return x;
  normalise(u);
  // An even exponent halves exactly; the radicand then holds 127 or 128 bits and its root 64.
  const int32_t shift = (u.exponent & 1) != 0 ? 63 : 64;
  const Wide radicand = Wide{u.significand} << shift;
  Wide remainder = 0;
  const Wide root = wholeSquareRoot(radicand, remainder);
  // Two more bits for the rounding: the root lies above root + 1/2 exactly when the remainder
  // exceeds root (it never lies on it: the square of an odd half needs more than 128 bits).
  const Wide wide = (root << 2) | (remainder > root ? 3 : remainder != 0 ? 1 : 0);
  return packExtended(false, wide, (u.exponent - shift) / 2 - 2);
}

SoftExtended softNearbyInt(SoftExtended x) {
  return roundWhole(x, false);
}

SoftExtended softFloor(SoftExtended x) {
  return roundWhole(x, true);
}

bool softIsNan(SoftExtended x) {
  return unordered(unpack(x));
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
