// Measuring and centring a mesh, and hostile mesh files. Whatever a file says, memory stays
// bounded: a header is accepted only when its object fits in kMaxTableElements (2^22) elements per
// table, so the six tables together never take more than about 670 MB (checked below); the line
// buffer keeps at most 1,000,000 lines; and a line is as long as the file's line.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <limits>
#include <random>
#include <string>
#include <vector>

#include "support/mesh_fixture.hpp"

namespace corvath {
namespace {

using testing::LargeFile;
using testing::MeshTest;
using testing::TemporaryFile;

// Every element of all six tables at the cap, in bytes.
constexpr int64_t kBytesAtTheCap =
    kMaxTableElements * static_cast<int64_t>(2 * sizeof(Vertex) + sizeof(ScreenPoint) +
                                             sizeof(Face) + 2 * sizeof(double));
static_assert(kBytesAtTheCap <= 680'000'000, "the table cap no longer bounds memory as documented");

// The tables agree in length, the counts lie within them and the line index within the buffer:
// what every later step relies on, however the file ended.
void expectSoundTables() {
  EXPECT_TRUE(modelVertices.size() == workingVertices.size() &&
              screenPoints.size() == workingVertices.size());
  EXPECT_TRUE(faceDepths.size() == faces.size() && faceOrder.size() == faces.size());
  EXPECT_LE(static_cast<int64_t>(std::max(workingVertices.size(), faces.size())),
            kMaxTableElements);
  EXPECT_TRUE(vertexCount >= 0 && static_cast<size_t>(vertexCount) <= workingVertices.size() &&
              faceCount >= 0 && static_cast<size_t>(faceCount) <= faces.size());
  EXPECT_TRUE(lastLineIndex >= 0 && lastLineIndex < kMeshLineEntries) << lastLineIndex;
}

// Loads the text from a file as start-up does and runs its measuring and preparation.
int32_t loadAndMeasure(const std::string& text) {
  TemporaryFile file(text);
  loadMeshFile(file.path(), 0, 0, 0, 0x336699);
  expectSoundTables();
  const int32_t extent = meshExtent();
  centreMesh();
  commitVertices();
  return extent;
}

using MeshExtent = MeshTest;

void setVertices(const std::vector<Vertex>& vertices) {
  resizeMeshTables(static_cast<int64_t>(vertices.size()) + 1, 1);
  std::copy(vertices.begin(), vertices.end(), workingVertices.begin());
  vertexCount = static_cast<int32_t>(vertices.size());
}

std::array<double, 3> working(int32_t i) {
  return {workingVertices[i].x, workingVertices[i].y, workingVertices[i].z};
}

TEST_F(MeshExtent, LargestSignedCoordinateOfAnyAxisRoundedHalfToEven) {
  EXPECT_EQ(meshExtent(), 0);  // empty mesh, tables without storage
  const struct {
    std::vector<Vertex> vertices;
    int32_t extent;
  } kCases[] = {
      {{{-50, -20, 0}, {-1, -3, -4}}, 0},  // negative coordinates never raise it
      {{{0.4, 0, 0}}, 0},
      {{{2.5, 0, 0}}, 2},
      {{{3.5, 0, 0}}, 4},
      {{{10, 20, 100}, {-500, 0, 0}}, 100},
      {{{1e300, 0, 0}}, 2147483647},  // beyond the 32-bit range, infinite as a float: clamped
      {{{281474976710655, 0, 0}}, 2147483647},  // finite, but beyond 32 bits: clamped too
      {{{16777217, 0, 0}}, 16777216},           // the running maximum is a float: 2^24 + 1 is none
  };
  for (const auto& c : kCases) {
    setVertices(c.vertices);
    EXPECT_EQ(meshExtent(), c.extent) << c.vertices[0].x;
  }
}

TEST_F(MeshExtent, CentringShiftsTheBoxThatContainsTheOriginAndTheCommitCopiesOnlyTheMesh) {
  // x runs -30 .. 10, y 0 .. 25 and z -4 .. 0 once the origin is in the box.
  setVertices({{-30, 5, -4}, {10, 25, -2}});
  centreMesh();
  EXPECT_EQ(working(0), (std::array<double, 3>{-20, -7.5, -2}));
  EXPECT_EQ(working(1), (std::array<double, 3>{20, 12.5, 0}));
  workingVertices[2] = {7, 8, 9};
  commitVertices();
  EXPECT_EQ(modelVertices[1].x, 20);
  EXPECT_EQ(modelVertices[2].x, 0);  // the spare element is no part of the mesh
  setVertices({{8, -6, 0}});
  centreMesh();
  EXPECT_EQ(working(0), (std::array<double, 3>{4, -3, 0}));
}

TEST_F(MeshExtent, OverflowingAndUnderflowingCoordinatesMeasureAndCentre) {
  TemporaryFile file(
      "Tri-mesh, Vertices: 4 Faces: 0\r\n"
      "Vertex 0: X: 1E9999 Y: -1E9999 Z: 1E-9999\r\n"
      "Vertex 1: X: 1E99999999999 Y: -1E-99999999999 Z: &HFFFFFFFFFFFF\r\n"
      "Vertex 2: X: 3 Y: 4 Z: 5\r\nVertex 3: X: -3 Y: -4 Z: -5\r\n");
  loadMeshFile(file.path(), 0, 0, 0, 0);
  // The extent clamps to the largest 32-bit integer. An infinite box shifts by an infinity:
  // infinite or undefined coordinates, which the drawing drops; the finite axis stays sound.
  EXPECT_EQ(meshExtent(), std::numeric_limits<int32_t>::max());
  centreMesh();
  EXPECT_TRUE(std::isnan(workingVertices[0].x));
  EXPECT_EQ(workingVertices[2].x, -HUGE_VAL);
  EXPECT_EQ(workingVertices[2].z, 5 - (281474976710655.0 - 5) / 2);
}

using HostileCounts = MeshTest;

TEST_F(HostileCounts, HeadersAskingTooMuchOrLessThanNothingLeaveNoStorage) {
  // Each header is followed by a complete object's lines, which must all be skipped.
  std::string text;
  for (const char* counts : {"Vertices: 1000000000000 Faces: 1", "Vertices: -5 Faces: 1",
                             "Vertices: -1 Faces: 1", "Vertices: 2147483648 Faces: 1",
                             "Vertices: 3 Faces: -5", "Vertices: 3 Faces: -1",
                             "Vertices: 3 Faces: 2147483648", "Vertices: 4194304 Faces: 1"}) {
    text += std::string("Tri-mesh, ") + counts + "\r\n";
    text += "Vertex 0: X: 1 Y: 1 Z: 1\r\nVertex 1: X: 2 Y: 1 Z: 1\r\nVertex 2: X: 1 Y: 2 Z: 1\r\n";
    text += "Face 0: A:0 B:1 C:2\r\n";
  }
  EXPECT_EQ(loadAndMeasure(text), 0);
  EXPECT_TRUE(workingVertices.empty() && faces.empty() && vertexCount == 0 && faceCount == 0);
}

TEST_F(HostileCounts, TablesGrowToTheCapAndNoFurther) {
  // The largest object accepted: 2^22 - 1 vertices and the spare element.
  loadAndMeasure("Tri-mesh, Vertices: 4194303 Faces: 0\r\nVertex 0: X: 5 Y: 0 Z: 0\r\n");
  EXPECT_EQ(static_cast<int64_t>(workingVertices.size()), kMaxTableElements);
  EXPECT_EQ(vertexCount, 4194303);  // the list never reached its last line

  // A later load appends after it, and one vertex more is past the cap: not accepted.
  TemporaryFile more("Tri-mesh, Vertices: 1 Faces: 1\r\nVertex 0: X: 9 Y: 9 Z: 9\r\n");
  loadMeshFile(more.path(), 0, 0, 0, 0);
  EXPECT_EQ(static_cast<int64_t>(workingVertices.size()), kMaxTableElements);
  EXPECT_EQ(vertexCount, 4194303);
  EXPECT_EQ(faces.size(), 1u);
  expectSoundTables();
  releaseMeshTables();  // later tests should not carry hundreds of megabytes
}

using HostileFile = MeshTest;

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
  EXPECT_EQ(vertexCount, 2);
  EXPECT_EQ(faceCount, 1);
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
  EXPECT_EQ(workingVertices[998].x, 998);
  EXPECT_EQ(workingVertices[999998].x, 998);  // the last vertex line read
  EXPECT_EQ(workingVertices[999999].x, 0);
  EXPECT_EQ(faces[0].cornerCount, 0);
  releaseMeshTables();  // later tests should not carry hundreds of megabytes
}

TEST_F(HostileFile, BinaryNoiseWithNulAndEndOfFileBytes) {
  std::mt19937 engine(26);
  std::string noise(1 << 20, '\0');
  for (char& c : noise) c = static_cast<char>(engine() % 256);
  std::replace(noise.begin(), noise.end(), '\x1a', '\0');  // NUL is frequent; 26 only at the end
  // A NUL is an ordinary byte: the header still finds its face count after it. Whatever follows
  // a byte 26 is never read.
  const char kHeader[] = "Tri-mesh, Vertices: 3\0 Faces: 1\r\n";
  const std::string header(kHeader, sizeof kHeader - 1);
  TemporaryFile file(header + noise + "\x1a\r\nTri-mesh, Vertices: 9 Faces: 9\r\n");
  loadMeshFile(file.path(), 0, 0, 0, 0);
  expectSoundTables();
  EXPECT_EQ(meshLines[0].size(), header.size() - 2);
  EXPECT_EQ(vertexCount, 3);
  EXPECT_EQ(faceCount, 1);
}

}  // namespace
}  // namespace corvath
