// The painter's order: the face pass's keys and turned normals held to the plain references,
// and the sort held to the textbook partition, on every processor path and thread count.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>
#include <numeric>
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
constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

using FaceOrder = testing::MeshTest;

// Keys sorted by the reference, with the face order moving with them.
void sortByReference(std::vector<double>& keys, std::vector<double>& order) {
  order.resize(keys.size());
  std::iota(order.begin(), order.end(), 0.0);
  sortFaceOrderReference(keys, order);
}

// The face depth and order tables hold these keys, to the bit (zeros of both signs and
// undefined keys move with their faces), and this order.
void expectTables(const std::vector<double>& keys, const std::vector<double>& order) {
  ASSERT_EQ(std::memcmp(keys.data(), faceDepths.data(), keys.size() * sizeof(double)), 0);
  ASSERT_TRUE(std::equal(order.begin(), order.end(), faceOrder.begin()));
}

TEST_F(FaceOrder, DescendingByKey) {
  // Each face's corners share the z of a third of its depth sum; on the screen a (0,0), b (0,10)
  // below it and c (10,0) to its right run counter-clockwise with y downward.
  const double depthSums[] = {3, 9, 6, -30003, 60, 90, 120};
  resizeMeshTables(3 * 7 + 1, 7 + 1);
  std::tie(faceCount, vertexCount) = std::tuple(7, 21);
  for (int32_t i = 0; i < vertexCount; ++i) {
    workingVertices[i].z = depthSums[i / 3] / 3;
    screenPoints[i] = {i % 3 == 2 ? 10.0f : 0.0f, i % 3 == 1 ? 10.0f : 0.0f};
    faces[i / 3] = Face{3, i / 3 * 3, i / 3 * 3 + 1, i / 3 * 3 + 2};
  }
  std::swap(faces[4].b, faces[4].c);  // clockwise on the screen
  faces[5].b = faces[5].a;            // two equal corners: no area
  faces[5].depth = 1234;
  faces[6].c = -1;                                                // a corner outside the tables
  std::tie(faceDepths[7], faceOrder[7]) = std::tuple(1e300, 77);  // the spare one takes no part
  turnShadeAndOrderFaces();
  // Back faces share one key; the front face below that key goes after them.
  EXPECT_EQ(std::vector<double>(faceOrder.begin(), faceOrder.end()),
            (std::vector<double>{1, 2, 0, 5, 4, 6, 3, 77}));
  EXPECT_EQ(std::vector<double>(faceDepths.begin(), faceDepths.begin() + 4),
            (std::vector<double>{9, 6, 3, kBackFaceKey}));
  EXPECT_EQ(std::tuple(faces[2].depth, faces[5].depth), std::tuple(6, 1234));  // back: kept
}

