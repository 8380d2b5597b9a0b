// The sines and cosines of whole degrees: the committed table against the x86-64 library, and
// which angles take it.
#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <numbers>

#include "mesh/mesh.hpp"
#include "view/view.hpp"

namespace corvath {
namespace {

#if defined(__x86_64__)
// The table and the constant hold what the x86-64 library gives for the decimal literal, whether
// this build's arithmetic is native or emulated.
TEST(DegreeTable, EqualsTheX86LibraryForEveryWholeDegree) {
  const long double factor = 0.0174532925199433L;
  for (int degree = 0; degree < 360; ++degree) {
    const double angle = degree;
    const long double radians = angle * factor;
    EXPECT_EQ(kDegreeSines[degree], static_cast<double>(std::sin(radians))) << degree;
    EXPECT_EQ(kDegreeCosines[degree], static_cast<double>(std::cos(radians))) << degree;
  }
}

TEST(DegreeTable, TheDegreeFactorIsTheDecimalLiteral) {
#if CORVATH_NATIVE_EXTENDED
  EXPECT_EQ(kDegreeFactor, 0.0174532925199433L);
#else
  const SoftExtended literal = softFromNative(0.0174532925199433L);
  EXPECT_EQ(kDegreeFactor.signExponent, literal.signExponent);
  EXPECT_EQ(kDegreeFactor.significand, literal.significand);
#endif
}

TEST(DegreeTable, OtherAnglesAreComputedAsOnX86) {
  for (const double degrees : {30.5, -30.0, 360.0, 725.0, 1e-3, -0.0}) {
    double sine = 0;
    double cosine = 0;
    degreeSineCosine(degrees, sine, cosine);
    const long double radians = degrees * 0.0174532925199433L;
    EXPECT_EQ(std::bit_cast<uint64_t>(sine),
              std::bit_cast<uint64_t>(static_cast<double>(std::sin(radians))))
        << degrees;
    EXPECT_EQ(cosine, static_cast<double>(std::cos(radians))) << degrees;
  }
}
#endif

TEST(DegreeTable, WholeDegreesFromZeroTo359TakeTheTable) {
  for (const int degree : {0, 1, 90, 210, 359}) {
    double sine = 0;
    double cosine = 0;
    degreeSineCosine(degree, sine, cosine);
    EXPECT_EQ(sine, kDegreeSines[degree]);
    EXPECT_EQ(cosine, kDegreeCosines[degree]);
  }
  // The decimal factor leaves cos 90 a little off 0, and the table keeps that residue.
  EXPECT_NE(kDegreeCosines[90], 0);
  EXPECT_NEAR(kDegreeCosines[90], 0, 1e-15);
}

TEST(DegreeTable, OtherAnglesStayCloseToTheirSine) {
  // -0 is not the table's +0: its sine keeps the sign.
  double sine = 0;
  double cosine = 0;
  degreeSineCosine(-0.0, sine, cosine);
  EXPECT_TRUE(std::signbit(sine));
  EXPECT_EQ(cosine, 1);
  for (const double degrees : {30.5, -30.0, 360.0, 725.0, 1e-3}) {
    degreeSineCosine(degrees, sine, cosine);
    const double radians = degrees * std::numbers::pi / 180;
    EXPECT_NEAR(sine, std::sin(radians), 1e-13) << degrees;
    EXPECT_NEAR(cosine, std::cos(radians), 1e-13) << degrees;
  }
}

}  // namespace
}  // namespace corvath
