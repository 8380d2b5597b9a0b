// The painter of triangles whose corners fit in a 32 x 32 box, for processors with AVX2 but
// without 512-bit vectors: paintWide's way (triangle_avx512.cpp), every quantity in 16 bits,
// each row of 32 pixels taken as two halves of 16, or as one where the box is at most 16 wide. It
// reproduces paintTriangleReference (triangle_rule.cpp) exactly; tests/raster/triangle_test.cpp
// holds it there on the avx2 path
// (PaintTriangle.MatchesReferenceInBoxesOfEightSixteenAndThirtyTwoPixels).
#if defined(__x86_64__)
#include <immintrin.h>

#include <algorithm>

#include "raster/triangle_rule.hpp"

namespace corvath {
namespace {

// The pixels of a box row, 16 bits each: pixels 0 to 15 in `low`, 16 to 31 in `high`. A box at
// most 16 pixels wide leaves `high` alone: kWide is false for it.
struct HalfRows {
  __m256i low;
  __m256i high;
};

// a * x + b * y + c over the pixels x of row y = 0, and its change to the next row.
struct RowFunction {
  HalfRows value;
  __m256i step;
};
template <bool kWide>
__attribute__((target("avx2"))) inline RowFunction rowFunction(const LinearFunction& linear) {
  const __m256i lanes = _mm256_setr_epi16(0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15);
  const __m256i across = _mm256_set1_epi16(static_cast<int16_t>(linear.a));
  const __m256i start = _mm256_set1_epi16(static_cast<int16_t>(linear.c));
  const __m256i lowAcross = _mm256_mullo_epi16(lanes, across);
  RowFunction function{{_mm256_add_epi16(start, lowAcross), _mm256_setzero_si256()},
                       _mm256_set1_epi16(static_cast<int16_t>(linear.b))};
  if (kWide) {
    function.value.high = _mm256_add_epi16(function.value.low, _mm256_slli_epi16(across, 4));
  }
  return function;
}

template <bool kWide>
__attribute__((target("avx2"))) inline void stepRow(RowFunction& function) {
  function.value.low = _mm256_add_epi16(function.value.low, function.step);
  if (kWide) function.value.high = _mm256_add_epi16(function.value.high, function.step);
}

// The pixels where the function is above 0: each lane all ones or all zeros.
template <bool kWide>
__attribute__((target("avx2"))) inline HalfRows aboveZero(const RowFunction& function) {
  const __m256i zero = _mm256_setzero_si256();
  return {_mm256_cmpgt_epi16(function.value.low, zero),
          kWide ? _mm256_cmpgt_epi16(function.value.high, zero) : zero};
}

// Lanes all ones for the set bits of the low 16 of `bits`, pixel 0 lowest.
__attribute__((target("avx2"))) inline __m256i lanesOfSixteenBits(uint32_t bits) {
  const __m256i laneBits = _mm256_setr_epi16(1, 2, 4, 8, 16, 32, 64, 128, 256, 512, 1024, 2048,
                                             4096, 8192, 16384, -32768);
  const __m256i spread = _mm256_set1_epi16(static_cast<int16_t>(bits & 0xFFFF));
  return _mm256_cmpeq_epi16(_mm256_and_si256(spread, laneBits), laneBits);
}

template <bool kWide>
__attribute__((target("avx2"))) inline HalfRows lanesOfBits(uint32_t bits) {
  return {lanesOfSixteenBits(bits),
          kWide ? lanesOfSixteenBits(bits >> 16) : _mm256_setzero_si256()};
}

// Lanes all ones where all three are, and the triangle has an inside at all.
__attribute__((target("avx2"))) inline __m256i insideAll(__m256i fills, __m256i a, __m256i b,
                                                         __m256i c) {
  return _mm256_and_si256(_mm256_and_si256(fills, a), _mm256_and_si256(b, c));
}

// The outline of one side (WideSide) in vectors.
struct WideOutline {
  RowFunction offset;
  __m256i limit;
  HalfRows columns;
  int32_t firstRow;
  uint32_t rowCount;
};
template <bool kWide>
__attribute__((target("avx2"))) inline WideOutline wideOutline(int32_t fromX, int32_t fromY,
                                                               int32_t toX, int32_t toY) {
  const WideSide side = wideSide(fromX, fromY, toX, toY);
  return {rowFunction<kWide>(side.offset), _mm256_set1_epi16(static_cast<int16_t>(side.limit)),
          lanesOfBits<kWide>(side.columns), side.firstRow, side.rowCount};
}

// The pixels of `row` on the side, added to `painted`; moves the side on to the next row.
template <bool kWide>
__attribute__((target("avx2"))) inline void addOutlineRow(WideOutline& side, int32_t row,
                                                          HalfRows& painted) {
  if (static_cast<uint32_t>(row - side.firstRow) < side.rowCount) {
    // offset < limit without sign exactly where limit - offset, saturated at 0, is not 0.
    const __m256i zero = _mm256_setzero_si256();
    const __m256i offLow =
        _mm256_cmpeq_epi16(_mm256_subs_epu16(side.limit, side.offset.value.low), zero);
    painted.low = _mm256_or_si256(painted.low, _mm256_andnot_si256(offLow, side.columns.low));
    if (kWide) {
      const __m256i offHigh =
          _mm256_cmpeq_epi16(_mm256_subs_epu16(side.limit, side.offset.value.high), zero);
      painted.high = _mm256_or_si256(painted.high, _mm256_andnot_si256(offHigh, side.columns.high));
    }
  }
  stepRow<kWide>(side.offset);
}

// Writes `ink` to the pixels of the 8 from `at` whose lanes in `mask` are set, and to no other:
// the row may end before the last, and another thread may be painting the rows beyond it.
__attribute__((target("avx2"))) inline void storeEight(uint32_t* at, __m256i mask, __m256i ink) {
  if (_mm256_testz_si256(mask, mask)) return;  // most rows touch only some of a box's columns
  if (_mm256_testc_si256(mask, _mm256_set1_epi32(-1))) {
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(at), ink);
  } else {
    _mm256_maskstore_epi32(reinterpret_cast<int*>(at), mask, ink);
  }
}

// The 16 pixels from `at` whose 16-bit lanes in `painted` are set.
__attribute__((target("avx2"))) inline void storeSixteen(uint32_t* at, __m256i painted,
                                                         __m256i ink) {
  if (_mm256_testz_si256(painted, painted)) return;
  storeEight(at, _mm256_cvtepi16_epi32(_mm256_castsi256_si128(painted)), ink);
  storeEight(at + 8, _mm256_cvtepi16_epi32(_mm256_extracti128_si256(painted, 1)), ink);
}

template <bool kWide>
__attribute__((target("avx2"))) void paintBox(uint32_t* origin, int64_t width, int32_t ax,
                                              int32_t ay, int32_t bx, int32_t by, int32_t cx,
                                              int32_t cy, int32_t rows, uint32_t pixel) {
  WideOutline outline0 = wideOutline<kWide>(ax, ay, bx, by);
  WideOutline outline1 = wideOutline<kWide>(bx, by, cx, cy);
  WideOutline outline2 = wideOutline<kWide>(cx, cy, ax, ay);
  const int32_t area = windClockwise(ax, ay, bx, by, cx, cy);
  // A point on a side is outlined anyway, so inside means above 0.
  RowFunction edge0 = rowFunction<kWide>(edgeFunction(ax, ay, bx, by));
  RowFunction edge1 = rowFunction<kWide>(edgeFunction(bx, by, cx, cy));
  RowFunction edge2 = rowFunction<kWide>(edgeFunction(cx, cy, ax, ay));
  const __m256i fills = area != 0 ? _mm256_set1_epi16(-1) : _mm256_setzero_si256();
  const __m256i ink = _mm256_set1_epi32(static_cast<int32_t>(pixel));
  for (int32_t row = 0; row < rows; ++row) {
    const HalfRows above0 = aboveZero<kWide>(edge0);
    const HalfRows above1 = aboveZero<kWide>(edge1);
    const HalfRows above2 = aboveZero<kWide>(edge2);
    HalfRows painted{insideAll(fills, above0.low, above1.low, above2.low),
                     kWide ? insideAll(fills, above0.high, above1.high, above2.high) : fills};
    addOutlineRow<kWide>(outline0, row, painted);
    addOutlineRow<kWide>(outline1, row, painted);
    addOutlineRow<kWide>(outline2, row, painted);
    uint32_t* const at = origin + row * width;
    storeSixteen(at, painted.low, ink);
    if (kWide) storeSixteen(at + 16, painted.high, ink);
    stepRow<kWide>(edge0);
    stepRow<kWide>(edge1);
    stepRow<kWide>(edge2);
  }
}

}  // namespace

// Fill and outline of a triangle inside the surface whose box, with its top-left pixel at
// `origin`, is at most 32 x 32 and `rows` high; corners relative to that pixel.
void paintWideAvx2(uint32_t* origin, int64_t width, int32_t ax, int32_t ay, int32_t bx, int32_t by,
                   int32_t cx, int32_t cy, int32_t rows, uint32_t pixel) {
  if (std::max({ax, bx, cx}) < kMediumBox) {
    paintBox<false>(origin, width, ax, ay, bx, by, cx, cy, rows, pixel);
  } else {
    paintBox<true>(origin, width, ax, ay, bx, by, cx, cy, rows, pixel);
  }
}

}  // namespace corvath
#endif
