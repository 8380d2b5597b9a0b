// Numbers: extended precision (the x87 double-extended number every picture is defined with,
// native on x86-64 and emulated bit for bit elsewhere), the reader's number rule, the decimal
// text of numbers, and the packing of colours into one integer.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <type_traits>
#include <version>

// The native 80-bit type only where long double is that format; CORVATH_SOFT_EXTENDED forces the
// emulation, so that the whole program can be checked with it on an x86-64 machine.
#if defined(__x86_64__) && !defined(CORVATH_SOFT_EXTENDED)
#define CORVATH_NATIVE_EXTENDED 1
#else
#define CORVATH_NATIVE_EXTENDED 0
#endif

#if CORVATH_NATIVE_EXTENDED
#include <bit>
#include <cmath>
#endif

// The C++ library of the WebAssembly compiler predates std::bit_cast; its compiler has the
// builtin the standard function is made of.
#if !defined(__cpp_lib_bit_cast)
namespace std {
template <class To, class From>
constexpr To bit_cast(const From& from) noexcept {
  return __builtin_bit_cast(To, from);
}
}  // namespace std
#endif

namespace corvath {

// ---------------------------------------------------------------------------------------------
// Records
// ---------------------------------------------------------------------------------------------

// The x87 double-extended format in software: 64-bit significand with an explicit integer bit,
// 15-bit exponent (bias 16383), round to nearest with ties to even, results equal to those of the
// x87 unit at 64-bit precision control, NaN rules, denormals and pseudo-denormals included.
// Conversions from the built-in numbers are implicit, as they are for long double; conversions
// to them are explicit and round once.
struct SoftExtended {
  uint64_t significand = 0;   // bit 63 is the integer bit
  uint16_t signExponent = 0;  // bit 15 the sign, bits 0 .. 14 the biased exponent

  constexpr SoftExtended() = default;

  // Exactly, from any 64-bit or narrower integer, float or double (long double is left out on
  // purpose: a stray native long double in the arithmetic is then a compile error).
  template <class T>
  requires std::is_arithmetic_v<T> &&(!std::is_same_v<T, long double>)SoftExtended(
      T value) {  // NOLINT(google-explicit-constructor): the built-in type converts too
    if constexpr (std::is_same_v<T, double>) {
      *this = fromDouble(value);
    } else if constexpr (std::is_same_v<T, float>) {
      *this = fromFloat(value);
    } else if constexpr (std::is_signed_v<T>) {
      *this = fromInt64(static_cast<int64_t>(value));
    } else {
      *this = fromUint64(static_cast<uint64_t>(value));
    }
  }

  static constexpr SoftExtended fromBits(uint16_t signExponent, uint64_t significand) {
    SoftExtended x;
    x.signExponent = signExponent;
    x.significand = significand;
    return x;
  }
  static SoftExtended fromDouble(double value);
  static SoftExtended fromFloat(float value);
  static SoftExtended fromInt64(int64_t value);
  static SoftExtended fromUint64(uint64_t value);

  // Rounded once to nearest, ties to even, into the double or float range (denormals, infinity).
  explicit operator double() const;
  explicit operator float() const;
  // Truncated toward zero; NaN and values out of range give the x87 integer indefinite (the
  // smallest integer of the type), as a cast of long double does on x86-64.
  explicit operator int64_t() const;
  explicit operator int32_t() const;

  SoftExtended& operator+=(SoftExtended other);
  SoftExtended& operator-=(SoftExtended other);
  SoftExtended& operator*=(SoftExtended other);
  SoftExtended& operator/=(SoftExtended other);

  friend SoftExtended operator+(SoftExtended a, SoftExtended b);
  friend SoftExtended operator-(SoftExtended a, SoftExtended b);
  friend SoftExtended operator*(SoftExtended a, SoftExtended b);
  friend SoftExtended operator/(SoftExtended a, SoftExtended b);
  // Only the sign bit changes, for NaN too, as with the x87 FCHS.
  friend constexpr SoftExtended operator-(SoftExtended a) {
    return fromBits(static_cast<uint16_t>(a.signExponent ^ 0x8000), a.significand);
  }
  friend constexpr SoftExtended operator+(SoftExtended a) { return a; }

