// From the model to the screen: sines and cosines of degrees, the plain rotation, projection
// and face normals, and the frame's transform held to them.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>
#include <numbers>
#include <random>
#include <string>
#include <tuple>
#include <vector>

#include "support/mesh_fixture.hpp"
#include "support/thread_counts.hpp"
#include "support/vector_paths.hpp"
#include "view/view.hpp"

namespace corvath {
namespace {

constexpr double kInfinity = std::numeric_limits<double>::infinity();
// The degree factor as the x86-64 build read it. There the table and the computed angles hold
// what the library gives, whether this build's arithmetic is native or emulated.
constexpr long double kX86DegreeFactor = 0.0174532925199433L;

// degreeSineCosine's results, held to the x86-64 library where the tests run there.
std::tuple<double, double> sineCosine(double degrees) {
  double sine = 0, cosine = 0;
  degreeSineCosine(degrees, sine, cosine);
#if defined(__x86_64__)
  const long double radians = degrees * kX86DegreeFactor;
  EXPECT_EQ(std::tuple(sine, cosine), std::tuple(static_cast<double>(std::sin(radians)),
                                                 static_cast<double>(std::cos(radians))))
      << degrees;
#endif
  return {sine, cosine};
}

TEST(DegreeTable, WholeDegreesFromZeroTo359TakeTheTable) {
  for (int degree = 0; degree < 360; ++degree) {
    EXPECT_EQ(sineCosine(degree), std::tuple(kDegreeSines[degree], kDegreeCosines[degree]));
  }
  // The decimal factor leaves cos 90 a little off 0, and the table keeps that residue.
  EXPECT_NE(kDegreeCosines[90], 0);
  EXPECT_NEAR(kDegreeCosines[90], 0, 1e-15);
}

TEST(DegreeTable, OtherAnglesAreComputedAsOnX86) {
  for (const double degrees : {30.5, -30.0, 360.0, 725.0, 1e-3, -0.0}) {
    const auto [sine, cosine] = sineCosine(degrees);
    EXPECT_NEAR(sine, std::sin(degrees * std::numbers::pi / 180), 1e-13) << degrees;
    EXPECT_NEAR(cosine, std::cos(degrees * std::numbers::pi / 180), 1e-13) << degrees;
    EXPECT_EQ(std::signbit(sine), std::signbit(degrees)) << degrees;  // -0 is not the table's +0
    EXPECT_TRUE(degrees != 0 || cosine == 1) << degrees;
  }
#if defined(__x86_64__) && CORVATH_NATIVE_EXTENDED
  EXPECT_EQ(kDegreeFactor, kX86DegreeFactor);
#elif defined(__x86_64__)
  EXPECT_EQ(kDegreeFactor.signExponent, softFromNative(kX86DegreeFactor).signExponent);
  EXPECT_EQ(kDegreeFactor.significand, softFromNative(kX86DegreeFactor).significand);
#endif
}

using ViewTransform = testing::MeshTest;

// The model vertices, with room for three faces.
void setModel(std::initializer_list<Vertex> vertices) {
  resizeMeshTables(static_cast<int64_t>(vertices.size()) + 1, 4);
  std::copy(vertices.begin(), vertices.end(), modelVertices.begin());
  vertexCount = static_cast<int32_t>(vertices.size());
}

TEST_F(ViewTransform, RotationTurnsTheModelByTheAngles) {
  // (x, y, z) turns to (-z, y, x) about y, (y, -x, z) about z and (x, z, -y) about x, always
  // from the model. No angle leaves it exact, and 30 degrees by the decimal factor, just above
  // pi / 6, gives these bits, twice.
  const Vertex turn30 = {86.602540378443862, -50.000000000000014, 0};
  const std::tuple<double, double, double, Vertex, Vertex, double> turns[] = {
      {0, 0, 0, {1.25, -7, 3e10}, {1.25, -7, 3e10}, 0},
      {0, 90, 0, {1, 2, 3}, {-3, 2, 1}, 1e-12},
      {0, 0, 90, {1, 2, 3}, {2, -1, 3}, 1e-12},
      {90, 0, 0, {1, 2, 3}, {1, 3, -2}, 1e-12},
      {0, 0, 30, {100, 0, 0}, turn30, 0},
      {0, 0, 30, {100, 0, 0}, turn30, 0}};
  for (const auto& [x, y, z, model, expected, tolerance] : turns) {
    if (vertexCount == 0 || modelVertices[0].x != model.x) setModel({model});
    rotateView(x, y, z);
    const Vertex& v = workingVertices[0];
    EXPECT_LE(std::hypot(v.x - expected.x, v.y - expected.y, v.z - expected.z), tolerance) << x;
  }
}

TEST_F(ViewTransform, ProjectionDividesByTheDistanceFromTheEye) {
  std::tie(zoom, cameraDistance, screenCentreX, screenCentreY) = std::tuple(5000, 5000, 683, 384);
  setModel({{0, 0, 0}, {1, 2, 0}, {1, 2, 5000}, {1, 1, -5000}});
  rotateView(0, 0, 0);
  projectVertices();
  // Twice as far: half the offset; on the eye plane: infinite.
  const std::vector<float> expected = {683, 384, 684, 386, 683.5f, 385, INFINITY, INFINITY};
  EXPECT_EQ(std::vector<float>(&screenPoints[0].x, &screenPoints[4].x), expected);
}

TEST_F(ViewTransform, NormalsAreCrossProductsOfTheEdges) {
  setModel({{0, 0, 0}, {1, 0, 0}, {0, 1, 0}});
  faceCount = 3;
  faces[0] = Face{3, 0, 1, 2};
  faces[1] = Face{3, 0, 0, 2};           // two equal corners
  faces[2] = Face{3, 0, 1, 2147483647};  // a corner outside the tables: no normal
  faces[2].normalX = 5;
  computeFaceNormals();
  EXPECT_EQ(std::tuple(faces[0].normalX, faces[0].normalY, faces[0].normalZ, faces[0].normalLength),
            std::tuple(0, 0, 1, 1));
  EXPECT_EQ(faces[1].normalLength, 0);
  EXPECT_EQ(std::tuple(faces[2].normalX, faces[2].normalLength), std::tuple(0, 0));
  rotateView(90, 0, 0);  // the normal turns with the mesh, unscaled
  EXPECT_LT(std::hypot(faces[0].viewNormalY - 1, faces[0].viewNormalZ), 1e-12);
  EXPECT_TRUE(std::isnan(faceShade(1)));  // no normal, no defined shade
}

// The transform's results as bytes: n working vertices and screen points, and the matrix.
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
    if (i % 997 == 0) modelVertices[i] = {1, 2, i % 2 ? -5000.0 : kInfinity};
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
