// The procedural scene: the solids' writers, the rings, and the composer on scripted draws.
#include "scene/scene.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <bit>
#include <random>
#include <string>
#include <tuple>
#include <vector>

#include "mesh/mesh.hpp"

namespace corvath {
namespace {

// Each test starts on an emptied mesh, with the system clock and generator.
class EmptiedMesh : public ::testing::Test {
 protected:
  void SetUp() override {
    if (meshLines.empty()) createMeshLines();
    vertexCount = faceCount = lastLineIndex = 0;
    setTimeOfDayClock(nullptr);
    setRandomDrawSource(nullptr);
  }
};
class PrimitiveWriters : public EmptiedMesh {};
class RingBuilders : public EmptiedMesh {};
class SceneComposer : public EmptiedMesh {};
class RandomGenerator : public EmptiedMesh {};

using Point = std::array<double, 3>;

Point point(int32_t i) {
  return {workingVertices[i].x, workingVertices[i].y, workingVertices[i].z};
}
int32_t faceColour(int32_t f) {
  return packColour(faces[f].red, faces[f].green, faces[f].blue);
}

// The normal (b - a) x (c - a) of face f dotted with the direction from `inside` to the face's
// centroid: positive when the face is wound outward as seen from there.
double outwardness(int32_t f, const Point& inside) {
  const Point a = point(faces[f].a), b = point(faces[f].b), c = point(faces[f].c);
  Point u, v, out;
  for (size_t k = 0; k < 3; ++k)
    std::tie(u[k], v[k], out[k]) =
        std::tuple(b[k] - a[k], c[k] - a[k], (a[k] + b[k] + c[k]) / 3 - inside[k]);
  return (u[1] * v[2] - u[2] * v[1]) * out[0] + (u[2] * v[0] - u[0] * v[2]) * out[1] +
         (u[0] * v[1] - u[1] * v[0]) * out[2];
}

// Faces from `first` on wound outward ('+') or inward ('-') as seen from `inside`.
std::string winding(const Point& inside, int32_t first = 0, int32_t last = -1) {
  std::string signs;
  for (int32_t f = first; f <= (last < 0 ? faceCount - 1 : last); ++f)
    signs += outwardness(f, inside) > 0 ? '+' : outwardness(f, inside) < 0 ? '-' : '0';
  return signs;
}

std::string colours() {
  std::string text;
  for (int32_t f = 0; f < faceCount; ++f)
    text.append(f > 0 ? " " : "").append(std::to_string(faceColour(f)));
  return text;
}

// Line buffer entries first .. last (by default the last line stored).
std::string storedText(int32_t first = 0, int32_t last = -1) {
  std::string text;
  for (int32_t i = first; i <= (last < 0 ? lastLineIndex : last); ++i)
    text.append(i > first ? "\n" : "").append(meshLines[i]);
  return text;
}

const Point3 kUnitBox[4] = {{0, 0, 0}, {1, 0, 0}, {1, 1, 0}, {1, 1, 1}};

// Each writer's faces' colours and winding seen from inside (flat solids from below); a colour
// of 0 is written, so the default colour never reaches a face.
TEST_F(PrimitiveWriters, StoreEachSolidAsMeshText) {
  const Point3 triangle[3] = {{0, 0, 0}, {10, 0, 0}, {0, 10, 0}};
  writeTriangle(triangle, 255, 0);
  EXPECT_EQ(storedText(),
            "Named Object: \"Triangolo\"\nTri-mesh, Vertices: 3     Faces: 2\n"
            "Vertex 0: X: 0 Y: 0 Z: 0\nVertex 1: X: 10 Y: 0 Z: 0\nVertex 2: X: 0 Y: 10 Z: 0\n"
            "Face 0:   A:0 B:1 C:2 colore: 255\nFace 1:   A:2 B:1 C:0 colore: 0");
  EXPECT_EQ(std::tuple(winding({3, 3, -1}), colours()), std::tuple("+-", "255 0"));
  // The rectangle is completed opposite the middle point.
  const Point3 rectangle[3] = {{0, 0, 0}, {10, 0, 0}, {10, 5, 0}};
  vertexCount = faceCount = 0;
  writeRectangle(rectangle, 255, 16711680);
  EXPECT_EQ(storedText(5, 5), "Vertex 3: X: 0 Y: 5 Z: 0");
  EXPECT_EQ(std::tuple(winding({5, 2.5, -1}), colours()),
            std::tuple("+-+-", "255 16711680 255 16711680"));
  vertexCount = faceCount = 0;
  writeBox(kUnitBox, 7);
  EXPECT_EQ(std::tuple(lastLineIndex, winding({0.5, 0.5, 0.5}), colours()),
            std::tuple(21, "++++++++++++", "7 7 7 7 7 7 7 7 7 7 7 7"));
  // The pyramid's base colour goes to its base faces.
  const Point3 pyramid[5] = {{0, 0, 0}, {2, 0, 0}, {2, 2, 0}, {0, 2, 0}, {1, 1, 2}};
  vertexCount = faceCount = 0;
  writePyramid(pyramid, 1, 2);
  EXPECT_EQ(std::tuple(lastLineIndex, winding({1, 1, 0.5}), colours()),
            std::tuple(12, "++++++", "2 2 1 1 1 1"));
}

// A slanted box: its derived corners are no plain lift of the base.
TEST_F(PrimitiveWriters, BoxDerivesItsOtherCornersFromTheGivenOnes) {
  const Point3 slanted[4] = {{0, 0, 0}, {2, 0, 0}, {2, 3, 0}, {3, 4, 5}};
  writeBox(slanted, 1);
  EXPECT_EQ(storedText(5, 9),
            "Vertex 3: X: 0 Y: 3 Z: 0\nVertex 4: X: 3 Y: 4 Z: 5\nVertex 5: X: 3 Y: 1 Z: 5\n"
            "Vertex 6: X: 1 Y: 1 Z: 5\nVertex 7: X: 1 Y: 4 Z: 5");
  EXPECT_EQ(winding({1.5, 2, 2.5}), "++++++++++++");
}

// Many values, repeated and colliding, keep their own text; the table holds what it reads back as.
TEST_F(PrimitiveWriters, EveryCoordinateIsWrittenAsItsOwnNumberText) {
  std::mt19937 engine(5);
  std::uniform_real_distribution<float> coordinate(-120, 120);
  std::vector<double> values = {
      std::bit_cast<double>(~uint64_t{0}), -0.0, 0.0, 1e300, -1e-300, 2.7105054312137611e-19};
  for (int i = 0; i < 3000; ++i) values.push_back(coordinate(engine));
  for (int i = 0; i < 3000; ++i) values.push_back(values[engine() % values.size()]);
  for (size_t i = 0; i + 3 <= values.size(); i += 3) {
    const Point3 points[3] = {{values[i], values[i + 1], values[i + 2]}, {1, 0, 0}, {0, 1, 0}};
    writeTriangle(points, 0, 0);
    ASSERT_EQ(std::string(meshLines[2]), "Vertex 0: X:" + numberText(values[i]) +
                                             " Y:" + numberText(values[i + 1]) +
                                             " Z:" + numberText(values[i + 2]));
    ASSERT_EQ(workingVertices[vertexCount - 3].z, readNumber(numberText(values[i + 2])));
  }
}

// A shorter solid after a longer one is appended; the older lines stay unread in the buffer.
TEST_F(PrimitiveWriters, ShorterSolidLeavesTheLongerOnesLinesUnread) {
  const Point3 triangle[3] = {{5, 5, 5}, {6, 5, 5}, {5, 6, 5}};
  writeBox(kUnitBox, 3);
  const std::string boxLines = storedText(7, 21);
  writeTriangle(triangle, 1, 2);
  EXPECT_EQ(std::tuple(lastLineIndex, vertexCount, faceCount), std::tuple(6, 11, 14));
  EXPECT_EQ(storedText(7, 21), boxLines);
  EXPECT_EQ(std::tuple(faces[12].a, faces[12].b, faces[12].c, faceColour(12)),
            std::tuple(8, 9, 10, 1));
  EXPECT_EQ(point(5), (Point{1, 0, 1}));  // the box's vertices stay
}

// Tabulated and other counts alike: a quarter turn at x = -5, half a turn at y = 5.
TEST_F(RingBuilders, CylinderRingRunsClockwiseFromBelowTheCentre) {
  for (const int32_t n : {100, 20, 12}) {
    SCOPED_TRACE(n);
    vertexCount = faceCount = 0;
    buildCylinder(0, 0, 0, 10, n, 7, 255, 65280);
    ASSERT_EQ(vertexCount, 4 * n);
    EXPECT_EQ(point(0), (Point{0, -5, 0}));
    EXPECT_EQ(std::tuple(point(4 * (n / 4))[0], point(4 * (n / 2))[1]), std::tuple(-5, 5));
  }
  // Segment 0 of 12: ring points 0 and 1, point 1 lifted by the height, then point 0 lifted.
  EXPECT_EQ(numberText(workingVertices[1].y), "-4.33012723922729");
  EXPECT_EQ(point(2), (Point{-2.5, workingVertices[1].y, 7}));
  EXPECT_EQ(point(3), (Point{0, -5, 7}));
}

TEST_F(RingBuilders, ConeStandsOnItsBaseFacingOutward) {
  buildCone(-60, 80, 12, 10, 12, 12, 3, 4);
  ASSERT_EQ(std::tuple(vertexCount, faceCount), std::tuple(36, 24));
  for (int32_t t = 0; t < 12; ++t) {
    EXPECT_EQ(workingVertices[3 * t].z, 12) << "triangle " << t;
    EXPECT_EQ(point(3 * t + 2), (Point{-60, 80, 24})) << "triangle " << t;
  }
  EXPECT_EQ(winding({-60, 80, 13}), "+-+-+-+-+-+-+-+-+-+-+-+-");
}

TEST_F(RingBuilders, FewerThanOneSegmentAppendsNothing) {
  buildCone(0, 0, 0, 10, 0, 5, 1, 2);
  buildCylinder(0, 0, 0, 10, -3, 5, 1, 2);
  EXPECT_EQ(std::tuple(vertexCount, faceCount), std::tuple(0, 0));
}

// The committed sines and cosines, ring after ring by count, fill the table.
static_assert(ringTableStart(kLastTabulatedRing) + kLastTabulatedRing == kRingTableSize);

TEST_F(SceneComposer, SameTimeOfDayGivesTheSameScene) {
  const auto scene = [](double (*clock)()) {  // the vertices' bytes
    setTimeOfDayClock(clock), vertexCount = faceCount = 0, composeScene();
    return std::string(reinterpret_cast<const char*>(workingVertices.data()),
                       sizeof(Vertex) * vertexCount);
  };
  const std::string first = scene([] { return 45296.789; });
  seedRandom(1);  // composing must not depend on the generator's previous state
  EXPECT_TRUE(scene([] { return 45296.789; }) == first);
  EXPECT_FALSE(scene([] { return 45296.790; }) == first);  // a millisecond later is another scene
}

// The scene's picture the frame tests hold. Digits 0, 3, 6 and 9 leave a cell empty; 0.25: a box
// and a cone of 14 segments a cell; 0.75: a box and a cone of 20.
double constantDraw = 0;
TEST_F(SceneComposer, ConstantDrawsGiveTheSameCellEverywhere) {
  const std::tuple<double, int32_t, int32_t> kCases[] = {
      {0.0, 0, 0}, {0.35, 0, 0}, {0.65, 0, 0}, {0.95, 0, 0}, {0.25, 50, 40}, {0.75, 68, 52}};
  for (const auto& [draw, vertices, faceTotal] : kCases) {
    constantDraw = draw;
    setRandomDrawSource([] { return constantDraw; });
    vertexCount = faceCount = 0;
    composeScene();
    EXPECT_EQ(std::tuple(vertexCount, faceCount), std::tuple(121 * vertices, 121 * faceTotal))
        << draw;
  }
}

// nullptr restores the original generator and clock.
TEST_F(RandomGenerator, ReplacementsAreReadUntilRestored) {
  setRandomDrawSource([] { return 0.125; });
  setTimeOfDayClock([] { return 45000.25; });
  seedRandom(7);
  EXPECT_EQ(std::tuple(randomDraw(), timeOfDaySeconds()), std::tuple(0.125, 45000.25));
  setRandomDrawSource(nullptr);
  setTimeOfDayClock(nullptr);
  const double restored = randomDraw();
  seedRandom(7);
  EXPECT_EQ(randomDraw(), restored);     // seeding reached the generator while it was replaced
  EXPECT_LT(timeOfDaySeconds(), 86401);  // a leap second may show as second 60
}

}  // namespace
}  // namespace corvath
