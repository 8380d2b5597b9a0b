// Mesh text written by the converter: numbers that read back exactly, the viewer's reader taking
// every object, and the line budget.
#include <charconv>
#include <cmath>
#include <limits>

#include "app/convert.hpp"
#include "convert_fixture.hpp"
#include "mesh/mesh.hpp"

namespace corvath {
namespace {

using testing::ConvertTest;
using testing::facePlaces;

// Two objects; the second's faces without colour, one with black:
//   "Zelt"  4 vertices, 2 faces (red, colour 0x123456)
//   "Nero"  3 vertices, 2 faces (none, black), the second wound the other way
std::vector<MeshObject> twoObjects() {
  MeshObject tent;
  tent.name = "Zelt";
  tent.positions = {0.1, -2.5, 3e3, 1234.5678, 0, -0.001, -7.25, 1e-3, 42, 1.0 / 3, 9.5, -1e5};
  tent.corners = {0, 1, 2, 0, 2, 3};
  tent.colours = {255, 0x123456};
  MeshObject black;
  black.name = "Nero";
  black.positions = {5e-324, 1.7976931348623157e308, -0.0, 1e23, 2.5e-8, 123456789012345680.0, 7, 8,
                     9};
  black.corners = {0, 1, 2, 2, 1, 0};
  black.colours = {kNoColour, 0};
  return {tent, black};
}

TEST(CoordinateText, ShortestTextReadsBackExactly) {
  const double values[] = {0.1,
                           1.0 / 3,
                           -2.5e-8,
                           5e-324,
                           1.7976931348623157e308,
                           1e23,
                           1e22,
                           -0.0,
                           0.30000000000000004,
                           123456789,
                           1234567890123456789.0,
                           static_cast<float>(0.1)};
  for (double value : values) {
    const std::string text = coordinateText(value);
    EXPECT_EQ(readNumber(text), value) << text;
    char shortest[32];
    const auto end = std::to_chars(shortest, shortest + sizeof shortest, value).ptr;
    EXPECT_LE(text.size(), static_cast<size_t>(end - shortest)) << text;
  }
}

TEST_F(ConvertTest, MeshTextReadsBackThroughTheViewersReader) {
  const std::vector<MeshObject> objects = twoObjects();
  writeFile("two.asc", meshText(objects));
  std::vector<MeshObject> back;
  std::string error;
  ASSERT_TRUE(readMeshText(path("two.asc"), back, error)) << error;
  // The reader makes one object of the file; the faces, exact positions and colours stay.
  ASSERT_EQ(back.size(), 1u);
  EXPECT_EQ(back[0].name, "two");
  EXPECT_EQ(back[0].vertexTotal(), 7u);
  EXPECT_EQ(facePlaces(back, false), facePlaces(objects, false));
  EXPECT_EQ(back[0].colours, (std::vector<int32_t>{255, 0x123456, kNoColour, 0}));
}

TEST_F(ConvertTest, MeshTextGivesNoColourWhereTheFaceHasNone) {
  const std::string text = meshText(twoObjects());
  EXPECT_NE(text.find("Face 1:    A:0 B:2 C:3 colore: 1193046\n"), std::string::npos);
  EXPECT_NE(text.find("Face 0:    A:0 B:1 C:2\n"), std::string::npos);
  EXPECT_NE(text.find("Face 1:    A:2 B:1 C:0 colore: 0\n"), std::string::npos);
  EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), meshTextLines(twoObjects()));
}

TEST_F(ConvertTest, ReadingLeavesOutFacesTheViewerDoesNotDraw) {
  // Face 1 names vertex 3 of 3; face 2 is announced but never described.
  writeFile("gaps.asc",
            "Tri-mesh, Vertices: 3 Faces: 3\nVertex 0: X: 0 Y: 0 Z: 0\nVertex 1: X: 1 Y: 0 Z: 0\n"
            "Vertex 2: X: 0 Y: 1 Z: 0\nFace 0: A:0 B:1 C:2\nFace 1: A:0 B:1 C:3 colore: 5\n");
  std::vector<MeshObject> back;
  std::string error;
  ASSERT_TRUE(readMeshText(path("gaps.asc"), back, error)) << error;
  ASSERT_EQ(back.size(), 1u);
  EXPECT_EQ(back[0].corners, (std::vector<uint32_t>{0, 1, 2}));

  writeFile("none.asc", "Named Object: \"leer\"\n");
  EXPECT_FALSE(readMeshText(path("none.asc"), back, error));
  EXPECT_FALSE(error.empty());
}

TEST(ViewerBudget, LinesAndTablesDecideWhatFits) {
  // One object of v vertices and f faces takes 4 + v + f lines.
  MeshObject object;
  object.positions.assign(3 * 400000, 0);
  object.corners.assign(3 * 599996, 0);
  object.colours.assign(599996, kNoColour);
  std::vector<MeshObject> objects = {object};
  EXPECT_EQ(meshTextLines(objects), kViewerLines);
  EXPECT_TRUE(fitsViewer(objects));
  EXPECT_EQ(facesThatFit(objects), 599996);
  objects[0].colours.push_back(kNoColour);
  objects[0].corners.insert(objects[0].corners.end(), {0, 0, 0});
  EXPECT_FALSE(fitsViewer(objects));
  EXPECT_LT(facesThatFit(objects), 599997);
}

TEST(WeldVertices, MergesEqualPositionsAndDropsUnusedOnes) {
  // Two triangles sharing an edge, as a format without shared vertices lists them, and an unused
  // vertex between them.
  MeshObject object;
  object.positions = {0, 0, 0, 1, 0, 0, 9, 9, 9, 0, 1, 0, 1, 0, 0, 1, 1, 0, 0, 1, 0};
  object.corners = {0, 1, 3, 4, 5, 6};
  object.colours = {1, 2};
  std::vector<MeshObject> objects = {object};
  const auto before = facePlaces(objects, false);
  weldVertices(objects);
  EXPECT_EQ(objects[0].vertexTotal(), 4u);
  EXPECT_EQ(objects[0].corners, (std::vector<uint32_t>{0, 1, 2, 1, 3, 2}));
  EXPECT_EQ(facePlaces(objects, false), before);
}

}  // namespace
}  // namespace corvath
