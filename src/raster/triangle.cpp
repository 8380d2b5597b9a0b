// paintTriangle: which painter takes a triangle, by where its corners lie and how far apart.
#include <cstdint>

#include "raster/painted_tiles.hpp"
#include "raster/raster.hpp"
#include "raster/triangle_rule.hpp"
#include "raster/triangle_small.hpp"

namespace corvath {
namespace {

inline bool beyondCorner(int64_t coordinate) {
  return static_cast<uint64_t>(coordinate + kMaxCorner) > static_cast<uint64_t>(2 * kMaxCorner);
}

}  // namespace

void paintTriangle(Surface& surface, PixelPoint p0, PixelPoint p1, PixelPoint p2, int32_t colour) {
  paintTriangleRows(surface, p0, p1, p2, colour, 0, surface.height);
}

int32_t paintBandHeight(const Surface& surface) {
  return int32_t{1} << surface.painted.shift;
}

void paintTriangleRows(Surface& surface, PixelPoint p0, PixelPoint p1, PixelPoint p2,
                       int32_t colour, int32_t firstRow, int32_t endRow) {
  int64_t x0 = p0.x, y0 = p0.y, x1 = p1.x, y1 = p1.y, x2 = p2.x, y2 = p2.y;
  // The limit holds for the corners as given, before a band moves them.
  if (beyondCorner(x0) | beyondCorner(y0) | beyondCorner(x1) | beyondCorner(y1) | beyondCorner(x2) |
      beyondCorner(y2)) {
    return;
  }
  const int64_t width = surface.width;
  if (width <= 0 || surface.height <= 0 ||
      surface.pixels.size() < static_cast<size_t>(width * surface.height)) {
    return;
  }
  const int64_t bandTop = larger(firstRow, 0);
  const int64_t bandEnd = smaller(endRow, surface.height);
  if (bandTop >= bandEnd) return;
  const int64_t left = smaller(x0, smaller(x1, x2));
  const int64_t right = larger(x0, larger(x1, x2));
  // Fill and outline both stay inside the corners' bounding box.
  if (right < 0 || left >= width || larger(y0, larger(y1, y2)) < bandTop ||
      smaller(y0, smaller(y1, y2)) >= bandEnd) {
    return;
  }
  markPainted(surface, larger(left, 0), larger(smaller(y0, smaller(y1, y2)), bandTop),
              smaller(right, width - 1), smaller(larger(y0, larger(y1, y2)), bandEnd - 1));
  // The band is a surface of its own, its first row at row 0: the rules are the same for whole
  // pixels moved by whole rows, so the band gets exactly the rows the whole surface would.
  y0 -= bandTop;
  y1 -= bandTop;
  y2 -= bandTop;
  const int64_t height = bandEnd - bandTop;
  uint32_t* const bandPixels = surface.pixels.data() + bandTop * width;
  const int64_t top = smaller(y0, smaller(y1, y2));
  const int64_t bottom = larger(y0, larger(y1, y2));
  const uint32_t pixel = pixelFromColour(colour);
  const bool inside = left >= 0 && right < width && top >= 0 && bottom < height;
  if (inside && right - left <= 1 && bottom - top <= 1) {
    // Corners within one 2 x 2 block of pixels, as most faces of a dense mesh seen whole: every
    // side is one step long and paints its first corner, or none when its ends meet, and the
    // fill adds nothing, since such a triangle holds no pixel corner but its own three. So the
    // picture is the corners, or nothing when all three are one.
    if (left == right && top == bottom) return;
    uint32_t* const pixels = bandPixels;
    pixels[y0 * width + x0] = pixel;
    pixels[y1 * width + x1] = pixel;
    pixels[y2 * width + x2] = pixel;
    return;
  }
  if (inside && right - left < kWideBox && bottom - top < kWideBox) {
    // The box painters take the corners relative to its top-left pixel.
    uint32_t* const origin = bandPixels + top * width + left;
    const auto ax = static_cast<int32_t>(x0 - left), ay = static_cast<int32_t>(y0 - top);
    const auto bx = static_cast<int32_t>(x1 - left), by = static_cast<int32_t>(y1 - top);
    const auto cx = static_cast<int32_t>(x2 - left), cy = static_cast<int32_t>(y2 - top);
    const auto rows = static_cast<int32_t>(bottom - top + 1);
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
    if (vectorPath == VectorPath::kAvx2) {
      paintWideAvx2(origin, width, ax, ay, bx, by, cx, cy, rows, pixel);
      return;
    }
#else
    static_cast<void>(rows);
#endif
  }
  paintLarge({bandPixels, width, height}, x0, y0, x1, y1, x2, y2, inside, pixel);
}

}  // namespace corvath
