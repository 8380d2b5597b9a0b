// The sines and cosines of the scene rings: the committed table against the x86-64 library, and
// its layout by segment count.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <numbers>

#include "scene/scene.hpp"

namespace corvath {
namespace {

#if defined(__x86_64__)
// The bits of an extended number as the x86-64 long double holds them.
bool sameBits(Extended tabulated, long double computed) {
#if CORVATH_NATIVE_EXTENDED
  return std::memcmp(&tabulated, &computed, 10) == 0;
#else
  const SoftExtended c = softFromNative(computed);
  return tabulated.signExponent == c.signExponent && tabulated.significand == c.significand;
#endif
}

TEST(RingTable, EqualsTheX86LibraryForEveryTabulatedAngle) {
  for (int32_t n = kFirstTabulatedRing; n <= kLastTabulatedRing; ++n) {
    for (int32_t i = 0; i < n; ++i) {
      const long double angle = ((i * 0.0174532925199433L) * 360) / n;
      EXPECT_TRUE(sameBits(kRingSines[ringTableStart(n) + i], std::sin(angle))) << i << " of " << n;
      EXPECT_TRUE(sameBits(kRingCosines[ringTableStart(n) + i], std::cos(angle)))
          << i << " of " << n;
    }
  }
}
#endif

TEST(RingTable, RingsFollowEachOtherByCount) {
  EXPECT_EQ(ringTableStart(kFirstTabulatedRing), 0);
  EXPECT_EQ(ringTableStart(kLastTabulatedRing) + kLastTabulatedRing, kRingTableSize);
  for (int32_t n = kFirstTabulatedRing; n <= kLastTabulatedRing; ++n) {
    // Each ring starts at angle 0 and runs once round the circle.
    EXPECT_EQ(static_cast<double>(kRingSines[ringTableStart(n)]), 0) << n;
    EXPECT_EQ(static_cast<double>(kRingCosines[ringTableStart(n)]), 1) << n;
    for (int32_t i = 0; i < n; ++i) {
      const double turn = 2 * std::numbers::pi * i / n;
      EXPECT_NEAR(static_cast<double>(kRingSines[ringTableStart(n) + i]), std::sin(turn), 1e-13);
      EXPECT_NEAR(static_cast<double>(kRingCosines[ringTableStart(n) + i]), std::cos(turn), 1e-13);
    }
  }
}

}  // namespace
}  // namespace corvath
