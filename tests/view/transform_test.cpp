// From the model to the screen: sines and cosines of degrees, rotation, projection, face normals
// and light, then the painter's order of the faces.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>
#include <numbers>
#include <numeric>
#include <random>
#include <tuple>
#include <vector>

#include "support/mesh_fixture.hpp"
#include "support/thread_counts.hpp"
#include "support/vector_paths.hpp"
#include "view/view.hpp"

namespace corvath {
namespace {

constexpr double kInfinity = std::numeric_limits<double>::infinity();
constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
// The degree factor as the x86-64 build read it. There the table and the computed angles hold
// what the library gives, whether this build's arithmetic is native or emulated.
constexpr long double kX86DegreeFactor = 0.0174532925199433L;

TEST(DegreeTable, WholeDegreesFromZeroTo359TakeTheTable) {
  for (int degree = 0; degree < 360; ++degree) {
    double sine = 0, cosine = 0;
    degreeSineCosine(degree, sine, cosine);
    EXPECT_EQ(std::tuple(sine, cosine), std::tuple(kDegreeSines[degree], kDegreeCosines[degree]))
        << degree;
#if defined(__x86_64__)
    const long double radians = static_cast<double>(degree) * kX86DegreeFactor;
    EXPECT_EQ(std::tuple(sine, cosine), std::tuple(static_cast<double>(std::sin(radians)),
                                                   static_cast<double>(std::cos(radians))))
        << degree;
#endif
  }
  // The decimal factor leaves cos 90 a little off 0, and the table keeps that residue.
  EXPECT_NE(kDegreeCosines[90], 0);
  EXPECT_NEAR(kDegreeCosines[90], 0, 1e-15);
}

TEST(DegreeTable, OtherAnglesAreComputedAsOnX86) {
  for (const double degrees : {30.5, -30.0, 360.0, 725.0, 1e-3, -0.0}) {
    double sine = 0, cosine = 0;
    degreeSineCosine(degrees, sine, cosine);
    EXPECT_NEAR(sine, std::sin(degrees * std::numbers::pi / 180), 1e-13) << degrees;
    EXPECT_NEAR(cosine, std::cos(degrees * std::numbers::pi / 180), 1e-13) << degrees;
    EXPECT_EQ(std::signbit(sine), std::signbit(degrees)) << degrees;  // -0 is not the table's +0
    EXPECT_TRUE(degrees != 0 || cosine == 1) << degrees;
#if defined(__x86_64__)
    const long double radians = degrees * kX86DegreeFactor;
    EXPECT_EQ(std::tuple(sine, cosine), std::tuple(static_cast<double>(std::sin(radians)),
                                                   static_cast<double>(std::cos(radians))))
        << degrees;
#endif
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

TEST_F(ViewTransform, ZeroAnglesGiveTheIdentity) {
  setModel({{1.25, -7, 3e10}});
  rotateView(0, 0, 0);
  for (int r = 0; r < 3; ++r) {
    for (int c = 0; c < 3; ++c) EXPECT_EQ(viewMatrix[r][c], r == c ? 1 : 0) << r << c;
  }
  EXPECT_TRUE(std::signbit(viewMatrix[0][2]));  // -sin 0 is -0
  const Vertex& v = workingVertices[0];
  EXPECT_EQ(std::tuple(v.x, v.y, v.z), std::tuple(1.25, -7, 3e10));
}

TEST_F(ViewTransform, QuarterTurnsAboutEachAxis) {
  // (x, y, z) turns to (x, z, -y) about x, to (-z, y, x) about y and to (y, -x, z) about z.
  const std::tuple<double, double, double, Vertex> turns[] = {
      {90, 0, 0, {1, 3, -2}}, {0, 90, 0, {-3, 2, 1}}, {0, 0, 90, {2, -1, 3}}};
  setModel({{1, 2, 3}});
  for (const auto& [x, y, z, expected] : turns) {
    rotateView(x, y, z);
    const Vertex& v = workingVertices[0];
    EXPECT_LT(std::hypot(v.x - expected.x, v.y - expected.y, v.z - expected.z), 1e-12)
        << x << ", " << y << ", " << z;
  }
  rotateView(90, 0, 0);
  EXPECT_EQ(viewMatrix[2][2], kDegreeCosines[90]);  // the table's residue, not 0
}

TEST_F(ViewTransform, RotationIsAbsoluteAndUsesTheDecimalDegreeFactor) {
  setModel({{100, 0, 0}});
  rotateView(0, 0, 30);
  rotateView(0, 0, 30);  // nothing accumulates between frames
  // 30 degrees by the decimal factor lies just above pi / 6: the sine is 0.5 plus one ulp.
  EXPECT_EQ(viewMatrix[0][1], 0.50000000000000011);
  const Vertex& v = workingVertices[0];
  EXPECT_EQ(std::tuple(v.x, v.y, v.z), std::tuple(86.602540378443862, -50.000000000000014, 0));
}

TEST_F(ViewTransform, EmptyMeshStillFillsTheMatrix) {
  rotateView(0, 0, 90);
  projectVertices();
  computeFaceNormals();
  EXPECT_NEAR(viewMatrix[0][1], 1, 1e-12);
}

TEST_F(ViewTransform, ProjectionDividesByTheDistanceFromTheEye) {
  zoom = cameraDistance = 5000;
  screenCentreX = 683;
  screenCentreY = 384;
  setModel({{0, 0, 0}, {1, 2, 0}, {1, 2, 5000}, {1, 1, -5000}});
  rotateView(0, 0, 0);
  projectVertices();
  EXPECT_EQ(std::tuple(screenPoints[0].x, screenPoints[0].y), std::tuple(683, 384));
  EXPECT_EQ(std::tuple(screenPoints[1].x, screenPoints[1].y), std::tuple(684, 386));
  // Twice as far: half the offset.
  EXPECT_EQ(std::tuple(screenPoints[2].x, screenPoints[2].y), std::tuple(683.5f, 385));
  EXPECT_TRUE(std::isinf(screenPoints[3].x));  // on the eye plane
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

TEST(Light, SetLightDirectionStoresTheOpposite) {
  setLightDirection(0, 0, 1);
  EXPECT_EQ(std::tuple(lightX, lightY, lightZ), std::tuple(0, 0, -1));
  setLightDirection(-3, 4, -2147483647);
  EXPECT_EQ(std::tuple(lightX, lightY, lightZ), std::tuple(3, -4, 2147483647));
}

using FaceOrder = testing::MeshTest;

TEST_F(FaceOrder, FarthestFirstAndBackFacesLast) {
  // Each face a triangle whose corners share the z of its depth sum, on the screen a (0,0),
  // b (0,10) below it and c (10,0) to its right: counter-clockwise with y downward.
  const double depthSums[] = {3, 9, 6, -30003, 60, 90, 120};
  const ScreenPoint corners[] = {{0, 0}, {0, 10}, {10, 0}};
  resizeMeshTables(3 * 7 + 1, 7 + 1);
  faceCount = 7;
  vertexCount = 21;
  for (int32_t i = 0; i < vertexCount; ++i) {
    workingVertices[i].z = depthSums[i / 3] / 3;
    screenPoints[i] = corners[i % 3];
  }
  for (int32_t f = 0; f < faceCount; ++f) faces[f] = Face{3, 3 * f, 3 * f + 1, 3 * f + 2};
  std::swap(faces[4].b, faces[4].c);  // clockwise on the screen
  faces[5].b = faces[5].a;            // two equal corners: no area
  faces[5].depth = 1234;
  faces[6].c = -1;        // a corner outside the tables
  faceDepths[7] = 1e300;  // the spare top element never takes part
  faceOrder[7] = 77;
  orderFaces();
  // Back faces share one key; the front face below that key goes after them.
  EXPECT_EQ(std::vector<double>(faceOrder.begin(), faceOrder.end()),
            (std::vector<double>{1, 2, 0, 5, 4, 6, 3, 77}));
  EXPECT_EQ(std::vector<double>(faceDepths.begin(), faceDepths.begin() + 4),
            (std::vector<double>{9, 6, 3, kBackFaceKey}));
  EXPECT_EQ(std::tuple(faces[2].depth, faces[5].depth), std::tuple(6, 1234));  // back: kept
}

TEST_F(FaceOrder, FacingIsTheSignOfTheExtendedCrossProduct) {
  // Nearly collinear corners whose coordinates lie far apart in magnitude: their differences
  // and products need more bits than a double has, and only the extended rule tells them apart.
  std::mt19937 engine(5);
  const int32_t n = 20000;
  resizeMeshTables(3 * n + 1, n + 1);
  vertexCount = 3 * n;
  faceCount = n;
  const auto coordinate = [&](float offset) {
    const float size = std::ldexp(1.0f, std::uniform_int_distribution<int>(-40, 11)(engine));
    return std::uniform_real_distribution<float>(-size, size)(engine) + offset;
  };
  for (int32_t f = 0; f < n; ++f) {
    ScreenPoint* corners = &screenPoints[3 * f];
    const float offset = f % 2 ? 900.0f : 0.0f;  // on the surface, or about its corner
    corners[0] = {coordinate(offset), coordinate(offset)};
    corners[1] = {coordinate(offset), coordinate(offset)};
    const float along = std::uniform_real_distribution<float>(-3, 3)(engine);
    corners[2] = {corners[1].x + along * (corners[0].x - corners[1].x),
                  corners[1].y + along * (corners[0].y - corners[1].y)};
    if (f % 50 == 0) corners[f % 3].x = f % 100 ? kNaN : kInfinity;
    for (int k = 0; k < 3; ++k) workingVertices[3 * f + k].z = f;
    faces[f] = Face{3, 3 * f, 3 * f + 1, 3 * f + 2};
  }
  orderFaces();
  for (int32_t k = 0; k < n; ++k) {
    const auto f = static_cast<int32_t>(faceOrder[k]);
    const ScreenPoint* corners = &screenPoints[3 * f];
    using L = Extended;
    const auto difference = [](float p, float q) { return static_cast<double>(L(p) - q); };
    const double abX = difference(corners[0].x, corners[1].x);
    const double abY = difference(corners[0].y, corners[1].y);
    const double cbX = difference(corners[2].x, corners[1].x);
    const double cbY = difference(corners[2].y, corners[1].y);
    const bool front = L(cbY) * abX - L(cbX) * abY > 0;
    ASSERT_EQ(faceDepths[k], front ? 3.0 * f : kBackFaceKey) << "face " << f;
  }
}

TEST(FaceOrderReference, WorkedExamples) {
  // Descending, equal keys in the order the partition leaves them: {3, 3, 3, 3} around the
  // pivot at position 1 swaps the ends, then each half. An undefined pivot stops both scans at
  // every key, so {2, NaN, 7, 4} is reversed, then each half: keys 7, 4, 2, NaN.
  const auto sorted = [](std::vector<double> keys) {
    std::vector<double> order(keys.size());
    std::iota(order.begin(), order.end(), 0.0);
    sortFaceOrderReference(keys, order);
    return order;
  };
  EXPECT_EQ(sorted({3, 9, 6}), (std::vector<double>{1, 2, 0}));
  EXPECT_EQ(sorted({3, 3}), (std::vector<double>{1, 0}));
  EXPECT_EQ(sorted({3, 3, 3}), (std::vector<double>{2, 1, 0}));
  EXPECT_EQ(sorted({3, 3, 3, 3}), (std::vector<double>{2, 3, 0, 1}));
  EXPECT_EQ(sorted({1, 5, 1, 5, 1}), (std::vector<double>{3, 1, 4, 0, 2}));
  EXPECT_EQ(sorted({2, kNaN, 7, 4}), (std::vector<double>{2, 3, 0, 1}));
  EXPECT_EQ(sorted({}), (std::vector<double>{}));
}

TEST_F(FaceOrder, SortMatchesTheReference) {
  // Many ties, back-face keys, infinities and undefined keys: every detail of the partition.
  std::mt19937 engine(11);
  const double oddKeys[] = {kBackFaceKey, kInfinity, -kInfinity, kNaN, 0.0, -0.0};
  for (int round = 0; round < 42; ++round) {
    // The largest rounds are partitioned by all threads together at first.
    const int32_t most = round < 30 ? 3000 : round < 40 ? 70000 : 400000;
    const int32_t n = std::uniform_int_distribution<int32_t>(2, most)(engine);
    const int distinct = std::uniform_int_distribution<int>(1, round % 2 ? 8 : 100000)(engine);
    // The last round is back faces alone: one range of equal keys from the start.
    const int backFaces = round == 41 ? 100 : 40;
    std::vector<double> keys(n);
    for (double& key : keys) {
      const int draw = std::uniform_int_distribution<int>(0, 99)(engine);
      key = round % 3 == 0 && draw < 6 ? oddKeys[draw]
            : draw < backFaces         ? kBackFaceKey
                                       : std::uniform_int_distribution<int>(0, distinct)(engine);
    }
    if (round % 5 == 4) std::sort(keys.begin(), keys.end(), std::greater<>());  // presorted runs
    std::vector<double> order(n);
    std::iota(order.begin(), order.end(), 0.0);
    std::vector<double> sortedKeys = keys;
    std::vector<double> sortedOrder = order;
    sortFaceOrderReference(sortedKeys, sortedOrder);
    resizeMeshTables(1, n + 1);
    faceCount = n;
    // Large rounds are shared among threads too: the order must not change.
    testing::onSeveralThreadCounts([&] {
      testing::onEveryVectorPath([&] {
        std::copy(keys.begin(), keys.end(), faceDepths.begin());
        std::copy(order.begin(), order.end(), faceOrder.begin());
        sortFaceOrder();
        ASSERT_TRUE(std::equal(sortedOrder.begin(), sortedOrder.end(), faceOrder.begin()))
            << "round " << round << ", " << n << " keys";
        // The keys to the bit: zeros of both signs and undefined keys move with their faces.
        ASSERT_EQ(std::memcmp(sortedKeys.data(), faceDepths.data(), n * sizeof(double)), 0)
            << "round " << round;
      });
    });
  }
}

}  // namespace
}  // namespace corvath
