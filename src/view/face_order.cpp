// Painter's order: a depth key per face and the quicksort that puts the farthest faces first.
#include <algorithm>
#include <cassert>
#include <utility>

#include "mesh/mesh.hpp"
#include "platform/platform.hpp"
#include "view/face_order_paths.hpp"
#include "view/face_paint.hpp"
#include "view/view.hpp"

namespace corvath {
namespace {

// Ranges below this size partition element by element; above it the masks pay off.
constexpr int32_t kMaskedPartitionMinimum = 64;

// Sorts keys[lo..hi] in descending order, moving the order table's values with their keys.
// The partition fixes the order of equal keys, so it is kept step for step. Recursing into the
// smaller range and looping on the larger keeps the stack shallow on any input; the two ranges
// are disjoint, so the order in which they are sorted changes nothing.
void sortDescending(double* keys, double* order, int32_t lo, int32_t hi) {
  while (lo < hi) {
    if (hi - lo < kRankSortMaximum && sortDistinctByRank(keys, order, lo, hi)) return;
    const double pivot = keys[lo + (hi - lo) / 2];
    int32_t i = 0;
    int32_t j = 0;
    if (hi - lo + 1 >= kMaskedPartitionMinimum) {
      if (!partitionMasked(keys, order, lo, hi, pivot, i, j)) {
        sortAllEqual(keys, order, lo, hi);
        return;
      }
    } else {
      partitionPlain(keys, order, lo, hi, pivot, i, j);
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

// Keys faces begin .. end - 1 and makes their paint records ready.
void keyFaces(int32_t begin, int32_t end) {
  using L = Extended;
  double* keys = faceDepths.data();
  double* order = faceOrder.data();
  for (int32_t f = begin; f < end; ++f) {
    Face& face = faces[f];
    order[f] = f;
    // The painting's share of the face, while its record is at hand.
    prepareFacePaint(f, face);
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
}

}  // namespace

void orderFaces() {
  const int32_t count = std::min<int64_t>(faceCount, faces.size());
  reserveFacePaints(count);
  // Faces in ranges, shared among the worker threads; each face's entries are its own.
  const Ranges ranges = splitRanges(count);
  runParts(ranges.count, [&](int32_t part) { keyFaces(ranges.begin(part), ranges.end(part)); });
  sortFaceOrder();
}

void sortFaceOrder() {
  const int32_t count = std::min<int64_t>(faceCount, std::min(faceDepths.size(), faceOrder.size()));
  if (count < 2) return;
  const size_t words = (static_cast<size_t>(count) + 63) / 64;
  // Each pair is checked whole: when memory ran out between the two, the next frame grows the
  // one left short.
  if (leftStops.size() < words || rightStops.size() < words) {
    leftStops.resize(words);
    rightStops.resize(words);
  }
  if (spareKeys.size() < static_cast<size_t>(count) ||
      spareOrder.size() < static_cast<size_t>(count)) {
    spareKeys.resize(count);
    spareOrder.resize(count);
  }
  sortDescending(faceDepths.data(), faceOrder.data(), 0, count - 1);
}

}  // namespace corvath
