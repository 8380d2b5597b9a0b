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

// Seven doubles: a row of the view matrix (its first entry also the scale), a vector and a
// centre; the other rows are the row turned.
extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  double v[7] = {};
  std::memcpy(v, data, size < sizeof v ? size : sizeof v);
  for (int row = 0; row < 3; ++row) {
    for (int k = 0; k < 3; ++k) corvath::viewMatrix[row][k] = v[(row + k) % 3];
  }
  const double x = v[3], y = v[4], z = v[5], centre = v[6];
  double exact[3], quick[3];
  for (int row = 0; row < 3; ++row)
    exact[row] = corvath::rotateRow(corvath::viewMatrix[row], x, y, z);
  if (corvath::rotateQuick(corvath::viewColumns<2>(), x, y, z, quick)) {
    for (int row = 0; row < 3; ++row) check(bitsOf(quick[row]) == bitsOf(exact[row]));
  }
  if (corvath::rotateQuick(corvath::viewColumns<4>(), x, y, z, quick)) {
    for (int row = 0; row < 3; ++row) check(bitsOf(quick[row]) == bitsOf(exact[row]));
  }
  double depth = 0;
  if (corvath::depthSumQuick(x, y, z, depth)) {
    check(bitsOf(depth) == bitsOf(static_cast<double>((Extended(y) + x) + z)));
  }
  float projected = 0;
  if (corvath::projectQuick(v[0], x, z, centre, projected)) {
    const float exactFloat = static_cast<float>((Extended(v[0]) * x) / Extended(z) + centre);
    check(bitsOf(projected) == bitsOf(exactFloat));
  }
  return 0;
}
