// Filling a run of pixels with one value: 16-byte stores, the last one overlapping.
#pragma once

#include <cassert>
#include <cstdint>
#include <cstring>
#include <cwchar>

namespace corvath {

// A plain loop (or std::fill_n) on 32-bit pixels stays one store per pixel at -O2, and short
// runs pay a mispredicted tail loop; this needs neither. `count` >= 1.
inline void fillSpan(uint32_t* pixels, int64_t count, uint32_t pixel) {
  assert(count >= 1);
  static_assert(sizeof(wchar_t) == sizeof(uint32_t));
  if (count >= 64) {
    // Long runs: the C library's wide-character fill, which picks the widest stores the
    // processor has (32 or 64 bytes) at run time.
    std::wmemset(reinterpret_cast<wchar_t*>(pixels), static_cast<wchar_t>(pixel),
                 static_cast<size_t>(count));
  } else if (count >= 4) {
    using Quad = uint32_t __attribute__((vector_size(16)));
    const Quad quad = {pixel, pixel, pixel, pixel};
    uint32_t* const last = pixels + (count - 4);
    for (; pixels < last; pixels += 4) std::memcpy(pixels, &quad, sizeof quad);
    std::memcpy(last, &quad, sizeof quad);
  } else {  // 1 to 3 pixels: first, middle and last cover them all
    pixels[0] = pixel;
    pixels[count / 2] = pixel;
    pixels[count - 1] = pixel;
  }
}

}  // namespace corvath
