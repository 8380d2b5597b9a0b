// Fuzz target: the frame's quick double arithmetic against the 80-bit sequences it stands in
// for. Wherever a quick path answers, its bits must be the extended result's.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "view/face_paint.hpp"

namespace {

using corvath::Extended;

template <typename T>
uint64_t bitsOf(T value) {
  uint64_t bits = 0;
  std::memcpy(&bits, &value, sizeof value);
  return bits;
}

void check(bool same) {
  if (!same) std::abort();
}

}  // namespace

// Seven doubles: a row, a vector and a centre (the rows' first entry doubles as the scale).
extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  double v[7] = {};
  std::memcpy(v, data, size < sizeof v ? size : sizeof v);
  const double row[3] = {v[0], v[1], v[2]};
  const double x = v[3], y = v[4], z = v[5], centre = v[6];
  const double rotated =
      static_cast<double>((Extended(x) * row[0] + Extended(y) * row[1]) + Extended(z) * row[2]);
  double quick = 0;
  if (corvath::rotateRowQuick<false>(row, x, y, z, quick)) check(bitsOf(quick) == bitsOf(rotated));
  if (corvath::rotateRowQuick<true>(row, x, y, z, quick)) check(bitsOf(quick) == bitsOf(rotated));
  if (corvath::depthSumQuick(x, y, z, quick)) {
    check(bitsOf(quick) == bitsOf(static_cast<double>((Extended(y) + x) + z)));
  }
  float projected = 0;
  if (corvath::projectQuick(row[0], x, z, centre, projected)) {
    const float exact = static_cast<float>((Extended(row[0]) * x) / Extended(z) + centre);
    check(bitsOf(projected) == bitsOf(exact));
  }
  return 0;
}
