// Painter's order: a depth key per face and the quicksort that puts the farthest faces first.
#include <utility>

#include "mesh/mesh.hpp"
#include "view/view.hpp"

namespace corvath {

namespace {

// Sorts keys[lo..hi] in descending order, moving the order table's values with their keys.
// The partition fixes the order of equal keys, so it is kept step for step. Recursing into the
// smaller range and looping on the larger keeps the stack shallow on any input; the two ranges
// are disjoint, so the order in which they are sorted changes nothing.
void sortDescending(double* keys, double* order, int32_t lo, int32_t hi) {
  while (lo < hi) {
    const double pivot = keys[lo + (hi - lo) / 2];
    int32_t i = lo;
    int32_t j = hi;
    while (i <= j) {
      while (keys[i] > pivot && i < hi) ++i;
      while (keys[j] < pivot && j > lo) --j;
      if (i > j) break;
      if (i < j) {
        std::swap(keys[i], keys[j]);
        std::swap(order[i], order[j]);
      }
      ++i;
      --j;
    }
    if (j - lo < hi - i) {
      if (lo < j) sortDescending(keys, order, lo, j);
      lo = i;
    } else {
      if (i < hi) sortDescending(keys, order, i, hi);
      hi = j;
    }
  }
}

}  // namespace

void orderFaces() {
  using L = long double;
  const int32_t count = std::min<int64_t>(faceCount, faces.size());
  double* keys = faceDepths.data();
  double* order = faceOrder.data();
  for (int32_t f = 0; f < count; ++f) {
    Face& face = faces[f];
    order[f] = f;
    if (!faceCornersInTables(face)) {
      keys[f] = kBackFaceKey;
      continue;
    }
    const ScreenPoint& a = screenPoints[face.a];
    const ScreenPoint& b = screenPoints[face.b];
    const ScreenPoint& c = screenPoints[face.c];
    const double abX = static_cast<double>(L(a.x) - b.x);
    const double abY = static_cast<double>(L(a.y) - b.y);
    const double cbX = static_cast<double>(L(c.x) - b.x);
    const double cbY = static_cast<double>(L(c.y) - b.y);
    // Positive when a, b, c run counter-clockwise as the user sees them (y grows downward).
    const L screenCross = L(cbY) * abX - L(cbX) * abY;
    if (screenCross <= 0) {
      keys[f] = kBackFaceKey;
      continue;
    }
    face.depth = static_cast<double>((L(workingVertices[face.b].z) + workingVertices[face.a].z) +
                                     workingVertices[face.c].z);
    keys[f] = face.depth;
  }
  if (count > 1) sortDescending(keys, order, 0, count - 1);
}

}  // namespace corvath
