// The pixel rule of a triangle, pixel by pixel: the reference every painter is held to.
#include "raster/triangle_rule.hpp"

#include <cstdlib>
#include <utility>

#include "raster/raster.hpp"

namespace corvath {
namespace {

// Whether the point (x, y) lies inside the side from -> to of a triangle of positive doubled
// area: strictly on its inner side, or exactly on it where the top-left rule says so.
bool insideSide(PixelPoint from, PixelPoint to, int64_t x, int64_t y) {
  const int64_t dx = to.x - from.x;
  const int64_t dy = to.y - from.y;
  const int64_t value = dx * (y - from.y) - dy * (x - from.x);
  return value > 0 || (value == 0 && tieCountsInside(dx, dy));
}

// The fill: the triangle taken with positive doubled area, so the other winding gives the same
// pixels; a triangle without area fills nothing.
bool filledAt(PixelPoint a, PixelPoint b, PixelPoint c, int64_t x, int64_t y) {
  const int64_t area = doubledArea(a.x, a.y, b.x, b.y, c.x, c.y);
  if (area == 0) return false;
  if (area < 0) std::swap(b, c);
  return insideSide(a, b, x, y) && insideSide(b, c, x, y) && insideSide(c, a, x, y);
}

// The outline of one side: step i along the major axis, from `from` with its end excluded.
bool outlinedAt(PixelPoint from, PixelPoint to, int64_t x, int64_t y) {
  const int64_t dx = to.x - from.x;
  const int64_t dy = to.y - from.y;
  const bool xMajor = std::abs(dx) >= std::abs(dy);
  const int64_t n = xMajor ? std::abs(dx) : std::abs(dy);
  const int64_t majorDirection = (xMajor ? dx : dy) < 0 ? -1 : 1;
  const int64_t i = (xMajor ? x - from.x : y - from.y) * majorDirection;
  if (i < 0 || i >= n) return false;  // also every pixel of a side without length
  const int64_t minor = (xMajor ? from.y : from.x) + outlineMinorOffset(i, xMajor ? dy : dx, n);
  return (xMajor ? y : x) == minor;
}

}  // namespace

void paintTriangleReference(Surface& surface, PixelPoint p0, PixelPoint p1, PixelPoint p2,
                            int32_t colour) {
  for (const PixelPoint p : {p0, p1, p2}) {
    if (std::abs(p.x) > kMaxCorner || std::abs(p.y) > kMaxCorner) return;
  }
  const int64_t width = surface.width;
  const int64_t height = surface.height;
  if (width <= 0 || height <= 0 || surface.pixels.size() < static_cast<size_t>(width * height)) {
    return;
  }
  const uint32_t pixel = pixelFromColour(colour);
  for (int64_t y = 0; y < height; ++y) {
    for (int64_t x = 0; x < width; ++x) {
      if (filledAt(p0, p1, p2, x, y) || outlinedAt(p0, p1, x, y) || outlinedAt(p1, p2, x, y) ||
          outlinedAt(p2, p0, x, y)) {
        surface.pixels[y * width + x] = pixel;
      }
    }
  }
  markSurfaceChanged(surface);
}

}  // namespace corvath
