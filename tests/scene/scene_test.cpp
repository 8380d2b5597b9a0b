// The procedural scene: the primitive writers' text and solids, the ring builders and their tables,
// and the scene composer driven by fixed clocks and scripted draws, with its generator.
#include "scene/scene.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <bit>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <random>
#include <string>
#include <tuple>
#include <vector>

#include "mesh/mesh.hpp"

namespace corvath {
namespace {

// An emptied mesh, the system clock and generator restored.
class EmptiedMesh : public ::testing::Test {
 protected:
  void SetUp() override {
    if (meshLines.empty()) createMeshLines();
    vertexCount = faceCount = lastLineIndex = 0;
    setTimeOfDayClock(nullptr);
    setRandomDrawSource(nullptr);
  }
};

// The normal (b − a) × (c − a) of face f in the working table, which points to where the face is
// seen counter-clockwise, dotted with the direction from `inside` to the face's centroid:
// positive when the face is wound outward as seen from that inner point.
double outwardness(int32_t f, double insideX, double insideY, double insideZ) {
  const Vertex& a = workingVertices[faces[f].a];
  const Vertex& b = workingVertices[faces[f].b];
  const Vertex& c = workingVertices[faces[f].c];
  const double ux = b.x - a.x, uy = b.y - a.y, uz = b.z - a.z;
  const double vx = c.x - a.x, vy = c.y - a.y, vz = c.z - a.z;
  return (uy * vz - uz * vy) * ((a.x + b.x + c.x) / 3 - insideX) +
         (uz * vx - ux * vz) * ((a.y + b.y + c.y) / 3 - insideY) +
         (ux * vy - uy * vx) * ((a.z + b.z + c.z) / 3 - insideZ);
}

int32_t faceColour(int32_t f) {
  return packColour(faces[f].red, faces[f].green, faces[f].blue);
}

using Point = std::array<double, 3>;
using FaceRow = std::array<int32_t, 4>;  // corners a, b, c and the packed colour

Point point(int32_t i) {
  return {workingVertices[i].x, workingVertices[i].y, workingVertices[i].z};
}
FaceRow face(int32_t f) {
  return {faces[f].a, faces[f].b, faces[f].c, faceColour(f)};
}

// Line buffer entries first .. last (by default up to the last line stored), one text a line.
std::string storedText(int32_t first = 0, int32_t last = -1) {
  std::string text;
  for (int32_t i = first; i <= (last < 0 ? lastLineIndex : last); ++i) {
    text.append(i > first ? "\n" : "").append(meshLines[i]);
  }
  return text;
}

class PrimitiveWriters : public EmptiedMesh {};
class RingBuilders : public EmptiedMesh {};
class SceneComposer : public EmptiedMesh {};
class RandomGenerator : public EmptiedMesh {};

// Scripted draws: the script in order, then its last draw forever.
std::vector<double> script;
size_t nextDraw = 0;

double scriptedDraw() {
  return script[std::min(nextDraw++, script.size() - 1)];
}

void useScript(std::vector<double> draws) {
  script = std::move(draws);
  nextDraw = 0;
  setRandomDrawSource(scriptedDraw);
}

// Every coordinate, corner and colour of the mesh, in order.
std::vector<double> meshContents() {
  std::vector<double> values;
  for (int32_t i = 0; i < vertexCount; ++i) {
    for (const double c : point(i)) values.push_back(c);
  }
  for (int32_t f = 0; f < faceCount; ++f) {
    for (const int32_t c : face(f)) values.push_back(c);
  }
  return values;
}

// ---------------------------------------------------------------------------------------------

//   (0,10)                 (0,5) 3 ----- 2 (10,5)
//     |\                         |       |
//     |_\                  (0,0) 0 ----- 1 (10,0)
//   (0,0) (10,0)
const Point3 kTriangle[3] = {{0, 0, 0}, {10, 0, 0}, {0, 10, 0}};
const Point3 kRectangle[3] = {{0, 0, 0}, {10, 0, 0}, {10, 5, 0}};
// Base 0 (0,0,0), 1 (1,0,0), 2 (1,1,0) counter-clockwise from above; the top corner joined to 2.
const Point3 kUnitBox[4] = {{0, 0, 0}, {1, 0, 0}, {1, 1, 0}, {1, 1, 1}};
const Point3 kSlantedBox[4] = {{0, 0, 0}, {2, 0, 0}, {2, 3, 0}, {3, 4, 5}};
const Point3 kBoxBelow[4] = {{0, 0, 0}, {1, 0, 0}, {1, 1, 0}, {1, 1, -1}};
// Apex (1,1,2) over the base 0 (0,0,0), 1 (2,0,0), 2 (2,2,0), 3 (0,2,0).
const Point3 kPyramid[5] = {{0, 0, 0}, {2, 0, 0}, {2, 2, 0}, {0, 2, 0}, {1, 1, 2}};

// Faces wound outward ('+') or inward ('-') as seen from a point inside the solid; flat solids
// are seen from below, where the front faces, which point up, count as outward.
struct Winding {
  Point3 inside;
  const char* faces;
};

void expectWinding(const Winding& winding) {
  ASSERT_EQ(faceCount, static_cast<int32_t>(std::strlen(winding.faces)));
  for (int32_t f = 0; f < faceCount; ++f) {
    const double outward = outwardness(f, winding.inside.x, winding.inside.y, winding.inside.z);
    EXPECT_GT(winding.faces[f] == '+' ? outward : -outward, 0) << "face " << f;
  }
}

// Each writer's whole text and the winding of its faces. A colour of 0 is written, so the
// default colour (the first colour) never reaches a face.
TEST_F(PrimitiveWriters, StoreTheDocumentedTextAndWindTheirFaces) {
  const struct {
    const char* solid;
    void (*write)();
    Winding winding;
    const char* text;
  } kCases[] = {
      {"triangle",
       [] { writeTriangle(kTriangle, 255, 0); },
       {{3, 3, -1}, "+-"},
       "Named Object: \"Triangolo\"\nTri-mesh, Vertices: 3     Faces: 2\n"
       "Vertex 0: X: 0 Y: 0 Z: 0\nVertex 1: X: 10 Y: 0 Z: 0\nVertex 2: X: 0 Y: 10 Z: 0\n"
       "Face 0:   A:0 B:1 C:2 colore: 255\nFace 1:   A:2 B:1 C:0 colore: 0"},
      {"rectangle, completed opposite the middle point",
       [] { writeRectangle(kRectangle, 255, 16711680); },
       {{5, 2.5, -1}, "+-+-"},
       "Named Object: \"Rettangolo\"\nTri-mesh, Vertices: 4     Faces: 4\n"
       "Vertex 0: X: 0 Y: 0 Z: 0\nVertex 1: X: 10 Y: 0 Z: 0\nVertex 2: X: 10 Y: 5 Z: 0\n"
       "Vertex 3: X: 0 Y: 5 Z: 0\nFace 0:   A:0 B:1 C:2 colore: 255\n"
       "Face 1:   A:2 B:1 C:0 colore: 16711680\nFace 2:   A:0 B:2 C:3 colore: 255\n"
       "Face 3:   A:0 B:3 C:2 colore: 16711680"},
      {"unit box, the missing corners derived",
       [] { writeBox(kUnitBox, 8421504); },
       {{0.5, 0.5, 0.5}, "++++++++++++"},
       "Named Object: \"Parallelepipedo\"\nTri-mesh, Vertices: 8     Faces: 12\n"
       "Vertex 0: X: 0 Y: 0 Z: 0\nVertex 1: X: 1 Y: 0 Z: 0\nVertex 2: X: 1 Y: 1 Z: 0\n"
       "Vertex 3: X: 0 Y: 1 Z: 0\nVertex 4: X: 1 Y: 1 Z: 1\nVertex 5: X: 1 Y: 0 Z: 1\n"
       "Vertex 6: X: 0 Y: 0 Z: 1\nVertex 7: X: 0 Y: 1 Z: 1\n"
       "Face 0:   A:1 B:0 C:3 colore: 8421504\nFace 1:   A:2 B:1 C:3 colore: 8421504\n"
       "Face 2:   A:5 B:1 C:2 colore: 8421504\nFace 3:   A:4 B:5 C:2 colore: 8421504\n"
       "Face 4:   A:5 B:4 C:7 colore: 8421504\nFace 5:   A:5 B:7 C:6 colore: 8421504\n"
       "Face 6:   A:6 B:3 C:0 colore: 8421504\nFace 7:   A:6 B:7 C:3 colore: 8421504\n"
       "Face 8:   A:0 B:1 C:6 colore: 8421504\nFace 9:   A:1 B:5 C:6 colore: 8421504\n"
       "Face 10:  A:3 B:7 C:2 colore: 8421504\nFace 11:  A:4 B:2 C:7 colore: 8421504"},
      {"pyramid, the base colour on the base faces",
       [] { writePyramid(kPyramid, 255, 65280); },
       {{1, 1, 0.5}, "++++++"},
       "Named Object: \"Piramide\"\nTri-mesh, Vertices: 5     Faces: 6\n"
       "Vertex 0: X: 0 Y: 0 Z: 0\nVertex 1: X: 2 Y: 0 Z: 0\nVertex 2: X: 2 Y: 2 Z: 0\n"
       "Vertex 3: X: 0 Y: 2 Z: 0\nVertex 4: X: 1 Y: 1 Z: 2\n"
       "Face 0:   A:1 B:0 C:2 colore: 65280\nFace 1:   A:2 B:0 C:3 colore: 65280\n"
       "Face 2:   A:1 B:2 C:4 colore: 255\nFace 3:   A:2 B:3 C:4 colore: 255\n"
       "Face 4:   A:3 B:0 C:4 colore: 255\nFace 5:   A:0 B:1 C:4 colore: 255"},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.solid);
    vertexCount = faceCount = 0;
    c.write();
    EXPECT_EQ(storedText(), c.text);
    expectWinding(c.winding);
  }
}

// A slanted box: its derived corners are no plain lift of the base. With the top on the other
// side of the base, every face is wound inward.
TEST_F(PrimitiveWriters, BoxDerivesSlantedCornersAndWindsInwardWithTheTopBelow) {
  writeBox(kSlantedBox, 1);
  EXPECT_EQ(storedText(5, 9),
            "Vertex 3: X: 0 Y: 3 Z: 0\nVertex 4: X: 3 Y: 4 Z: 5\nVertex 5: X: 3 Y: 1 Z: 5\n"
            "Vertex 6: X: 1 Y: 1 Z: 5\nVertex 7: X: 1 Y: 4 Z: 5");
  expectWinding({{1.5, 2, 2.5}, "++++++++++++"});
  vertexCount = faceCount = 0;
  writeBox(kBoxBelow, 1);
  expectWinding({{0.5, 0.5, -0.5}, "------------"});
}

// Many values in a row, repeated and colliding, each keep their own text; the table holds what
// that 15-digit text reads back as, not the argument.
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

// A shorter solid after a longer one: appended after it, and the older lines above its own last
// line stay in the buffer unread.
TEST_F(PrimitiveWriters, ShorterSolidAppendsAfterTheLongerAndLeavesItsLinesUnread) {
  const Point3 triangle[3] = {{5, 5, 5}, {6, 5, 5}, {5, 6, 5}};
  writeBox(kUnitBox, 3);
  const std::string boxLines = storedText(7, 21);
  writeTriangle(triangle, 1, 2);
  EXPECT_EQ(lastLineIndex, 6);
  EXPECT_EQ(storedText(7, 21), boxLines);
  ASSERT_EQ(vertexCount, 11);
  ASSERT_EQ(faceCount, 14);
  // The triangle's face 0 (0, 1, 2) lands at face 12, offset by the box's eight vertices.
  EXPECT_EQ(face(12), (FaceRow{8, 9, 10, 1}));
  EXPECT_EQ(point(9), (Point{6, 5, 5}));
  EXPECT_EQ(point(5), (Point{1, 0, 1}));  // the box's vertices stay
}

// ---------------------------------------------------------------------------------------------

// Tabulated and other counts alike: a quarter turn at x = -5, half a turn at y = 5.
TEST_F(RingBuilders, CylinderRingStartsBelowTheCentreAndRunsClockwiseFromAbove) {
  for (const int32_t n : {100, 20, 12}) {
    SCOPED_TRACE(n);
    vertexCount = faceCount = 0;
    buildCylinder(0, 0, 0, 10, n, 7, 255, 65280);
    ASSERT_EQ(vertexCount, 4 * n);
    EXPECT_EQ(point(0), (Point{0, -5, 0}));
    EXPECT_EQ(workingVertices[4 * (n / 4)].x, -5);
    EXPECT_EQ(workingVertices[4 * (n / 2)].y, 5);
  }
  // Segment 0 of 12: ring points 0 and 1, point 1 lifted by the height, then point 0 lifted.
  EXPECT_EQ(numberText(workingVertices[1].y), "-4.33012723922729");
  EXPECT_EQ(point(2), (Point{-2.5, workingVertices[1].y, 7}));
  EXPECT_EQ(point(3), (Point{0, -5, 7}));
  // At the quarter turn y is a tiny residue, in exponent form.
  EXPECT_NE(numberText(workingVertices[12].y).find("E-"), std::string::npos);
  // The buffer holds the last segment, which closes the ring on a copy of point 0.
  EXPECT_EQ(storedText(2, 4),
            "Vertex 0: X: 2.5 Y:-4.33012723922729 Z: 0\nVertex 1: X: 0 Y:-5 Z: 0\n"
            "Vertex 2: X: 0 Y:-5 Z: 7");
}

TEST_F(RingBuilders, ConeStandsOnItsBaseFacesOutwardAndFewerThanOneSegmentAppendsNothing) {
  buildCone(-60, 80, 12, 10, 12, 12, 3, 4);
  ASSERT_EQ(vertexCount, 36);
  ASSERT_EQ(faceCount, 24);
  for (int32_t t = 0; t < 12; ++t) {
    EXPECT_EQ(workingVertices[3 * t].z, 12) << "triangle " << t;
    EXPECT_EQ(point(3 * t + 2), (Point{-60, 80, 24})) << "triangle " << t;
    EXPECT_GT(outwardness(2 * t, -60, 80, 13), 0) << "triangle " << t;
    EXPECT_LT(outwardness(2 * t + 1, -60, 80, 13), 0) << "triangle " << t;
  }
  buildCone(0, 0, 0, 10, 0, 5, 1, 2);
  buildCylinder(0, 0, 0, 10, -3, 5, 1, 2);
  EXPECT_EQ(vertexCount, 36);
  EXPECT_EQ(faceCount, 24);
}

// The committed sines and cosines of the rings composeScene draws, ring after ring by count.
static_assert(ringTableStart(kLastTabulatedRing) + kLastTabulatedRing == kRingTableSize);
#if defined(__x86_64__)
TEST(RingTable, EqualsTheX86LibraryForEveryTabulatedAngle) {
  for (int32_t n = kFirstTabulatedRing; n <= kLastTabulatedRing; ++n) {
    for (int32_t i = 0; i < n; ++i) {
      const long double angle = ((i * 0.0174532925199433L) * 360) / n;
      const long double sine = std::sin(angle), cosine = std::cos(angle);
      // The emulation keeps the ten bytes of an x87 number in the same order.
      EXPECT_EQ(std::memcmp(&kRingSines[ringTableStart(n) + i], &sine, 10), 0) << i << " of " << n;
      EXPECT_EQ(std::memcmp(&kRingCosines[ringTableStart(n) + i], &cosine, 10), 0)
          << i << " of " << n;
    }
  }
}
#endif

// ---------------------------------------------------------------------------------------------

TEST_F(SceneComposer, SameTimeOfDayGivesTheSameScene) {
  setTimeOfDayClock([] { return 45296.789; });  // 12:34:56.789
  composeScene();
  ASSERT_GT(vertexCount, 0);
  const std::vector<double> first = meshContents();
  seedRandom(1);  // composing must not depend on the generator's previous state
  vertexCount = faceCount = 0;
  composeScene();
  EXPECT_EQ(meshContents(), first);
  // A millisecond later is another scene.
  setTimeOfDayClock([] { return 45296.790; });
  vertexCount = faceCount = 0;
  composeScene();
  EXPECT_NE(meshContents(), first);
}

// Digits 0, 3, 6 and 9 hit: a constant draw of such a digit leaves every cell empty. 0.25: digit
// 2, h 11.5, a box, a cone of round(14.5) = 14 segments: 8 + 42 vertices, 12 + 28 faces a cell.
// 0.75: digit 7, a cone of round(19.5) = 20 segments: 8 + 60 vertices, 12 + 40 faces.
TEST_F(SceneComposer, ConstantDrawsLeaveCellsEmptyOrGiveBoxesUnderConesWithSegmentTiesToEven) {
  const std::tuple<double, int32_t, int32_t> kCases[] = {
      {0.0, 0, 0}, {0.35, 0, 0}, {0.65, 0, 0}, {0.95, 0, 0}, {0.25, 50, 40}, {0.75, 68, 52}};
  for (const auto& [draw, vertices, faceTotal] : kCases) {
    useScript({draw});
    vertexCount = faceCount = 0;
    composeScene();
    EXPECT_EQ(vertexCount, 121 * vertices) << draw;
    EXPECT_EQ(faceCount, 121 * faceTotal) << draw;
  }
}

TEST_F(SceneComposer, CornerCellBoxOfHeightTenHasItsFootprintCorners) {
  // Cell (-100, -100): not empty, h = 30 * 0.2 + 4 = 10, a box in colour 0, no roof; all other
  // cells empty.
  useScript({0.1, 0.2, 0.1, 0});
  composeScene();
  ASSERT_EQ(vertexCount, 8);
  ASSERT_EQ(faceCount, 12);
  const Point expected[8] = {{-105, -105, 0}, {-95, -105, 0},  {-95, -95, 0},    {-105, -95, 0},
                             {-95, -95, 10},  {-95, -105, 10}, {-105, -105, 10}, {-105, -95, 10}};
  for (int32_t i = 0; i < 8; ++i) EXPECT_EQ(point(i), expected[i]) << i;
  for (int32_t f = 0; f < 12; ++f) EXPECT_GT(outwardness(f, -100, -100, 5), 0) << f;
}

TEST_F(SceneComposer, RoofStandsAtTheCellHeightAboveAShortCylinder) {
  // Cylinder: back and front colour 0, H = 1, 12 segments; then a pyramid with apex
  // (5 + 10) + 5 * 0.5 = 17.5 and side colour 51. All later cells empty.
  useScript({0.1, 0.2, 0.0, 0, 0, 0, 0, 0, 0, 0.1, 0.0, 0.1, 0.5, 0.0, 0.2, 0});
  composeScene();
  ASSERT_EQ(vertexCount, 48 + 5);
  ASSERT_EQ(faceCount, 48 + 6);
  for (int32_t i = 48; i < 52; ++i) EXPECT_EQ(workingVertices[i].z, 10) << i;
  EXPECT_EQ(point(52), (Point{-100, -100, 17.5}));
  for (int32_t f = 48; f < 54; ++f) {
    EXPECT_EQ(faceColour(f), f < 50 ? 65280 : 51) << f;  // a green base
    EXPECT_GT(outwardness(f, -100, -100, 12), 0) << f;
  }
}

TEST_F(SceneComposer, LargestSceneTakesTheDrawsInTheirOrder) {
  // Per cell, in draw order: not empty, h = 10, cylinder, back colour (51, 102, 153), front
  // colour (204, 0, 51), H = 5, 22 segments, roof, apex, cone, back colour (0, 0, 153), front
  // colour (153, 0, 0), 22 segments.
  const std::vector<double> cell = {0.1, 0.2, 0.0, 0.2, 0.4, 0.6, 0.8, 0.0, 0.2, 0.5, 0.99,
                                    0.1, 0.4, 0.1, 0.0, 0.0, 0.6, 0.6, 0.0, 0.0, 0.99};
  std::vector<double> draws;
  for (int k = 0; k < 121; ++k) draws.insert(draws.end(), cell.begin(), cell.end());
  useScript(draws);
  composeScene();
  ASSERT_EQ(vertexCount, 18634);
  ASSERT_EQ(faceCount, 15972);
  EXPECT_EQ(nextDraw, draws.size());  // 121 whole cells, nothing drawn beyond them
  // First cell, cylinder at (-100, -100): front faces 0 and 2 of each segment, height 5.
  EXPECT_EQ(point(0), (Point{-100, -105, 0}));
  EXPECT_EQ(workingVertices[2].z, 5);
  EXPECT_EQ(faceColour(0), packColour(204, 0, 51));
  EXPECT_EQ(faceColour(1), packColour(51, 102, 153));
  // Then its cone on z = 10 with the apex at 20, front red 153, back blue 153.
  EXPECT_EQ(workingVertices[88].z, 10);
  EXPECT_EQ(workingVertices[90].z, 20);
  EXPECT_EQ(faceColour(88), packColour(153, 0, 0));
  EXPECT_EQ(faceColour(89), packColour(0, 0, 153));
  // The last cell is (100, 100): its cone's apex is the last vertex.
  EXPECT_EQ(point(vertexCount - 1), (Point{100, 100, 20}));
}

// ---------------------------------------------------------------------------------------------

TEST_F(RandomGenerator, SameSeedRepeatsTheDrawsAllBelowOne) {
  std::vector<double> first(100000), again(8), other(8);
  seedRandom(3723.5);
  std::generate(first.begin(), first.end(), randomDraw);
  for (const double draw : first) ASSERT_TRUE(draw >= 0 && draw < 1) << draw;
  seedRandom(3723.5);
  std::generate(again.begin(), again.end(), randomDraw);
  seedRandom(3723.501);  // a millisecond apart is a different sequence
  std::generate(other.begin(), other.end(), randomDraw);
  first.resize(8);
  EXPECT_EQ(again, first);
  EXPECT_NE(other, first);
}

// Tests replace the generator's draws and the clock; nullptr restores the originals.
TEST_F(RandomGenerator, ReplacedSourceAndClockAreReadUntilRestored) {
  setRandomDrawSource([] { return 0.125; });
  setTimeOfDayClock([] { return 45000.25; });
  seedRandom(7);
  EXPECT_EQ(randomDraw(), 0.125);
  EXPECT_EQ(timeOfDaySeconds(), 45000.25);
  setRandomDrawSource(nullptr);
  setTimeOfDayClock(nullptr);
  const double restored = randomDraw();
  seedRandom(7);
  EXPECT_EQ(randomDraw(), restored);  // seeding reached the generator while it was replaced
  const double now = timeOfDaySeconds();
  EXPECT_TRUE(now >= 0 && now < 86401) << now;  // a leap second may show as second 60
}

}  // namespace
}  // namespace corvath
