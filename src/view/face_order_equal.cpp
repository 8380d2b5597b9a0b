// The quicksort on a range where every key stops both scans of the partition (all equal, or
// undefined beside equal ones), at once: what partitionPlain (face_order_rule.cpp) makes of such
// a range follows from reversals alone. tests/view/face_order_test.cpp holds the sort to
// sortFaceOrderReference on every processor path, with runs of equal and undefined keys.
#include <algorithm>
#include <cassert>
#include <cstdint>

#include "view/face_order_paths.hpp"

namespace corvath {

thread_local Table<double> spareKeys;
thread_local Table<double> spareOrder;

namespace {

// Ranges up to this size are reversed and split where they lie.
constexpr int32_t kSplitInPlaceMaximum = 16;

// Sorts keys[lo..hi] when no key is above or below any other (all equal, or undefined beside
// equal ones): every scan stops at once, so each partition swaps the range end for end, which is
// a reversal, and splits it in the middle.
void reverseAndSplit(double* keys, double* order, int32_t lo, int32_t hi) {
  while (lo < hi) {
    std::reverse(keys + lo, keys + hi + 1);
    std::reverse(order + lo, order + hi + 1);
    const int32_t middle = lo + (hi - lo) / 2;
    // An odd range keeps its middle key in place between the two halves.
    const bool odd = (hi - lo) % 2 == 0;
    const int32_t j = odd ? middle - 1 : middle;
    const int32_t i = middle + 1;
    if (j - lo < hi - i) {
      if (lo < j) reverseAndSplit(keys, order, lo, j);
      lo = i;
    } else {
      if (i < hi) reverseAndSplit(keys, order, i, hi);
      hi = j;
    }
  }
}

// Leaves in keys[lo..hi] what reverseAndSplit makes of the range when position lo + k holds
// spare entry from + k * step. Where every entry ends follows from the reversals alone, so each
// is written once instead of being moved at every level.
void placeAllEqual(double* keys, double* order, int32_t lo, int32_t hi, int64_t from,
                   int64_t step) {
  while (hi - lo + 1 > kSplitInPlaceMaximum) {
    // The reversal: position lo + k now holds entry from + (hi - lo - k) * step.
    from += (hi - lo) * step;
    step = -step;
    const int32_t middle = lo + (hi - lo) / 2;
    const bool odd = (hi - lo) % 2 == 0;
    const int32_t j = odd ? middle - 1 : middle;
    const int32_t i = middle + 1;
    if (odd) {
      keys[middle] = spareKeys[from + (middle - lo) * step];
      order[middle] = spareOrder[from + (middle - lo) * step];
    }
    placeAllEqual(keys, order, lo, j, from, step);
    from += (i - lo) * step;
    lo = i;
  }
  for (int32_t k = lo; k <= hi; ++k) {
    keys[k] = spareKeys[from + (k - lo) * step];
    order[k] = spareOrder[from + (k - lo) * step];
  }
  reverseAndSplit(keys, order, lo, hi);
}

}  // namespace

void sortAllEqual(double* keys, double* order, int32_t lo, int32_t hi) {
  assert(lo <= hi && static_cast<size_t>(hi - lo) < spareKeys.size() &&
         static_cast<size_t>(hi - lo) < spareOrder.size());
  if (hi - lo + 1 <= kSplitInPlaceMaximum) {
    reverseAndSplit(keys, order, lo, hi);
    return;
  }
  std::copy(keys + lo, keys + hi + 1, spareKeys.data());
  std::copy(order + lo, order + hi + 1, spareOrder.data());
  placeAllEqual(keys, order, lo, hi, 0, 1);
}

}  // namespace corvath
