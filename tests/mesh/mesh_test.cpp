// The mesh tables and the reader: objects, lists, counts, corners and colours, the files, the
// extent and centring, and hostile files. Whatever a file says, memory stays bounded: a header is
// accepted only when its object fits in kMaxTableElements (2^22) elements per table, so the six
// tables together never take more than about 670 MB (checked below); the line buffer keeps at
// most 1,000,000 lines; and a line is as long as the file's line.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <random>
#include <sstream>
#include <string>
#include <tuple>
#include <vector>

#include "support/mesh_fixture.hpp"

namespace corvath {
namespace {

using testing::LargeFile;
using testing::TemporaryFile;

// The counts, then every element of the vertex and face tables: "-" for a face never read, "!"
// before one whose corners are not all in the tables (stored as given; the drawing checks them).
std::string tables() {
  std::ostringstream out;
  out << vertexCount << ' ' << faceCount << " |";
  for (const Vertex& v : workingVertices) out << ' ' << v.x << ',' << v.y << ',' << v.z;
  out << " |";
  for (const Face& f : faces) {
    out << ' ' << (f.cornerCount != 3 ? "-" : faceCornersInTables(f) ? "" : "!");
    if (f.cornerCount == 3)
      out << f.a << ',' << f.b << ',' << f.c << '#' << packColour(f.red, f.green, f.blue);
  }
  return out.str();
}

// The tables after reading the text, from a fresh start, line by line as a writer stores them.
std::string tablesOf(const std::string& text, int32_t defaultColour = 0) {
  testing::resetMeshState();
  std::istringstream in(text);
  lastLineIndex = -1;
  for (std::string line; std::getline(in, line);) meshLines[++lastLineIndex] = line;
  parseMeshLines(0, 0, 0, defaultColour);
  return tables();
}

// The tables after loading the text from a file, from a fresh start.
std::string tablesOfFile(const std::string& text) {
  testing::resetMeshState();
  loadMeshFile(TemporaryFile(text).path(), 0, 0, 0, 0);
  return tables();
}

// The smallest useful object: a right triangle in the z = 0 plane, coloured red.
const std::string kTriangleText =
    "Named Object: \"Tri\"\r\nTri-mesh, Vertices: 3     Faces: 1\r\n"
    "Vertex 0: X: 0 Y: 0 Z: 0\r\nVertex 1: X: 10 Y: 0 Z: 0\r\nVertex 2: X: 0 Y: 10 Z: 0\r\n"
    "Face 0:   A:0 B:1 C:2 colore: 255\r\n";
const char kTriangleTables[] = "3 1 | 0,0,0 10,0,0 0,10,0 0,0,0 | 0,1,2#255 -";

// A small object, then headers the reader must refuse (counts negative or too large), each
// followed by lines that would overwrite that object were they read.
std::string refusedObjects() {
  std::string text =
      "Tri-mesh, Vertices: 1 Faces: 1\nVertex 0: X: 1 Y: 1 Z: 1\nFace 0: A:0 B:0 C:0\n";
  for (const char* counts :
       {"1000000000000 Faces: 1", "-5 Faces: 1", "-1 Faces: 1", "2147483648 Faces: 1",
        "3 Faces: -5", "3 Faces: -1", "3 Faces: 2147483648", "4194303 Faces: 1"}) {
    text += std::string("Tri-mesh, Vertices: ") + counts + "\nVertex 0: X: 9 Y: 9 Z: 9\n";
  }
  return text;
}

using MeshReader = testing::MeshTest;

// Each rule: mesh text, and the tables it leaves. A list starts at its line 0 and ends at its
// line n - 1; the counts stay as announced until then.
TEST_F(MeshReader, ObjectListsCountsAndColours) {
  const struct {
    const char* rule;
    std::string text;
    std::string tables;
    int32_t defaultColour = 0;
  } kCases[] = {
      {"keywords match in any case",
       "tri-mesh, vertices: 3     faces: 1\nvertex 0: x: 0 y: 0 z: 0\n"
       "VERTEX 1: X: 10 Y: 0 Z: 0\nVertex 2: x: 0 Y: 10 z: 0\nface 0:   a:0 b:1 c:2 COLORE: 255",
       kTriangleTables},
      {"colours split by quotient and remainder, -1 is red, 0 stays; none is 0x123456 (1193046)",
       "Tri-mesh, Vertices: 3 Faces: 5\nFace 0: A:0 B:1 C:2 colore: 65280\n"
       "Face 1: A:0 B:1 C:2 colore: 16711680\nFace 2: A:0 B:1 C:2 colore: -1\nFace 3: A:0 B:1 C:2\n"
       "Face 4: A:0 B:1 C:2 colore: 0",
       "3 5 | 0,0,0 0,0,0 0,0,0 0,0,0 | 0,1,2#65280 0,1,2#16711680 0,1,2#255 0,1,2#1193046 "
       "0,1,2#0 -",
       0x123456},
      {"objects append and their corners become absolute",
       "Tri-mesh, Vertices: 2 Faces: 1\nVertex 0: X: 1 Y: 0 Z: 0\nVertex 1: X: 2 Y: 0 Z: 0\n"
       "Face 0: A:0 B:1 C:1\nTri-mesh, Vertices: 3 Faces: 2\nVertex 0: X: 5 Y: 0 Z: 0\n"
       "Vertex 1: X: 6 Y: 0 Z: 0\nVertex 2: X: 7 Y: 0 Z: 0\nFace 0: A:0 B:1 C:2\n"
       "Face 1: A:2 B:1 C:0",
       "5 3 | 1,0,0 2,0,0 5,0,0 6,0,0 7,0,0 0,0,0 | 0,1,1#0 2,3,4#0 4,3,2#0 -"},
      {"vertex n - 1 ends the list wherever it stands",
       "Tri-mesh, Vertices: 3 Faces: 0\nVertex 0: X: 1 Y: 0 Z: 0\nVertex 2: X: 3 Y: 0 Z: 0\n"
       "Vertex 1: X: 2 Y: 0 Z: 0",
       "3 0 | 1,0,0 0,0,0 3,0,0 0,0,0 | -"},
      {"a line beginning Vertex 0 starts the list again, at the same base",
       "Tri-mesh, Vertices: 2 Faces: 0\nVertex 1: X: 5 Y: 0 Z: 0\nVertex 0: X: 6 Y: 0 Z: 0\n"
       "Vertex 1: X: 7 Y: 0 Z: 0\nVertex 0: X: 8 Y: 0 Z: 0",
       "2 0 | 8,0,0 7,0,0 0,0,0 | -"},
      {"lists numbered from one are never read",
       "Tri-mesh, Vertices: 2 Faces: 1\nVertex 1: X: 1 Y: 1 Z: 1\nVertex 2: X: 2 Y: 2 Z: 2\n"
       "Face 1: A:1 B:2 C:1",
       "2 1 | 0,0,0 0,0,0 0,0,0 | - -"},
      {"an object without faces is overwritten by the next",
       "Tri-mesh, Vertices: 1 Faces: 0\nVertex 0: X: 1 Y: 0 Z: 0\n"
       "Tri-mesh, Vertices: 1 Faces: 0\nVertex 0: X: 2 Y: 0 Z: 0",
       "1 0 | 2,0,0 0,0,0 | -"},
      {"a header in face mode is also read as face 0, which ends the list",
       "Tri-mesh, Vertices: 3 Faces: 2\nFace 0: A:0 B:1 C:2 colore: 1\n"
       "Tri-mesh, Vertices: 3 Faces: 1",
       "3 1 | 0,0,0 0,0,0 0,0,0 0,0,0 | 0,0,0#0 -"},
      {"fractional corners round the sum with the base, halves to even",
       "Tri-mesh, Vertices: 1 Faces: 1\nVertex 0: X: 0 Y: 0 Z: 0\nFace 0: A:1.5 B:2.5 C:0\n"
       "Tri-mesh, Vertices: 1 Faces: 1\nVertex 0: X: 0 Y: 0 Z: 0\nFace 0: A:1.5 B:0 C:0",
       "2 2 | 0,0,0 0,0,0 0,0,0 | !2,2,0#0 !2,1,1#0 -"},  // vertex 2 is the spare, no vertex
      {"before any header the tables have no storage",
       "Vertex 0: X: 7 Y: 7 Z: 7\nFace 0: A:0 B:0 C:0", "0 0 | |"},
      // Tables of 4 and 3 elements: vertex 4 and face 3 are just outside, the spare vertex 3 may
      // be written, and the lists close only with their last lines.
      {"vertex and face numbers outside the tables are skipped",
       "Tri-mesh, Vertices: 3 Faces: 2\nVertex 0: X: 1 Y: 0 Z: 0\n"
       "Vertex 1000000000000: X: 7 Y: 7 Z: 7\nVertex -5: X: 7 Y: 7 Z: 7\n"
       "Vertex 2147483648: X: 7 Y: 7 Z: 7\nVertex 4: X: 7 Y: 7 Z: 7\nVertex 3: X: 3 Y: 0 Z: 0\n"
       "Vertex 1: X: 0 Y: 1 Z: 0\nVertex 2: X: 0 Y: 0 Z: 1\nFace 0: A:0 B:1 C:2\n"
       "Face 1000000000000: A:0 B:0 C:0\nFace -5: A:0 B:0 C:0\nFace 2147483648: A:0 B:0 C:0\n"
       "Face 3: A:0 B:0 C:0\nFace 1: A:2 B:1 C:0",
       "3 2 | 1,0,0 0,1,0 0,0,1 3,0,0 | 0,1,2#0 2,1,0#0 -"},
      // The second object's base of 3 makes 2^31 - 1 and -7 into 2^31 - 1 (the sum clamps) and -4.
      {"corners outside the vertices are stored",
       "Tri-mesh, Vertices: 3 Faces: 1\nFace 0: A:0 B:1 C:2\nTri-mesh, Vertices: 3 Faces: 2\n"
       "Face 0: A:2147483647 B:-7 C:0\nFace 1: A:-2147483648 B:1E300 C:-1E9999",
       "3 3 | 0,0,0 0,0,0 0,0,0 0,0,0 0,0,0 0,0,0 0,0,0 | 0,1,2#0 !2147483647,-4,3#0 "
       "!-2147483645,2147483647,-2147483648#0 -"},
      {"a later header resizes the tables, shrinking them and keeping what survives",
       "Tri-mesh, Vertices: 5 Faces: 0\nVertex 0: X: 8 Y: 0 Z: 0\nTri-mesh, Vertices: 2 Faces: 0",
       "2 0 | 8,0,0 0,0,0 0,0,0 | -"},
      // The last asks, past the first object's vertex, one element more than the cap (2^22).
      {"headers asking too much or less than nothing are refused", refusedObjects(),
       "1 1 | 1,1,1 0,0,0 | 0,0,0#0 -"},
  };
  for (const auto& c : kCases) EXPECT_EQ(tablesOf(c.text, c.defaultColour), c.tables) << c.rule;
}

// Keywords are found by their first occurrence at any place of a long line, past near misses
// that share their first bytes; numbers may follow the colon directly.
TEST_F(MeshReader, FirstOccurrenceOfAKeywordWinsAnywhereInALongLine) {
  const std::string padding = "cx cx cx cx cx cx cx cx cx cx cx cx cx cx cx cx ";
  for (size_t length = 0; length <= padding.size(); ++length) {
    const std::string pad = padding.substr(0, length);
    ASSERT_EQ(tablesOf("Tri-mesh, Vertices: 3 Faces: 1\nVertex 0: " + pad +
                       "xx: 1 y:2 z:-3.5 Y: 9 colo\nVertex 1: X: 10 Y: 0 Z: 0\n" +
                       "Vertex 2: X: 0 Y: 10 Z: 0\nFace 0:" + pad +
                       " a:0 b:1 c:2 colore 7 Colore:258 c:1"),
              "3 1 | 1,2,-3.5 10,0,0 0,10,0 0,0,0 | 0,1,2#258 -")
        << length;
  }
}

using MeshFile = testing::MeshTest;

// A carriage return, a line feed or the pair ends a line; byte 26 ends the file, and a line open
// before it still counts.
TEST_F(MeshFile, LineEndsAndByteTwentySixCutTheLines) {
  const auto withEnds = [](std::string text, const std::string& end) {
    for (size_t at = 0; (at = text.find("\r\n", at)) != std::string::npos; at += end.size())
      text.replace(at, 2, end);
    return text;
  };
  const std::tuple<std::string, std::string, int32_t> kCases[] = {
      {withEnds(kTriangleText, "\r"), kTriangleTables, 6},
      {withEnds(kTriangleText, "\n"), kTriangleTables, 6},
      {kTriangleText + "\x1a" + "Tri-mesh, Vertices: 9 Faces: 9\r\n", kTriangleTables, 6},
      {"Tri-mesh, Vertices: 3 Faces: 1\x1a\r\nVertex 0: X: 1 Y: 1 Z: 1",
       "3 1 | 0,0,0 0,0,0 0,0,0 0,0,0 | - -", 1}};
  for (const auto& [text, expected, lines] : kCases) {
    EXPECT_EQ(tablesOfFile(text), expected) << ::testing::PrintToString(text);
    EXPECT_EQ(lastLineIndex, lines) << ::testing::PrintToString(text);
  }
}

TEST_F(MeshFile, LinesAreUpperCasedAndStrippedOfBlanksOnly) {
  EXPECT_EQ(tablesOfFile("  named object: \"a\"  \r\n\ttri-mesh, vertices: 1 faces: 0\r\n"
                         "   tri-mesh, vertices: 1 faces: 0 \r\n   vertex 0: x: 5 y: 6 z: 7   "),
            "1 0 | 5,6,7 0,0,0 | -");
  EXPECT_EQ(lastLineIndex, 4);  // the last line has no terminator and still counts
  EXPECT_EQ(meshLines[0], "NAMED OBJECT: \"A\"");
  EXPECT_EQ(meshLines[1], "\tTRI-MESH, VERTICES: 1 FACES: 0");  // tabs stay: not a header
  EXPECT_EQ(meshLines[2], "TRI-MESH, VERTICES: 1 FACES: 0");
}

TEST_F(MeshFile, MissingEmptyOrDirectoryFileLeavesTheMeshEmpty) {
  const TemporaryFile empty("");
  for (const std::string& path :
       {std::string("/nonexistent/3d.asc"), empty.path(), empty.directory()}) {
    loadMeshFile(path, 0, 0, 0, 0);
    EXPECT_EQ(tables() + std::to_string(lastLineIndex), "0 0 | |0") << path;
  }
}

// A second load appends after the mesh, with its own offsets added to every coordinate.
TEST_F(MeshFile, LoadsAppendWithTheirOffsetsAdded) {
  const TemporaryFile file(kTriangleText);
  loadMeshFile(file.path(), 0, 0, 0, 0);
  loadMeshFile(file.path(), 100, -20, 3, 0);
  EXPECT_EQ(
      tables(),
      "6 2 | 0,0,0 10,0,0 0,10,0 100,-20,3 110,-20,3 100,-10,3 0,0,0 | 0,1,2#255 3,4,5#255 -");
}

// Counts after the reader's rules; meshes separated by lights and cameras still append.
TEST_F(MeshFile, RealWorldFilesReadTheirDeclaredCounts) {
  const char* shared = std::getenv("CORVATH_SHARED");
  const auto folder = std::filesystem::path(shared ? shared : "../shared") / "data" / "realworld";
  if (!std::filesystem::exists(folder)) GTEST_SKIP() << "no sample files at " << folder;
  for (const char* name : {"tiny_3obj_crlf_pagefooter.asc", "cube_per_face_material.asc",
                           "sphere_482v_960f.asc", "car_561v_573f_colour_materials.asc"}) {
    loadMeshFile((folder / name).string(), 0, 0, 0, 0);  // each appends after the others
  }
  EXPECT_EQ(std::to_string(vertexCount) + " " + std::to_string(faceCount), "1064 1554");
  for (int32_t f = 0; f < faceCount; ++f) {
    ASSERT_TRUE(faces[f].cornerCount == 3 && faces[f].c < vertexCount) << "face " << f;
  }
}

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
  const std::pair<std::vector<Vertex>, int32_t> kCases[] = {
      {{{-50, -20, 0}, {-1, -3, -4}}, 0},  // negative coordinates never raise it
      {{{2.5, 0, 0}}, 2},
      {{{10, 20, 100}, {-500, 0, 0}}, 100},
      {{{1e300, 0, 0}}, INT32_MAX},            // infinite as a float: clamped
      {{{281474976710655, 0, 0}}, INT32_MAX},  // finite, but beyond 32 bits: clamped too
      {{{16777217, 0, 0}}, 16777216}};         // the running maximum is a float: 2^24 + 1 is none
  for (const auto& [vertices, extent] : kCases) {
    setVertices(vertices);
    EXPECT_EQ(meshExtent(), extent) << vertices[0].x;
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
