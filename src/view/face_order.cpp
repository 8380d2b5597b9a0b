// Painter's order: a depth key per face and the quicksort that puts the farthest faces first.
#if defined(__x86_64__)
#include <immintrin.h>
#endif

#include <algorithm>
#include <bit>
#include <utility>

#include "mesh/mesh.hpp"
#include "platform/platform.hpp"
#include "view/face_paint.hpp"
#include "view/view.hpp"

namespace corvath {

namespace {

// One partition step of the quicksort over keys[lo..hi] around pivot, scanning element by
// element; leaves the scans' final positions in i and j. Equal keys are swapped as the scans
// meet them, which fixes their order.
void partitionPlain(double* keys, double* order, int32_t lo, int32_t hi, double pivot, int32_t& i,
                    int32_t& j) {
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

// Bit p - lo is set in leftStops where keys[p] is not above the pivot (the left scan stops
// there) and in rightStops where it is not below it. Sized for the whole table; a partition
// builds the bits of its own range before it starts.
Table<uint64_t> leftStops;
Table<uint64_t> rightStops;

// The bits of the keys base[0 .. count - 1] from full words of 64 keys: stops left of the pivot
// and right of it, and the bits that stop both scans, all words ANDed; the words done.
struct StopWords {
  int64_t words = 0;
  uint64_t allStop = ~uint64_t{0};
};

StopWords buildStopWordsNarrow(const double* base, int64_t count, double pivot) {
  StopWords done;
#if defined(__x86_64__)
  const __m128d pivots = _mm_set1_pd(pivot);
#endif
  for (; (done.words + 1) * 64 <= count; ++done.words) {
    uint64_t left = 0;
    uint64_t right = 0;
    const double* at = base + done.words * 64;
#if defined(__x86_64__)
    for (int bit = 0; bit < 64; bit += 2) {
      // Ordered comparisons are false for an undefined key, which stops both scans, as the
      // element-by-element comparisons do.
      const __m128d pair = _mm_loadu_pd(at + bit);
      left |= static_cast<uint64_t>(~_mm_movemask_pd(_mm_cmpgt_pd(pair, pivots)) & 3) << bit;
      right |= static_cast<uint64_t>(~_mm_movemask_pd(_mm_cmplt_pd(pair, pivots)) & 3) << bit;
    }
#else
    for (int bit = 0; bit < 64; ++bit) {
      left |= static_cast<uint64_t>(!(at[bit] > pivot)) << bit;
      right |= static_cast<uint64_t>(!(at[bit] < pivot)) << bit;
    }
#endif
    leftStops[done.words] = left;
    rightStops[done.words] = right;
    done.allStop &= left & right;
  }
  return done;
}

#if defined(__x86_64__)
// The same, eight keys to a comparison on processors that have 512-bit vectors.
__attribute__((target("avx512f"))) StopWords buildStopWordsWide(const double* base, int64_t count,
                                                                double pivot) {
  StopWords done;
  const __m512d pivots = _mm512_set1_pd(pivot);
  for (; (done.words + 1) * 64 <= count; ++done.words) {
    uint64_t left = 0;
    uint64_t right = 0;
    const double* at = base + done.words * 64;
    for (int bit = 0; bit < 64; bit += 8) {
      const __m512d eight = _mm512_loadu_pd(at + bit);
      const uint64_t above = _mm512_cmp_pd_mask(eight, pivots, _CMP_GT_OQ);
      const uint64_t below = _mm512_cmp_pd_mask(eight, pivots, _CMP_LT_OQ);
      left |= (~above & 0xFF) << bit;
      right |= (~below & 0xFF) << bit;
    }
    leftStops[done.words] = left;
    rightStops[done.words] = right;
    done.allStop &= left & right;
  }
  return done;
}
#endif

// Builds the bits of keys[lo..hi]; returns true when every key stops both scans.
bool buildStops(const double* keys, int32_t lo, int32_t hi, double pivot) {
  const int64_t count = int64_t{hi} - lo + 1;
  const double* base = keys + lo;
#if defined(__x86_64__)
  const StopWords done = vectorPath == VectorPath::kAvx512
                             ? buildStopWordsWide(base, count, pivot)
                             : buildStopWordsNarrow(base, count, pivot);
#else
  const StopWords done = buildStopWordsNarrow(base, count, pivot);
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

// A copy of the range being sorted by sortAllEqual.
Table<double> spareKeys;
Table<double> spareOrder;

// Ranges up to this size are reversed and split where they lie.
constexpr int32_t kSplitInPlaceMaximum = 16;

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

void sortAllEqual(double* keys, double* order, int32_t lo, int32_t hi) {
  if (hi - lo + 1 <= kSplitInPlaceMaximum) {
    reverseAndSplit(keys, order, lo, hi);
    return;
  }
  std::copy(keys + lo, keys + hi + 1, spareKeys.data());
  std::copy(order + lo, order + hi + 1, spareOrder.data());
  placeAllEqual(keys, order, lo, hi, 0, 1);
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

// The same partition step, with the scans' stopping places read from bit masks instead of found
// by a branch per element. Between i and j the keys are still the ones the masks were built
// from: swaps only ever touch places the scans have passed. A scan that finds no stop up to the
// other scan's last place stops there, because that place holds a swapped key (or the key both
// scans stopped at), which stops it too; at the ends of the range the bounds stop it.
// Returns false, changing nothing, when every key of the range stops both scans and the pivot
// is defined: sortAllEqual then sorts the range at once.
bool partitionMasked(double* keys, double* order, int32_t lo, int32_t hi, double pivot, int32_t& i,
                     int32_t& j) {
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

// Ranges of at most this many keys are first tried by ranks.
constexpr int32_t kRankSortMaximum = 64;

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

bool sortDistinctByRank(double* keys, double* order, int32_t lo, int32_t hi) {
#if defined(__x86_64__)
  if (vectorPath == VectorPath::kAvx512) return sortDistinctByRankAvx512(keys, order, lo, hi);
  if (vectorPath == VectorPath::kAvx2) return sortDistinctByRankAvx2(keys, order, lo, hi);
#endif
  return sortDistinctByRankPortable(keys, order, lo, hi);
}

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
