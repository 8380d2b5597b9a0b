// The pieces of the triangle rule that every painter shares, and the painters paintTriangle
// chooses between. Internal to src/platform: the rule itself is paintTriangleReference
// (triangle_rule.cpp); each painter names the part of it that it reproduces.
#pragma once

#include <cstdint>

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
void paintWideAvx2(uint32_t* origin, int64_t width, int32_t ax, int32_t ay, int32_t bx,
                   int32_t by, int32_t cx, int32_t cy, int32_t rows, uint32_t pixel);
#endif

}  // namespace corvath
