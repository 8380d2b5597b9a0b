// Hostile mesh files: what the reader keeps of absurd counts, numbers and files, how far the
// tables may grow, and what the start-up's measuring and centring make of it.
//
// Memory bound, whatever a file says: a header is accepted only when its object fits in
// kMaxTableElements (2^22) elements per table, so the six tables together never take more than
// about 670 MB (checked below); the line buffer keeps at most 1,000,000 lines of a file; and a
// single line is as long as the file's line, so a file without line ends is one line of its
// whole size.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <fstream>
#include <limits>
#include <random>
#include <string>

#include "support/mesh_fixture.hpp"

namespace corvath {
namespace {

using testing::MeshTest;
using testing::LargeFile;
using testing::TemporaryFile;

constexpr double kInfinity = std::numeric_limits<double>::infinity();

// Every element of all six tables at the cap, in bytes.
constexpr int64_t kBytesAtTheCap =
    kMaxTableElements * static_cast<int64_t>(2 * sizeof(Vertex) + sizeof(ScreenPoint) +
                                             sizeof(Face) + 2 * sizeof(double));
static_assert(kBytesAtTheCap <= 680'000'000, "the table cap no longer bounds memory as documented");

// The tables agree in length, the counts lie within them and the line index within the buffer:
// what every later step relies on, however the file ended.
void expectSoundTables() {
  EXPECT_EQ(modelVertices.size(), workingVertices.size());
  EXPECT_EQ(screenPoints.size(), workingVertices.size());
  EXPECT_EQ(faceDepths.size(), faces.size());
  EXPECT_EQ(faceOrder.size(), faces.size());
  EXPECT_LE(static_cast<int64_t>(workingVertices.size()), kMaxTableElements);
  EXPECT_LE(static_cast<int64_t>(faces.size()), kMaxTableElements);
  EXPECT_GE(vertexCount, 0);
  EXPECT_LE(static_cast<size_t>(vertexCount), workingVertices.size());
  EXPECT_GE(faceCount, 0);
  EXPECT_LE(static_cast<size_t>(faceCount), faces.size());
  EXPECT_GE(lastLineIndex, 0);
  EXPECT_LE(lastLineIndex, kMeshLineEntries - 1);
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

using HostileCounts = MeshTest;

TEST_F(HostileCounts, HeadersAskingTooMuchOrLessThanNothingLeaveNoStorage) {
  // Each header is followed by a complete object's lines, which must all be skipped.
  std::string text;
  for (const char* counts : {"Vertices: 1000000000000 Faces: 1", "Vertices: -5 Faces: 1",
                             "Vertices: 2147483648 Faces: 1", "Vertices: 3 Faces: -5",
                             "Vertices: 3 Faces: 2147483648", "Vertices: 4194304 Faces: 1"}) {
    text += std::string("Tri-mesh, ") + counts + "\r\n";
    text += "Vertex 0: X: 1 Y: 1 Z: 1\r\nVertex 1: X: 2 Y: 1 Z: 1\r\nVertex 2: X: 1 Y: 2 Z: 1\r\n";
    text += "Face 0: A:0 B:1 C:2\r\n";
  }
  EXPECT_EQ(loadAndMeasure(text), 0);
  EXPECT_TRUE(workingVertices.empty());
  EXPECT_TRUE(faces.empty());
  EXPECT_EQ(vertexCount, 0);
  EXPECT_EQ(faceCount, 0);
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

using HostileNumbers = MeshTest;

TEST_F(HostileNumbers, VertexAndFaceNumbersFarOutsideTheirObjectAreSkipped) {
  // 3 vertices and 2 faces: tables of 4 and 3 elements, so 4 and 3 are just outside. The lists
  // open with their line 0 and close with their last line, so everything between is read.
  loadAndMeasure(
      "Tri-mesh, Vertices: 3 Faces: 2\r\n"
      "Vertex 0: X: 1 Y: 0 Z: 0\r\n"
      "Vertex 1000000000000: X: 7 Y: 7 Z: 7\r\nVertex -5: X: 7 Y: 7 Z: 7\r\n"
      "Vertex 2147483648: X: 7 Y: 7 Z: 7\r\nVertex 4: X: 7 Y: 7 Z: 7\r\n"
      "Vertex 1: X: 0 Y: 1 Z: 0\r\nVertex 2: X: 0 Y: 0 Z: 1\r\n"
      "Face 0: A:0 B:1 C:2\r\n"
      "Face 1000000000000: A:0 B:0 C:0\r\nFace -5: A:0 B:0 C:0\r\n"
      "Face 2147483648: A:0 B:0 C:0\r\nFace 3: A:0 B:0 C:0\r\n"
      "Face 1: A:2 B:1 C:0\r\n");
  expectSoundTables();
  ASSERT_EQ(workingVertices.size(), 4u);
  ASSERT_EQ(faces.size(), 3u);
  EXPECT_EQ(vertexCount, 3);
  EXPECT_EQ(faceCount, 2);
  for (const Vertex& v : workingVertices) EXPECT_NE(v.x, 7);
  EXPECT_EQ(faces[0].c, 2);
  EXPECT_EQ(faces[1].a, 2);
  EXPECT_EQ(faces[2].cornerCount, 0);  // the spare element was never written
}

TEST_F(HostileNumbers, CornersOutsideTheVerticesAreStoredForTheDrawingToGuard) {
  // The second object's base is 3: its corners 2^31 - 1 and -7 become 2^31 - 1 (the sum
  // clamps) and -4.
  loadAndMeasure(
      "Tri-mesh, Vertices: 3 Faces: 1\r\nVertex 0: X: 0 Y: 0 Z: 0\r\nVertex 1: X: 1 Y: 0 Z: 0\r\n"
      "Vertex 2: X: 0 Y: 1 Z: 0\r\nFace 0: A:0 B:1 C:2\r\n"
      "Tri-mesh, Vertices: 3 Faces: 2\r\nVertex 0: X: 0 Y: 0 Z: 0\r\nVertex 1: X: 1 Y: 0 Z: 0\r\n"
      "Vertex 2: X: 0 Y: 1 Z: 0\r\nFace 0: A:2147483647 B:-7 C:0\r\n"
      "Face 1: A:-2147483648 B:1E300 C:-1E9999\r\n");
  expectSoundTables();
  EXPECT_EQ(faceCount, 3);
  EXPECT_EQ(faces[1].a, std::numeric_limits<int32_t>::max());
  EXPECT_EQ(faces[1].b, -4);
  EXPECT_EQ(faces[1].c, 3);
  EXPECT_EQ(faces[2].a, std::numeric_limits<int32_t>::min() + 3);
  EXPECT_EQ(faces[2].b, std::numeric_limits<int32_t>::max());
  EXPECT_EQ(faces[2].c, std::numeric_limits<int32_t>::min());
  EXPECT_FALSE(faceCornersInTables(faces[1]));
  EXPECT_FALSE(faceCornersInTables(faces[2]));
  EXPECT_TRUE(faceCornersInTables(faces[0]));
}

TEST_F(HostileNumbers, OverflowingAndUnderflowingCoordinatesMeasureAndCentre) {
  TemporaryFile file(
      "Tri-mesh, Vertices: 4 Faces: 0\r\n"
      "Vertex 0: X: 1E9999 Y: -1E9999 Z: 1E-9999\r\n"
      "Vertex 1: X: 1E99999999999 Y: -1E-99999999999 Z: &HFFFFFFFFFFFF\r\n"
      "Vertex 2: X: 3 Y: 4 Z: 5\r\nVertex 3: X: -3 Y: -4 Z: -5\r\n");
  loadMeshFile(file.path(), 0, 0, 0, 0);
  EXPECT_EQ(workingVertices[0].x, kInfinity);
  EXPECT_EQ(workingVertices[0].y, -kInfinity);
  EXPECT_EQ(workingVertices[0].z, 0);
  EXPECT_EQ(workingVertices[1].x, kInfinity);  // the exponent counts as 9999
  EXPECT_EQ(workingVertices[1].y, 0);
  EXPECT_EQ(workingVertices[1].z, 281474976710655.0);
  // The extent clamps to the largest 32-bit integer. An infinite box shifts by an infinity:
  // infinite or undefined coordinates, which the drawing drops; the finite axis stays sound.
  EXPECT_EQ(meshExtent(), std::numeric_limits<int32_t>::max());
  centreMesh();
  EXPECT_TRUE(std::isnan(workingVertices[0].x));
  EXPECT_EQ(workingVertices[2].x, -kInfinity);
  EXPECT_EQ(workingVertices[2].z, 5 - (281474976710655.0 - 5) / 2);

  // The hexadecimal coordinate alone is finite but beyond 32 bits: the extent clamps too.
  testing::resetMeshState();
  EXPECT_EQ(loadAndMeasure("Tri-mesh, Vertices: 1 Faces: 0\r\nVertex 0: X: &HFFFFFFFFFFFF\r\n"),
            std::numeric_limits<int32_t>::max());
}

TEST_F(HostileNumbers, EveryVertexAtOnePointCentresToOnePoint) {
  std::string text = "Tri-mesh, Vertices: 5 Faces: 2\r\n";
  for (int i = 0; i < 5; ++i) text += "Vertex " + std::to_string(i) + ": X: 7 Y: 7 Z: 7\r\n";
  text += "Face 0: A:0 B:1 C:2\r\nFace 1: A:2 B:3 C:4\r\n";
  EXPECT_EQ(loadAndMeasure(text), 7);
  for (int i = 0; i < 5; ++i) {
    EXPECT_EQ(modelVertices[i].x, 3.5);  // the box runs from the origin to 7
    EXPECT_EQ(modelVertices[i].z, 3.5);
  }
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
  for (char& c : noise) {
    const auto byte = static_cast<char>(engine() % 256);
    c = byte == 26 ? '\0' : byte;  // NUL is frequent; 26 only where the test puts it
  }
  // A NUL is an ordinary byte: the header still finds its face count after it.
  const char kHeader[] = "Tri-mesh, Vertices: 3\0 Faces: 1\r\n";
  const std::string header(kHeader, sizeof kHeader - 1);
  TemporaryFile file(header + noise);
  loadMeshFile(file.path(), 0, 0, 0, 0);
  expectSoundTables();
  EXPECT_EQ(meshLines[0].size(), header.size() - 2);
  EXPECT_EQ(vertexCount, 3);
  EXPECT_EQ(faceCount, 1);

  // Whatever follows a byte 26 is never read.
  testing::resetMeshState();
  TemporaryFile cut(noise.substr(0, 4096) + "\x1a\r\n" + header + noise);
  loadMeshFile(cut.path(), 0, 0, 0, 0);
  expectSoundTables();
  EXPECT_TRUE(workingVertices.empty());
}

}  // namespace
}  // namespace corvath
