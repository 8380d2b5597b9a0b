// The painter of any triangle within +-kMaxCorner: the fill by edge walks row by row, the
// outline by Bresenham walks or runs, each clipped to the surface arithmetically. It reproduces
// paintTriangleReference (triangle_rule.cpp) exactly; tests/raster/triangle_test.cpp holds it
// there (PaintTriangle.MatchesReference..., far corners and huge triangles included).
#include <algorithm>
#include <cassert>
#include <cstdlib>
#include <utility>

#include "raster/fill_span.hpp"
#include "raster/triangle_rule.hpp"

namespace corvath {
namespace {

// Where one side of a triangle crosses successive pixel rows. `x` is the ceiling of the exact
// crossing; the remainder keeps it exact, so stepping to the next row needs no division.
struct EdgeWalk {
  int64_t x = 0;
  int64_t remainder = 0;      // x * dy minus the exact crossing times dy: 0 <= remainder < dy
  int64_t step = 0;           // floor(dx / dy)
  int64_t stepRemainder = 0;  // dx - step * dy
  int64_t dy = 1;
};

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
  const int64_t area = doubledArea(a.x, a.y, b.x, b.y, c.x, c.y);
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

bool sideInside(const PaintTarget& target, PixelPoint a, PixelPoint b) {
  return std::min(a.x, b.x) >= 0 && std::max(a.x, b.x) < target.width && std::min(a.y, b.y) >= 0 &&
         std::max(a.y, b.y) < target.height;
}

}  // namespace

// Takes the corners as plain numbers, and lives apart from paintTriangle: otherwise the compiler
// moves the corners of every small face through memory as records, and the reloads stall.
void paintLarge(const PaintTarget& target, int64_t x0, int64_t y0, int64_t x1, int64_t y1,
                int64_t x2, int64_t y2, bool inside, uint32_t pixel) {
  // Corners within +-kMaxCorner, rows moved up by at most a surface height when a row band is
  // painted (paintTriangleRows): every product below stays far inside 64 bits.
  assert(std::max({std::abs(x0), std::abs(y0), std::abs(x1), std::abs(y1), std::abs(x2),
                   std::abs(y2)}) <= 2 * kMaxCorner);
  const PixelPoint p0{x0, y0}, p1{x1, y1}, p2{x2, y2};
  fillTriangle(target, p0, p1, p2, pixel);
  outlineSide(target, p0, p1, pixel, !inside && !sideInside(target, p0, p1));
  outlineSide(target, p1, p2, pixel, !inside && !sideInside(target, p1, p2));
  outlineSide(target, p2, p0, pixel, !inside && !sideInside(target, p2, p0));
}

}  // namespace corvath
