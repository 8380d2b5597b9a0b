// The painter of triangles whose corners fit in an 8 x 8 box, the bulk of a detailed mesh: the
// fill and outline as one 64-bit mask of the box (bit 8 * row + column), from tables, without
// data-dependent branches. It reproduces paintTriangleReference (triangle_rule.cpp) exactly;
// tests/raster/triangle_test.cpp holds it there (PaintTriangle.MatchesReference...). Inline,
// since it is most of a frame's painting and paintTriangle calls it for most faces.
#pragma once

#include <algorithm>
#include <array>
#include <bit>
#include <cassert>
#include <cstdint>

#include "raster/triangle_rule.hpp"

namespace corvath {

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

// Fill masks of one side, by from * 64 + to (corners as bit indices 8 * y + x), for a
// triangle of positive area: the pixels on the side's inner side by exact edge functions, a
// point on the side counting for the side that the point (x + e, y + e * e) lies on, for a
// tiny e. That is the fill rule, so a small fill is the AND of the masks
// of its three sides.
constexpr std::array<uint64_t, 64 * 64> kSmallHalfPlanes = [] {
  std::array<uint64_t, 64 * 64> masks{};
  for (int32_t from = 0; from < 64; ++from) {
    for (int32_t to = 0; to < 64; ++to) {
      const int32_t fromX = from % 8, fromY = from / 8;
      const int32_t dx = to % 8 - fromX, dy = to / 8 - fromY;
      const bool tieInside = tieCountsInside(dx, dy);
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

// Corners relative to the box's top-left pixel, so every quantity fits in 32 bits.
inline uint64_t smallFill(int32_t ax, int32_t ay, int32_t bx, int32_t by, int32_t cx, int32_t cy) {
  const int32_t area = doubledArea(ax, ay, bx, by, cx, cy);
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
inline void paintSmall(uint32_t* origin, int64_t width, int32_t ax, int32_t ay, int32_t bx,
                       int32_t by, int32_t cx, int32_t cy, uint32_t pixel) {
  assert(std::min({ax, ay, bx, by, cx, cy}) >= 0 && std::max({ax, ay, bx, by, cx, cy}) < kSmallBox);
  uint64_t mask = smallFill(ax, ay, bx, by, cx, cy) | smallSide(ax, ay, bx, by) |
                  smallSide(bx, by, cx, cy) | smallSide(cx, cy, ax, ay);
  while (mask != 0) {
    const int bit = std::countr_zero(mask);
    origin[(bit / kSmallBox) * width + bit % kSmallBox] = pixel;
    mask &= mask - 1;
  }
}

}  // namespace corvath
