// The parts of the x87 double-extended format that the software arithmetic shares: a number
// taken apart, and the one rounding routine that puts it back together.
#pragma once

#include <algorithm>
#include <bit>
#include <cstdint>

#include "numbers/numbers.hpp"

namespace corvath::extended_format {

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

inline int bitLength(Wide w) {
  const auto high = static_cast<uint64_t>(w >> 64);
  if (high != 0) return 128 - std::countl_zero(high);
  return 64 - std::countl_zero(static_cast<uint64_t>(w));
}

inline Unpacked unpack(SoftExtended x) {
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
inline void normalise(Unpacked& u) {
  const int shift = std::countl_zero(u.significand);
  u.significand <<= shift;
  u.exponent -= shift;
}

inline uint16_t signOf(bool negative) {
  return negative ? 0x8000 : 0;
}

inline SoftExtended zero(bool negative) {
  return SoftExtended::fromBits(signOf(negative), 0);
}

inline SoftExtended infinity(bool negative) {
  return SoftExtended::fromBits(signOf(negative) | kTopField, kIntegerBit);
}

inline SoftExtended quiet(SoftExtended x) {
  return SoftExtended::fromBits(x.signExponent, x.significand | kQuietBit);
}

// wide shifted right by `shift` (> 0) bits: what is kept, the highest bit shifted out (the half)
// and whether any bit below that one was set.
struct ShiftedOut {
  Wide kept = 0;
  bool half = false;
  bool below = false;
};

inline ShiftedOut shiftOut(Wide wide, int32_t shift) {
  if (shift > 128) return {0, false, wide != 0};
  if (shift == 128) return {0, (wide >> 127) != 0, (wide << 1) != 0};
  return {wide >> shift, ((wide >> (shift - 1)) & 1) != 0,
          (wide & ((Wide{1} << (shift - 1)) - 1)) != 0};
}

// wide * 2^exponent rounded to nearest, ties to even, to `precision` bits whose lowest weighs at
// least 2^lowest. The lowest bit of wide must already include (OR) anything nonzero below it:
// callers keep at least two bits beyond the precision, so that bit only ever breaks ties.
inline Rounded roundWide(Wide wide, int32_t exponent, int precision, int32_t lowest) {
  const int32_t shift = std::max(bitLength(wide) - precision, lowest - exponent);
  if (shift <= 0) return {static_cast<uint64_t>(wide << -shift), exponent + shift};
  auto [kept, half, below] = shiftOut(wide, shift);
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
inline SoftExtended packExtended(bool negative, Wide wide, int32_t exponent) {
  if (wide == 0) return zero(negative);
  const Rounded r = roundWide(wide, exponent, 64, kLowestExponent);
  if ((r.significand & kIntegerBit) == 0)
    return SoftExtended::fromBits(signOf(negative), r.significand);
  const int32_t field = r.exponent + 63 + kBias;
  if (field >= kTopField) return infinity(negative);
  return SoftExtended::fromBits(static_cast<uint16_t>(signOf(negative) | field), r.significand);
}

inline bool unordered(const Unpacked& u) {
  return u.kind == Kind::kNan || u.kind == Kind::kUnsupported;
}

}  // namespace corvath::extended_format
