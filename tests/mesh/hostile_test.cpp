// Measuring and centring a mesh, and hostile mesh files. Whatever a file says, memory stays
// bounded: a header is accepted only when its object fits in kMaxTableElements (2^22) elements per
// table, so the six tables together never take more than about 670 MB (checked below); the line
// buffer keeps at most 1,000,000 lines; and a line is as long as the file's line.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <random>
#include <string>
#include <vector>

#include "support/mesh_fixture.hpp"

namespace corvath {
namespace {

using testing::LargeFile;
using testing::TemporaryFile;

static_assert(kMaxTableElements * (2 * sizeof(Vertex) + sizeof(ScreenPoint) + sizeof(Face) +
                                   2 * sizeof(double)) <=
                  680'000'000,
              "the table cap no longer bounds memory as documented");

// The tables agree in length, the counts lie within them and the line index within the buffer:
// what every later step relies on, however the file ended.
void expectSoundTables() {
  const size_t vertices = workingVertices.size();
  EXPECT_TRUE(modelVertices.size() == vertices && screenPoints.size() == vertices);
  EXPECT_TRUE(faceDepths.size() == faces.size() && faceOrder.size() == faces.size());
  EXPECT_LE(static_cast<int64_t>(std::max(vertices, faces.size())), kMaxTableElements);
  EXPECT_TRUE(vertexCount >= 0 && static_cast<size_t>(vertexCount) <= vertices && faceCount >= 0 &&
              static_cast<size_t>(faceCount) <= faces.size());
  EXPECT_TRUE(lastLineIndex >= 0 && lastLineIndex < kMeshLineEntries) << lastLineIndex;
}

void setVertices(const std::vector<Vertex>& vertices) {
  resizeMeshTables(static_cast<int64_t>(vertices.size()) + 1, 1);
  std::copy(vertices.begin(), vertices.end(), workingVertices.begin());
  vertexCount = static_cast<int32_t>(vertices.size());
}

// x, y, z of the first `count` elements.
std::vector<double> coordinates(const Table<Vertex>& table, size_t count) {
  std::vector<double> all;
  for (size_t i = 0; i < count; ++i) all.insert(all.end(), {table[i].x, table[i].y, table[i].z});
  return all;
}

using MeshExtent = testing::MeshTest;

// The extent is rounded as roundToInt32 rounds: halves to even, clamped.
TEST_F(MeshExtent, LargestSignedCoordinateOfAnyAxis) {
  EXPECT_EQ(meshExtent(), 0);  // empty mesh, tables without storage
  const struct {
    std::vector<Vertex> vertices;
    int32_t extent;
  } kCases[] = {
      {{{-50, -20, 0}, {-1, -3, -4}}, 0},  // negative coordinates never raise it
      {{{2.5, 0, 0}}, 2},
      {{{10, 20, 100}, {-500, 0, 0}}, 100},
      {{{1e300, 0, 0}}, 2147483647},            // infinite as a float: clamped
      {{{281474976710655, 0, 0}}, 2147483647},  // finite, but beyond 32 bits: clamped too
      {{{16777217, 0, 0}}, 16777216},           // the running maximum is a float: 2^24 + 1 is none
  };
  for (const auto& c : kCases) {
    setVertices(c.vertices);
    EXPECT_EQ(meshExtent(), c.extent) << c.vertices[0].x;
  }
}

// x runs -30 .. 10, y 0 .. 25 and z -4 .. 0 once the origin is in the box; the commit copies
// the mesh, not the spare element.
TEST_F(MeshExtent, CentringShiftsTheBoxThatContainsTheOrigin) {
  setVertices({{-30, 5, -4}, {10, 25, -2}});
  centreMesh();
  workingVertices[2] = {7, 8, 9};
  commitVertices();
  EXPECT_EQ(coordinates(modelVertices, 3),
            (std::vector<double>{-20, -7.5, -2, 20, 12.5, 0, 0, 0, 0}));
  setVertices({{8, -6, 0}});
  centreMesh();
  EXPECT_EQ(coordinates(workingVertices, 1), (std::vector<double>{4, -3, 0}));
}

// The extent clamps to the largest 32-bit integer. An infinite box shifts by an infinity:
// infinite or undefined coordinates, which the drawing drops; the finite axis stays sound.
TEST_F(MeshExtent, OverflowingAndUnderflowingCoordinatesMeasureAndCentre) {
  testing::parseText({"Tri-mesh, Vertices: 4 Faces: 0", "Vertex 0: X: 1E9999 Y: -1E9999 Z: 1E-9999",
                      "Vertex 1: X: 1E99999999999 Y: -1E-99999999999 Z: &HFFFFFFFFFFFF",
                      "Vertex 2: X: 3 Y: 4 Z: 5", "Vertex 3: X: -3 Y: -4 Z: -5"});
  EXPECT_EQ(meshExtent(), INT32_MAX);
  centreMesh();
  EXPECT_TRUE(std::isnan(workingVertices[0].x));
  EXPECT_EQ(workingVertices[2].x, -HUGE_VAL);
  EXPECT_EQ(workingVertices[2].z, 5 - (281474976710655.0 - 5) / 2);
}

using HostileFile = testing::MeshTest;

TEST_F(HostileFile, TablesGrowToTheCapAndNoFurther) {
  // The largest object accepted: 2^22 - 1 vertices and the spare element. A later load appends
  // after it, and one vertex more is past the cap: not accepted.
  for (const char* text : {"Tri-mesh, Vertices: 4194303 Faces: 0\r\nVertex 0: X: 5 Y: 0 Z: 0\r\n",
                           "Tri-mesh, Vertices: 1 Faces: 1\r\nVertex 0: X: 9 Y: 9 Z: 9\r\n"}) {
    loadMeshFile(TemporaryFile(text).path(), 0, 0, 0, 0);
    EXPECT_EQ(static_cast<int64_t>(workingVertices.size()), kMaxTableElements);
    EXPECT_EQ(vertexCount, 4194303);  // the list never reached its last line
    EXPECT_EQ(faces.size(), 1u);
    expectSoundTables();
  }
  releaseMeshTables();  // later tests should not carry hundreds of megabytes
}

TEST_F(HostileFile, LineOfOneHundredMegabytesWithoutALineEnd) {
  // One header line whose face count is written with 100 MB of leading zeros.
  constexpr size_t kZeros = size_t{100} << 20;
  LargeFile file;
  file.append("Tri-mesh, Vertices: 2 Faces: ");
  file.appendRepeated('0', kZeros);
  file.append("1 x: 1 vertex 0");
  file.close();
  loadMeshFile(file.path(), 0, 0, 0, 0);
  expectSoundTables();
  EXPECT_EQ(lastLineIndex, 1);
  EXPECT_EQ(meshLines[0].size(), 29 + kZeros + 15);  // the line is as long as the file's line
  EXPECT_TRUE(vertexCount == 2 && faceCount == 1);
  MeshText().swap(meshLines[0]);
}

TEST_F(HostileFile, TwoMillionShortLinesKeepTheFirstMillion) {
  // A header for 1,999,999 vertices and one face, then a vertex line for each; the list's last
  // line and the face line lie beyond the million lines the buffer keeps.
  LargeFile file;
  testing::writeTwoMillionLines(file);
  loadMeshFile(file.path(), 0, 0, 0, 0);
  expectSoundTables();
  EXPECT_EQ(lastLineIndex, 1000000);
  EXPECT_EQ(vertexCount, 1999999);  // announced: the list's last line never came
  // The last vertex line read is vertex 999998.
  EXPECT_EQ(
      std::vector<double>({workingVertices[998].x, workingVertices[999998].x,
                           workingVertices[999999].x, static_cast<double>(faces[0].cornerCount)}),
      std::vector<double>({998, 998, 0, 0}));
  releaseMeshTables();  // later tests should not carry hundreds of megabytes
}

// A NUL is an ordinary byte: the header still finds its face count after it. Whatever follows
// a byte 26 is never read.
TEST_F(HostileFile, BinaryNoiseWithNulAndEndOfFileBytes) {
  std::mt19937 engine(26);
  const char kHeader[] = "Tri-mesh, Vertices: 3\0 Faces: 1\r\n";
  std::string text(kHeader, sizeof kHeader - 1);
  for (int i = 0; i < (1 << 20); ++i) {  // NUL is frequent; 26 only at the end
    const auto byte = static_cast<char>(engine() % 256);
    text += byte == '\x1a' ? '\0' : byte;
  }
  TemporaryFile file(text + "\x1a\r\nTri-mesh, Vertices: 9 Faces: 9\r\n");
  loadMeshFile(file.path(), 0, 0, 0, 0);
  expectSoundTables();
  EXPECT_EQ(meshLines[0].size(), sizeof kHeader - 3);
  EXPECT_TRUE(vertexCount == 3 && faceCount == 1);
}

}  // namespace
}  // namespace corvath
