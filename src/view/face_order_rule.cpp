// The painter's order as a textbook quicksort: the partition whose order of equal keys every
// other path reproduces, and the plain sort built on it, the reference of the tests.
#include <cassert>
#include <span>
#include <utility>

#include "view/face_order_paths.hpp"
#include "view/view.hpp"

namespace corvath {

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
