// The pieces of the triangle rule that every painter shares, and the painters paintTriangle
// chooses between. Internal to src/raster: the rule itself is paintTriangleReference
// (triangle_rule.cpp); each painter names the part of it that it reproduces.
#pragma once

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <utility>

#include "raster/raster.hpp"

namespace corvath {

// Twice the signed area of the triangle a, b, c: positive when the corners run clockwise on the
// screen (y grows downward), 0 when they lie on one line. Exact for coordinates within
// +-kMaxCorner in 64 bits, and within the box painters' 32 x 32 pixels in 32 bits.
template <typename Int>
constexpr Int doubledArea(Int ax, Int ay, Int bx, Int by, Int cx, Int cy) {
  return (bx - ax) * (cy - ay) - (by - ay) * (cx - ax);
}

// The top-left rule's tie: whether a point exactly on the side with deltas dx, dy counts as
// inside, for a triangle of positive doubled area. It counts for the side that the point
// (x + e, y + e * e) lies on, for a tiny e: so left and top sides count, right and bottom not.
constexpr bool tieCountsInside(int64_t dx, int64_t dy) {
  return dy != 0 ? dy < 0 : dx > 0;
}

// Exact integer division rounding down or up; the divisor is positive.
constexpr int64_t floorDiv(int64_t a, int64_t b) {
  const int64_t q = a / b;
  return (a % b != 0 && a < 0) ? q - 1 : q;
}
constexpr int64_t ceilDiv(int64_t a, int64_t b) {
  const int64_t q = a / b;
  return (a % b != 0 && a > 0) ? q + 1 : q;
}

// The outline rule: step i (0 <= i < n) of a side of n = max(|dx|, |dy|) steps along its major
// axis lies at this offset along the minor axis, whose delta is minorDelta: the nearest pixel,
// exact halves going to the smaller coordinate.
constexpr int64_t outlineMinorOffset(int64_t i, int64_t minorDelta, int64_t n) {
  return ceilDiv(2 * i * minorDelta - n, 2 * n);
}

// Step i of the outline of a side with deltas dx, dy (0 <= i < max(|dx|, |dy|)), relative to
// the side's smaller x and smaller y. The outline rule, for the box painters' mask tables.
struct SideStep {
  int64_t x = 0;
  int64_t y = 0;
};
constexpr SideStep sideStep(int64_t dx, int64_t dy, int64_t i) {
  const bool xMajor = (dx < 0 ? -dx : dx) >= (dy < 0 ? -dy : dy);
  const int64_t n = xMajor ? (dx < 0 ? -dx : dx) : (dy < 0 ? -dy : dy);
  const int64_t minorDelta = xMajor ? dy : dx;
  const int64_t majorDirection = (xMajor ? dx : dy) < 0 ? -1 : 1;
  const int64_t minor = outlineMinorOffset(i, minorDelta, n);
  return {(xMajor ? i * majorDirection : minor) - (dx < 0 ? dx : 0),
          (xMajor ? minor : i * majorDirection) - (dy < 0 ? dy : 0)};
}

constexpr int64_t sideLength(int64_t dx, int64_t dy) {
  return std::max(dx < 0 ? -dx : dx, dy < 0 ? -dy : dy);
}

// Minimum and maximum without branches, for coordinates within +-kMaxCorner.
inline int64_t smaller(int64_t a, int64_t b) {
  return b + ((a - b) & ((a - b) >> 63));
}
inline int64_t larger(int64_t a, int64_t b) {
  return a - ((a - b) & ((a - b) >> 63));
}

// The box painters take triangles that lie inside the surface and fit in a box of this many
// pixels a side, with their corners relative to the box's top-left pixel.
constexpr int64_t kSmallBox = 8;    // triangle_small.hpp
constexpr int64_t kMediumBox = 16;  // triangle_avx512.cpp
constexpr int64_t kWideBox = 32;    // triangle_avx512.cpp, triangle_avx2.cpp

// a * x + b * y + c, over the pixels of a box painter's row.
struct LinearFunction {
  int32_t a = 0;
  int32_t b = 0;
  int32_t c = 0;
};

// Twice the area of the triangle a, b, c, with b and c swapped where the corners run the other
// way: the same triangle with positive area, as the fill masks and functions want it.
inline int32_t windClockwise(int32_t ax, int32_t ay, int32_t& bx, int32_t& by, int32_t& cx,
                             int32_t& cy) {
  const int32_t area = doubledArea(ax, ay, bx, by, cx, cy);
  if (area < 0) {
    std::swap(bx, cx);
    std::swap(by, cy);
  }
  return area;
}

// The side's edge function dx * (y - fromY) - dy * (x - fromX), above 0 on its inner side.
inline LinearFunction edgeFunction(int32_t fromX, int32_t fromY, int32_t toX, int32_t toY) {
  return {fromY - toY, toX - fromX, (toY - fromY) * fromX - (toX - fromX) * fromY};
}

// The wide painters' outline of a side. Step i of a side from F, with major direction s and
// n = max(|dx|, |dy|) steps, lies at major offset s * i and minor offset
// m = ceil((2 * i * dminor - n) / (2 * n)), which holds exactly when 2n * m - 2 * dminor * i + n
// lies in [0, 2n): so a pixel is on the side where `offset` lies in [0, limit), compared
// without sign, within `columns` (bit x) and the rowCount rows from firstRow. A flat side takes
// some columns of every row, a steep one every column of some rows.
struct WideSide {
  LinearFunction offset;
  int32_t limit = 0;
  uint32_t columns = ~uint32_t{0};
  int32_t firstRow = 0;
  uint32_t rowCount = kWideBox;
};
inline WideSide wideSide(int32_t fromX, int32_t fromY, int32_t toX, int32_t toY) {
  const int32_t dx = toX - fromX;
  const int32_t dy = toY - fromY;
  const int32_t n = std::max(std::abs(dx), std::abs(dy));
  WideSide side;
  side.limit = 2 * n;
  if (std::abs(dx) >= std::abs(dy)) {  // minor offset y - fromY, i = s * (x - fromX)
    const int32_t s = dx < 0 ? -1 : 1;
    side.offset = {-2 * dy * s, 2 * n, -2 * n * fromY + 2 * dy * s * fromX + n};
    const int32_t firstColumn = s > 0 ? fromX : fromX - n + 1;
    side.columns = n == 0 ? 0 : ((uint32_t{1} << n) - 1) << firstColumn;
  } else {  // minor offset x - fromX, i = s * (y - fromY)
    const int32_t s = dy < 0 ? -1 : 1;
    side.offset = {2 * n, -2 * dx * s, -2 * n * fromX + 2 * dx * s * fromY + n};
    side.firstRow = s > 0 ? fromY : fromY - n + 1;
    side.rowCount = static_cast<uint32_t>(n);
  }
  return side;
}

// Any triangle within +-kMaxCorner, clipped to the surface by edge walks (triangle_edges.cpp).
// `inside`: all three corners lie on the surface, so no side needs clipping.
struct PaintTarget {
  uint32_t* pixels = nullptr;
  int64_t width = 0;
  int64_t height = 0;
};
void paintLarge(const PaintTarget& target, int64_t x0, int64_t y0, int64_t x1, int64_t y1,
                int64_t x2, int64_t y2, bool inside, uint32_t pixel);

#if defined(__x86_64__)
// Box painters for processors with 512-bit vectors (vectorPath == kAvx512): `origin` is the box's
// top-left pixel, `width` the surface's row length, `rows` the box's height.
void paintMedium(uint32_t* origin, int64_t width, int32_t ax, int32_t ay, int32_t bx, int32_t by,
                 int32_t cx, int32_t cy, int32_t rows, uint32_t pixel);
void paintWide(uint32_t* origin, int64_t width, int32_t ax, int32_t ay, int32_t bx, int32_t by,
               int32_t cx, int32_t cy, int32_t rows, uint32_t pixel);
// The same as paintWide for processors with AVX2 (vectorPath == kAvx2), for boxes of any size
// up to kWideBox.
void paintWideAvx2(uint32_t* origin, int64_t width, int32_t ax, int32_t ay, int32_t bx, int32_t by,
                   int32_t cx, int32_t cy, int32_t rows, uint32_t pixel);
#endif

}  // namespace corvath
