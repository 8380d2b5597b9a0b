// Painter's order: a depth key per face and the quicksort that puts the farthest faces first.
#include <algorithm>
#include <array>
#include <cassert>
#include <new>
#include <utility>
#include <vector>

#include "mesh/mesh.hpp"
#include "platform/platform.hpp"
#include "view/face_order_paths.hpp"
#include "view/face_paint.hpp"
#include "view/view.hpp"

namespace corvath {
namespace {

// Ranges below this size partition element by element; above it the masks pay off.
constexpr int32_t kMaskedPartitionMinimum = 64;

// One step of the quicksort over keys[lo..hi] (lo < hi): sorts the range at once where it can,
// and returns false; otherwise partitions it and returns true with the two ranges left to sort,
// lo..j and i..hi, either possibly empty.
bool partitionStep(double* keys, double* order, int32_t lo, int32_t hi, int32_t& i, int32_t& j) {
  if (hi - lo < kRankSortMaximum && sortDistinctByRank(keys, order, lo, hi)) return false;
  const double pivot = keys[lo + (hi - lo) / 2];
  if (hi - lo + 1 >= kMaskedPartitionMinimum) {
    if (!partitionMasked(keys, order, lo, hi, pivot, i, j)) {
      sortAllEqual(keys, order, lo, hi);
      return false;
    }
  } else {
    partitionPlain(keys, order, lo, hi, pivot, i, j);
  }
  return true;
}

// Sorts keys[lo..hi] in descending order, moving the order table's values with their keys.
// The partition fixes the order of equal keys, so it is kept step for step. Recursing into the
// smaller range and looping on the larger keeps the stack shallow on any input; the two ranges
// are disjoint, so the order in which they are sorted changes nothing.
void sortDescending(double* keys, double* order, int32_t lo, int32_t hi) {
  while (lo < hi) {
    int32_t i = 0;
    int32_t j = 0;
    if (!partitionStep(keys, order, lo, hi, i, j)) return;
    if (j - lo < hi - i) {
      if (lo < j) sortDescending(keys, order, lo, j);
      lo = i;
    } else {
      if (i < hi) sortDescending(keys, order, i, hi);
      hi = j;
    }
  }
}

// Makes the calling thread's scratch tables large enough for a range of count keys. Each pair is
// checked whole: when memory ran out between the two, the next frame grows the one left short.
void sizeSortScratch(int32_t count) {
  const size_t words = (static_cast<size_t>(count) + 63) / 64;
  if (leftStops.size() < words || rightStops.size() < words) {
    leftStops.resize(words);
    rightStops.resize(words);
  }
  if (spareKeys.size() < static_cast<size_t>(count) ||
      spareOrder.size() < static_cast<size_t>(count)) {
    spareKeys.resize(count);
    spareOrder.resize(count);
  }
}

// Ranges of fewer keys are not worth handing to another thread.
constexpr int32_t kSharedSortMinimum = 16384;

struct SortRange {
  int32_t lo = 0;
  int32_t hi = 0;
};
// The ranges the first partitions leave, kept between frames.
std::vector<SortRange> pendingRanges;
std::vector<SortRange> sharedRanges;

// The same sort with the worker threads: the first partitions run here, exactly as the
// recursion would make them, until the ranges they leave are enough to share; then each range
// is sorted on its own. Disjoint ranges, so the result is the one-thread order.
void sortDescendingShared(double* keys, double* order, int32_t lo, int32_t hi) {
  const int32_t threads = workerCount();
  if (threads == 1 || hi - lo < kSharedSortMinimum) {
    sortDescending(keys, order, lo, hi);
    return;
  }
  const size_t wanted = static_cast<size_t>(threads) * 4;
  const int64_t smallEnough = std::max<int64_t>(kSharedSortMinimum, (int64_t{hi} - lo) / wanted);
  pendingRanges.assign(1, {lo, hi});
  sharedRanges.clear();
  while (!pendingRanges.empty()) {
    const SortRange range = pendingRanges.back();
    pendingRanges.pop_back();
    if (range.hi - range.lo < smallEnough) {
      sharedRanges.push_back(range);
      continue;
    }
    int32_t i = 0;
    int32_t j = 0;
    if (!partitionStep(keys, order, range.lo, range.hi, i, j)) continue;
    if (range.lo < j) pendingRanges.push_back({range.lo, j});
    if (i < range.hi) pendingRanges.push_back({i, range.hi});
  }
  // Largest first, so that no thread is left with a large range at the end.
  std::sort(sharedRanges.begin(), sharedRanges.end(),
            [](const SortRange& a, const SortRange& b) { return a.hi - a.lo > b.hi - b.lo; });
  bool outOfMemory = false;
  runParts(static_cast<int32_t>(sharedRanges.size()), [&](int32_t part) {
    const SortRange range = sharedRanges[static_cast<size_t>(part)];
    try {
      sizeSortScratch(range.hi - range.lo + 1);
    } catch (const std::bad_alloc&) {
      // A plain bool: every part that fails writes the same value, and runParts orders the
      // writes before its return.
      outOfMemory = true;
      return;
    }
    sortDescending(keys, order, range.lo, range.hi);
  });
  // The frame is abandoned; the next one keys and sorts afresh.
  if (outOfMemory) throw std::bad_alloc();
}

// Turns the normals of faces begin .. end - 1, keys the faces and makes their paint records
// ready. One pass: on a large mesh the face table does not fit any cache, and each pass over it
// costs a trip to memory.
CORVATH_SEPARATE_STORES void keyFaces(int32_t begin, int32_t end) {
  using L = Extended;
  double* keys = faceDepths.data();
  double* order = faceOrder.data();
  for (int32_t f = begin; f < end; ++f) {
    Face& face = faces[f];
    order[f] = f;
    turnFaceNormal(face);
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
  // A face costs tens of nanoseconds here: a few thousand are worth a hand-over.
  const Ranges ranges = splitRanges(count, 2048);
  runParts(ranges.count, [&](int32_t part) { keyFaces(ranges.begin(part), ranges.end(part)); });
  sortFaceOrder();
}

void sortFaceOrder() {
  const int32_t count = std::min<int64_t>(faceCount, std::min(faceDepths.size(), faceOrder.size()));
  if (count < 2) return;
  sizeSortScratch(count);
  sortDescendingShared(faceDepths.data(), faceOrder.data(), 0, count - 1);
}

}  // namespace corvath
