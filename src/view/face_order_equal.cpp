// The quicksort on a range where every key stops both scans of the partition (all equal, or
// undefined beside equal ones), at once: what partitionPlain (face_order_rule.cpp) makes of such
// a range follows from reversals alone. tests/view/transform_test.cpp holds the sort to
// sortFaceOrderReference on every processor path, with runs of equal and undefined keys.
#include <algorithm>
#include <bit>
#include <cassert>
#include <cstdint>

#include "view/face_order_paths.hpp"

namespace corvath {

thread_local Table<double> spareKeys;
thread_local Table<double> spareOrder;

namespace {

// Ranges up to this size are reversed and split where they lie.
constexpr int32_t kSplitInPlaceMaximum = 16;
// Ranges up to this size are placed by a table.
constexpr int32_t kPlacedByTableMaximum = 32;

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

// Where reverseAndSplit takes each entry of a range of each size up to kPlacedByTableMaximum:
// position k of the sorted range holds entry sources[size][k] of the range before.
struct EqualRangeSources {
  int8_t sources[kPlacedByTableMaximum + 1][kPlacedByTableMaximum];
  EqualRangeSources() : sources{} {
    for (int32_t size = 1; size <= kPlacedByTableMaximum; ++size) {
      double entries[kPlacedByTableMaximum];
      double same[kPlacedByTableMaximum];
      for (int32_t k = 0; k < size; ++k) {
        entries[k] = k;
        same[k] = 0;
      }
      reverseAndSplit(same, entries, 0, size - 1);
      for (int32_t k = 0; k < size; ++k) sources[size][k] = static_cast<int8_t>(entries[k]);
    }
  }
};
const EqualRangeSources equalRangeSources;

// Ranges up to this size have their spare entries fetched before they are placed: each range
// draws on one stretch of the spare tables, read in a single sweep while the placement itself
// jumps about in it.
constexpr int32_t kFetchedTogetherMaximum = 2048;

void prefetchSpare(const double* spare, int64_t from, int64_t step, int32_t count) {
  const int64_t first = step > 0 ? from : from - (count - 1);
  constexpr int32_t kPerLine = 64 / sizeof(double);
  for (int32_t k = 0; k < count; k += kPerLine) __builtin_prefetch(spare + first + k);
  __builtin_prefetch(spare + first + count - 1);
}

// Leaves in keys[lo..hi] what reverseAndSplit makes of the range when position lo + k holds
// spare entry from + k * step. Where every entry ends follows from the reversals alone, so each
// is written once instead of being moved at every level. Keys that are all the same bits stay
// where they are (withKeys false): only the order moves.
void placeAllEqual(double* keys, double* order, int32_t lo, int32_t hi, int64_t from, int64_t step,
                   bool withKeys, bool fetched) {
  if (!fetched && hi - lo + 1 <= kFetchedTogetherMaximum) {
    prefetchSpare(spareOrder.data(), from, step, hi - lo + 1);
    if (withKeys) prefetchSpare(spareKeys.data(), from, step, hi - lo + 1);
    fetched = true;
  }
  while (hi - lo + 1 > kPlacedByTableMaximum) {
    // The reversal: position lo + k now holds entry from + (hi - lo - k) * step.
    from += (hi - lo) * step;
    step = -step;
    const int32_t middle = lo + (hi - lo) / 2;
    const bool odd = (hi - lo) % 2 == 0;
    const int32_t j = odd ? middle - 1 : middle;
    const int32_t i = middle + 1;
    if (odd) {
      if (withKeys) keys[middle] = spareKeys[from + (middle - lo) * step];
      order[middle] = spareOrder[from + (middle - lo) * step];
    }
    placeAllEqual(keys, order, lo, j, from, step, withKeys, fetched);
    from += (i - lo) * step;
    lo = i;
    if (!fetched && hi - lo + 1 <= kFetchedTogetherMaximum) {
      prefetchSpare(spareOrder.data(), from, step, hi - lo + 1);
      if (withKeys) prefetchSpare(spareKeys.data(), from, step, hi - lo + 1);
      fetched = true;
    }
  }
  const int8_t* sources = equalRangeSources.sources[hi - lo + 1];
  for (int32_t k = lo; k <= hi; ++k) {
    const int64_t entry = from + sources[k - lo] * step;
    if (withKeys) keys[k] = spareKeys[entry];
    order[k] = spareOrder[entry];
  }
}

}  // namespace

void sortAllEqual(double* keys, double* order, int32_t lo, int32_t hi) {
  assert(lo <= hi && static_cast<size_t>(hi - lo) < spareKeys.size() &&
         static_cast<size_t>(hi - lo) < spareOrder.size());
  if (hi - lo + 1 <= kSplitInPlaceMaximum) {
    reverseAndSplit(keys, order, lo, hi);
    return;
  }
  // The usual case, back faces sharing one key: the keys need not move at all.
  const uint64_t first = std::bit_cast<uint64_t>(keys[lo]);
  const bool sameBits = std::all_of(keys + lo + 1, keys + hi + 1, [first](double key) {
    return std::bit_cast<uint64_t>(key) == first;
  });
  if (!sameBits) std::copy(keys + lo, keys + hi + 1, spareKeys.data());
  std::copy(order + lo, order + hi + 1, spareOrder.data());
  placeAllEqual(keys, order, lo, hi, 0, 1, !sameBits, false);
}

}  // namespace corvath
