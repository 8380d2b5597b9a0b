// The painter of triangles whose corners fit in a 32 x 32 box, for processors with AVX2 but
// without 512-bit vectors: paintWide's way (triangle_avx512.cpp), every quantity in 16 bits,
// each row of 32 pixels taken as two halves of 16. It reproduces paintTriangleReference
// (triangle_rule.cpp) exactly; tests/platform/triangle_test.cpp holds it there on the avx2 path
// (PaintTriangle.MatchesReferenceInBoxesOfEightSixteenAndThirtyTwoPixels).
#if defined(__x86_64__)
#include <immintrin.h>

#include <algorithm>
#include <cstdlib>
#include <utility>

#include "platform/triangle_rule.hpp"

namespace corvath {
namespace {

// The 32 pixels of a box row, 16 bits each: pixels 0 to 15 in `low`, 16 to 31 in `high`.
struct HalfRows {
  __m256i low;
  __m256i high;
};

// a * x + b * y + c over the 32 pixels x of row y = 0, and its change to the next row.
struct RowFunction {
  HalfRows value;
  __m256i step;
};
__attribute__((target("avx2"))) inline RowFunction rowFunction(int32_t a, int32_t b, int32_t c) {
  const __m256i lanes = _mm256_setr_epi16(0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15);
  const __m256i across = _mm256_set1_epi16(static_cast<int16_t>(a));
  const __m256i start = _mm256_set1_epi16(static_cast<int16_t>(c));
  const __m256i lowAcross = _mm256_mullo_epi16(lanes, across);
  const __m256i highAcross = _mm256_add_epi16(lowAcross, _mm256_slli_epi16(across, 4));
  return {{_mm256_add_epi16(start, lowAcross), _mm256_add_epi16(start, highAcross)},
          _mm256_set1_epi16(static_cast<int16_t>(b))};
}

__attribute__((target("avx2"))) inline void stepRow(RowFunction& function) {
  function.value.low = _mm256_add_epi16(function.value.low, function.step);
  function.value.high = _mm256_add_epi16(function.value.high, function.step);
}

// One bit a pixel, pixel 0 lowest, from lanes that are all ones or all zeros.
__attribute__((target("avx2"))) inline uint32_t rowBits(HalfRows lanes) {
  // Packing interleaves the halves by 64 bits; the permutation puts them back in order.
  const __m256i bytes = _mm256_permute4x64_epi64(_mm256_packs_epi16(lanes.low, lanes.high), 0xD8);
  return static_cast<uint32_t>(_mm256_movemask_epi8(bytes));
}

// The pixels where the function is above 0.
__attribute__((target("avx2"))) inline uint32_t aboveZero(const RowFunction& function) {
  const __m256i zero = _mm256_setzero_si256();
  return rowBits({_mm256_cmpgt_epi16(function.value.low, zero),
                  _mm256_cmpgt_epi16(function.value.high, zero)});
}

// The outline of one side, as in paintWide: on it where the function lies in [0, limit),
// compared without sign, within the columns and the rows its steps take.
struct WideOutline {
  RowFunction offset;
  __m256i limit;
  uint32_t columns = 0;
  int32_t firstRow = 0;
  uint32_t rowCount = kWideBox;
};
__attribute__((target("avx2"))) inline WideOutline wideOutline(int32_t fromX, int32_t fromY,
                                                               int32_t toX, int32_t toY) {
  const int32_t dx = toX - fromX;
  const int32_t dy = toY - fromY;
  const int32_t n = std::max(std::abs(dx), std::abs(dy));
  WideOutline side;
  side.limit = _mm256_set1_epi16(static_cast<int16_t>(2 * n));
  if (std::abs(dx) >= std::abs(dy)) {  // minor offset y - fromY, i = s * (x - fromX)
    const int32_t s = dx < 0 ? -1 : 1;
    side.offset = rowFunction(-2 * dy * s, 2 * n, -2 * n * fromY + 2 * dy * s * fromX + n);
    const int32_t firstColumn = s > 0 ? fromX : fromX - n + 1;
    side.columns = n == 0 ? 0 : ((uint32_t{1} << n) - 1) << firstColumn;
  } else {  // minor offset x - fromX, i = s * (y - fromY)
    const int32_t s = dy < 0 ? -1 : 1;
    side.offset = rowFunction(2 * n, -2 * dx * s, -2 * n * fromX + 2 * dx * s * fromY + n);
    side.columns = ~uint32_t{0};
    side.firstRow = s > 0 ? fromY : fromY - n + 1;
    side.rowCount = static_cast<uint32_t>(n);
  }
  return side;
}

// The pixels of `row` on the side; moves the side on to the next row.
__attribute__((target("avx2"))) inline uint32_t outlineRow(WideOutline& side, int32_t row) {
  // offset < limit without sign exactly where limit - offset, saturated at 0, is not 0.
  const __m256i zero = _mm256_setzero_si256();
  const uint32_t offSide = rowBits(
      {_mm256_cmpeq_epi16(_mm256_subs_epu16(side.limit, side.offset.value.low), zero),
       _mm256_cmpeq_epi16(_mm256_subs_epu16(side.limit, side.offset.value.high), zero)});
  stepRow(side.offset);
  return static_cast<uint32_t>(row - side.firstRow) < side.rowCount ? ~offSide & side.columns : 0;
}

// Writes `ink` to the pixels of the 32 from `at` whose bits are set, and to no other: the row
// may end before the 32nd, and another thread may be painting the rows beyond it.
__attribute__((target("avx2"))) inline void storeRow(uint32_t* at, uint32_t bits, __m256i ink) {
  const __m256i laneBits = _mm256_setr_epi32(1, 2, 4, 8, 16, 32, 64, 128);
  for (int32_t eighth = 0; eighth < 4; ++eighth, bits >>= 8) {
    const uint32_t part = bits & 0xFF;
    if (part == 0) continue;  // most rows of a box touch only some of its columns
    uint32_t* const to = at + 8 * eighth;
    if (part == 0xFF) {
      _mm256_storeu_si256(reinterpret_cast<__m256i*>(to), ink);
      continue;
    }
    const __m256i mask = _mm256_cmpeq_epi32(
        _mm256_and_si256(_mm256_set1_epi32(static_cast<int32_t>(part)), laneBits), laneBits);
    _mm256_maskstore_epi32(reinterpret_cast<int*>(to), mask, ink);
  }
}

}  // namespace

// Fill and outline of a triangle inside the surface whose box, with its top-left pixel at
// `origin`, is at most 32 x 32 and `rows` high; corners relative to that pixel.
__attribute__((target("avx2"))) void paintWideAvx2(uint32_t* origin, int64_t width, int32_t ax,
                                                   int32_t ay, int32_t bx, int32_t by,
                                                   int32_t cx, int32_t cy, int32_t rows,
                                                   uint32_t pixel) {
  WideOutline outline0 = wideOutline(ax, ay, bx, by);
  WideOutline outline1 = wideOutline(bx, by, cx, cy);
  WideOutline outline2 = wideOutline(cx, cy, ax, ay);
  const int32_t area = doubledArea(ax, ay, bx, by, cx, cy);
  if (area < 0) {  // the other winding: the same triangle with positive area
    std::swap(bx, cx);
    std::swap(by, cy);
  }
  // The sides' edge functions dx * (y - fromY) - dy * (x - fromX); a point on a side is
  // outlined anyway, so inside means above 0.
  RowFunction edge0 = rowFunction(ay - by, bx - ax, (by - ay) * ax - (bx - ax) * ay);
  RowFunction edge1 = rowFunction(by - cy, cx - bx, (cy - by) * bx - (cx - bx) * by);
  RowFunction edge2 = rowFunction(cy - ay, ax - cx, (ay - cy) * cx - (ax - cx) * cy);
  const uint32_t fills = area != 0 ? ~uint32_t{0} : 0;
  const __m256i ink = _mm256_set1_epi32(static_cast<int32_t>(pixel));
  for (int32_t row = 0; row < rows; ++row) {
    const uint32_t inside = fills & aboveZero(edge0) & aboveZero(edge1) & aboveZero(edge2);
    const uint32_t painted =
        inside | outlineRow(outline0, row) | outlineRow(outline1, row) | outlineRow(outline2, row);
    storeRow(origin + row * width, painted, ink);
    stepRow(edge0);
    stepRow(edge1);
    stepRow(edge2);
  }
}

}  // namespace corvath
#endif
