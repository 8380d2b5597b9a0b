// Filled triangles with a one-pixel outline: the hot loop of every frame.
#if defined(__x86_64__)
#include <immintrin.h>
#endif

#include <algorithm>
#include <array>
#include <bit>
#include <cstdlib>
#include <utility>

#include "platform/fill_span.hpp"
#include "platform/painted_tiles.hpp"
#include "platform/platform.hpp"

namespace corvath {
namespace {

// The pixels being painted, with the surface's size widened once for offset arithmetic.
struct PaintTarget {
  uint32_t* pixels = nullptr;
  int64_t width = 0;
  int64_t height = 0;
};

// Where one side of a triangle crosses successive pixel rows. `x` is the ceiling of the exact
// crossing; the remainder keeps it exact, so stepping to the next row needs no division.
struct EdgeWalk {
  int64_t x = 0;
  int64_t remainder = 0;      // x * dy minus the exact crossing times dy: 0 <= remainder < dy
  int64_t step = 0;           // floor(dx / dy)
  int64_t stepRemainder = 0;  // dx - step * dy
  int64_t dy = 1;
};

// Triangles whose corners fit in an 8 x 8 box, the bulk of a detailed mesh, are painted from a
// 64-bit mask of that box (bit 8 * row + column), built without data-dependent branches.
constexpr int64_t kSmallBox = 8;

// Step i of the outline of a side with deltas dx, dy (0 <= i < max(|dx|, |dy|)), relative to
// the side's smaller x and smaller y. Same rule as outlineSide, for the mask tables.
struct SideStep {
  int64_t x = 0;
  int64_t y = 0;
};
constexpr SideStep sideStep(int64_t dx, int64_t dy, int64_t i) {
  const bool xMajor = (dx < 0 ? -dx : dx) >= (dy < 0 ? -dy : dy);
  const int64_t n = xMajor ? (dx < 0 ? -dx : dx) : (dy < 0 ? -dy : dy);
  const int64_t minorDelta = xMajor ? dy : dx;
  const int64_t majorDirection = (xMajor ? dx : dy) < 0 ? -1 : 1;
  const int64_t numerator = 2 * i * minorDelta - n;
  const int64_t minor =
      numerator >= 0 ? (numerator + 2 * n - 1) / (2 * n) : -(-numerator / (2 * n));
  return {(xMajor ? i * majorDirection : minor) - (dx < 0 ? dx : 0),
          (xMajor ? minor : i * majorDirection) - (dy < 0 ? dy : 0)};
}

constexpr int64_t sideLength(int64_t dx, int64_t dy) {
  return std::max(dx < 0 ? -dx : dx, dy < 0 ? -dy : dy);
}

// Outline masks of a side by its deltas (dy + 7) * 15 + (dx + 7), each delta within +-7,
// placed with the side's smaller x and smaller y at bit 0.
constexpr std::array<uint64_t, 15 * 15> kSmallSideMasks = [] {
  std::array<uint64_t, 15 * 15> masks{};
  for (int64_t dy = -7; dy <= 7; ++dy) {
    for (int64_t dx = -7; dx <= 7; ++dx) {
      uint64_t mask = 0;
      for (int64_t i = 0; i < sideLength(dx, dy); ++i) {
        const SideStep step = sideStep(dx, dy, i);
        mask |= uint64_t{1} << (step.y * kSmallBox + step.x);
      }
      masks[(dy + 7) * 15 + dx + 7] = mask;
    }
  }
  return masks;
}();

// Triangles whose corners fit in a 16 x 16 box are painted sixteen pixels of a row at a time
// where the processor has 512-bit vectors: the fill by the sides' edge functions, the outline
// from masks of 16 rows of 16 bits, by deltas (dy + 15) * 31 + (dx + 15), placed as above.
constexpr int64_t kMediumBox = 16;
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

// Fill masks of one side, by from * 64 + to (corners as bit indices 8 * y + x), for a
// triangle of positive area: the pixels on the side's inner side by exact edge functions, a
// point on the side counting for the side that the point (x + e, y + e * e) lies on, for a
// tiny e. That is the top-left rule of fillTriangle, so a small fill is the AND of the masks
// of its three sides.
constexpr std::array<uint64_t, 64 * 64> kSmallHalfPlanes = [] {
  std::array<uint64_t, 64 * 64> masks{};
  for (int32_t from = 0; from < 64; ++from) {
    for (int32_t to = 0; to < 64; ++to) {
      const int32_t fromX = from % 8, fromY = from / 8;
      const int32_t dx = to % 8 - fromX, dy = to / 8 - fromY;
      const bool tieInside = dy != 0 ? dy < 0 : dx > 0;
      uint64_t mask = 0;
      for (int32_t bit = 0; bit < 64; ++bit) {
        const int32_t value = dx * (bit / 8 - fromY) - dy * (bit % 8 - fromX);
        if (value > 0 || (value == 0 && tieInside)) mask |= uint64_t{1} << bit;
      }
      masks[from * 64 + to] = mask;
    }
  }
  return masks;
}();

// Exact integer division rounding down or up; the divisor is positive.
int64_t floorDiv(int64_t a, int64_t b) {
  const int64_t q = a / b;
  return (a % b != 0 && a < 0) ? q - 1 : q;
}

int64_t ceilDiv(int64_t a, int64_t b) {
  const int64_t q = a / b;
  return (a % b != 0 && a > 0) ? q + 1 : q;
}

// Minimum and maximum without branches, for coordinates within +-kMaxCorner.
inline int64_t smaller(int64_t a, int64_t b) {
  return b + ((a - b) & ((a - b) >> 63));
}
inline int64_t larger(int64_t a, int64_t b) {
  return a - ((a - b) & ((a - b) >> 63));
}

// The side from `from` down to `to` (to.y > from.y), positioned at row y >= from.y.
EdgeWalk startEdge(PixelPoint from, PixelPoint to, int64_t y) {
  EdgeWalk edge;
  const int64_t dx = to.x - from.x;
  edge.dy = to.y - from.y;
  // Steep sides are the common case and need no division.
  if (dx >= 0 && dx < edge.dy) {
    edge.stepRemainder = dx;
  } else if (dx < 0 && dx >= -edge.dy) {
    edge.step = -1;
    edge.stepRemainder = dx + edge.dy;
  } else {
    edge.step = floorDiv(dx, edge.dy);
    edge.stepRemainder = dx - edge.step * edge.dy;
  }
  edge.x = from.x;
  if (y > from.y) {
    const int64_t numerator = (y - from.y) * dx;
    const int64_t offset = ceilDiv(numerator, edge.dy);
    edge.x += offset;
    edge.remainder = offset * edge.dy - numerator;
  }
  return edge;
}

// Branch-free: the carry comes at irregular rows, which a branch would mispredict.
inline void nextRow(EdgeWalk& edge) {
  edge.remainder -= edge.stepRemainder;
  const int64_t carry = edge.remainder >> 63;  // -1 when the crossing passed the next pixel
  edge.remainder += edge.dy & carry;
  edge.x += edge.step - carry;
}

// Rows y up to yEnd (exclusive), both already inside the surface: pixels ceil(left) up to
// ceil(right) - 1, so left edges count inside and right edges outside.
void fillRows(const PaintTarget& target, int64_t y, int64_t yEnd, EdgeWalk& left, EdgeWalk& right,
              uint32_t pixel) {
  for (; y < yEnd; ++y) {
    const int64_t xl = std::max<int64_t>(left.x, 0);
    const int64_t xr = std::min<int64_t>(right.x, target.width);
    if (xl < xr) fillSpan(target.pixels + y * target.width + xl, xr - xl, pixel);
    nextRow(left);
    nextRow(right);
  }
}

// Every pixel whose top-left corner lies inside: rows from the top corner's row (a horizontal
// top side counts inside) up to the bottom corner's row (excluded).
void fillTriangle(const PaintTarget& target, PixelPoint a, PixelPoint b, PixelPoint c,
                  uint32_t pixel) {
  if (b.y < a.y) std::swap(a, b);
  if (c.y < a.y) std::swap(a, c);
  if (c.y < b.y) std::swap(b, c);
  const int64_t area = (b.x - a.x) * (c.y - a.y) - (b.y - a.y) * (c.x - a.x);
  if (area == 0) return;
  const int64_t top = std::max<int64_t>(a.y, 0);
  const int64_t bottom = std::min(c.y, target.height);
  if (top >= bottom) return;
  // area > 0: the middle corner lies right of the long side a-c, so that side is the left one.
  const bool longIsLeft = area > 0;
  EdgeWalk longSide = startEdge(a, c, top);
  if (top < b.y) {
    EdgeWalk upper = startEdge(a, b, top);
    const int64_t end = std::min(b.y, bottom);
    if (longIsLeft) {
      fillRows(target, top, end, longSide, upper, pixel);
    } else {
      fillRows(target, top, end, upper, longSide, pixel);
    }
  }
  const int64_t lowerTop = std::max(b.y, top);
  if (lowerTop < bottom) {
    EdgeWalk lower = startEdge(b, c, lowerTop);
    if (longIsLeft) {
      fillRows(target, lowerTop, bottom, longSide, lower, pixel);
    } else {
      fillRows(target, lowerTop, bottom, lower, longSide, pixel);
    }
  }
}

// The smallest i in [low, high] for which the monotone (false, then true) test holds, or
// high + 1.
template <typename Test>
int64_t firstPassing(int64_t low, int64_t high, Test test) {
  int64_t end = high + 1;
  while (low < end) {
    const int64_t middle = low + (end - low) / 2;
    if (test(middle)) {
      end = middle;
    } else {
      low = middle + 1;
    }
  }
  return low;
}

// Sides whose rows (flat sides) or columns (steep sides) hold runs of at least this many
// pixels on average are painted run by run instead of pixel by pixel.
constexpr int64_t kFlatRunMinimum = 3;
constexpr int64_t kSteepRunMinimum = 4;

// One run of `length` pixels from `at` along the major axis, `majorStep` apart.
inline void paintRun(uint32_t* pixels, int64_t at, int64_t length, int64_t majorStep,
                     uint32_t pixel) {
  if (majorStep == 1) {
    fillSpan(pixels + at, length, pixel);
  } else if (majorStep == -1) {
    fillSpan(pixels + at - (length - 1), length, pixel);
  } else {
    for (int64_t k = 0; k < length; ++k) pixels[at + k * majorStep] = pixel;
  }
}

// The `count` pixels of a side from `at` (error term `error` there, as in outlineSide's walk:
// the minor coordinate moves after a step that makes it positive) painted a run at a time, a
// run being the pixels of one minor coordinate. With a = 2|dminor|, a run starting at error
// e <= 0 holds floor(-e / a) + 1 pixels, and every run after the first starts at an error in
// (-2n, a - 2n]: writing 2n = Q * a + R, those runs hold Q or Q + 1 pixels, chosen by a
// remainder as an edge walk chooses its steps.
void paintRuns(uint32_t* pixels, int64_t at, int64_t count, int64_t majorStep, int64_t minorStep,
               int64_t twoN, int64_t a, int64_t error, uint32_t pixel) {
  if (a == 0) {  // a level or upright side: one run
    paintRun(pixels, at, count, majorStep, pixel);
    return;
  }
  int64_t run = -error / a + 1;
  const int64_t quotient = twoN / a;
  const int64_t remainder = twoN - quotient * a;
  // The second run starts at error e = error + run * a - 2n; r = (a - 2n) - e, in [0, a).
  int64_t r = a - error - run * a;
  while (true) {
    const int64_t length = std::min(run, count);
    paintRun(pixels, at, length, majorStep, pixel);
    count -= length;
    if (count == 0) return;
    at += run * majorStep + minorStep;
    r += remainder;
    const int64_t carry = r >= a;
    r -= a & -carry;
    run = quotient + carry;
  }
}

// One side of the outline: n = max(|dx|, |dy|) pixels stepping along the major axis from
// `from` (the end excluded); step i has the minor coordinate
// start + ceil((2 * i * dminor - n) / (2 * n)), the nearest, exact halves to the smaller one.
// `clip`: the side may leave the surface, so only the steps inside it are walked.
void outlineSide(const PaintTarget& target, PixelPoint from, PixelPoint to, uint32_t pixel,
                 bool clip) {
  const int64_t dx = to.x - from.x;
  const int64_t dy = to.y - from.y;
  const bool xMajor = std::abs(dx) >= std::abs(dy);
  const int64_t n = xMajor ? std::abs(dx) : std::abs(dy);
  if (n == 0) return;
  const int64_t majorStart = xMajor ? from.x : from.y;
  const int64_t minorStart = xMajor ? from.y : from.x;
  const int64_t majorDirection = (xMajor ? dx : dy) < 0 ? -1 : 1;
  const int64_t minorDelta = xMajor ? dy : dx;
  const int64_t twoN = 2 * n;

  int64_t first = 0;
  int64_t last = n - 1;
  if (clip) {
    const int64_t majorLimit = xMajor ? target.width : target.height;
    const int64_t minorLimit = xMajor ? target.height : target.width;
    if (majorDirection > 0) {
      first = std::max(first, -majorStart);
      last = std::min(last, majorLimit - 1 - majorStart);
    } else {
      first = std::max(first, majorStart - (majorLimit - 1));
      last = std::min(last, majorStart);
    }
    if (first > last) return;
    const auto minorAt = [&](int64_t i) {
      return minorStart + ceilDiv(2 * i * minorDelta - n, twoN);
    };
    const auto inside = [&](int64_t minor) { return minor >= 0 && minor < minorLimit; };
    if (!inside(minorAt(first)) || !inside(minorAt(last))) {
      // The minor coordinate is monotone in i, so the steps inside form one run.
      if (minorDelta >= 0) {
        first = firstPassing(first, last, [&](int64_t i) { return minorAt(i) >= 0; });
        last = firstPassing(first, last, [&](int64_t i) { return minorAt(i) >= minorLimit; }) - 1;
      } else {
        first = firstPassing(first, last, [&](int64_t i) { return minorAt(i) < minorLimit; });
        last = firstPassing(first, last, [&](int64_t i) { return minorAt(i) < 0; }) - 1;
      }
      if (first > last) return;
    }
  }

  // Bresenham-style error term in (-2n, 0]: once it turns positive the minor coordinate moves.
  const int64_t minorSize = std::abs(minorDelta);
  int64_t minor = 0;
  int64_t error = 0;
  if (first == 0) {
    // The usual start, at the side's own corner: both offsets below are 0, no division needed.
    minor = minorStart;
    error = minorDelta >= 0 ? -n : 1 - n;
  } else if (minorDelta >= 0) {
    const int64_t numerator = 2 * first * minorDelta - n;
    const int64_t offset = ceilDiv(numerator, twoN);
    minor = minorStart + offset;
    error = numerator - twoN * offset;
  } else {
    // Mirrored: the offset is -floor((2 * i * |dminor| + n) / (2 * n)).
    const int64_t numerator = 2 * first * minorSize + n;
    const int64_t offset = floorDiv(numerator, twoN);
    minor = minorStart - offset;
    error = numerator - twoN * offset - twoN + 1;
  }
  const int64_t majorStride = xMajor ? 1 : target.width;
  const int64_t minorStride = xMajor ? target.width : 1;
  const int64_t majorStep = majorDirection * majorStride;
  const int64_t minorStep = (minorDelta < 0 ? -1 : 1) * minorStride;
  int64_t at = (majorStart + first * majorDirection) * majorStride + minor * minorStride;
  uint32_t* const pixels = target.pixels;
  if (n >= (xMajor ? kFlatRunMinimum : kSteepRunMinimum) * minorSize) {
    paintRuns(pixels, at, last - first + 1, majorStep, minorStep, twoN, 2 * minorSize, error,
              pixel);
    return;
  }
  for (int64_t i = first; i < last; ++i) {
    pixels[at] = pixel;
    at += majorStep;
    error += 2 * minorSize;
    const int64_t carry = -static_cast<int64_t>(error > 0);  // branch-free, as in nextRow
    error -= twoN & carry;
    at += minorStep & carry;
  }
  pixels[at] = pixel;  // the last step, without stepping beyond it
}

// Corners relative to the box's top-left pixel, so every quantity fits in 32 bits.
inline uint64_t smallFill(int32_t ax, int32_t ay, int32_t bx, int32_t by, int32_t cx, int32_t cy) {
  const int32_t area = (bx - ax) * (cy - ay) - (by - ay) * (cx - ax);
  const int32_t a = ay * 8 + ax;
  int32_t b = by * 8 + bx;
  int32_t c = cy * 8 + cx;
  // The other winding: swap b and c for the same triangle with positive area. Arithmetic
  // instead of a branch, which random windings would mispredict.
  const int32_t swapBits = (b ^ c) & -static_cast<int32_t>(area < 0);
  b ^= swapBits;
  c ^= swapBits;
  const uint64_t mask =
      kSmallHalfPlanes[a * 64 + b] & kSmallHalfPlanes[b * 64 + c] & kSmallHalfPlanes[c * 64 + a];
  return area != 0 ? mask : 0;
}

inline uint64_t smallSide(int32_t fromX, int32_t fromY, int32_t toX, int32_t toY) {
  const auto shift = static_cast<int32_t>(smaller(fromX, toX) + kSmallBox * smaller(fromY, toY));
  return kSmallSideMasks[(toY - fromY + 7) * 15 + (toX - fromX + 7)] << shift;
}

// Fill and outline of a triangle inside the surface whose box, with its top-left pixel at
// `origin`, is at most 8 x 8; corners relative to that pixel.
void paintSmall(uint32_t* origin, int64_t width, int32_t ax, int32_t ay, int32_t bx, int32_t by,
                int32_t cx, int32_t cy, uint32_t pixel) {
  uint64_t mask = smallFill(ax, ay, bx, by, cx, cy) | smallSide(ax, ay, bx, by) |
                  smallSide(bx, by, cx, cy) | smallSide(cx, cy, ax, ay);
  while (mask != 0) {
    const int bit = std::countr_zero(mask);
    origin[(bit / kSmallBox) * width + bit % kSmallBox] = pixel;
    mask &= mask - 1;
  }
}

// 512-bit vector painters exist on x86-64 only; elsewhere paintLarge paints these boxes.
#if defined(__x86_64__)
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
  const bool tieInside = dy != 0 ? dy < 0 : dx > 0;
  const __m512i lanes = _mm512_setr_epi32(0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15);
  return {_mm512_sub_epi32(_mm512_set1_epi32(dy * fromX - dx * fromY),
                           _mm512_mullo_epi32(lanes, _mm512_set1_epi32(dy))),
          _mm512_set1_epi32(dx), _mm512_set1_epi32(tieInside ? -1 : 0)};
}

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
  const int32_t area = (bx - ax) * (cy - ay) - (by - ay) * (cx - ax);
  if (area < 0) {  // the other winding: the same triangle with positive area
    std::swap(bx, cx);
    std::swap(by, cy);
  }
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
#endif  // __x86_64__

// Triangles whose corners fit in a 32 x 32 box: the same a row of 32 pixels at a time, every
// quantity in 16 bits. The outline of a side comes from a linear function too: step i of a side
// from F, with major direction s and n = max(|dx|, |dy|) steps, lies at major offset s * i
// and minor offset m = ceil((2 * i * dminor - n) / (2 * n)), which holds exactly when
// 2n * m - 2 * dminor * i + n lies in [0, 2n).
constexpr int64_t kWideBox = 32;
#if defined(__x86_64__)
alignas(64) constexpr int16_t kWideLanes[kWideBox] = {0,  1,  2,  3,  4,  5,  6,  7,  8,  9,  10,
                                                      11, 12, 13, 14, 15, 16, 17, 18, 19, 20, 21,
                                                      22, 23, 24, 25, 26, 27, 28, 29, 30, 31};

// a * x + b * y + c over the 32 pixels x of row y = 0, and its change to the next row.
struct RowFunction {
  __m512i value;
  __m512i step;
};
__attribute__((target("avx512f,avx512bw"))) inline RowFunction rowFunction(int32_t a, int32_t b,
                                                                           int32_t c) {
  const __m512i lanes = _mm512_load_si512(kWideLanes);
  return {_mm512_add_epi16(_mm512_set1_epi16(static_cast<int16_t>(c)),
                           _mm512_mullo_epi16(lanes, _mm512_set1_epi16(static_cast<int16_t>(a)))),
          _mm512_set1_epi16(static_cast<int16_t>(b))};
}

// The outline of one side: on it where the function lies in [0, limit), within the columns
// and the rows its steps take (a flat side takes some columns of every row, a steep one every
// column of some rows).
struct WideOutline {
  RowFunction offset;
  __m512i limit;
  uint32_t columns = 0;
  int32_t firstRow = 0;
  uint32_t rowCount = kWideBox;
};
__attribute__((target("avx512f,avx512bw"))) inline WideOutline wideOutline(int32_t fromX,
                                                                           int32_t fromY,
                                                                           int32_t toX,
                                                                           int32_t toY) {
  const int32_t dx = toX - fromX;
  const int32_t dy = toY - fromY;
  const int32_t n = std::max(std::abs(dx), std::abs(dy));
  WideOutline side;
  side.limit = _mm512_set1_epi16(static_cast<int16_t>(2 * n));
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
__attribute__((target("avx512f,avx512bw"))) inline uint32_t outlineRow(WideOutline& side,
                                                                       int32_t row) {
  const uint32_t onSide = _mm512_cmplt_epu16_mask(side.offset.value, side.limit) & side.columns;
  side.offset.value = _mm512_add_epi16(side.offset.value, side.offset.step);
  return static_cast<uint32_t>(row - side.firstRow) < side.rowCount ? onSide : 0;
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
  const int32_t area = (bx - ax) * (cy - ay) - (by - ay) * (cx - ax);
  if (area < 0) {  // the other winding: the same triangle with positive area
    std::swap(bx, cx);
    std::swap(by, cy);
  }
  // The sides' edge functions dx * (y - fromY) - dy * (x - fromX); a point on a side is
  // outlined anyway, so inside means above 0.
  RowFunction edge0 = rowFunction(ay - by, bx - ax, (by - ay) * ax - (bx - ax) * ay);
  RowFunction edge1 = rowFunction(by - cy, cx - bx, (cy - by) * bx - (cx - bx) * by);
  RowFunction edge2 = rowFunction(cy - ay, ax - cx, (ay - cy) * cx - (ax - cx) * cy);
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
#endif  // __x86_64__

inline bool beyondCorner(int64_t coordinate) {
  return static_cast<uint64_t>(coordinate + kMaxCorner) > static_cast<uint64_t>(2 * kMaxCorner);
}

bool sideInside(const PaintTarget& target, PixelPoint a, PixelPoint b) {
  return std::min(a.x, b.x) >= 0 && std::max(a.x, b.x) < target.width && std::min(a.y, b.y) >= 0 &&
         std::max(a.y, b.y) < target.height;
}

// Takes the corners as plain numbers and stays out of line: otherwise the compiler moves the
// corners of every small face through memory as records, and the reloads stall.
[[gnu::noinline]] void paintLarge(const PaintTarget& target, int64_t x0, int64_t y0, int64_t x1,
                                  int64_t y1, int64_t x2, int64_t y2, bool inside, uint32_t pixel) {
  const PixelPoint p0{x0, y0}, p1{x1, y1}, p2{x2, y2};
  fillTriangle(target, p0, p1, p2, pixel);
  outlineSide(target, p0, p1, pixel, !inside && !sideInside(target, p0, p1));
  outlineSide(target, p1, p2, pixel, !inside && !sideInside(target, p1, p2));
  outlineSide(target, p2, p0, pixel, !inside && !sideInside(target, p2, p0));
}

}  // namespace

void paintTriangle(Surface& surface, PixelPoint p0, PixelPoint p1, PixelPoint p2, int32_t colour) {
  const int64_t x0 = p0.x, y0 = p0.y, x1 = p1.x, y1 = p1.y, x2 = p2.x, y2 = p2.y;
  if (beyondCorner(x0) | beyondCorner(y0) | beyondCorner(x1) | beyondCorner(y1) | beyondCorner(x2) |
      beyondCorner(y2)) {
    return;
  }
  const int64_t width = surface.width;
  const int64_t height = surface.height;
  if (width <= 0 || height <= 0 || surface.pixels.size() < static_cast<size_t>(width * height)) {
    return;
  }
  const int64_t left = smaller(x0, smaller(x1, x2));
  const int64_t right = larger(x0, larger(x1, x2));
  const int64_t top = smaller(y0, smaller(y1, y2));
  const int64_t bottom = larger(y0, larger(y1, y2));
  // Fill and outline both stay inside the corners' bounding box.
  if (right < 0 || left >= width || bottom < 0 || top >= height) return;
  const uint32_t pixel = pixelFromColour(colour);
  const bool inside = left >= 0 && right < width && top >= 0 && bottom < height;
  markPainted(surface, larger(left, 0), larger(top, 0), smaller(right, width - 1),
              smaller(bottom, height - 1));
  if (inside && right - left <= 1 && bottom - top <= 1) {
    // Corners within one 2 x 2 block of pixels, as most faces of a dense mesh seen whole: every
    // side is one step long and paints its first corner, or none when its ends meet, and the
    // fill adds nothing, since such a triangle holds no pixel corner but its own three. So the
    // picture is the corners, or nothing when all three are one.
    if (left == right && top == bottom) return;
    uint32_t* const pixels = surface.pixels.data();
    pixels[y0 * width + x0] = pixel;
    pixels[y1 * width + x1] = pixel;
    pixels[y2 * width + x2] = pixel;
    return;
  }
  if (inside && right - left < kWideBox && bottom - top < kWideBox) {
    // The box painters take the corners relative to its top-left pixel.
    uint32_t* const origin = surface.pixels.data() + top * width + left;
    const auto ax = static_cast<int32_t>(x0 - left), ay = static_cast<int32_t>(y0 - top);
    const auto bx = static_cast<int32_t>(x1 - left), by = static_cast<int32_t>(y1 - top);
    const auto cx = static_cast<int32_t>(x2 - left), cy = static_cast<int32_t>(y2 - top);
    [[maybe_unused]] const auto rows = static_cast<int32_t>(bottom - top + 1);
    if (right - left < kSmallBox && bottom - top < kSmallBox) {
      paintSmall(origin, width, ax, ay, bx, by, cx, cy, pixel);
      return;
    }
#if defined(__x86_64__)
    const bool wideVectors = vectorPath == VectorPath::kAvx512;
    if (wideVectors && right - left < kMediumBox && bottom - top < kMediumBox) {
      paintMedium(origin, width, ax, ay, bx, by, cx, cy, rows, pixel);
      return;
    }
    if (wideVectors) {
      paintWide(origin, width, ax, ay, bx, by, cx, cy, rows, pixel);
      return;
    }
#endif
  }
  paintLarge({surface.pixels.data(), width, height}, x0, y0, x1, y1, x2, y2, inside, pixel);
}

}  // namespace corvath
