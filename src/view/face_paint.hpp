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

// a + b as a double and the error of that sum, exactly; of doubles or of lanes of them.
template <typename T>
[[gnu::always_inline]] inline T sumAndError(T a, T b, T& error) {
  const T sum = a + b;
  const T bPart = sum - a;
  error = (a - (sum - bPart)) + (b - bPart);
  return sum;
}

inline constexpr double kSplitter = 0x1p27 + 1;

// value as two halves of 26 bits whose products with other such halves are exact; of doubles
// or of lanes of them. From 2^996 up the halving overflows and gives NaN.
template <typename T>
[[gnu::always_inline]] inline void halves(T value, T& high, T& low) {
  const T scaled = kSplitter * value;
  high = scaled - (scaled - value);
  low = value - high;
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

// Doubles side by side, as many as the processor adds in one instruction: two on every path
// but AVX2's (SSE2, NEON, wasm's vectors), four there.
template <int kWidth>
struct LaneTypes;
template <>
struct LaneTypes<2> {
  using Values = double __attribute__((vector_size(16)));
};
template <>
struct LaneTypes<4> {
  using Values = double __attribute__((vector_size(32)));
};
template <int kWidth>
using Lanes = typename LaneTypes<kWidth>::Values;
inline constexpr int kPortableLanes = 2;
inline constexpr int kAvx2Lanes = 4;
// Whether every path's processor fuses multiply and add in one instruction (64-bit ARM's always
// does; x86-64's only on the AVX2 path, and wasm has no such instruction).
#if defined(__aarch64__)
inline constexpr bool kFusedEverywhere = true;
#else
inline constexpr bool kFusedEverywhere = false;
#endif

template <typename V>
[[gnu::always_inline]] inline V laneMagnitudes(V value) {
  using Bits = decltype(value < value);  // integers of the lanes' size
  return reinterpret_cast<V>(reinterpret_cast<Bits>(value) & 0x7FFFFFFFFFFFFFFF);
}

// The view matrix by columns, the three rows side by side in groups of lanes (rows past the
// third repeat the first, so that they pass as that does), each also as two halves of 26 bits
// whose products with halves of a coordinate are exact.
template <int kWidth>
struct ViewColumns {
  static constexpr int kGroups = (3 + kWidth - 1) / kWidth;
  Lanes<kWidth> column[3][kGroups];
  Lanes<kWidth> high[3][kGroups];
  Lanes<kWidth> low[3][kGroups];
};

template <int kWidth>
[[gnu::always_inline]] inline ViewColumns<kWidth> viewColumns() {
  ViewColumns<kWidth> columns{};
  for (int k = 0; k < 3; ++k) {
    for (int g = 0; g < ViewColumns<kWidth>::kGroups; ++g) {
      Lanes<kWidth>& column = columns.column[k][g];
      for (int lane = 0; lane < kWidth; ++lane) {
        const int row = g * kWidth + lane;
        column[lane] = viewMatrix[row < 3 ? row : 0][k];
      }
      halves(column, columns.high[k][g], columns.low[k][g]);
    }
  }
  return columns;
}

// The view matrix applied to a vector as the three rotateRow calls do it, from exact products
// held as pairs of doubles, where that gives provably the same doubles: the pairs' sum is within
// 2^-100 of the exact one, and each of the 80-bit sequence's five roundings to 64 bits (the
// three products, the first sum, the whole) moves it by at most 2^-64 of what it rounds; a
// result farther than both from the nearest point halfway between doubles is the same. Where
// any row is nearer (or the terms cancel to nearly nothing, or a value is extreme, infinite or
// NaN) it returns false and the 80-bit sequence decides.
// Four lanes are for code built for the AVX2 path (target "avx2,fma"), whose fused products and
// vector comparisons they use; elsewhere they give the same answers, slowly.
template <int kWidth>
[[gnu::always_inline]] inline bool rotateQuick(const ViewColumns<kWidth>& m, double x, double y,
                                               double z, double out[3]) {
  using V = Lanes<kWidth>;
  constexpr int kGroups = ViewColumns<kWidth>::kGroups;
  const double coordinates[3] = {x, y, z};
  V result[kGroups];
  for (int g = 0; g < kGroups; ++g) {
    V high[3], low[3];
    for (int k = 0; k < 3; ++k) {
      // Halving overflows from 2^996 up and gives NaN, which fails the test below.
      const double c = coordinates[k];
      V a;
      for (int lane = 0; lane < kWidth; ++lane) a[lane] = c;
      high[k] = a * m.column[k][g];
      if constexpr (kWidth == kAvx2Lanes || kFusedEverywhere) {
        // Where the processor fuses multiply and add: the product's error in one step.
        V errors = {};
        for (int lane = 0; lane < kWidth; ++lane) {
          errors[lane] = std::fma(a[lane], m.column[k][g][lane], -high[k][lane]);
        }
        low[k] = errors;
        continue;
      }
      V aHigh, aLow;
      halves(a, aHigh, aLow);
      low[k] = (((aHigh * m.high[k][g] - high[k]) + aHigh * m.low[k][g]) + aLow * m.high[k][g]) +
               aLow * m.low[k][g];
    }
    const V magnitude =
        (laneMagnitudes(high[0]) + laneMagnitudes(high[1])) + laneMagnitudes(high[2]);
    V e1, e2, residual;
    const V first = sumAndError(high[0], high[1], e1);
    const V partial = sumAndError(first, high[2], e2);
    result[g] = sumAndError(partial, ((low[0] + low[1]) + low[2]) + (e1 + e2), residual);
    const V bound = ((magnitude + laneMagnitudes(first)) + laneMagnitudes(result[g])) * 0x1.01p-64;
    if constexpr (kWidth == kAvx2Lanes) {
      // As roundsToSameDouble, all lanes at once.
      using Bits = decltype(result[g] < result[g]);
      const V power = reinterpret_cast<V>(reinterpret_cast<Bits>(result[g]) & 0x7FF0000000000000);
      const V halfUnit = power * 0x1p-53;
      const Bits nearerSide =
          (laneMagnitudes(result[g]) == power) & ((residual < 0) ^ (result[g] < 0));
      const V gap =
          halfUnit - reinterpret_cast<V>(reinterpret_cast<Bits>(halfUnit * 0.5) & nearerSide);
      const Bits same = (magnitude > 0x1p-900) & (magnitude < 0x1p900) &
                        (laneMagnitudes(result[g]) >= 0x1p-1000) &
                        (laneMagnitudes(residual) + bound < gap) & (bound < halfUnit * 0.25);
      if (!(same[0] & same[1] & same[2])) return false;
      continue;
    }
    // The decisions lane by lane: vectors of comparisons would be built a lane at a time on
    // the portable paths anyway.
    for (int lane = 0; lane < kWidth && g * kWidth + lane < 3; ++lane) {
      if (!(magnitude[lane] > 0x1p-900 && magnitude[lane] < 0x1p900)) return false;
      if (!roundsToSameDouble(result[g][lane], residual[lane], bound[lane])) return false;
    }
  }
  for (int row = 0; row < 3; ++row) out[row] = result[row / kWidth][row % kWidth];
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
// intermediate rounded once to 64 bits: the rule that rotateQuick reproduces.
inline double rotateRow(const double row[3], double x, double y, double z) {
  return static_cast<double>((Extended(x) * row[0] + Extended(y) * row[1]) + Extended(z) * row[2]);
}

// The view matrix applied to a vector, row by row. Without the x87 unit the exact pairs answer
// first.
template <int kWidth>
[[gnu::always_inline]] inline void rotate(const ViewColumns<kWidth>& columns, double x, double y,
                                          double z, double& outX, double& outY, double& outZ) {
#if !CORVATH_NATIVE_EXTENDED
  double quick[3];
  if (rotateQuick(columns, x, y, z, quick)) {
    outX = quick[0], outY = quick[1], outZ = quick[2];
    return;
  }
#else
  (void)columns;
#endif
  outX = rotateRow(viewMatrix[0], x, y, z);
  outY = rotateRow(viewMatrix[1], x, y, z);
  outZ = rotateRow(viewMatrix[2], x, y, z);
}

// The face's model normal turned by the view matrix (as viewColumns gives it) into its view
// normal.
template <int kWidth>
[[gnu::always_inline]] inline void turnFaceNormal(const ViewColumns<kWidth>& columns, Face& face) {
  rotate(columns, face.normalX, face.normalY, face.normalZ, face.viewNormalX, face.viewNormalY,
         face.viewNormalZ);
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
