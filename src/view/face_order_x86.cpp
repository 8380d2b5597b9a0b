// The stop words of the masked partition by vector instructions: four keys to a comparison with
// AVX2 (the avx2 path), eight with 512-bit vectors (the avx512 path). Each gives the same words
// as buildStopWordsPortable (face_order_masked.cpp); tests/view/transform_test.cpp holds the
// sort to sortFaceOrderReference on every processor path.
#if defined(__x86_64__)
#include <immintrin.h>

#include <cstdint>

#include "view/face_order_paths.hpp"

namespace corvath {

__attribute__((target("avx2"))) StopWords buildStopWordsAvx2(const double* base, int64_t count,
                                                             double pivot, uint64_t* lefts,
                                                             uint64_t* rights) {
  StopWords done;
  const __m256d pivots = _mm256_set1_pd(pivot);
  for (; (done.words + 1) * 64 <= count; ++done.words) {
    uint64_t left = 0;
    uint64_t right = 0;
    const double* at = base + done.words * 64;
    for (int bit = 0; bit < 64; bit += 4) {
      // Ordered comparisons are false for an undefined key, which stops both scans, as the
      // element-by-element comparisons do.
      const __m256d four = _mm256_loadu_pd(at + bit);
      const auto above =
          static_cast<uint64_t>(_mm256_movemask_pd(_mm256_cmp_pd(four, pivots, _CMP_GT_OQ)));
      const auto below =
          static_cast<uint64_t>(_mm256_movemask_pd(_mm256_cmp_pd(four, pivots, _CMP_LT_OQ)));
      left |= (~above & 0xF) << bit;
      right |= (~below & 0xF) << bit;
    }
    lefts[done.words] = left;
    rights[done.words] = right;
    done.allStop &= left & right;
  }
  return done;
}

// The same, eight keys to a comparison on processors that have 512-bit vectors.
__attribute__((target("avx512f"))) StopWords buildStopWordsAvx512(const double* base, int64_t count,
                                                                  double pivot, uint64_t* lefts,
                                                                  uint64_t* rights) {
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
    lefts[done.words] = left;
    rights[done.words] = right;
    done.allStop &= left & right;
  }
  return done;
}

}  // namespace corvath
#endif
