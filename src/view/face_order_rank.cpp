// Small ranges of the quicksort sorted by ranks: when all keys are distinct and defined there
// is one descending order, whatever the method, so this reproduces partitionPlain's sort
// (face_order_rule.cpp) without its branches. tests/view/transform_test.cpp holds the sort to
// sortFaceOrderReference on every processor path.
#include <bit>
#include <cassert>
#include <cstdint>

#include "raster/raster.hpp"
#include "view/face_order_paths.hpp"

namespace corvath {
namespace {

// Sorts keys[lo..hi] by counting, for every key, the keys above it, when all keys are distinct
// and defined: then there is one descending order, whatever the method, and counting has no
// branch to mispredict. Returns false, changing nothing, when two keys compare equal or one is
// undefined, since the quicksort's partition then decides how equal keys are arranged.
// Compiled once per instruction set below: the counting loop is most of a small sort.
[[gnu::always_inline]] inline bool rankDistinct(double* keys, double* order, int32_t lo,
                                                int32_t hi) {
  const int32_t count = hi - lo + 1;
  double key[kRankSortMaximum];
  double value[kRankSortMaximum];
  int32_t rank[kRankSortMaximum];
  for (int32_t k = 0; k < count; ++k) {
    key[k] = keys[lo + k];
    value[k] = order[lo + k];
  }
  // Equal keys share a count, and so does an undefined key with the largest defined one (or
  // another undefined key): nothing is above either. So the counts are all different exactly
  // when the keys are distinct and defined.
  uint64_t ranksTaken = 0;
  for (int32_t k = 0; k < count; ++k) {
    int32_t above = 0;
    for (int32_t m = 0; m < count; ++m) above += key[m] > key[k];
    rank[k] = above;
    ranksTaken |= uint64_t{1} << above;
  }
  if (std::popcount(ranksTaken) != count) return false;
  for (int32_t k = 0; k < count; ++k) {
    keys[lo + rank[k]] = key[k];
    order[lo + rank[k]] = value[k];
  }
  return true;
}

bool sortDistinctByRankPortable(double* keys, double* order, int32_t lo, int32_t hi) {
  return rankDistinct(keys, order, lo, hi);
}

#if defined(__x86_64__)
__attribute__((target("avx2"))) bool sortDistinctByRankAvx2(double* keys, double* order, int32_t lo,
                                                            int32_t hi) {
  return rankDistinct(keys, order, lo, hi);
}

__attribute__((target("avx512f"))) bool sortDistinctByRankAvx512(double* keys, double* order,
                                                                 int32_t lo, int32_t hi) {
  return rankDistinct(keys, order, lo, hi);
}
#endif

}  // namespace

bool sortDistinctByRank(double* keys, double* order, int32_t lo, int32_t hi) {
  assert(lo <= hi && hi - lo < kRankSortMaximum);
#if defined(__x86_64__)
  if (vectorPath == VectorPath::kAvx512) return sortDistinctByRankAvx512(keys, order, lo, hi);
  if (vectorPath == VectorPath::kAvx2) return sortDistinctByRankAvx2(keys, order, lo, hi);
#endif
  return sortDistinctByRankPortable(keys, order, lo, hi);
}

}  // namespace corvath
