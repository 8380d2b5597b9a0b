// What the painting of a frame needs of each face, made ready while the faces are keyed:
// shade, colour and corners in whole pixels. Shared by the face order and the frame.
#pragma once

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdint>

#if defined(__x86_64__)
#include <immintrin.h>
#endif

#include "mesh/mesh.hpp"
#include "raster/raster.hpp"
#include "view/view.hpp"

// g++ would pair the stores of extended results into vector stores assembled on the stack: a
// store-forwarding round trip per pair, which the extended arithmetic's loops cannot hide.
#if defined(__GNUC__) && !defined(__clang__)
#define CORVATH_SEPARATE_STORES __attribute__((optimize("no-tree-slp-vectorize")))
#else
#define CORVATH_SEPARATE_STORES
#endif

namespace corvath {

// a + b as a double and the error of that sum, exactly.
[[gnu::always_inline]] inline double sumAndError(double a, double b, double& error) {
  const double sum = a + b;
  const double bPart = sum - a;
  error = (a - (sum - bPart)) + (b - bPart);
  return sum;
}

// Whether the processor fuses a multiply and an add in one instruction that the compiler may
// use here: always on 64-bit ARM; on x86-64 only in code built for the processors that have it
// (the AVX2 path); never in wasm.
#if defined(__aarch64__) || defined(__FMA__)
inline constexpr bool kFusedByDefault = true;
#else
inline constexpr bool kFusedByDefault = false;
#endif

// a * b as a double and the error of that product, exactly: by one fused multiply-add, or by
// halves of 26 bits whose products are exact. Halving overflows for factors from 2^996 up,
// which then give NaN; products below 2^-960 may be off by 2^-1070 or so.
template <bool kFused>
[[gnu::always_inline]] inline double productAndError(double a, double b, double& error) {
  const double product = a * b;
  if constexpr (kFused) {
    error = std::fma(a, b, -product);
  } else {
    constexpr double kSplitter = 0x1p27 + 1;
    const double aScaled = kSplitter * a, bScaled = kSplitter * b;
    const double aHigh = aScaled - (aScaled - a), bHigh = bScaled - (bScaled - b);
    const double aLow = a - aHigh, bLow = b - bHigh;
    error = (((aHigh * bHigh - product) + aHigh * bLow) + aLow * bHigh) + aLow * bLow;
  }
  return product;
}

// Whether a value the 80-bit sequence computed within `bound` of result + residual (the exact
// value, held as a double and what remains of it) rounds to the same double `result`: the
// halfway points between doubles lie half a unit in the last place away, on the side toward
// zero only a quarter just above a power of two, and the 80-bit value must fall short of the
// one on its side. False for results too small to tell.
[[gnu::always_inline]] inline bool roundsToSameDouble(double result, double residual,
                                                      double bound) {
  if (!(std::fabs(result) >= 0x1p-1000)) return false;
  const uint64_t bits = std::bit_cast<uint64_t>(result);
  const double halfUnit = std::bit_cast<double>(bits & 0x7FF0000000000000u) * 0x1p-53;
  const bool powerOfTwo = (bits & 0x000FFFFFFFFFFFFFu) == 0;
  const double gap = powerOfTwo && (residual < 0) != (result < 0) ? halfUnit / 2 : halfUnit;
  return std::fabs(residual) + bound < gap && bound < halfUnit / 4;
}

// One row of the view matrix applied to a vector as rotateRow does it, from exact products
// held as pairs of doubles, where that gives provably the same double: the pairs' sum is within
// 2^-100 of the exact one, and the 80-bit sequence's roundings are bounded below. Elsewhere
// (near a halfway point, where the terms cancel to nearly nothing, at extreme exponents, with
// infinities or NaN) it returns false and the 80-bit sequence decides.
template <bool kFused = kFusedByDefault>
[[gnu::always_inline]] inline bool rotateRowQuick(const double row[3], double x, double y, double z,
                                                  double& out) {
  double l0 = 0, l1 = 0, l2 = 0;
  const double h0 = productAndError<kFused>(x, row[0], l0),
               h1 = productAndError<kFused>(y, row[1], l1),
               h2 = productAndError<kFused>(z, row[2], l2);
  const double magnitude = (std::fabs(h0) + std::fabs(h1)) + std::fabs(h2);
  if (!(magnitude > 0x1p-900 && magnitude < 0x1p900)) return false;
  double e1 = 0, e2 = 0, e3 = 0;
  const double first = sumAndError(h0, h1, e1);
  const double partial = sumAndError(first, h2, e2);
  // NaN where a factor was too large to halve: the test below then fails.
  const double result = sumAndError(partial, ((l0 + l1) + l2) + (e1 + e2), e3);
  // Each of the five roundings to 64 bits moves the sum by at most 2^-64 of what it rounds:
  // the three products, the first sum, the whole. The margin covers these doubles' own errors.
  const double bound = ((magnitude + std::fabs(first)) + std::fabs(result)) * 0x1.01p-64;
  if (!roundsToSameDouble(result, e3, bound)) return false;
  out = result;
  return true;
}

// The unit in the last place of a double's significand, 0 for 0.
[[gnu::always_inline]] inline double lastPlace(double value) {
  return std::bit_cast<double>(std::bit_cast<uint64_t>(value) & 0x7FF0000000000000u) * 0x1p-52;
}

// (b + a) + c with an 80-bit intermediate rounded once to a double, as the face keys sum the
// corners' depths, from the exact sum where that gives provably the same double. Depths of one
// face are close, so their sum often falls exactly halfway between doubles; but where every
// partial sum, a multiple of the finest input's last place, stays below 2^64 of those places,
// the 64-bit sums are exact and the double is the exact sum's nearest, ties to even. Elsewhere
// each of the two roundings to 64 bits moves it by at most 2^-64 of the sum it rounds.
[[gnu::always_inline]] inline bool depthSumQuick(double a, double b, double c, double& out) {
  const double magnitude = (std::fabs(a) + std::fabs(b)) + std::fabs(c);
  if (!(magnitude > 0x1p-900 && magnitude < 0x1p900)) return false;
  double e1 = 0, e2 = 0, e3 = 0;
  const double first = sumAndError(b, a, e1);
  const double partial = sumAndError(first, c, e2);
  const double result = sumAndError(partial, e1 + e2, e3);
  const double finest =
      std::min({a == 0 ? magnitude : lastPlace(a), b == 0 ? magnitude : lastPlace(b),
                c == 0 ? magnitude : lastPlace(c)});
  const double bound = (std::fabs(first) + std::fabs(result)) * 0x1.01p-64;
  if (!(magnitude * 0x1p-63 < finest) && !roundsToSameDouble(result, e3, bound)) {
    return false;
  }
  out = result;
  return true;
}

// The depth key of a face: its corners' depths summed in extended precision. Without the x87
// unit the exact sum answers first.
[[gnu::always_inline]] inline double depthSum(double a, double b, double c) {
#if !CORVATH_NATIVE_EXTENDED
  double quick = 0;
  if (depthSumQuick(a, b, c, quick)) return quick;
#endif
  return static_cast<double>((Extended(b) + a) + c);
}

// One projected coordinate, (scale * coordinate) / divisor + centre, as the 80-bit sequence
// rounds it to a float, computed in doubles where that gives provably the same float. Both
// sequences stay within 2^-50 of the exact value's terms (|quotient| + |centre|); a float
// farther than twice that from any point halfway between floats is the same from both. The
// divisor is cameraDistance + z rounded once, as a double or to 64 bits alike. Returns false
// where it cannot tell, and at infinities, NaN and extreme sizes.
[[gnu::always_inline]] inline bool projectQuick(double scale, double coordinate, double divisor,
                                                double centre, float& out) {
  const double product = scale * coordinate;
  // A product too small for a double is not negligible against a divisor as small.
  if (!(std::fabs(product) >= 0x1p-900 || scale == 0 || coordinate == 0)) return false;
  const double quotient = product / divisor, sum = quotient + centre;
  const double magnitude = std::fabs(quotient) + std::fabs(centre);
  const float result = static_cast<float>(sum);
  if (!(std::fabs(result) >= 0x1p-100f && magnitude < 0x1p100)) return false;
  // As for the rotation: the halfway points between floats, a quarter unit toward zero just
  // above a power of two.
  const uint32_t bits = std::bit_cast<uint32_t>(result);
  const double halfUnit = std::bit_cast<float>(bits & 0x7F800000u) * 0x1p-24;
  const double offset = sum - result, bound = magnitude * 0x1p-48;
  const double gap =
      (bits & 0x7FFFFFu) == 0 && (offset < 0) != (result < 0) ? halfUnit / 2 : halfUnit;
  if (!(std::fabs(offset) + bound < gap && bound < halfUnit / 4)) return false;
  out = result;
  return true;
}

// One row of the view matrix applied to a vector, terms in this order, with an 80-bit
// intermediate rounded once to 64 bits. Without the x87 unit the exact pairs answer first.
template <bool kFused = kFusedByDefault>
[[gnu::always_inline]] inline double rotateRow(const double row[3], double x, double y, double z) {
#if !CORVATH_NATIVE_EXTENDED
  double quick = 0;
  if (rotateRowQuick<kFused>(row, x, y, z, quick)) return quick;
#endif
  return static_cast<double>((Extended(x) * row[0] + Extended(y) * row[1]) + Extended(z) * row[2]);
}

// The face's model normal turned by the view matrix into its view normal.
template <bool kFused = kFusedByDefault>
[[gnu::always_inline]] inline void turnFaceNormal(Face& face) {
  face.viewNormalX = rotateRow<kFused>(viewMatrix[0], face.normalX, face.normalY, face.normalZ);
  face.viewNormalY = rotateRow<kFused>(viewMatrix[1], face.normalX, face.normalY, face.normalZ);
  face.viewNormalZ = rotateRow<kFused>(viewMatrix[2], face.normalX, face.normalY, face.normalZ);
}

// Nearest whole number, halves to even, for |x| < 2^31, without a library call per value: on
// x86-64 the conversion instruction rounds by the default mode; elsewhere adding and removing
// 1.5 * 2^52 leaves the value rounded the same way.
inline int32_t nearestWhole(double x) {
#if defined(__x86_64__)
  return _mm_cvtsd_si32(_mm_set_sd(x));
#else
  constexpr double kShift = 6755399441055744.0;
  return static_cast<int32_t>((x + kShift) - kShift);
#endif
}

inline int32_t nearestWhole(float x) {
#if defined(__x86_64__)
  return _mm_cvtss_si32(_mm_set_ss(x));
#else
  return nearestWhole(static_cast<double>(x));
#endif
}

// One shaded colour component: the product rounded, clamped to 0..255, undefined gives 0.
inline int32_t shadeComponent(float shade, uint8_t component) {
  const double product = static_cast<double>(shade) * component;  // exact in a double
  if (std::isnan(product)) return 0;
  if (product >= 255) return 255;
  if (product <= 0) return 0;
  return nearestWhole(product);
}

// A screen coordinate to whole pixels; false for infinite, undefined or far-away values
// (vertices at or behind the eye), whose faces are dropped.
inline bool toPixel(float coordinate, int32_t& pixel) {
  if (!(std::fabs(coordinate) <= static_cast<float>(kMaxCorner))) return false;
  pixel = nearestWhole(coordinate);
  return true;
}

// What a face's corner count and corners make of it.
enum class FaceKind : uint8_t { kTurnedAway, kTriangle, kNothing, kMalformed };

// kTriangle with the corners in whole pixels, kNothing (1, 2 or 4 corners, a corner outside the
// tables or beyond the drawable range), or kMalformed (any other corner count).
inline FaceKind faceCorners(const Face& face, int32_t x[3], int32_t y[3]) {
  switch (face.cornerCount) {
    case 1:
    case 2:
    case 4:
      return FaceKind::kNothing;
    case 3:
      break;
    default:
      return FaceKind::kMalformed;
  }
  if (!faceCornersInTables(face)) return FaceKind::kNothing;
  const int32_t indices[3] = {face.a, face.b, face.c};
  for (int k = 0; k < 3; ++k) {
    const ScreenPoint& point = screenPoints[indices[k]];
    if (!toPixel(point.x, x[k]) || !toPixel(point.y, y[k])) return FaceKind::kNothing;
  }
  return FaceKind::kTriangle;
}

// One face made ready for painting, 32 bytes: the painting loop visits faces in depth order,
// all over the face table, and this keeps it to one cache line per face.
struct FacePaint {
  int32_t x[3];
  int32_t y[3];
  int32_t colour;
  FaceKind kind;
};

// Faces 0 .. faceCount - 1 made ready by turnShadeAndOrderFaces (prepareFacePaint), and their
// kinds alone, one byte each, so that the faces turned away are passed over without touching
// their paint records. A record is written only for a face not turned away from the light; the
// kinds are all written. Both grow with the mesh, never per frame.
extern Table<FacePaint> facePaints;
extern Table<FaceKind> faceKinds;

// The shade of a face: the cosine between its view normal and the light, in extended precision.
inline float shadeByLight(const Face& face) {
  using L = Extended;
  const L length = face.normalLength;
  return static_cast<float>(
      ((face.viewNormalX / length) * lightX + (face.viewNormalY / length) * lightY) +
      (face.viewNormalZ / length) * lightZ);
}

// The low 29 of a double's 52 fraction bits, which a float has no room for, and their pattern
// for a double exactly halfway between two floats.
inline constexpr uint64_t kBitsFloatsDrop = (uint64_t{1} << 29) - 1;
inline constexpr uint64_t kHalfwayBetweenFloats = uint64_t{1} << 28;
inline constexpr double kSmallestNormalFloat = 0x1p-126;

// The same, quicker for a light along z alone: the x and y terms are then exact zeros, and a
// face turned away needs no division at all.
inline float shadeOf(const Face& face) {
  using L = Extended;
  // Finite when all four are (a sum too large for a double takes the general way).
  const double sum = ((face.viewNormalX + face.viewNormalY) + face.viewNormalZ) + face.normalLength;
  if (lightX == 0 && lightY == 0 && std::isfinite(sum) && face.normalLength > 0) {
    // The sign is that of viewNormalZ * lightZ: at most 0 means turned away, whatever the size.
    if (face.viewNormalZ == 0 || lightZ == 0 || (face.viewNormalZ > 0) != (lightZ > 0)) return 0;
    if (lightZ == 1 || lightZ == -1) {
      // The product is then exact, and the quotient rounded to a double rounds to the same
      // float as the quotient rounded to 64 bits, unless it lies exactly halfway between two
      // floats, or among the smallest ones: there the extended division decides.
      const double quotient = face.viewNormalZ / face.normalLength;
      const uint64_t dropped = std::bit_cast<uint64_t>(quotient) & kBitsFloatsDrop;
      if (dropped != kHalfwayBetweenFloats && std::fabs(quotient) >= kSmallestNormalFloat) {
        return static_cast<float>(lightZ > 0 ? quotient : -quotient);
      }
    }
    return static_cast<float>((L(face.viewNormalZ) / face.normalLength) * lightZ);
  }
  return shadeByLight(face);
}

// Makes room for count faces in the paint tables. Both are checked: when memory ran out between
// the two, the next frame grows the one left short.
inline void reserveFacePaints(int32_t count) {
  if (facePaints.size() < static_cast<size_t>(count) ||
      faceKinds.size() < static_cast<size_t>(count)) {
    facePaints.resize(count);
    faceKinds.resize(count);
  }
}

// Colour and pixel corners of face f, from its shade (shadeOf) and screen points: what the
// painting needs of it, made in the same pass over the faces that keys them.
inline void prepareFacePaint(int32_t f, const Face& face, float shade) {
  if (shade <= 0) {  // turned away from the light (an undefined shade is painted)
    faceKinds[f] = FaceKind::kTurnedAway;
    return;
  }
  FacePaint paint{};
  FaceKind kind = faceCorners(face, paint.x, paint.y);
  // Three corners on one pixel paint nothing at all (no area, no outline step): most faces of
  // a dense mesh seen whole end here. Whether they do changes at random from face to face, so
  // it is decided without a branch.
  const bool onePixel = ((paint.x[0] ^ paint.x[1]) | (paint.x[1] ^ paint.x[2]) |
                         (paint.y[0] ^ paint.y[1]) | (paint.y[1] ^ paint.y[2])) == 0;
  if (kind == FaceKind::kTriangle && onePixel) kind = FaceKind::kNothing;
  faceKinds[f] = kind;
  // The painting reads the records of the faces it lists alone; those of the faces turned away
  // are left as they are, which on a large mesh spares half the table's trips to memory.
  paint.colour = packColour(shadeComponent(shade, face.red), shadeComponent(shade, face.green),
                            shadeComponent(shade, face.blue));
  paint.kind = kind;
  facePaints[f] = paint;
}

}  // namespace corvath
