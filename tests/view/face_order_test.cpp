// The painter's order: the face pass and the sort held to the plain references, on every
// processor path and thread count.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <numeric>
#include <random>
#include <string>
#include <tuple>
#include <vector>

#include "support/mesh_fixture.hpp"
#include "support/variants.hpp"
#include "view/view.hpp"

namespace corvath {
namespace {

constexpr double kInfinity = INFINITY, kNaN = NAN;
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

TEST_F(FaceOrder, FacePassMatchesTheReferences) {
  // Nearly collinear corners, some whose facing doubles get wrong; undefined, infinite, equal
  // corners and corners outside the tables; tied and NaN depths.
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
    // Corners on the line y = 3x, b far smaller: differences rounded to doubles keep parts of
    // b, not in proportion, leaving cross products within the rounding of doubles.
    const int top = f % 8 == 4 ? std::uniform_int_distribution<int>(-10, 10)(engine) : 0;
    for (int k = 0; f % 8 == 4 && k < 3; ++k) {  // 21 bits, so that 3 times it is a float too
      const int drop = k == 1 ? std::uniform_int_distribution<int>(32, 50)(engine) : 0;
      c[k].x =
          std::ldexp(static_cast<float>(std::trunc(uniform(-1, 1) * (1 << 20))), top - drop - 20);
      c[k].y = 3 * c[k].x;
    }
    if (f % 50 == 0) c[f % 3].x = f % 100 ? kNaN : kInfinity;
    for (int k = 0; k < 3; ++k)
      workingVertices[3 * f + k].z = f % 301 ? std::floor(uniform(-9, 9)) : kNaN;
    faces[f] = Face{3, 3 * f, 3 * f + 1, f % 97 ? 3 * f + 2 : f % 2 ? -1 : 3 * n};
    std::tie(faces[f].normalX, faces[f].normalY, faces[f].normalZ, faces[f].normalLength) =
        std::tuple(uniform(-1, 1), uniform(-1, 1), uniform(-1, 1), 1.5);
  }
  rotateView(30.5, 7, 200);  // the normals alone: no vertices yet
  const std::vector<Face> turned(faces.begin(), faces.begin() + n);
  vertexCount = 3 * n;
  std::vector<double> keys(n), order, depths(n);
  for (int32_t f = 0; f < n; ++f) {
    keys[f] = faceKeyReference(f);
    depths[f] = keys[f] == kBackFaceKey ? 0 : keys[f];  // a back face keeps the depth it had
  }
  sortByReference(keys, order);
  keys.push_back(1e300), order.push_back(77);  // the spare entry takes no part
  std::tie(faceDepths[n], faceOrder[n]) = std::tuple(1e300, 77);
  testing::onSeveralThreadCounts([&] {
    testing::onEveryVectorPath([&] {
      for (Face& face : faces) face.viewNormalX = face.viewNormalY = face.viewNormalZ = 0;
      turnShadeAndOrderFaces();
      for (int32_t f = 0; f < n; ++f) {
        ASSERT_EQ(std::memcmp(&faces[f].viewNormalX, &turned[f].viewNormalX, 3 * sizeof(double)), 0)
            << "face " << f;
        ASSERT_EQ(std::memcmp(&faces[f].depth, &depths[f], sizeof(double)), 0) << "face " << f;
      }
      expectTables(keys, order);
    });
  });
}

TEST_F(FaceOrder, SortMatchesTheReference) {
  // Many ties, back-face keys, infinities and undefined keys: every detail of the partition.
  std::mt19937 engine(11);
  const double oddKeys[] = {kBackFaceKey, kInfinity, -kInfinity, kNaN, 0.0, -0.0};
  for (int round = 0; round < 42; ++round) {
    // The largest rounds are partitioned by all threads together at first; the last is back
    // faces alone, one range of equal keys from the start.
    const int32_t most = round < 30 ? 3000 : round < 40 ? 70000 : 400000;
    const int32_t n = std::uniform_int_distribution<int32_t>(2, most)(engine);
    const int distinct = std::uniform_int_distribution<int>(1, round % 2 ? 8 : 100000)(engine);
    std::vector<double> keys(n);
    for (double& key : keys) {
      const int draw = std::uniform_int_distribution<int>(0, 99)(engine);
      key = round % 3 == 0 && draw < 6 ? oddKeys[draw]
            : draw < (round == 41 ? 100 : 40)
                ? kBackFaceKey
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
