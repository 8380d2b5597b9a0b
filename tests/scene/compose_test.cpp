// Tests of the cone and cylinder builders and of the scene composer, driven by fixed clocks and
// scripted draws.
#include <gtest/gtest.h>

#include <cmath>
#include <cstddef>
#include <string>
#include <vector>

#include "scene_fixture.hpp"

namespace corvath {
namespace {

class RingBuilders : public EmptiedMesh {};
class SceneComposer : public EmptiedMesh {};
class LargestScene : public EmptiedMesh {};

// Scripted draws: the script in order, then either again from its start or `afterScript` forever.
std::vector<double> script;
size_t nextDraw = 0;
bool repeatScript = false;
double afterScript = 0;

double scriptedDraw() {
  if (nextDraw < script.size()) return script[nextDraw++];
  if (repeatScript && !script.empty()) {
    nextDraw = 0;
    return script[nextDraw++];
  }
  return afterScript;
}

void useScript(std::vector<double> draws, bool repeat, double after = 0) {
  script = std::move(draws);
  nextDraw = 0;
  repeatScript = repeat;
  afterScript = after;
  setRandomDrawSource(scriptedDraw);
}

double fixedClock() {
  return 45296.789;
}  // 12:34:56.789
double otherClock() {
  return 45296.790;
}

constexpr int32_t kColour51_102_153 = 51 + 256 * 102 + 65536 * 153;
constexpr int32_t kColour204_0_51 = 204 + 65536 * 51;

// ---------------------------------------------------------------------------------------------

TEST_F(RingBuilders, CylinderRingStartsBelowTheCentreAndRunsClockwiseFromAbove) {
  buildCylinder(0, 0, 0, 10, 12, 7, 255, 65280);
  ASSERT_EQ(vertexCount, 48);
  ASSERT_EQ(faceCount, 48);
  // Segment 0: ring points 0 and 1, then point 1 lifted by the height.
  EXPECT_EQ(workingVertices[0].x, 0);
  EXPECT_EQ(workingVertices[0].y, -5);
  EXPECT_EQ(workingVertices[1].x, -2.5);
  EXPECT_EQ(numberText(workingVertices[1].y), "-4.33012723922729");
  EXPECT_EQ(workingVertices[2].z, 7);
  EXPECT_EQ(workingVertices[3].z, 7);
  // Segment 3 starts at ring point 3 (90 degrees): x = -5, y a tiny residue in exponent form.
  EXPECT_EQ(workingVertices[12].x, -5);
  EXPECT_NE(workingVertices[12].y, 0);
  EXPECT_LT(std::abs(workingVertices[12].y), 1e-6);
  EXPECT_NE(numberText(workingVertices[12].y).find("E-"), std::string::npos);
  // The buffer holds the last segment, which closes the ring on a copy of point 0.
  EXPECT_EQ(meshLines[2], "Vertex 0: X: 2.5 Y:-4.33012723922729 Z: 0");
  EXPECT_EQ(meshLines[3], "Vertex 1: X: 0 Y:-5 Z: 0");
  EXPECT_EQ(meshLines[4], "Vertex 2: X: 0 Y:-5 Z: 7");
}

TEST_F(RingBuilders, CylinderFrontFacesLookInward) {
  buildCylinder(20, -40, 3, 10, 16, 6, 1, 2);
  ASSERT_EQ(faceCount, 64);
  for (int32_t f = 0; f < faceCount; ++f) {
    const double outward = outwardness(f, 20, -40, 6);
    if (f % 4 == 0 || f % 4 == 2) {
      EXPECT_LT(outward, 0) << "face " << f;
      EXPECT_EQ(faceColour(f), 1);
    } else {
      EXPECT_GT(outward, 0) << "face " << f;
      EXPECT_EQ(faceColour(f), 2);
    }
  }
}

TEST_F(RingBuilders, ConeStandsOnItsBaseWithItsApexAboveAndFrontFacesOutward) {
  buildCone(-60, 80, 12, 10, 12, 12, 3, 4);
  ASSERT_EQ(vertexCount, 36);
  ASSERT_EQ(faceCount, 24);
  for (int32_t t = 0; t < 12; ++t) {
    EXPECT_EQ(workingVertices[3 * t].z, 12);
    EXPECT_EQ(workingVertices[3 * t + 2].x, -60);
    EXPECT_EQ(workingVertices[3 * t + 2].y, 80);
    EXPECT_EQ(workingVertices[3 * t + 2].z, 24);
    EXPECT_GT(outwardness(2 * t, -60, 80, 13), 0) << "triangle " << t;
    EXPECT_LT(outwardness(2 * t + 1, -60, 80, 13), 0) << "triangle " << t;
  }
}

TEST_F(RingBuilders, AppendThreeOrFourVerticesPerSegmentAndNothingBelowOneSegment) {
  buildCone(0, 0, 0, 10, 22, 5, 1, 2);
  EXPECT_EQ(vertexCount, 66);
  EXPECT_EQ(faceCount, 44);
  buildCone(0, 0, 0, 10, 0, 5, 1, 2);
  buildCylinder(0, 0, 0, 10, -3, 5, 1, 2);
  EXPECT_EQ(vertexCount, 66);
  EXPECT_EQ(faceCount, 44);
  buildCylinder(0, 0, 0, 10, 22, 5, 1, 2);
  EXPECT_EQ(vertexCount, 66 + 88);
  EXPECT_EQ(faceCount, 44 + 88);
}

TEST_F(RingBuilders, RingsOfManySegmentsRunTheSameCircle) {
  // 100 segments: a quarter turn at point 25; 20 segments: at point 5.
  buildCylinder(0, 0, 0, 10, 100, 1, 1, 2);
  ASSERT_EQ(vertexCount, 400);
  EXPECT_EQ(workingVertices[0].y, -5);
  EXPECT_EQ(workingVertices[4 * 25].x, -5);
  EXPECT_EQ(workingVertices[4 * 50].y, 5);
  buildCylinder(0, 0, 0, 10, 20, 1, 1, 2);
  EXPECT_EQ(workingVertices[400 + 4 * 5].x, -5);
  EXPECT_EQ(workingVertices[400 + 4 * 10].y, 5);
}

// ---------------------------------------------------------------------------------------------

TEST_F(SceneComposer, SameTimeOfDayGivesTheSameScene) {
  setTimeOfDayClock(fixedClock);
  composeScene();
  const std::vector<Vertex> firstVertices(workingVertices.begin(),
                                          workingVertices.begin() + vertexCount);
  std::vector<std::vector<int32_t>> firstFaces;
  for (int32_t f = 0; f < faceCount; ++f) {
    firstFaces.push_back({faces[f].a, faces[f].b, faces[f].c, faceColour(f)});
  }
  ASSERT_GT(vertexCount, 0);

  seedRandom(1);  // composing must not depend on the generator's previous state
  vertexCount = 0;
  faceCount = 0;
  composeScene();
  ASSERT_EQ(static_cast<size_t>(vertexCount), firstVertices.size());
  ASSERT_EQ(static_cast<size_t>(faceCount), firstFaces.size());
  for (int32_t i = 0; i < vertexCount; ++i) {
    ASSERT_EQ(workingVertices[i].x, firstVertices[i].x) << i;
    ASSERT_EQ(workingVertices[i].y, firstVertices[i].y) << i;
    ASSERT_EQ(workingVertices[i].z, firstVertices[i].z) << i;
  }
  for (int32_t f = 0; f < faceCount; ++f) {
    ASSERT_EQ((std::vector<int32_t>{faces[f].a, faces[f].b, faces[f].c, faceColour(f)}),
              firstFaces[f])
        << f;
  }

  // A millisecond later is another scene.
  const int32_t firstVertexTotal = vertexCount;
  const double firstX = workingVertices[0].x;
  setTimeOfDayClock(otherClock);
  vertexCount = 0;
  faceCount = 0;
  composeScene();
  EXPECT_TRUE(vertexCount != firstVertexTotal || workingVertices[0].x != firstX);
}

TEST_F(SceneComposer, EveryCellWhoseFirstDigitHitsStaysEmpty) {
  // Digits 0, 3, 6 and 9 hit; a source that only ever gives such a digit leaves no solid.
  for (const double draw : {0.0, 0.35, 0.65, 0.95}) {
    useScript({}, false, draw);
    composeScene();
    EXPECT_EQ(vertexCount, 0) << draw;
    EXPECT_EQ(faceCount, 0) << draw;
  }
}

TEST_F(SceneComposer, ConstantMissesGiveBoxesUnderConesWithSegmentTiesToEven) {
  // 0.25: digit 2, h 11.5, box, cone of round(14.5) = 14 segments: 8 + 42 vertices, 12 + 28 faces.
  useScript({}, false, 0.25);
  composeScene();
  EXPECT_EQ(vertexCount, 121 * 50);
  EXPECT_EQ(faceCount, 121 * 40);
  // 0.75: digit 7, cone of round(19.5) = 20 segments: 8 + 60 vertices, 12 + 40 faces.
  vertexCount = 0;
  faceCount = 0;
  useScript({}, false, 0.75);
  composeScene();
  EXPECT_EQ(vertexCount, 121 * 68);
  EXPECT_EQ(faceCount, 121 * 52);
}

TEST_F(SceneComposer, CornerCellBoxOfHeightTenHasItsFootprintCorners) {
  // Cell (-100, -100): not empty, h = 30 * 0.2 + 4 = 10, a box in colour 0, no roof; all other
  // cells empty.
  useScript({0.1, 0.2, 0.1, 0, 0, 0, 0}, false, 0);
  composeScene();
  ASSERT_EQ(vertexCount, 8);
  ASSERT_EQ(faceCount, 12);
  const double expected[8][3] = {{-105, -105, 0},  {-95, -105, 0}, {-95, -95, 0},
                                 {-105, -95, 0},   {-95, -95, 10}, {-95, -105, 10},
                                 {-105, -105, 10}, {-105, -95, 10}};
  for (int32_t i = 0; i < 8; ++i) {
    EXPECT_EQ(workingVertices[i].x, expected[i][0]) << i;
    EXPECT_EQ(workingVertices[i].y, expected[i][1]) << i;
    EXPECT_EQ(workingVertices[i].z, expected[i][2]) << i;
  }
  for (int32_t f = 0; f < 12; ++f) EXPECT_GT(outwardness(f, -100, -100, 5), 0) << f;
}

TEST_F(SceneComposer, RoofStandsAtTheCellHeightAboveAShortCylinder) {
  // Cylinder: back and front colour 0, H = 0.1 * 10 = 1, 12 segments; then a pyramid with apex
  // (5 + 10) + 5 * 0.5 = 17.5 and side colour 51. All later cells empty.
  useScript({0.1, 0.2, 0.0, 0, 0, 0, 0, 0, 0, 0.1, 0.0, 0.1, 0.5, 0.0, 0.2, 0, 0}, false, 0);
  composeScene();
  ASSERT_EQ(vertexCount, 48 + 5);
  ASSERT_EQ(faceCount, 48 + 6);
  for (int32_t i = 0; i < 48; ++i) EXPECT_LE(workingVertices[i].z, 1) << i;
  for (int32_t i = 48; i < 52; ++i) EXPECT_EQ(workingVertices[i].z, 10) << i;
  EXPECT_EQ(workingVertices[52].x, -100);
  EXPECT_EQ(workingVertices[52].y, -100);
  EXPECT_EQ(workingVertices[52].z, 17.5);
  EXPECT_EQ(faceColour(48), 65280);
  EXPECT_EQ(faceColour(49), 65280);
  for (int32_t f = 50; f < 54; ++f) {
    EXPECT_EQ(faceColour(f), 51) << f;
    EXPECT_GT(outwardness(f, -100, -100, 12), 0) << f;
  }
}

// Per cell, in draw order: not empty, h = 10, cylinder, back colour (51, 102, 153), front colour
// (204, 0, 51), H = 5, 22 segments, roof, apex, cone, back colour (0, 0, 153), front colour
// (153, 0, 0), 22 segments.
const std::vector<double> kLargestCell = {0.1, 0.2, 0.0, 0.2, 0.4, 0.6, 0.8, 0.0, 0.2, 0.5, 0.99,
                                          0.1, 0.4, 0.1, 0.0, 0.0, 0.6, 0.6, 0.0, 0.0, 0.99};

TEST_F(SceneComposer, LargestSceneTakesTheDrawsInTheirOrder) {
  useScript(kLargestCell, true);
  composeScene();
  ASSERT_EQ(vertexCount, 18634);
  ASSERT_EQ(faceCount, 15972);
  EXPECT_EQ(nextDraw, kLargestCell.size());  // 121 whole cells, nothing drawn beyond them
  // First cell, cylinder at (-100, -100): front faces 0 and 2 of each segment, height 5.
  EXPECT_EQ(workingVertices[0].x, -100);
  EXPECT_EQ(workingVertices[0].y, -105);
  EXPECT_EQ(workingVertices[2].z, 5);
  EXPECT_EQ(faceColour(0), kColour204_0_51);
  EXPECT_EQ(faceColour(1), kColour51_102_153);
  // Then its cone on z = 10 with the apex at 20, front red 153, back blue 153.
  EXPECT_EQ(workingVertices[88].z, 10);
  EXPECT_EQ(workingVertices[90].z, 20);
  EXPECT_EQ(faceColour(88), 153);
  EXPECT_EQ(faceColour(89), 65536 * 153);
  // The last cell is (100, 100): its cone's apex is the last vertex.
  EXPECT_EQ(workingVertices[vertexCount - 1].x, 100);
  EXPECT_EQ(workingVertices[vertexCount - 1].y, 100);
}

TEST_F(LargestScene, StaysWithinItsVertexAndFaceTotals) {
  for (float y = -100; y <= 100; y += 20) {
    for (float x = -100; x <= 100; x += 20) {
      buildCylinder(x, y, 0, 10, 22, 34, 1, 2);
      buildCone(x, y, 34, 10, 22, 34, 3, 4);
    }
  }
  EXPECT_EQ(vertexCount, 18634);
  EXPECT_EQ(faceCount, 15972);
}

}  // namespace
}  // namespace corvath
