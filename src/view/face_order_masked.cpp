// The quicksort's partition with the scans' stops read from bit masks instead of found by a
// branch per element, for ranges of kMaskedPartitionMinimum keys and more. It reproduces
// partitionPlain (face_order_rule.cpp) exactly; tests/view/transform_test.cpp holds the sort to
// sortFaceOrderReference on every processor path (FaceOrder.SortMatchesTheReference...).
#include <algorithm>
#include <bit>
#include <cassert>
#include <cstdint>
#include <utility>

#include "raster/raster.hpp"
#include "view/face_order_paths.hpp"

namespace corvath {

thread_local Table<uint64_t> leftStops;
thread_local Table<uint64_t> rightStops;

namespace {

// The stop words without vector instructions, a key at a time. Ordered comparisons are false
// for an undefined key, which stops both scans, as the element-by-element comparisons do.
StopWords buildStopWordsPortable(const double* base, int64_t count, double pivot, uint64_t* lefts,
                                 uint64_t* rights) {
  StopWords done;
  for (; (done.words + 1) * 64 <= count; ++done.words) {
    uint64_t left = 0;
    uint64_t right = 0;
    const double* at = base + done.words * 64;
    for (int bit = 0; bit < 64; ++bit) {
      left |= static_cast<uint64_t>(!(at[bit] > pivot)) << bit;
      right |= static_cast<uint64_t>(!(at[bit] < pivot)) << bit;
    }
    lefts[done.words] = left;
    rights[done.words] = right;
    done.allStop &= left & right;
  }
  return done;
}

// The full words of base[0 .. count - 1] on the processor's path.
StopWords buildStopWords(const double* base, int64_t count, double pivot, uint64_t* lefts,
                         uint64_t* rights) {
#if defined(__x86_64__)
  if (vectorPath == VectorPath::kAvx512) {
    return buildStopWordsAvx512(base, count, pivot, lefts, rights);
  }
  if (vectorPath == VectorPath::kAvx2) return buildStopWordsAvx2(base, count, pivot, lefts, rights);
#endif
  return buildStopWordsPortable(base, count, pivot, lefts, rights);
}

// The word of the keys after the full words, if any: ANDs its bits that stop both scans into
// allStop.
void buildLastStopWord(const double* base, int64_t count, double pivot, uint64_t* lefts,
                       uint64_t* rights, uint64_t& allStop) {
  const int64_t word = count / 64;
  if (word * 64 == count) return;
  uint64_t left = 0;
  uint64_t right = 0;
  for (int64_t k = word * 64; k < count; ++k) {
    left |= static_cast<uint64_t>(!(base[k] > pivot)) << (k & 63);
    right |= static_cast<uint64_t>(!(base[k] < pivot)) << (k & 63);
  }
  lefts[word] = left;
  rights[word] = right;
  allStop &= (left & right) | (~uint64_t{0} << (count & 63));
}

// Builds the bits of keys[lo..hi]; returns true when every key stops both scans.
bool buildStops(const double* keys, int32_t lo, int32_t hi, double pivot) {
  const int64_t count = int64_t{hi} - lo + 1;
  const double* base = keys + lo;
  const StopWords done = buildStopWords(base, count, pivot, leftStops.data(), rightStops.data());
  uint64_t allStop = done.allStop;
  buildLastStopWord(base, count, pivot, leftStops.data(), rightStops.data(), allStop);
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

// The rest of a partition whose scans have come to i and j, within one word or where a scan
// finds no stop, as the scans would go.
void finishPartition(double* keys, double* order, int32_t lo, int32_t hi, int32_t& i, int32_t& j) {
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
  finishPartition(keys, order, lo, hi, i, j);
  return true;
}

namespace {

// Stops in the words before each word: left stops in leftStopsBefore, right stops in
// rightStopsBefore; one more entry than words. Only the sorting thread uses them.
Table<int64_t> leftStopsBefore;
Table<int64_t> rightStopsBefore;

// Where the swapping stands before pair k of the partition (k from 0): the words and the bits
// still to take of the left scan's stop and the right scan's.
struct PairCursor {
  int64_t leftWord = 0;
  int64_t rightWord = 0;
  uint64_t leftBits = 0;
  uint64_t rightBits = 0;
};

PairCursor cursorAt(const uint64_t* lefts, const uint64_t* rights, int64_t k, int64_t words,
                    uint64_t lastRightBits) {
  PairCursor at;
  const int64_t* leftsBefore = leftStopsBefore.data();
  const int64_t* rightsBefore = rightStopsBefore.data();
  // The word holding the k-th left stop from the start, with the stops before it taken.
  at.leftWord = std::upper_bound(leftsBefore, leftsBefore + words + 1, k) - leftsBefore - 1;
  at.leftBits = lefts[at.leftWord];
  for (int64_t taken = leftsBefore[at.leftWord]; taken < k; ++taken) {
    at.leftBits &= at.leftBits - 1;
  }
  // The word holding the k-th right stop from the end, with the stops after it taken.
  const int64_t total = rightsBefore[words];
  at.rightWord =
      std::upper_bound(rightsBefore, rightsBefore + words + 1, total - 1 - k) - rightsBefore - 1;
  at.rightBits = at.rightWord == words - 1 ? lastRightBits : rights[at.rightWord];
  for (int64_t taken = total - rightsBefore[at.rightWord + 1]; taken < k; ++taken) {
    at.rightBits ^= uint64_t{1} << (63 - std::countl_zero(at.rightBits));
  }
  return at;
}

// Swaps `pairs` pairs of stops from where the cursor stands, the left scan's stop with the
// right scan's.
void swapPairs(double* keys, double* order, int32_t lo, const uint64_t* lefts,
               const uint64_t* rights, PairCursor at, int64_t pairs) {
  for (; pairs > 0; --pairs) {
    while (at.leftBits == 0) at.leftBits = lefts[++at.leftWord];
    while (at.rightBits == 0) at.rightBits = rights[--at.rightWord];
    const int32_t p = static_cast<int32_t>(lo + at.leftWord * 64 + std::countr_zero(at.leftBits));
    const int highest = 63 - std::countl_zero(at.rightBits);
    const int32_t q = static_cast<int32_t>(lo + at.rightWord * 64 + highest);
    std::swap(keys[p], keys[q]);
    std::swap(order[p], order[q]);
    at.leftBits &= at.leftBits - 1;
    at.rightBits ^= uint64_t{1} << highest;
  }
}

}  // namespace

bool partitionMaskedShared(double* keys, double* order, int32_t lo, int32_t hi, double pivot,
                           int32_t& i, int32_t& j, int32_t threads) {
  assert(lo <= hi && static_cast<size_t>(hi - lo) / 64 < leftStops.size() &&
         static_cast<size_t>(hi - lo) / 64 < rightStops.size());
  const int64_t count = int64_t{hi} - lo + 1;
  const int64_t words = (count + 63) / 64;
  if (leftStopsBefore.size() < static_cast<size_t>(words + 1) ||
      rightStopsBefore.size() < static_cast<size_t>(words + 1)) {
    leftStopsBefore.resize(words + 1);
    rightStopsBefore.resize(words + 1);
  }
  // The words on this thread alone: the keys it reads are the ones it then swaps most, and
  // keys read on one processor and swapped on another cost more than the reading saves.
  if (buildStops(keys, lo, hi, pivot) && pivot == pivot) return false;
  const uint64_t* const lefts = leftStops.data();
  const uint64_t* const rights = rightStops.data();
  const int32_t parts = threads * 2;

  // The one-thread partition swaps the k-th left stop with the k-th right stop from the end for
  // as long as the left one lies in an earlier word: for every k up to the most pairs any word
  // boundary has on both sides.
  const uint64_t lastRightBits = rights[words - 1] & (~uint64_t{0} >> (63 - ((hi - lo) & 63)));
  leftStopsBefore[0] = 0;
  rightStopsBefore[0] = 0;
  for (int64_t w = 0; w < words; ++w) {
    leftStopsBefore[w + 1] = leftStopsBefore[w] + std::popcount(lefts[w]);
    rightStopsBefore[w + 1] =
        rightStopsBefore[w] + std::popcount(w == words - 1 ? lastRightBits : rights[w]);
  }
  const int64_t rightTotal = rightStopsBefore[words];
  int64_t pairs = 0;
  for (int64_t w = 1; w < words; ++w) {
    pairs = std::max(pairs, std::min(leftStopsBefore[w], rightTotal - rightStopsBefore[w]));
  }

  // Each part swaps its share of the pairs where the one-thread partition swaps them; the pairs
  // touch distinct places.
  runParts(parts, [&](int32_t part) {
    const int64_t first = pairs * part / parts;
    const int64_t last = pairs * (part + 1) / parts;
    if (first == last) return;
    swapPairs(keys, order, lo, lefts, rights, cursorAt(lefts, rights, first, words, lastRightBits),
              last - first);
  });
  i = lo;
  j = hi;
  if (pairs > 0) {
    // The scans stand just past the last pair.
    const PairCursor last = cursorAt(lefts, rights, pairs - 1, words, lastRightBits);
    i = static_cast<int32_t>(lo + last.leftWord * 64 + std::countr_zero(last.leftBits)) + 1;
    j = static_cast<int32_t>(lo + last.rightWord * 64 + 63 - std::countl_zero(last.rightBits)) - 1;
  }
  finishPartition(keys, order, lo, hi, i, j);
  return true;
}

}  // namespace corvath
