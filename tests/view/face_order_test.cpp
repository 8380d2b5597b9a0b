// Painter's order: keys, back faces and the order of equal keys.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <random>
#include <vector>

#include "support/mesh_fixture.hpp"
#include "support/thread_counts.hpp"
#include "support/vector_paths.hpp"
#include "view/view.hpp"

namespace corvath {
namespace {

class FaceOrder : public testing::MeshTest {
 protected:
  // Front faces with the given depth sums: each face is its own small triangle whose three
  // corners share the z that makes its sum. Screen corners run counter-clockwise:
  //   a (0,0) ---- c (0,10) downward, b (10,0) to the right: y grows downward on the screen.
  void setFrontFaces(const std::vector<double>& depthSums) {
    const int32_t n = static_cast<int32_t>(depthSums.size());
    resizeMeshTables(3 * n + 1, n + 1);
    for (int32_t f = 0; f < n; ++f) {
      for (int k = 0; k < 3; ++k) workingVertices[3 * f + k].z = depthSums[f] / 3;
      screenPoints[3 * f] = {0, 0};
      screenPoints[3 * f + 1] = {0, 10};
      screenPoints[3 * f + 2] = {10, 0};
      faces[f] = Face{3, 3 * f, 3 * f + 1, 3 * f + 2};
    }
    vertexCount = 3 * n;
    faceCount = n;
  }
  std::vector<int> order() const {
    return std::vector<int>(faceOrder.begin(), faceOrder.begin() + faceCount);
  }
};

TEST_F(FaceOrder, FarthestFirst) {
  setFrontFaces({3, 9, 6});
  orderFaces();
  EXPECT_EQ(order(), (std::vector<int>{1, 2, 0}));
  EXPECT_EQ(faceDepths[0], 9);
  EXPECT_EQ(faces[2].depth, 6);
}

TEST_F(FaceOrder, BackFacesSortLast) {
  setFrontFaces({30, -30003, 60, 90});
  std::swap(faces[2].b, faces[2].c);  // clockwise on the screen
  faces[3].b = faces[3].a;            // two equal corners: no area
  faces[3].depth = 1234;
  orderFaces();
  EXPECT_EQ(faceDepths[1], kBackFaceKey);
  // The front face below the back-face key goes after the back faces.
  EXPECT_EQ(order().front(), 0);
  EXPECT_EQ(order().back(), 1);
  EXPECT_EQ(faces[3].depth, 1234);  // a back face keeps its old depth
}

TEST_F(FaceOrder, CornersOutsideTheTablesAreBackFaces) {
  setFrontFaces({3, 6});
  faces[1].c = -1;
  orderFaces();
  EXPECT_EQ(order(), (std::vector<int>{0, 1}));
  EXPECT_EQ(faceDepths[1], kBackFaceKey);
}

TEST_F(FaceOrder, SpareTopElementNeverTakesPart) {
  setFrontFaces({3, 6, 9});
  faceDepths[3] = 1e300;
  faceOrder[3] = 77;
  orderFaces();
  EXPECT_EQ(order(), (std::vector<int>{2, 1, 0}));
  EXPECT_EQ(faceOrder[3], 77);
}

}  // namespace
}  // namespace corvath

namespace corvath {
namespace {

TEST(FaceOrderReference, WorkedExamples) {
  // Descending, equal keys in the order the partition leaves them: {3, 3, 3, 3} around the
  // pivot at position 1 swaps the ends, then each half. An undefined pivot stops both scans at
  // every key, so {2, NaN, 7, 4} is reversed, then each half: keys 7, 4, 2, NaN.
  const auto sorted = [](std::vector<double> keys) {
    std::vector<double> order(keys.size());
    for (size_t k = 0; k < order.size(); ++k) order[k] = static_cast<double>(k);
    sortFaceOrderReference(keys, order);
    return order;
  };
  EXPECT_EQ(sorted({3, 9, 6}), (std::vector<double>{1, 2, 0}));
  EXPECT_EQ(sorted({3, 3}), (std::vector<double>{1, 0}));
  EXPECT_EQ(sorted({3, 3, 3}), (std::vector<double>{2, 1, 0}));
  EXPECT_EQ(sorted({3, 3, 3, 3}), (std::vector<double>{2, 3, 0, 1}));
  EXPECT_EQ(sorted({1, 5, 1, 5, 1}), (std::vector<double>{3, 1, 4, 0, 2}));
  EXPECT_EQ(sorted({2, std::nan(""), 7, 4}), (std::vector<double>{2, 3, 0, 1}));  // pivot undefined
  EXPECT_EQ(sorted({}), (std::vector<double>{}));
}

TEST_F(FaceOrder, SortMatchesTheReference) {
  // Few distinct keys (many ties), back-face keys, infinities and undefined keys: every
  // permutation detail of the partition shows.
  std::mt19937 engine(11);
  const double specials[] = {kBackFaceKey,
                             std::numeric_limits<double>::infinity(),
                             -std::numeric_limits<double>::infinity(),
                             std::nan(""),
                             0.0,
                             -0.0};
  for (int round = 0; round < 40; ++round) {
    const int32_t n = std::uniform_int_distribution<int32_t>(2, round < 30 ? 3000 : 70000)(engine);
    const int distinct = std::uniform_int_distribution<int>(1, round % 2 ? 8 : 100000)(engine);
    std::vector<double> keys(n);
    std::vector<double> order(n);
    for (int32_t k = 0; k < n; ++k) {
      const int draw = std::uniform_int_distribution<int>(0, 99)(engine);
      keys[k] = round % 3 == 0 && draw < 6 ? specials[draw]
                : draw < 40                ? kBackFaceKey
                            : std::uniform_int_distribution<int>(0, distinct)(engine);
      order[k] = k;
    }
    if (round % 5 == 4) std::sort(keys.begin(), keys.end(), std::greater<>());  // presorted runs
    resizeMeshTables(1, n + 1);
    faceCount = n;
    std::vector<double> sortedKeys = keys;
    std::vector<double> sortedOrder = order;
    sortFaceOrderReference(sortedKeys, sortedOrder);
    // Large rounds are shared among threads too: the order must not change.
    testing::onSeveralThreadCounts([&] {
      testing::onEveryVectorPath([&] {
        std::copy(keys.begin(), keys.end(), faceDepths.begin());
        std::copy(order.begin(), order.end(), faceOrder.begin());
        sortFaceOrder();
        for (int32_t k = 0; k < n; ++k) {
          ASSERT_EQ(faceOrder[k], sortedOrder[k])
              << "round " << round << " position " << k << " of " << n;
        }
      });
    });
  }
}

}  // namespace
}  // namespace corvath
