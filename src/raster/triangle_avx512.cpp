// The painters of triangles whose corners fit in a 16 x 16 or a 32 x 32 box, for processors
// with 512-bit vectors: a row of the box at a time, the fill by the sides' edge functions, the
// outline from masks or from linear functions. Each reproduces paintTriangleReference
// (triangle_rule.cpp) exactly; tests/raster/triangle_test.cpp holds them there on the avx512
// path (PaintTriangle.MatchesReferenceInBoxesOfEightSixteenAndThirtyTwoPixels).
#if defined(__x86_64__)
#include <immintrin.h>

#include <algorithm>
#include <array>

#include "raster/triangle_rule.hpp"

namespace corvath {
namespace {

// Triangles whose corners fit in a 16 x 16 box are painted sixteen pixels of a row at a time
// where the processor has 512-bit vectors: the fill by the sides' edge functions, the outline
// from masks of 16 rows of 16 bits, by deltas (dy + 15) * 31 + (dx + 15), placed as above.
struct MediumSideMask {
  alignas(32) uint16_t rows[kMediumBox];
};
constexpr std::array<MediumSideMask, 31 * 31> kMediumSideMasks = [] {
  std::array<MediumSideMask, 31 * 31> masks{};
  for (int64_t dy = -15; dy <= 15; ++dy) {
    for (int64_t dx = -15; dx <= 15; ++dx) {
      MediumSideMask& mask = masks[(dy + 15) * 31 + dx + 15];
      for (int64_t i = 0; i < sideLength(dx, dy); ++i) {
        const SideStep step = sideStep(dx, dy, i);
        mask.rows[step.y] = static_cast<uint16_t>(mask.rows[step.y] | (1u << step.x));
      }
    }
  }
  return masks;
}();

// The outline rows of one side, moved to the side's place in the 16 x 16 box.
__attribute__((target("avx512f,avx512bw,avx512vl"))) inline __m256i mediumSide(int32_t fromX,
                                                                               int32_t fromY,
                                                                               int32_t toX,
                                                                               int32_t toY) {
  const __m256i rows = _mm256_load_si256(reinterpret_cast<const __m256i*>(
      kMediumSideMasks[(toY - fromY + 15) * 31 + (toX - fromX + 15)].rows));
  const __m256i across = _mm256_sll_epi16(rows, _mm_cvtsi32_si128(std::min(fromX, toX)));
  const int32_t down = std::min(fromY, toY);
  // Row r takes row r - down; the rows above `down` are cleared.
  const __m256i from =
      _mm256_sub_epi16(_mm256_setr_epi16(0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15),
                       _mm256_set1_epi16(static_cast<int16_t>(down)));
  return _mm256_maskz_permutexvar_epi16(static_cast<__mmask16>(0xFFFFu << down), from, across);
}

// One side's edge function at the sixteen pixels of a row, its change to the next row, and the
// value below the least inside: -1 where a point on the side counts inside, as in
// kSmallHalfPlanes.
struct EdgeRows {
  __m512i value;
  __m512i step;
  __m512i below;
};
__attribute__((target("avx512f,avx512bw,avx512vl"))) inline EdgeRows edgeRows(int32_t fromX,
                                                                              int32_t fromY,
                                                                              int32_t toX,
                                                                              int32_t toY) {
  const int32_t dx = toX - fromX;
  const int32_t dy = toY - fromY;
  const bool tieInside = tieCountsInside(dx, dy);
  const __m512i lanes = _mm512_setr_epi32(0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15);
  return {_mm512_sub_epi32(_mm512_set1_epi32(dy * fromX - dx * fromY),
                           _mm512_mullo_epi32(lanes, _mm512_set1_epi32(dy))),
          _mm512_set1_epi32(dx), _mm512_set1_epi32(tieInside ? -1 : 0)};
}

// Triangles whose corners fit in a 32 x 32 box: the same a row of 32 pixels at a time, every
// quantity in 16 bits, the outline of a side from a linear function too (WideSide).
alignas(64) constexpr int16_t kWideLanes[kWideBox] = {0,  1,  2,  3,  4,  5,  6,  7,  8,  9,  10,
                                                      11, 12, 13, 14, 15, 16, 17, 18, 19, 20, 21,
                                                      22, 23, 24, 25, 26, 27, 28, 29, 30, 31};

// a * x + b * y + c over the 32 pixels x of row y = 0, and its change to the next row.
struct RowFunction {
  __m512i value;
  __m512i step;
};
__attribute__((target("avx512f,avx512bw"))) inline RowFunction rowFunction(
    const LinearFunction& linear) {
  const __m512i lanes = _mm512_load_si512(kWideLanes);
  return {_mm512_add_epi16(
              _mm512_set1_epi16(static_cast<int16_t>(linear.c)),
              _mm512_mullo_epi16(lanes, _mm512_set1_epi16(static_cast<int16_t>(linear.a)))),
          _mm512_set1_epi16(static_cast<int16_t>(linear.b))};
}

// The outline of one side (WideSide) in a vector.
struct WideOutline {
  RowFunction offset;
  __m512i limit;
  uint32_t columns;
  int32_t firstRow;
  uint32_t rowCount;
};
__attribute__((target("avx512f,avx512bw"))) inline WideOutline wideOutline(int32_t fromX,
                                                                           int32_t fromY,
                                                                           int32_t toX,
                                                                           int32_t toY) {
  const WideSide side = wideSide(fromX, fromY, toX, toY);
  return {rowFunction(side.offset), _mm512_set1_epi16(static_cast<int16_t>(side.limit)),
          side.columns, side.firstRow, side.rowCount};
}

// The pixels of `row` on the side; moves the side on to the next row.
__attribute__((target("avx512f,avx512bw"))) inline uint32_t outlineRow(WideOutline& side,
                                                                       int32_t row) {
  const uint32_t onSide = _mm512_cmplt_epu16_mask(side.offset.value, side.limit) & side.columns;
  side.offset.value = _mm512_add_epi16(side.offset.value, side.offset.step);
  return static_cast<uint32_t>(row - side.firstRow) < side.rowCount ? onSide : 0;
}

}  // namespace

// Fill and outline of a triangle inside the surface whose box, with its top-left pixel at
// `origin`, is at most 16 x 16 and `rows` high; corners relative to that pixel.
__attribute__((target("avx512f,avx512bw,avx512vl"))) void paintMedium(
    uint32_t* origin, int64_t width, int32_t ax, int32_t ay, int32_t bx, int32_t by, int32_t cx,
    int32_t cy, int32_t rows, uint32_t pixel) {
  alignas(32) uint16_t outline[kMediumBox];
  _mm256_store_si256(
      reinterpret_cast<__m256i*>(outline),
      _mm256_or_si256(_mm256_or_si256(mediumSide(ax, ay, bx, by), mediumSide(bx, by, cx, cy)),
                      mediumSide(cx, cy, ax, ay)));
  const int32_t area = windClockwise(ax, ay, bx, by, cx, cy);
  EdgeRows side0 = edgeRows(ax, ay, bx, by);
  EdgeRows side1 = edgeRows(bx, by, cx, cy);
  EdgeRows side2 = edgeRows(cx, cy, ax, ay);
  const __mmask16 fills = area != 0 ? 0xFFFF : 0;
  const __m512i ink = _mm512_set1_epi32(static_cast<int32_t>(pixel));
  for (int32_t row = 0; row < rows; ++row) {
    const __mmask16 inside = _mm512_mask_cmpgt_epi32_mask(
        _mm512_mask_cmpgt_epi32_mask(_mm512_mask_cmpgt_epi32_mask(fills, side0.value, side0.below),
                                     side1.value, side1.below),
        side2.value, side2.below);
    _mm512_mask_storeu_epi32(origin + row * width, inside | outline[row], ink);
    side0.value = _mm512_add_epi32(side0.value, side0.step);
    side1.value = _mm512_add_epi32(side1.value, side1.step);
    side2.value = _mm512_add_epi32(side2.value, side2.step);
  }
}

// Fill and outline of a triangle inside the surface whose box, with its top-left pixel at
// `origin`, is at most 32 x 32 and `rows` high; corners relative to that pixel.
__attribute__((target("avx512f,avx512bw"))) void paintWide(uint32_t* origin, int64_t width,
                                                           int32_t ax, int32_t ay, int32_t bx,
                                                           int32_t by, int32_t cx, int32_t cy,
                                                           int32_t rows, uint32_t pixel) {
  WideOutline outline0 = wideOutline(ax, ay, bx, by);
  WideOutline outline1 = wideOutline(bx, by, cx, cy);
  WideOutline outline2 = wideOutline(cx, cy, ax, ay);
  const int32_t area = windClockwise(ax, ay, bx, by, cx, cy);
  // A point on a side is outlined anyway, so inside means above 0.
  RowFunction edge0 = rowFunction(edgeFunction(ax, ay, bx, by));
  RowFunction edge1 = rowFunction(edgeFunction(bx, by, cx, cy));
  RowFunction edge2 = rowFunction(edgeFunction(cx, cy, ax, ay));
  const __mmask32 fills = area != 0 ? ~__mmask32{0} : 0;
  const __m512i zero = _mm512_setzero_si512();
  const __m512i ink = _mm512_set1_epi32(static_cast<int32_t>(pixel));
  for (int32_t row = 0; row < rows; ++row) {
    const __mmask32 inside = _mm512_mask_cmpgt_epi16_mask(
        _mm512_mask_cmpgt_epi16_mask(_mm512_mask_cmpgt_epi16_mask(fills, edge0.value, zero),
                                     edge1.value, zero),
        edge2.value, zero);
    const uint32_t painted =
        inside | outlineRow(outline0, row) | outlineRow(outline1, row) | outlineRow(outline2, row);
    uint32_t* const at = origin + row * width;
    _mm512_mask_storeu_epi32(at, static_cast<__mmask16>(painted), ink);
    _mm512_mask_storeu_epi32(at + 16, static_cast<__mmask16>(painted >> 16), ink);
    edge0.value = _mm512_add_epi16(edge0.value, edge0.step);
    edge1.value = _mm512_add_epi16(edge1.value, edge1.step);
    edge2.value = _mm512_add_epi16(edge2.value, edge2.step);
  }
}

}  // namespace corvath
#endif