TEST_F(FaceOrder, FacePassMatchesTheReferences) {
  // Nearly collinear corners far apart in magnitude; cross products too small for the quick
  // test in doubles, which must fall back to extended precision; undefined and infinite
  // corners, corners outside the tables, equal corners, ordinary faces; tied and NaN depths.
  std::mt19937 engine(5);
  const auto uniform = [&](double low, double high) {
    return std::uniform_real_distribution<double>(low, high)(engine);
  };
  const auto coordinate = [&](float offset) {  // on the surface, or about its corner
    const float size = std::ldexp(1.0f, std::uniform_int_distribution<int>(-40, 11)(engine));
    return static_cast<float>(uniform(-size, size)) + offset;
  };
  const int32_t n = 30000;
  resizeMeshTables(3 * n + 1, n + 1);
  faceCount = n;
  for (int32_t f = 0; f < n; ++f) {
    ScreenPoint* c = &screenPoints[3 * f];
    for (int k = 0; k < 3; ++k) c[k] = {coordinate(f % 2 * 900.0f), coordinate(f % 2 * 900.0f)};
    const auto along = static_cast<float>(uniform(-3, 3));  // c on the line ab, nearly
    if (f % 8 < 2) c[2] = {c[1].x + along * (c[0].x - c[1].x), c[1].y + along * (c[0].y - c[1].y)};
    if (f % 8 == 3) c[2] = c[0];
    if (f % 8 == 4) {
      // Corners on the line y = 3x, b far smaller: differences rounded to doubles keep parts
      // of b, and not in proportion, which leaves cross products within the rounding of doubles.
      const int top = std::uniform_int_distribution<int>(-10, 10)(engine);
      const auto grid = [&](int exponent) {  // 21 bits, so that 3 times it is a float too
        return std::ldexp(static_cast<float>(std::trunc(uniform(-1, 1) * (1 << 20))),
                          exponent - 20);
      };
      for (int k = 0; k < 3; ++k) {
        c[k].x = grid(k == 1 ? top - std::uniform_int_distribution<int>(32, 50)(engine) : top);
        c[k].y = 3 * c[k].x;
      }
    }
    if (f % 50 == 0) c[f % 3].x = f % 100 ? kNaN : kInfinity;
    for (int k = 0; k < 3; ++k) {
      workingVertices[3 * f + k].z = f % 301 ? std::floor(uniform(-9, 9)) : kNaN;
    }
    faces[f] = Face{3, 3 * f, 3 * f + 1, f % 97 ? 3 * f + 2 : f % 2 ? -1 : 3 * n};
    std::tie(faces[f].normalX, faces[f].normalY, faces[f].normalZ, faces[f].normalLength) =
        std::tuple(uniform(-1, 1), uniform(-1, 1), uniform(-1, 1), 1.5);
  }
  rotateView(30.5, 7, 200);  // the normals alone: no vertices yet
  const std::vector<Face> turned(faces.begin(), faces.begin() + n);
  vertexCount = 3 * n;
  std::vector<double> keys(n), order;
  int32_t partings = 0;  // faces whose facing by doubles alone would be wrong
  for (int32_t f = 0; f < n; ++f) {
    keys[f] = faceKeyReference(f);
    const ScreenPoint* c = &screenPoints[3 * f];
    const double cross = (double{c[2].y} - c[1].y) * (double{c[0].x} - c[1].x) -
                         (double{c[2].x} - c[1].x) * (double{c[0].y} - c[1].y);
    partings += f % 97 && !std::isnan(keys[f]) && (cross > 0) != (keys[f] != kBackFaceKey);
  }
  EXPECT_GT(partings, 300);
  sortByReference(keys, order);
  testing::onSeveralThreadCounts([&] {
    testing::onEveryVectorPath([&] {
      for (Face& face : faces) face.viewNormalX = face.viewNormalY = face.viewNormalZ = 0;
      turnShadeAndOrderFaces();
      for (int32_t f = 0; f < n; ++f) {
        ASSERT_EQ(std::memcmp(&faces[f].viewNormalX, &turned[f].viewNormalX, 3 * sizeof(double)), 0)
            << "face " << f;
      }
      expectTables(keys, order);
    });
  });
}

TEST(FaceOrderReference, WorkedExamples) {
  // Descending, equal keys in the order the partition leaves them: {3, 3, 3, 3} around the
  // pivot at position 1 swaps the ends, then each half. An undefined pivot stops both scans at
  // every key, so {2, NaN, 7, 4} is reversed, then each half: keys 7, 4, 2, NaN.
  std::vector<double> examples[][2] = {{{3, 9, 6}, {1, 2, 0}},
                                       {{3, 3}, {1, 0}},
                                       {{3, 3, 3}, {2, 1, 0}},
                                       {{3, 3, 3, 3}, {2, 3, 0, 1}},
                                       {{1, 5, 1, 5, 1}, {3, 1, 4, 0, 2}},
                                       {{2, kNaN, 7, 4}, {2, 3, 0, 1}},
                                       {{}, {}}};
  for (auto& [keys, expected] : examples) {
    std::vector<double> order;
    sortByReference(keys, order);
    EXPECT_EQ(order, expected);
  }
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
    std::vector<double> sortedKeys = keys, sortedOrder;
    sortByReference(sortedKeys, sortedOrder);
    resizeMeshTables(1, n + 1);
    faceCount = n;
    testing::onSeveralThreadCounts([&] {
      testing::onEveryVectorPath([&] {
        std::copy(keys.begin(), keys.end(), faceDepths.begin());
        std::iota(faceOrder.begin(), faceOrder.begin() + n, 0.0);
        sortFaceOrder();
        SCOPED_TRACE("round " + std::to_string(round) + ", " + std::to_string(n) + " keys");
        expectTables(sortedKeys, sortedOrder);
      });
    });
  }
}

}  // namespace
}  // namespace corvath
