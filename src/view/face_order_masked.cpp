// The quicksort's partition with the scans' stops read from bit masks instead of found by a
// branch per element, for ranges of kMaskedPartitionMinimum keys and more. It reproduces
// partitionPlain (face_order_rule.cpp) exactly; tests/view/face_order_test.cpp holds the sort to
// sortFaceOrderReference on every processor path (FaceOrder.SortMatchesTheReference...).
#include <bit>
#include <cassert>
#include <cstdint>
#include <utility>

#include "platform/platform.hpp"
#include "view/face_order_paths.hpp"

namespace corvath {

thread_local Table<uint64_t> leftStops;
thread_local Table<uint64_t> rightStops;

namespace {

// The stop words without vector instructions, a key at a time. Ordered comparisons are false
// for an undefined key, which stops both scans, as the element-by-element comparisons do.
StopWords buildStopWordsPortable(const double* base, int64_t count, double pivot) {
  StopWords done;
  for (; (done.words + 1) * 64 <= count; ++done.words) {
    uint64_t left = 0;
    uint64_t right = 0;
    const double* at = base + done.words * 64;
    for (int bit = 0; bit < 64; ++bit) {
      left |= static_cast<uint64_t>(!(at[bit] > pivot)) << bit;
      right |= static_cast<uint64_t>(!(at[bit] < pivot)) << bit;
    }
    leftStops[done.words] = left;
    rightStops[done.words] = right;
    done.allStop &= left & right;
  }
  return done;
}

// Builds the bits of keys[lo..hi]; returns true when every key stops both scans.
bool buildStops(const double* keys, int32_t lo, int32_t hi, double pivot) {
  const int64_t count = int64_t{hi} - lo + 1;
  const double* base = keys + lo;
#if defined(__x86_64__)
  const StopWords done =
      vectorPath == VectorPath::kAvx512 ? buildStopWordsAvx512(base, count, pivot)
      : vectorPath == VectorPath::kAvx2 ? buildStopWordsAvx2(base, count, pivot)
                                        : buildStopWordsPortable(base, count, pivot);
#else
  const StopWords done = buildStopWordsPortable(base, count, pivot);
#endif
  uint64_t allStop = done.allStop;
  const int64_t word = done.words;
  if (word * 64 < count) {
    uint64_t left = 0;
    uint64_t right = 0;
    for (int64_t k = word * 64; k < count; ++k) {
      left |= static_cast<uint64_t>(!(base[k] > pivot)) << (k & 63);
      right |= static_cast<uint64_t>(!(base[k] < pivot)) << (k & 63);
    }
    leftStops[word] = left;
    rightStops[word] = right;
    allStop &= (left & right) | (~uint64_t{0} << (count & 63));
  }
  return allStop == ~uint64_t{0};
}

// First set bit in positions from..to of the mask, or -1.
inline int64_t firstStop(const uint64_t* mask, int64_t from, int64_t to) {
  if (from > to) return -1;
  int64_t word = from >> 6;
  uint64_t bits = mask[word] & (~uint64_t{0} << (from & 63));
  const int64_t lastWord = to >> 6;
  while (bits == 0) {
    if (++word > lastWord) return -1;
    bits = mask[word];
  }
  const int64_t at = word * 64 + __builtin_ctzll(bits);
  return at <= to ? at : -1;
}

// Last set bit in positions from..to of the mask, or -1.
inline int64_t lastStop(const uint64_t* mask, int64_t from, int64_t to) {
  if (from > to) return -1;
  int64_t word = to >> 6;
  uint64_t bits = mask[word] & (~uint64_t{0} >> (63 - (to & 63)));
  const int64_t firstWord = from >> 6;
  while (bits == 0) {
    if (--word < firstWord) return -1;
    bits = mask[word];
  }
  const int64_t at = word * 64 + 63 - __builtin_clzll(bits);
  return at >= from ? at : -1;
}

}  // namespace

// The same partition step, with the scans' stopping places read from bit masks instead of found
// by a branch per element. Between i and j the keys are still the ones the masks were built
// from: swaps only ever touch places the scans have passed. A scan that finds no stop up to the
// other scan's last place stops there, because that place holds a swapped key (or the key both
// scans stopped at), which stops it too; at the ends of the range the bounds stop it.
bool partitionMasked(double* keys, double* order, int32_t lo, int32_t hi, double pivot, int32_t& i,
                     int32_t& j) {
  // The stop words of the whole range must fit the tables sortFaceOrder sized.
  assert(lo <= hi && static_cast<size_t>(hi - lo) / 64 < leftStops.size() &&
         static_cast<size_t>(hi - lo) / 64 < rightStops.size());
  if (buildStops(keys, lo, hi, pivot) && pivot == pivot) return false;
  i = lo;
  j = hi;
  // While the next left stop and the last right stop lie in different words, the left one comes
  // first, so the pair is swapped without a search: pair after pair, straight from the words.
  const uint64_t* const lefts = leftStops.data();
  const uint64_t* const rights = rightStops.data();
  int64_t leftWord = 0;
  int64_t rightWord = (hi - lo) >> 6;
  uint64_t leftBits = lefts[0];
  uint64_t rightBits = rights[rightWord] & (~uint64_t{0} >> (63 - ((hi - lo) & 63)));
  while (leftWord < rightWord) {
    if (leftBits == 0) {
      leftBits = lefts[++leftWord];
      continue;
    }
    if (rightBits == 0) {
      rightBits = rights[--rightWord];
      continue;
    }
    while (leftBits != 0 && rightBits != 0) {
      const int32_t p = static_cast<int32_t>(lo + leftWord * 64 + std::countr_zero(leftBits));
      const int highest = 63 - std::countl_zero(rightBits);
      const int32_t q = static_cast<int32_t>(lo + rightWord * 64 + highest);
      std::swap(keys[p], keys[q]);
      std::swap(order[p], order[q]);
      leftBits &= leftBits - 1;
      rightBits ^= uint64_t{1} << highest;
      i = p + 1;
      j = q - 1;
    }
  }
  // The rest, within one word or where a scan finds no stop, as the scans would go.
  while (i <= j) {
    const int64_t left = firstStop(leftStops.data(), i - lo, j - lo);
    const int32_t iStop = left >= 0 ? static_cast<int32_t>(lo + left) : (j < hi ? j + 1 : hi);
    const int64_t right = lastStop(rightStops.data(), i - lo, j - lo);
    const int32_t jStop = right >= 0 ? static_cast<int32_t>(lo + right) : (i > lo ? i - 1 : lo);
    if (iStop > jStop) {
      i = iStop;
      j = jStop;
      break;
    }
    if (iStop < jStop) {
      std::swap(keys[iStop], keys[jStop]);
      std::swap(order[iStop], order[jStop]);
    }
    i = iStop + 1;
    j = jStop - 1;
  }
  return true;
}

}  // namespace corvath
