// Conversions of the software double-extended numbers: from and to float, double, integers and
// the native long double, rounding to whole numbers, and the sine and cosine.
#include <bit>
#include <cmath>
#include <limits>
#include <type_traits>

#include "numbers/extended_format.hpp"
#include "numbers/numbers.hpp"

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

// The layout of an IEEE binary format, double or float: sign, exponent field, fraction with a
// hidden integer bit.
template <class Binary>
struct BinaryFormat {
  using Bits = std::conditional_t<sizeof(Binary) == 8, uint64_t, uint32_t>;
  static constexpr int kWidth = 8 * sizeof(Binary);
  static constexpr int kPrecision = std::numeric_limits<Binary>::digits;  // hidden bit included
  static constexpr int kFractionBits = kPrecision - 1;
  static constexpr int32_t kTopField = (1 << (kWidth - kPrecision)) - 1;
  static constexpr int32_t kBias = kTopField >> 1;
  static constexpr int32_t kLowestExponent = 1 - kBias - kFractionBits;  // of the lowest denormal
  // A NaN's fraction sits at the top of the extended significand, below its integer bit.
  static constexpr int kPayloadShift = 64 - kPrecision;
  static constexpr Bits kSignBit = Bits{1} << (kWidth - 1);
  static constexpr Bits kFractionMask = (Bits{1} << kFractionBits) - 1;
  static constexpr Bits kInfinityBits = static_cast<Bits>(kTopField) << kFractionBits;
  static constexpr Bits kQuietNanBits = kInfinityBits | Bits{1} << (kFractionBits - 1);
};

// Exactly: every double and float is an extended number.
template <class Binary>
SoftExtended fromBinary(Binary value) {
  using Format = BinaryFormat<Binary>;
  const auto bits = std::bit_cast<typename Format::Bits>(value);
  const bool negative = (bits & Format::kSignBit) != 0;
  const auto field = static_cast<int32_t>((bits >> Format::kFractionBits) & Format::kTopField);
  const uint64_t fraction = bits & Format::kFractionMask;
  if (field == Format::kTopField) {
    if (fraction == 0) return infinity(negative);
    return SoftExtended::fromBits(signOf(negative) | kTopField,
                                  kIntegerBit | kQuietBit | (fraction << Format::kPayloadShift));
  }
  if (field == 0) return packExtended(negative, fraction, Format::kLowestExponent);  // or zero
  return packExtended(negative, fraction | (uint64_t{1} << Format::kFractionBits),
                      field - Format::kBias - Format::kFractionBits);
}

// Rounded once to nearest, ties to even; NaN keep the top of their payload, quieted, and the
// formats the x87 rejects give the format's indefinite.
template <class Binary>
Binary toBinary(SoftExtended x) {
  using Format = BinaryFormat<Binary>;
  using Bits = typename Format::Bits;
  const Unpacked u = unpack(x);
  const Bits sign = u.negative ? Format::kSignBit : 0;
  Bits bits = 0;
  switch (u.kind) {
    case Kind::kUnsupported:
      bits = Format::kSignBit | Format::kQuietNanBits;
      break;
    case Kind::kNan:
      bits = sign | Format::kQuietNanBits |
             (static_cast<Bits>(x.significand >> Format::kPayloadShift) & Format::kFractionMask);
      break;
    case Kind::kInfinity:
      bits = sign | Format::kInfinityBits;
      break;
    case Kind::kZero:
      bits = sign;
      break;
    case Kind::kFinite: {
      const Rounded r =
          roundWide(u.significand, u.exponent, Format::kPrecision, Format::kLowestExponent);
      const auto rounded = static_cast<Bits>(r.significand);
      if ((rounded >> Format::kFractionBits) == 0) {
        bits = sign | rounded;  // subnormal or zero
      } else {
        const int32_t field = r.exponent + Format::kFractionBits + Format::kBias;
        bits = field >= Format::kTopField
                   ? sign | Format::kInfinityBits
                   : sign | (static_cast<Bits>(field) << Format::kFractionBits) |
                         (rounded & Format::kFractionMask);
      }
      break;
    }
  }
  return std::bit_cast<Binary>(bits);
}

// x rounded to a whole number: to nearest even, or down.
SoftExtended roundWhole(SoftExtended x, bool down) {
  const Unpacked u = unpack(x);
  if (u.kind == Kind::kUnsupported) return kExtendedIndefinite;
  if (u.kind == Kind::kNan) return quiet(x);
  if (u.kind != Kind::kFinite || u.exponent >= 0) return x;  // already whole
  auto [kept, half, below] = shiftOut(u.significand, -u.exponent);
  if (down ? (u.negative && (half || below)) : (half && (below || (kept & 1) != 0))) ++kept;
  return packExtended(u.negative, kept, 0);
}

}  // namespace

// ---------------------------------------------------------------------------------------------
// Operations
// ---------------------------------------------------------------------------------------------
SoftExtended SoftExtended::fromDouble(double value) {
  return fromBinary(value);
}

SoftExtended SoftExtended::fromFloat(float value) {
  return fromBinary(value);
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
  return toBinary<double>(*this);
}

SoftExtended::operator float() const {
  return toBinary<float>(*this);
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
