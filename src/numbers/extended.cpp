// The x87 double-extended arithmetic in software: the four operations, square root, comparisons.
#include "numbers/numbers.hpp"

#include <algorithm>
#include <bit>
#include <limits>
#include <utility>

#include "numbers/extended_format.hpp"

namespace corvath {

using namespace extended_format;

namespace {

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

// compareValues for any two numbers, and kUnordered, which no comparison with 0 holds for, when
// either is NaN or unsupported.
constexpr int kUnordered = 2;
int order(SoftExtended a, SoftExtended b) {
  const Unpacked ua = unpack(a);
  const Unpacked ub = unpack(b);
  return unordered(ua) || unordered(ub) ? kUnordered : compareValues(ua, ub);
}

}  // namespace

// ---------------------------------------------------------------------------------------------
// Operations
// ---------------------------------------------------------------------------------------------
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
  return order(a, b) == 0;
}

bool operator<(SoftExtended a, SoftExtended b) {
  return order(a, b) < 0;
}

bool operator<=(SoftExtended a, SoftExtended b) {
  return order(a, b) <= 0;
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

bool softIsNan(SoftExtended x) {
  return unordered(unpack(x));
}

}  // namespace corvath