  // Ordered comparisons: false when either side is NaN or of a format the x87 does not support.
  friend bool operator==(SoftExtended a, SoftExtended b);
  friend bool operator<(SoftExtended a, SoftExtended b);
  friend bool operator<=(SoftExtended a, SoftExtended b);
  friend bool operator>(SoftExtended a, SoftExtended b) { return b < a; }
  friend bool operator>=(SoftExtended a, SoftExtended b) { return b <= a; }
};

// The x87 "real indefinite": the quiet NaN of every invalid operation.
inline constexpr SoftExtended kExtendedIndefinite =
    SoftExtended::fromBits(0xFFFF, 0xC000000000000000u);

// Square root, rounded once; the indefinite NaN for a negative number other than -0.
SoftExtended softSqrt(SoftExtended x);
// Nearest whole number, halves to even (as nearbyintl in the default rounding mode).
SoftExtended softNearbyInt(SoftExtended x);
// Largest whole number not above x.
SoftExtended softFloor(SoftExtended x);
// True for NaN and for the formats the x87 does not support (unnormals, pseudo-NaN,
// pseudo-infinity): everything that compares unordered with itself.
bool softIsNan(SoftExtended x);

// The value converted exactly to, or rounded once from, the native long double, which must hold
// at least 64 significand bits (x87 extended or binary128).
long double softToNative(SoftExtended x);
SoftExtended softFromNative(long double x);

// Sine and cosine with a native long double of at least 64 significand bits and the error of its
// library, rounded once to extended: accurate, not equal to x86-64 bit for bit.
SoftExtended softSin(SoftExtended x);
SoftExtended softCos(SoftExtended x);
// The same before that rounding, in the native long double.
long double softSinNative(SoftExtended x);
long double softCosNative(SoftExtended x);

// ---------------------------------------------------------------------------------------------
// The type of the arithmetic
// ---------------------------------------------------------------------------------------------

#if CORVATH_NATIVE_EXTENDED
using Extended = long double;
#else
using Extended = SoftExtended;
#endif

// An extended constant from its bits (sign and exponent, significand), the same value on every
// machine whatever its compiler makes of a long double literal.
constexpr Extended extendedFromBits(uint16_t signExponent, uint64_t significand);

// The operations of <cmath> the program needs, for either type.
Extended extendedSqrt(Extended x);
Extended extendedNearbyInt(Extended x);
Extended extendedFloor(Extended x);
bool extendedIsNan(Extended x);

// Sine and cosine: on x86-64 the library's long double functions; elsewhere those of the native
// long double, rounded once to extended (accurate, not bit for bit those of x86-64).
Extended extendedSin(Extended x);
Extended extendedCos(Extended x);
// The same rounded once to double, straight from the library's result.
double extendedSinAsDouble(Extended x);
double extendedCosAsDouble(Extended x);

#if CORVATH_NATIVE_EXTENDED
constexpr Extended extendedFromBits(uint16_t signExponent, uint64_t significand) {
  struct Bits {
    uint64_t significand;
    uint16_t signExponent;
    uint16_t padding[3];
  };
  return std::bit_cast<long double>(Bits{significand, signExponent, {0, 0, 0}});
}
inline Extended extendedSqrt(Extended x) {
  return std::sqrt(x);
}
inline Extended extendedNearbyInt(Extended x) {
  return std::nearbyint(x);
}
inline Extended extendedFloor(Extended x) {
  return std::floor(x);
}
inline bool extendedIsNan(Extended x) {
  return std::isnan(x);
}
inline Extended extendedSin(Extended x) {
  return std::sin(x);
}
inline Extended extendedCos(Extended x) {
  return std::cos(x);
}
inline double extendedSinAsDouble(Extended x) {
  return static_cast<double>(std::sin(x));
}
inline double extendedCosAsDouble(Extended x) {
  return static_cast<double>(std::cos(x));
}
#else
constexpr Extended extendedFromBits(uint16_t signExponent, uint64_t significand) {
  return SoftExtended::fromBits(signExponent, significand);
}
inline Extended extendedSqrt(Extended x) {
  return softSqrt(x);
}
inline Extended extendedNearbyInt(Extended x) {
  return softNearbyInt(x);
}
inline Extended extendedFloor(Extended x) {
  return softFloor(x);
}
inline bool extendedIsNan(Extended x) {
  return softIsNan(x);
}
inline Extended extendedSin(Extended x) {
  return softSin(x);
}
inline Extended extendedCos(Extended x) {
  return softCos(x);
}
inline double extendedSinAsDouble(Extended x) {
  return static_cast<double>(softSinNative(x));
}
inline double extendedCosAsDouble(Extended x) {
  return static_cast<double>(softCosNative(x));
}
#endif

// ---------------------------------------------------------------------------------------------
// Angles
// ---------------------------------------------------------------------------------------------

// Degrees to radians: the decimal 0.0174532925199433 held in extended precision (not pi/180 in
// full), given by its bits so that it is the same value on every machine.
inline constexpr Extended kDegreeFactor = extendedFromBits(0x3FF9, 0x8EFA351294E9D26Fu);

// ---------------------------------------------------------------------------------------------
// The reader's number rule
// ---------------------------------------------------------------------------------------------

// The reader's number rule on the start of `text`: blanks, tabs and line feeds skipped, an
// optional sign, digits with at most one point, an optional E or D exponent (clamped at 9999);
// "&H", "&O"/"&Q", "&B" and "&digits" read integers in base 16, 8, 2 and 8. No digit gives 0.
double readNumber(std::string_view text);

// A value rounded to the nearest 32-bit integer, halves to even, clamped to the 32-bit range
// (infinities clamp; a NaN gives 0).
int32_t roundToInt32(Extended value);
int32_t roundToInt32(double value);

// ---------------------------------------------------------------------------------------------
// Number text
// ---------------------------------------------------------------------------------------------

// Decimal text of a number with 15 significant digits: a blank or "-" first, no "0" before the
// point, exponent form ("E+16", "E-17") past 15 integer digits or 16 decimals. 0 gives " 0".
std::string numberText(double value);
std::string numberText(int32_t value);

// The same text written to `out` (room for 32 characters); returns its length.
size_t writeNumberText(char* out, double value);

// The same text appended to a string, without allocating when it has room.
template <class String>
void appendNumberText(String& out, double value) {
  char text[32];
  out.append(text, writeNumberText(text, value));
}

// The first kRoundedDigits significant decimal digits of a finite magnitude >= 0, correctly
// rounded with halves to even, with exponent set so that magnitude ~ 0.d1d2...d18 x 10^exponent
// (0 gives zeros and exponent 1): where number text and the status line's fields start from.
constexpr int kRoundedDigits = 18;
void roundedDecimalDigits(double magnitude, char digits[kRoundedDigits], int& exponent);

// ---------------------------------------------------------------------------------------------
// Colours
// ---------------------------------------------------------------------------------------------

// Colours everywhere in the program are packed as red + 256 * green + 65536 * blue.
inline constexpr int32_t packColour(int32_t red, int32_t green, int32_t blue) {
  return red + 256 * green + 65536 * blue;
}
// The low 8 bits of the components of a packed colour; quotient and remainder truncate toward
// zero, so a negative colour gives the low bytes of its remainders (-1 is red 255).
inline constexpr uint8_t colourRed(int32_t colour) {
  return static_cast<uint8_t>(colour % 256);
}
inline constexpr uint8_t colourGreen(int32_t colour) {
  return static_cast<uint8_t>((colour / 256) % 256);
}
inline constexpr uint8_t colourBlue(int32_t colour) {
  return static_cast<uint8_t>(((colour / 256) / 256) % 256);
}

}  // namespace corvath
