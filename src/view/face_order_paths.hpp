// The quicksort behind the painter's order, shared by its paths. Internal to src/view: the rule
// is the partition of face_order_rule.cpp; every other way of sorting a range here reproduces
// what that partition makes of it, and tests/view/face_order_test.cpp holds sortFaceOrder to
// sortFaceOrderReference on every processor path.
#pragma once

#include <cstdint>

#include "mesh/mesh.hpp"

namespace corvath {

// One partition step of the quicksort over keys[lo..hi] around pivot, scanning element by
// element; leaves the scans' final positions in i and j (face_order_rule.cpp).
void partitionPlain(double* keys, double* order, int32_t lo, int32_t hi, double pivot, int32_t& i,
                    int32_t& j);

// Bit p - lo is set in leftStops where keys[p] is not above the pivot (the left scan stops
// there) and in rightStops where it is not below it. One pair per thread, sized for the largest
// range that thread sorts (sizeSortScratch); a partition builds the bits of its own range before
// it starts.
extern thread_local Table<uint64_t> leftStops;
extern thread_local Table<uint64_t> rightStops;

// The same partition step with the scans' stops read from bit masks (face_order_masked.cpp).
// Returns false, changing nothing, when every key of the range stops both scans and the pivot
// is defined: sortAllEqual then sorts the range at once.
bool partitionMasked(double* keys, double* order, int32_t lo, int32_t hi, double pivot, int32_t& i,
                     int32_t& j);

// The same partition step shared among `threads` threads, for large ranges: the pairs of stops
// the scans would swap are counted from the words and swapped in parts, each pair where the
// one-thread partition swaps it. Uses the calling thread's stop words.
bool partitionMaskedShared(double* keys, double* order, int32_t lo, int32_t hi, double pivot,
                           int32_t& i, int32_t& j, int32_t threads);

// The bits of the keys base[0 .. count - 1] from full words of 64 keys, written to lefts and
// rights: stops left of the pivot and right of it, and the bits that stop both scans, all words
// ANDed; the words done.
struct StopWords {
  int64_t words = 0;
  uint64_t allStop = ~uint64_t{0};
};

#if defined(__x86_64__)
// The stop words of partitionMasked by 256-bit and by 512-bit vectors (face_order_x86.cpp).
StopWords buildStopWordsAvx2(const double* base, int64_t count, double pivot, uint64_t* lefts,
                             uint64_t* rights);
StopWords buildStopWordsAvx512(const double* base, int64_t count, double pivot, uint64_t* lefts,
                               uint64_t* rights);
#endif

// A copy of the range being sorted by sortAllEqual. One pair per thread, sized as above.
extern thread_local Table<double> spareKeys;
extern thread_local Table<double> spareOrder;

// What the partition makes of keys[lo..hi] when every key stops both scans
// (face_order_equal.cpp).
void sortAllEqual(double* keys, double* order, int32_t lo, int32_t hi);

// Ranges of at most this many keys are first tried by ranks.
constexpr int32_t kRankSortMaximum = 64;

// Sorts keys[lo..hi] (at most kRankSortMaximum keys) by ranks when the keys are distinct and
// defined; returns false, changing nothing, otherwise (face_order_rank.cpp).
bool sortDistinctByRank(double* keys, double* order, int32_t lo, int32_t hi);

}  // namespace corvath
