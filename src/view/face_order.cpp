// Painter's order: a depth key per face and the quicksort that puts the farthest faces first.
#include <algorithm>
#include <array>
#include <cassert>
#include <cmath>
#include <mutex>
#include <new>
#include <thread>
#include <utility>
#include <vector>

#include "mesh/mesh.hpp"
#include "raster/raster.hpp"
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
// Ranges of fewer keys are never partitioned by all threads together.
constexpr int32_t kJointPartitionMinimum = 131072;

struct SortRange {
  int32_t lo = 0;
  int32_t hi = 0;
  bool allStop = false;  // every key stops both scans: sortAllEqual sorts it at once
};

// The ranges waiting for a thread while the sort is shared. Its room is made before the threads
// start, so that no thread allocates.
struct SharedSort {
  std::mutex mutex;
  std::vector<SortRange> waiting;
  int32_t working = 0;  // threads busy with a range, whose partition may add more
  bool outOfMemory = false;
};
SharedSort sharedSort;

// Takes a waiting range, or returns false when none is left and none can come.
bool takeRange(SortRange& range) {
  std::unique_lock<std::mutex> lock(sharedSort.mutex);
  while (sharedSort.waiting.empty()) {
    if (sharedSort.working == 0) return false;
    lock.unlock();
    std::this_thread::yield();
    lock.lock();
  }
  range = sharedSort.waiting.back();
  sharedSort.waiting.pop_back();
  ++sharedSort.working;
  return true;
}

// Partitions waiting ranges by all threads together while one holds more than a thread's share
// of the keys left to sort: handed to one thread, it would keep that thread busy long after the
// others are done. Ranges whose keys all stop both scans count for little, as they are sorted
// at once.
void partitionLargestJointly(double* keys, double* order, int32_t threads) {
  std::vector<SortRange>& waiting = sharedSort.waiting;
  while (true) {
    int64_t keysLeft = 0;
    auto largest = waiting.end();
    for (auto range = waiting.begin(); range != waiting.end(); ++range) {
      if (range->allStop) continue;
      keysLeft += range->hi - range->lo + 1;
      if (largest == waiting.end() || range->hi - range->lo > largest->hi - largest->lo) {
        largest = range;
      }
    }
    if (largest == waiting.end()) return;
    const int64_t size = largest->hi - largest->lo + 1;
    if (size < kJointPartitionMinimum || size * threads <= keysLeft) return;
    const SortRange range = *largest;
    waiting.erase(largest);
    const double pivot = keys[range.lo + (range.hi - range.lo) / 2];
    int32_t i = 0;
    int32_t j = 0;
    if (!partitionMaskedShared(keys, order, range.lo, range.hi, pivot, i, j, threads)) {
      waiting.push_back({range.lo, range.hi, true});
      continue;
    }
    if (range.lo < j) waiting.push_back({range.lo, j});
    if (i < range.hi) waiting.push_back({i, range.hi});
  }
}

// The same sort with the worker threads: whichever thread is free takes a waiting range; a range
// of smallEnough keys or more is partitioned, exactly as the recursion would, and its two sides
// wait in turn; a smaller one is sorted whole. Disjoint ranges, so the result is the one-thread
// order.
void sortDescendingShared(double* keys, double* order, int32_t lo, int32_t hi) {
  const int32_t threads = workerCount();
  if (threads == 1 || hi - lo < kSharedSortMinimum) {
    sortDescending(keys, order, lo, hi);
    return;
  }
  const int64_t smallEnough =
      std::max<int64_t>(kSharedSortMinimum, (int64_t{hi} - lo) / (int64_t{threads} * 16));
  // Waiting ranges are disjoint and hold two keys or more: room for half the keys is room for
  // all that can wait at once.
  sharedSort.waiting.reserve(static_cast<size_t>((int64_t{hi} - lo) / 2 + 1));
  sharedSort.waiting.assign(1, {lo, hi});
  partitionLargestJointly(keys, order, threads);
  sharedSort.working = 0;
  sharedSort.outOfMemory = false;
  runParts(threads, [&](int32_t) {
    SortRange range;
    while (takeRange(range)) {
      SortRange sides[2];
      int32_t count = 0;
      try {
        sizeSortScratch(range.hi - range.lo + 1);
        int32_t i = 0;
        int32_t j = 0;
        if (range.allStop) {
          sortAllEqual(keys, order, range.lo, range.hi);
        } else if (range.hi - range.lo < smallEnough) {
          sortDescending(keys, order, range.lo, range.hi);
        } else if (partitionStep(keys, order, range.lo, range.hi, i, j)) {
          if (range.lo < j) sides[count++] = {range.lo, j};
          if (i < range.hi) sides[count++] = {i, range.hi};
        }
      } catch (const std::bad_alloc&) {
        std::lock_guard<std::mutex> lock(sharedSort.mutex);
        sharedSort.outOfMemory = true;
      }
      std::lock_guard<std::mutex> lock(sharedSort.mutex);
      for (int32_t side = 0; side < count; ++side) {
        assert(sharedSort.waiting.size() < sharedSort.waiting.capacity());
        sharedSort.waiting.push_back(sides[side]);
      }
      --sharedSort.working;
    }
  });
  // The frame is abandoned; the next one keys and sorts afresh.
  if (sharedSort.outOfMemory) throw std::bad_alloc();
}

