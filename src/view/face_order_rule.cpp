// The painter's order written plainly: the key of a face, and a textbook quicksort whose
// partition fixes the order of equal keys that every other path reproduces. The references the
// tests hold the frame's face pass and sort to.
#include <cassert>
#include <span>
#include <utility>

#include "mesh/mesh.hpp"
#include "numbers/numbers.hpp"
#include "view/face_order_paths.hpp"
#include "view/view.hpp"

namespace corvath {

double faceKeyReference(int32_t f) {
  using L = Extended;
  const Face& face = faces[f];
  if (!faceCornersInTables(face)) return kBackFaceKey;
  const ScreenPoint& a = screenPoints[face.a];
  const ScreenPoint& b = screenPoints[face.b];
  const ScreenPoint& c = screenPoints[face.c];
  const double abX = static_cast<double>(L(a.x) - b.x);
  const double abY = static_cast<double>(L(a.y) - b.y);
  const double cbX = static_cast<double>(L(c.x) - b.x);
  const double cbY = static_cast<double>(L(c.y) - b.y);
  // y grows downward: positive when a, b, c run counter-clockwise as the user sees them.
  if (!(L(cbY) * abX - L(cbX) * abY > 0)) return kBackFaceKey;
  return static_cast<double>((L(workingVertices[face.b].z) + workingVertices[face.a].z) +
                             workingVertices[face.c].z);
}

// Equal keys are swapped as the scans meet them, which fixes their order; an undefined key stops
// both scans, since every comparison with it is false.
void partitionPlain(double* keys, double* order, int32_t lo, int32_t hi, double pivot, int32_t& i,
                    int32_t& j) {
  assert(lo <= hi);
  i = lo;
  j = hi;
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
}

void sortFaceOrderReference(std::span<double> keys, std::span<double> order) {
  assert(keys.size() == order.size());
  int32_t lo = 0;
  int32_t hi = static_cast<int32_t>(keys.size()) - 1;
  // Recursing into the smaller range and looping on the larger keeps the stack shallow.
  while (lo < hi) {
    const double pivot = keys[lo + (hi - lo) / 2];
    int32_t i = 0;
    int32_t j = 0;
    partitionPlain(keys.data(), order.data(), lo, hi, pivot, i, j);
    if (j - lo < hi - i) {
      if (lo < j)
        sortFaceOrderReference(keys.subspan(lo, j - lo + 1), order.subspan(lo, j - lo + 1));
      lo = i;
    } else {
      if (i < hi) sortFaceOrderReference(keys.subspan(i, hi - i + 1), order.subspan(i, hi - i + 1));
      hi = j;
    }
  }
}

}  // namespace corvath
