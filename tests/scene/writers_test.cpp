// Tests of the primitive writers: the exact text they store and the solids the reader appends.
#include <gtest/gtest.h>

#include <bit>
#include <cstdint>
#include <random>
#include <string>
#include <vector>

#include "scene_fixture.hpp"

namespace corvath {
namespace {

class TriangleWriter : public EmptiedMesh {};
class RectangleWriter : public EmptiedMesh {};
class BoxWriter : public EmptiedMesh {};
class PyramidWriter : public EmptiedMesh {};
class WriterSequence : public EmptiedMesh {};

std::vector<std::string> storedLines() {
  std::vector<std::string> lines;
  for (int32_t i = 0; i <= lastLineIndex; ++i) lines.emplace_back(meshLines[i]);
  return lines;
}

//   (0,10)
//     |\      front 255, back 65280
//     |_\     .
//   (0,0) (10,0)
TEST_F(TriangleWriter, StoresTheDocumentedSevenLines) {
  const Point3 points[3] = {{0, 0, 0}, {10, 0, 0}, {0, 10, 0}};
  writeTriangle(points, 255, 65280);
  EXPECT_EQ(storedLines(), (std::vector<std::string>{
                               "Named Object: \"Triangolo\"",
                               "Tri-mesh, Vertices: 3     Faces: 2",
                               "Vertex 0: X: 0 Y: 0 Z: 0",
                               "Vertex 1: X: 10 Y: 0 Z: 0",
                               "Vertex 2: X: 0 Y: 10 Z: 0",
                               "Face 0:   A:0 B:1 C:2 colore: 255",
                               "Face 1:   A:2 B:1 C:0 colore: 65280",
                           }));
  ASSERT_EQ(vertexCount, 3);
  ASSERT_EQ(faceCount, 2);
  EXPECT_EQ(workingVertices[1].x, 10);
  EXPECT_EQ(workingVertices[2].y, 10);
  EXPECT_EQ((std::vector<int32_t>{faces[0].a, faces[0].b, faces[0].c}),
            (std::vector<int32_t>{0, 1, 2}));
  EXPECT_EQ((std::vector<int32_t>{faces[1].a, faces[1].b, faces[1].c}),
            (std::vector<int32_t>{2, 1, 0}));
  EXPECT_EQ(faceColour(0), 255);
  EXPECT_EQ(faceColour(1), 65280);
}

TEST_F(TriangleWriter, WritesNegativeFractionalAndTinyCoordinatesAsNumberText) {
  const Point3 points[3] = {{-105, -0.5, 2.7105054312137611e-19}, {95, 0.25, 0}, {0, 0, 1e16}};
  writeTriangle(points, 0, 0);
  EXPECT_EQ(meshLines[2], "Vertex 0: X:-105 Y:-.5 Z: 2.71050543121376E-19");
  EXPECT_EQ(meshLines[3], "Vertex 1: X: 95 Y: .25 Z: 0");
  EXPECT_EQ(meshLines[4], "Vertex 2: X: 0 Y: 0 Z: 1E+16");
  // The table holds what the 15-digit text reads back as, not the argument.
  EXPECT_EQ(workingVertices[0].z, 2.71050543121376e-19);
  EXPECT_EQ(workingVertices[0].x, -105);
}

// Many values in a row, repeated and colliding, each keep their own text.
TEST_F(TriangleWriter, EveryCoordinateIsWrittenAsItsOwnNumberText) {
  std::mt19937 engine(5);
  std::uniform_real_distribution<float> coordinate(-120, 120);
  std::vector<double> values = {std::bit_cast<double>(~uint64_t{0}), -0.0, 0.0, 1e300, -1e-300};
  for (int i = 0; i < 3000; ++i) values.push_back(coordinate(engine));
  for (int i = 0; i < 3000; ++i) values.push_back(values[engine() % values.size()]);
  for (size_t i = 0; i + 3 <= values.size(); i += 3) {
    const Point3 points[3] = {{values[i], values[i + 1], values[i + 2]}, {1, 0, 0}, {0, 1, 0}};
    writeTriangle(points, 0, 0);
    ASSERT_EQ(std::string(meshLines[2]), "Vertex 0: X:" + numberText(values[i]) + " Y:" + numberText(values[i + 1]) +
                                " Z:" + numberText(values[i + 2]));
  }
}

TEST_F(TriangleWriter, WritesColoursWithTheirSignCharacter) {
  const Point3 points[3] = {{0, 0, 0}, {1, 0, 0}, {0, 1, 0}};
  writeTriangle(points, 65280, 0);
  EXPECT_EQ(meshLines[5], "Face 0:   A:0 B:1 C:2 colore: 65280");
  EXPECT_EQ(meshLines[6], "Face 1:   A:2 B:1 C:0 colore: 0");
  EXPECT_EQ(faces[0].green, 255);
  EXPECT_EQ(faces[0].red, 0);
  // Colour 0 is written, so the default colour (the front colour) never reaches face 1.
  EXPECT_EQ(faceColour(1), 0);
}

//  (0,5) 3 ----- 2 (10,5)
//        |       |
//  (0,0) 0 ----- 1 (10,0)
TEST_F(RectangleWriter, CompletesTheCornerOppositeTheMiddlePoint) {
  const Point3 points[3] = {{0, 0, 0}, {10, 0, 0}, {10, 5, 0}};
  writeRectangle(points, 255, 16711680);
  EXPECT_EQ(lastLineIndex, 9);
  EXPECT_EQ(meshLines[1], "Tri-mesh, Vertices: 4     Faces: 4");
  EXPECT_EQ(meshLines[5], "Vertex 3: X: 0 Y: 5 Z: 0");
  EXPECT_EQ(meshLines[9], "Face 3:   A:0 B:3 C:2 colore: 16711680");
  ASSERT_EQ(vertexCount, 4);
  ASSERT_EQ(faceCount, 4);
  // Faces 0 and 2 (front) point to +z, faces 1 and 3 (back) to -z.
  EXPECT_GT(faceNormal(0).z, 0);
  EXPECT_GT(faceNormal(2).z, 0);
  EXPECT_LT(faceNormal(1).z, 0);
  EXPECT_LT(faceNormal(3).z, 0);
  EXPECT_EQ(faceColour(2), 255);
  EXPECT_EQ(faceColour(3), 16711680);
}

// Unit box: base 0 (0,0,0), 1 (1,0,0), 2 (1,1,0) counter-clockwise from above, P3 = (1,1,1).
TEST_F(BoxWriter, DerivesTheMissingCornersAndWindsEveryFaceOutward) {
  const Point3 points[4] = {{0, 0, 0}, {1, 0, 0}, {1, 1, 0}, {1, 1, 1}};
  writeBox(points, 8421504);
  EXPECT_EQ(lastLineIndex, 21);
  EXPECT_EQ(meshLines[1], "Tri-mesh, Vertices: 8     Faces: 12");
  EXPECT_EQ(meshLines[5], "Vertex 3: X: 0 Y: 1 Z: 0");
  EXPECT_EQ(meshLines[7], "Vertex 5: X: 1 Y: 0 Z: 1");
  EXPECT_EQ(meshLines[8], "Vertex 6: X: 0 Y: 0 Z: 1");
  EXPECT_EQ(meshLines[9], "Vertex 7: X: 0 Y: 1 Z: 1");
  EXPECT_EQ(meshLines[19], "Face 9:   A:1 B:5 C:6 colore: 8421504");
  EXPECT_EQ(meshLines[20], "Face 10:  A:3 B:7 C:2 colore: 8421504");
  EXPECT_EQ(meshLines[21], "Face 11:  A:4 B:2 C:7 colore: 8421504");
  ASSERT_EQ(vertexCount, 8);
  ASSERT_EQ(faceCount, 12);
  for (int32_t f = 0; f < 12; ++f) {
    EXPECT_GT(outwardness(f, 0.5, 0.5, 0.5), 0) << "face " << f;
    EXPECT_EQ(faceColour(f), 8421504) << "face " << f;
  }
}

// A slanted parallelepiped: P3 offset sideways, so the derived corners are not a plain lift.
TEST_F(BoxWriter, DerivesCornersOfASlantedBoxInTheirStatedOrder) {
  const Point3 points[4] = {{0, 0, 0}, {2, 0, 0}, {2, 3, 0}, {3, 4, 5}};
  writeBox(points, 1);
  EXPECT_EQ(meshLines[5], "Vertex 3: X: 0 Y: 3 Z: 0");
  EXPECT_EQ(meshLines[7], "Vertex 5: X: 3 Y: 1 Z: 5");
  EXPECT_EQ(meshLines[8], "Vertex 6: X: 1 Y: 1 Z: 5");
  EXPECT_EQ(meshLines[9], "Vertex 7: X: 1 Y: 4 Z: 5");
  // Centre of the box: mean of the eight corners.
  for (int32_t f = 0; f < 12; ++f) EXPECT_GT(outwardness(f, 1.5, 2, 2.5), 0) << "face " << f;
}

TEST_F(BoxWriter, WindsInwardWhenTheTopLiesOnTheOtherSide) {
  const Point3 points[4] = {{0, 0, 0}, {1, 0, 0}, {1, 1, 0}, {1, 1, -1}};
  writeBox(points, 1);
  for (int32_t f = 0; f < 12; ++f) EXPECT_LT(outwardness(f, 0.5, 0.5, -0.5), 0) << "face " << f;
}

//  apex (1,1,2) over the base 0 (0,0,0), 1 (2,0,0), 2 (2,2,0), 3 (0,2,0)
TEST_F(PyramidWriter, WindsOutwardWithTheBaseColourOnTheBaseFaces) {
  const Point3 points[5] = {{0, 0, 0}, {2, 0, 0}, {2, 2, 0}, {0, 2, 0}, {1, 1, 2}};
  writePyramid(points, 255, 65280);
  EXPECT_EQ(lastLineIndex, 12);
  EXPECT_EQ(meshLines[0], "Named Object: \"Piramide\"");
  EXPECT_EQ(meshLines[1], "Tri-mesh, Vertices: 5     Faces: 6");
  EXPECT_EQ(meshLines[6], "Vertex 4: X: 1 Y: 1 Z: 2");
  EXPECT_EQ(meshLines[7], "Face 0:   A:1 B:0 C:2 colore: 65280");
  EXPECT_EQ(meshLines[12], "Face 5:   A:0 B:1 C:4 colore: 255");
  ASSERT_EQ(vertexCount, 5);
  ASSERT_EQ(faceCount, 6);
  for (int32_t f = 0; f < 6; ++f) {
    EXPECT_GT(outwardness(f, 1, 1, 0.5), 0) << "face " << f;
    EXPECT_EQ(faceColour(f), f < 2 ? 65280 : 255) << "face " << f;
  }
}

TEST_F(WriterSequence, SecondSolidAppendsAfterTheFirst) {
  const Point3 triangle[3] = {{0, 0, 0}, {1, 0, 0}, {0, 1, 0}};
  const Point3 box[4] = {{0, 0, 0}, {1, 0, 0}, {1, 1, 0}, {1, 1, 1}};
  writeTriangle(triangle, 1, 2);
  writeBox(box, 3);
  ASSERT_EQ(vertexCount, 11);
  ASSERT_EQ(faceCount, 14);
  // The box's own face 0 (1, 0, 3) lands at face 2, offset by the triangle's three vertices.
  EXPECT_EQ(faces[2].a, 4);
  EXPECT_EQ(faces[2].b, 3);
  EXPECT_EQ(faces[2].c, 6);
  EXPECT_EQ(workingVertices[8].z, 1);  // box vertex 5 = (1, 0, 1)
}

TEST_F(WriterSequence, ShorterSolidLeavesTheOlderLinesAboveItsLastLineUnread) {
  const Point3 box[4] = {{0, 0, 0}, {1, 0, 0}, {1, 1, 0}, {1, 1, 1}};
  const Point3 triangle[3] = {{5, 5, 5}, {6, 5, 5}, {5, 6, 5}};
  writeBox(box, 3);
  const std::vector<std::string> boxLines = storedLines();
  writeTriangle(triangle, 1, 2);
  EXPECT_EQ(lastLineIndex, 6);
  for (int32_t i = 7; i <= 21; ++i) EXPECT_EQ(std::string(meshLines[i]), boxLines[i]) << "entry " << i;
  // Only the triangle was appended after the box.
  EXPECT_EQ(vertexCount, 11);
  EXPECT_EQ(faceCount, 14);
  EXPECT_EQ(faceColour(12), 1);
}

}  // namespace
}  // namespace corvath