// The screen cross product of a face's corners, each difference rounded to a double and the
// rest in extended precision: positive when a, b, c run counter-clockwise as the user sees them
// (y grows downward).
Extended screenCross(const ScreenPoint& a, const ScreenPoint& b, const ScreenPoint& c) {
  using L = Extended;
  const double abX = static_cast<double>(L(a.x) - b.x);
  const double abY = static_cast<double>(L(a.y) - b.y);
  const double cbX = static_cast<double>(L(c.x) - b.x);
  const double cbY = static_cast<double>(L(c.y) - b.y);
  return L(cbY) * abX - L(cbX) * abY;
}

// Whether screenCross is positive, mostly without the extended arithmetic: in doubles each
// difference is within one unit in the last place of the extended one rounded, and each product
// within one more, so a gap between the two products above 2^-46 of their size has the sign of
// the extended one. Closer products, undefined and infinite ones are left to screenCross.
inline bool runsCounterClockwise(const ScreenPoint& a, const ScreenPoint& b, const ScreenPoint& c) {
  const double bX = b.x;
  const double bY = b.y;
  const double first = (static_cast<double>(c.y) - bY) * (static_cast<double>(a.x) - bX);
  const double second = (static_cast<double>(c.x) - bX) * (static_cast<double>(a.y) - bY);
  const double gap = first - second;
  const double margin = (std::fabs(first) + std::fabs(second)) * 0x1p-46;
  if (gap > margin) return true;
  if (-gap > margin) return false;
  return screenCross(a, b, c) > 0;
}

// Faces are turned and shaded a block at a time, then keyed: the turning's and the shade's long
// chains of arithmetic overlap from face to face in a short loop, and the block's records are
// still at hand for the keying.
constexpr int32_t kKeyedTogether = 16;

// Turns the normals of faces begin .. end - 1, keys the faces and makes their paint records
// ready. The keys are faceKeyReference's (face_order_rule.cpp), this its quicker twin: the
// facing test (and, without the x87 unit, the depth sum) runs in doubles and falls back to the
// same extended arithmetic where doubles cannot tell. One pass: on a large mesh the face table
// does not fit any cache, and each pass over it costs a trip to memory.
template <int kWidth>
[[gnu::always_inline]] inline void keyFacesWith(int32_t begin, int32_t end) {
  const ViewColumns<kWidth> columns = viewColumns<kWidth>();
  double* keys = faceDepths.data();
  double* order = faceOrder.data();
  float shades[kKeyedTogether];
  for (int32_t block = begin; block < end; block += kKeyedTogether) {
    const int32_t blockEnd = std::min(block + kKeyedTogether, end);
    for (int32_t f = block; f < blockEnd; ++f) {
      order[f] = f;
      turnFaceNormal(columns, faces[f]);
      shades[f - block] = shadeOf(faces[f]);
    }
    for (int32_t f = block; f < blockEnd; ++f) {
      Face& face = faces[f];
      // The painting's share of the face, while its record is at hand.
      prepareFacePaint(f, face, shades[f - block]);
      if (!faceCornersInTables(face) ||
          !runsCounterClockwise(screenPoints[face.a], screenPoints[face.b], screenPoints[face.c])) {
        keys[f] = kBackFaceKey;
        continue;
      }
      face.depth =
          depthSum(workingVertices[face.a].z, workingVertices[face.b].z, workingVertices[face.c].z);
      keys[f] = face.depth;
    }
  }
}

CORVATH_SEPARATE_STORES void keyFaces(int32_t begin, int32_t end) {
  keyFacesWith<kPortableLanes>(begin, end);
}

#if !CORVATH_NATIVE_EXTENDED && defined(__x86_64__)
// The same, with the quick rotation's lanes in one AVX2 register.
__attribute__((target("avx2,fma"))) void keyFacesAvx2(int32_t begin, int32_t end) {
  keyFacesWith<kAvx2Lanes>(begin, end);
}
#endif

}  // namespace

void turnShadeAndOrderFaces() {
  const int32_t count = std::min<int64_t>(faceCount, faces.size());
  reserveFacePaints(count);
  // Faces in ranges, shared among the worker threads; each face's entries are its own.
  // A face costs tens of nanoseconds here: a few thousand are worth a hand-over.
  const Ranges ranges = splitRanges(count, 2048);
  auto key = keyFaces;
#if !CORVATH_NATIVE_EXTENDED && defined(__x86_64__)
  if (vectorPath != VectorPath::kPortable) key = keyFacesAvx2;
#endif
  runParts(ranges.count, [&](int32_t part) { key(ranges.begin(part), ranges.end(part)); });
  sortFaceOrder();
}

void sortFaceOrder() {
  const int32_t count = std::min<int64_t>(faceCount, std::min(faceDepths.size(), faceOrder.size()));
  if (count < 2) return;
  sizeSortScratch(count);
  sortDescendingShared(faceDepths.data(), faceOrder.data(), 0, count - 1);
}

}  // namespace corvath
