// From the model to the screen: sines and cosines of degrees, face normals, and the frame's
// transform held to the plain rotation and projection.
#include <gtest/gtest.h>

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstring>
#include <numbers>
#include <random>
#include <string>
#include <tuple>

#include "support/mesh_fixture.hpp"
#include "support/variants.hpp"
#include "view/face_paint.hpp"
#include "view/view.hpp"

namespace corvath {
namespace {

// The degree factor as the x86-64 build read it. There the table and the computed angles hold
// what the library gives, whether this build's arithmetic is native or emulated.
constexpr long double kX86DegreeFactor = 0.0174532925199433L;

// degreeSineCosine's results, held to the x86-64 library where the tests run there.
std::tuple<double, double> sineCosine(double degrees) {
  double sine = 0, cosine = 0;
  degreeSineCosine(degrees, sine, cosine);
#if defined(__x86_64__)
  const long double radians = degrees * kX86DegreeFactor;
  const std::tuple<double, double> library(std::sin(radians), std::cos(radians));
  EXPECT_EQ(std::tuple(sine, cosine), library) << degrees;
#endif
  return {sine, cosine};
}

TEST(DegreeTable, WholeDegreesFromZeroTo359TakeTheTable) {
  for (int degree = 0; degree < 360; ++degree) {
    EXPECT_EQ(sineCosine(degree), std::tuple(kDegreeSines[degree], kDegreeCosines[degree]));
  }
  // The decimal factor leaves cos 90 a little off 0, and the table keeps that residue.
  EXPECT_TRUE(kDegreeCosines[90] != 0 && std::fabs(kDegreeCosines[90]) < 1e-15);
}

TEST(DegreeTable, OtherAnglesAreComputedAsOnX86) {
  for (const double degrees : {30.5, -30.0, 360.0, 725.0, 1e-3, -0.0}) {
    const auto [sine, cosine] = sineCosine(degrees);
    const double radians = degrees * std::numbers::pi / 180;
    EXPECT_LT(std::hypot(sine - std::sin(radians), cosine - std::cos(radians)), 1e-13) << degrees;
    EXPECT_EQ(std::signbit(sine), std::signbit(degrees)) << degrees;  // -0 is not the table's +0
  }
}

// Where a quick sum answers, it is the 80-bit one: on values of every size, on terms that
// cancel, and on short significands whose sums often fall exactly halfway between doubles. The
// rotation answers so two lanes and four at a time (where halving overflows, only the fused
// products of four lanes answer).
TEST(RotationRow, QuickSumIsTheExtendedOne) {
  std::mt19937_64 engine(24);
  const auto any = [&](int kind) {
    const double unit = std::uniform_real_distribution<double>(-1, 1)(engine);
    const int exponent =
        std::uniform_int_distribution<int>(kind == 0 ? -20 : -1100, kind == 0 ? 20 : 1100)(engine);
    return kind == 2 ? std::ldexp(std::trunc(unit * 0x1p26), exponent % 40)
                     : std::ldexp(unit, exponent);
  };
  const auto same = [](bool answered, const double* quick, const double* exact, int count) {
    return !answered || std::memcmp(quick, exact, count * sizeof(double)) == 0;
  };
  int answered[2] = {}, declined = 0;
  for (int i = 0; i < 1000000; ++i) {
    const int kind = i % 3;
    for (auto& row : viewMatrix) {
      for (double& entry : row) entry = any(kind);
    }
    const double x = any(kind), y = any(kind);
    double z = any(kind);
    // Rows that cancel to nearly nothing, or that sum to just beside a power of two, where the
    // halfway point below lies nearer.
    // (ilogb gives the ends of the int range for 0, infinities and NaN: kept to normal powers.)
    const double power =
        std::ldexp(1.0, std::clamp(std::ilogb(x * viewMatrix[1][0]), -1000, 1000) + 1);
    const double nudge = std::ldexp(any(0), std::ilogb(power) - 50 - i % 16);
    if (i % 7 < 2) {
      z = ((i % 7 ? power + nudge : 0) - (x * viewMatrix[1][0] + y * viewMatrix[1][1])) /
          viewMatrix[1][2];
    }
    double exact[3], two[3], four[3], depth = 0;
    for (int row = 0; row < 3; ++row) exact[row] = rotateRow(viewMatrix[row], x, y, z);
    const bool byTwo = rotateQuick(viewColumns<2>(), x, y, z, two);
    const bool byFour = rotateQuick(viewColumns<4>(), x, y, z, four);
    // Depths of one face lie close together; or the third takes the sum beside a power of two.
    const double first = i % 2 ? x : y * (1 + any(0) * 0x1p-30);
    const double third = i % 4 == 3 ? ((power - y) - first) + nudge
                         : i % 2    ? z
                                    : y + any(0) * 0x1p-45;
    const bool summed = depthSumQuick(first, y, third, depth);
    const double exactDepth = static_cast<double>((Extended(y) + first) + third);
    ASSERT_TRUE(same(byTwo, two, exact, 3) && same(byFour, four, exact, 3) &&
                same(summed, &depth, &exactDepth, 1))
        << std::hexfloat << x << " " << y << " " << z << " " << first << " " << third;
    answered[0] += byTwo, answered[1] += summed;
    declined += !byTwo;
  }
  EXPECT_GT(std::min(answered[0], answered[1]), 200000);
  EXPECT_GT(declined, 1000);
}

// Where the quick projection answers, it is the 80-bit one: coordinates of every size, near
// and behind the eye, whole and half-pixel centres.
TEST(Projection, QuickFloatIsTheExtendedOne) {
  std::mt19937_64 engine(25);
  const auto any = [&](int low, int high) {
    return std::ldexp(std::uniform_real_distribution<double>(-1, 1)(engine),
                      std::uniform_int_distribution<int>(low, high)(engine));
  };
  int answered = 0, declined = 0;
  for (int i = 0; i < 2000000; ++i) {
    // Now and then a product and a divisor below the doubles' normal range, whose quotient counts.
    const bool tiny = i % 97 == 0;
    const double scale = std::abs(tiny ? any(-1060, -1040) : any(-5, 25)),
                 x = tiny ? any(-60, -30) : any(-30, 30),
                 z = i % 5 ? any(-10, 14) : -5000 + any(-40, 0), divisor = any(-1040, -1020);
    const double centre = tiny    ? any(-75, -65)
                          : i % 2 ? std::round(any(0, 12))
                                  : std::round(any(0, 12)) + 0.5;
    float quick = 0;
    if (!projectQuick(scale, x, tiny ? divisor : 5000 + z, centre, quick)) {
      ++declined;
      continue;
    }
    ++answered;
    const Extended exactDivisor = tiny ? Extended(divisor) : Extended(5000.0) + z;
    const float exact = static_cast<float>((Extended(scale) * x) / exactDivisor + centre);
    ASSERT_EQ(std::bit_cast<uint32_t>(quick), std::bit_cast<uint32_t>(exact))
        << std::hexfloat << scale << " " << x << " " << z << " " << centre;
  }
  EXPECT_GT(answered, 1000000);
  EXPECT_GT(declined, 100);
}

using ViewTransform = testing::MeshTest;

TEST_F(ViewTransform, NormalsAreCrossProductsOfTheEdges) {
  resizeMeshTables(4, 4);
  modelVertices[1].x = modelVertices[2].y = 1;
  std::tie(vertexCount, faceCount) = std::tuple(3, 3);
  faces[0] = Face{3, 0, 1, 2};
  faces[1] = Face{3, 0, 0, 2};           // two equal corners
  faces[2] = Face{3, 0, 1, 2147483647};  // a corner outside the tables: no normal
  faces[2].normalX = 5;
  computeFaceNormals();
  EXPECT_EQ(std::tuple(faces[0].normalX, faces[0].normalY, faces[0].normalZ, faces[0].normalLength),
            std::tuple(0, 0, 1, 1));
  EXPECT_EQ(std::tuple(faces[1].normalLength, faces[2].normalX, faces[2].normalLength),
            std::tuple(0, 0, 0));
  EXPECT_TRUE(std::isnan(faceShade(1)));  // no normal, no defined shade
}

// n working vertices and screen points, and the matrix.
std::string transformBytes(int32_t n) {
  std::string bytes(reinterpret_cast<const char*>(workingVertices.data()), n * sizeof(Vertex));
  bytes.append(reinterpret_cast<const char*>(screenPoints.data()), n * sizeof(ScreenPoint));
  return bytes.append(reinterpret_cast<const char*>(viewMatrix), sizeof viewMatrix);
}

TEST_F(ViewTransform, FramesTransformMatchesTheReference) {
  // Vertices all over, some on the eye plane or at infinity; angles whole and not.
  std::mt19937 engine(7);
  std::uniform_real_distribution<double> coordinate(-6000, 6000);
  const int32_t n = 40000;
  resizeMeshTables(n + 1, 1);
  vertexCount = n;
  for (int32_t i = 0; i < n; ++i) {
    modelVertices[i] = {coordinate(engine), coordinate(engine), coordinate(engine)};
    if (i % 997 == 0) modelVertices[i] = {1, 2, i % 2 ? -5000.0 : INFINITY};
  }
  std::tie(zoom, cameraDistance, screenCentreX, screenCentreY) =
      std::tuple(1234.5, 5000, 480, 270.5);
  const double angles[][3] = {{210, 7, 90}, {30.25, -400.5, 1e-3}, {359.999, 0.5, 720}};
  for (const auto& [x, y, z] : angles) {
    rotateView(x, y, z);
    projectVertices();
    const std::string expected = transformBytes(n + 1);  // the spare entry stays as it was
    testing::onSeveralThreadCounts([&] {
      testing::onEveryVectorPath([&] {
        std::fill_n(workingVertices.begin(), n + 1, Vertex{});
        std::fill_n(screenPoints.begin(), n + 1, ScreenPoint{});
        std::memset(viewMatrix, 0, sizeof viewMatrix);
        turnAndProjectView(x, y, z);
        EXPECT_TRUE(transformBytes(n + 1) == expected) << x << " " << y << " " << z;
      });
    });
  }
}

}  // namespace
}  // namespace corvath
