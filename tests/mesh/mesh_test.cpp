// The mesh tables, reader and files, the extent and centring, and hostile files: memory stays
// bounded (2^22 elements a table, about 670 MB for the six; 1,000,000 lines of any length).
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <sstream>
#include <string>
#include <tuple>
#include <vector>

#include "support/mesh_fixture.hpp"

namespace corvath {
namespace {

using testing::LargeFile, testing::TemporaryFile;
using MeshReader = testing::MeshTest;
using MeshFile = testing::MeshTest;
using MeshExtent = testing::MeshTest;
using HostileFile = testing::MeshTest;
// The counts, vertices and faces: "-" a face never read, "!" one with corners outside the tables.
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

// Shorthand lines: "h3 2" is a header for 3 vertices and 2 faces, "v1 x y z" vertex 1 and
// "f0 a b c ..." face 0, the rest of the line following; other lines stay as written.
std::string expand(const std::string& line) {
  if (line.size() < 2 || !std::strchr("hvf", line[0]) || !std::strchr("-0123456789", line[1]))
    return line;
  std::istringstream in(line.substr(1));
  std::string n, a, b, c, rest;
  in >> n >> a >> b >> c;
  std::getline(in, rest);
  if (line[0] == 'h') return "Tri-mesh, Vertices: " + n + " Faces: " + a;
  if (line[0] == 'v') return "Vertex " + n + ": X: " + a + " Y: " + b + " Z: " + c;
  return "Face " + n + ": A:" + a + " B:" + b + " C:" + c + rest;
}

// The tables after reading the text from a fresh start, line by line as a writer stores them.
std::string tablesOf(const std::string& text, int32_t defaultColour = 0) {
  testing::resetMeshState();
  std::istringstream in(text);
  lastLineIndex = -1;
  for (std::string line; std::getline(in, line);) meshLines[++lastLineIndex] = expand(line);
  parseMeshLines(0, 0, 0, defaultColour);
  return tables();
}
std::string tablesOfFile(const std::string& text) {
  testing::resetMeshState();
  loadMeshFile(TemporaryFile(text).path(), 0, 0, 0, 0);
  return tables() + " @" + std::to_string(lastLineIndex);
}
const std::string kTriangleText =
    "Named Object: \"Tri\"\r\nTri-mesh, Vertices: 3     Faces: 1\r\n"
    "Vertex 0: X: 0 Y: 0 Z: 0\r\nVertex 1: X: 10 Y: 0 Z: 0\r\nVertex 2: X: 0 Y: 10 Z: 0\r\n"
    "Face 0:   A:0 B:1 C:2 colore: 255\r\n";
const char kTriangleTables[] = "3 1 | 0,0,0 10,0,0 0,10,0 0,0,0 | 0,1,2#255 -";

// A list starts at its line 0 and ends at its line n - 1; the counts stay as announced.
TEST_F(MeshReader, ObjectListsCountsAndColours) {
  const struct {
    std::string text, tables;
    int32_t defaultColour = 0;
  } kCases[] = {
      {"tri-mesh, vertices: 3     faces: 1\nvertex 0: x: 0 y: 0 z: 0\nVERTEX 1: X: 10 Y: 0 Z: 0\n"
       "Vertex 2: x: 0 Y: 10 z: 0\nface 0:   a:0 b:1 c:2 COLORE: 255",
       kTriangleTables},  // cases
      // Colours split by quotient and remainder; -1 is red, 0 stays, none is the default.
      {"h3 5\nf0 0 1 2 colore: 65280\nf1 0 1 2 colore: 16711680\nf2 0 1 2 colore: -1\nf3 0 1 2\n"
       "f4 0 1 2 colore: 0",
       "3 5 | 0,0,0 0,0,0 0,0,0 0,0,0 | 0,1,2#65280 0,1,2#16711680 "
       "0,1,2#255 0,1,2#1193046 0,1,2#0 -",
       0x123456},
      {"h2 1\nv0 1 0 0\nv1 2 0 0\nf0 0 1 1\nh3 2\nv0 5 0 0\nv1 6 0 0\nv2 7 0 0\nf0 0 1 2\nf1 2 1 0",
       "5 3 | 1,0,0 2,0,0 5,0,0 6,0,0 7,0,0 0,0,0 | 0,1,1#0 2,3,4#0 4,3,2#0 -"},    // append
      {"h3 0\nv0 1 0 0\nv2 3 0 0\nv1 2 0 0", "3 0 | 1,0,0 0,0,0 3,0,0 0,0,0 | -"},  // n - 1 ends
      {"h2 0\nv1 5 0 0\nv0 6 0 0\nv1 7 0 0\nv0 8 0 0", "2 0 | 8,0,0 7,0,0 0,0,0 | -"},  // restart
      {"h2 1\nv1 1 1 1\nv2 2 2 2\nf1 1 2 1", "2 1 | 0,0,0 0,0,0 0,0,0 | - -"},  // from one: unread
      {"h1 0\nv0 1 0 0\nh1 0\nv0 2 0 0", "1 0 | 2,0,0 0,0,0 | -"},  // no faces: overwritten
      {"h3 2\nf0 0 1 2 colore: 1\nh3 1", "3 1 | 0,0,0 0,0,0 0,0,0 0,0,0 | 0,0,0#0 -"},  // as face 0
      // Fractional corners round with the base, halves to even (vertex 2 is the spare).
      {"h1 1\nv0 0 0 0\nf0 1.5 2.5 0\nh1 1\nv0 0 0 0\nf0 1.5 0 0",
       "2 2 | 0,0,0 0,0,0 0,0,0 | !2,2,0#0 !2,1,1#0 -"},
      {"v0 7 7 7\nf0 0 0 0", "0 0 | |"},  // no storage before a header
      // Numbers outside the tables are skipped (vertex 4, face 3); the spare vertex 3 is written.
      {"h3 2\nv0 1 0 0\nv1000000000000 7 7 7\nv-5 7 7 7\nv2147483648 7 7 7\nv4 7 7 7\nv3 3 0 0\n"
       "v1 0 1 0\nv2 0 0 1\nf0 0 1 2\nf1000000000000 0 0 0\nf-5 0 0 0\nf2147483648 0 0 0\n"
       "f3 0 0 0\nf1 2 1 0",
       "3 2 | 1,0,0 0,1,0 0,0,1 3,0,0 | 0,1,2#0 2,1,0#0 -"},
      // Corners outside are stored: with the base 3, 2^31 - 1 clamps and -7 is -4.
      {"h3 1\nf0 0 1 2\nh3 2\nf0 2147483647 -7 0\nf1 -2147483648 1E300 -1E9999",
       "3 3 | 0,0,0 "
       "0,0,0 0,0,0 0,0,0 0,0,0 0,0,0 0,0,0 | 0,1,2#0 !2147483647,-4,3#0 "
       "!-2147483645,2147483647,-2147483648#0 -"},
      {"h5 0\nv0 8 0 0\nh2 0", "2 0 | 8,0,0 0,0,0 0,0,0 | -"},  // shrinks, keeping what survives
      // Refused headers (too much, less than nothing), each followed by a vertex that would
      // overwrite; the last asks, past the first object's vertex, one element over the cap.
      {"h1 1\nv0 1 1 1\nf0 0 0 0\nh1000000000000 1\nv0 9 9 9\nh-5 1\nv0 9 9 9\nh-1 1\nv0 9 9 9\n"
       "h2147483648 1\nv0 9 9 9\nh3 -5\nv0 9 9 9\nh3 -1\nv0 9 9 9\nh3 2147483648\nv0 9 9 9\n"
       "h4194303 1\nv0 9 9 9",
       "1 1 | 1,1,1 0,0,0 | 0,0,0#0 -"},
  };
  for (const auto& c : kCases) EXPECT_EQ(tablesOf(c.text, c.defaultColour), c.tables) << c.text;
}

// The first occurrence anywhere in a long line wins, past near misses sharing the first bytes.
TEST_F(MeshReader, FirstOccurrenceOfAKeywordWinsAnywhereInALongLine) {
  const std::string padding = "cx cx cx cx cx cx cx cx cx cx cx cx cx cx cx cx ";
  for (size_t length = 0; length <= padding.size(); ++length) {
    const std::string pad = padding.substr(0, length);
    ASSERT_EQ(tablesOf("Tri-mesh, Vertices: 3 Faces: 1\nVertex 0: " + pad +
                       "xx: 1 y:2 z:-3.5 Y: 9 colo\nv1 10 0 0\nv2 0 10 0\nFace 0:" + pad +
                       " a:0 b:1 c:2 colore 7 Colore:258 c:1"),
              "3 1 | 1,2,-3.5 10,0,0 0,10,0 0,0,0 | 0,1,2#258 -")
        << length;
  }
}

// CR, LF or the pair ends a line; byte 26 ends the file, and a line open before it still counts.
// NUL is an ordinary byte: the header still finds its face count.
TEST_F(MeshFile, LineEndsAndByteTwentySixCutTheLines) {
  std::string crOnly = kTriangleText, lfOnly = kTriangleText,
              unread = "3 1 | 0,0,0 0,0,0 0,0,0 0,0,0 | - -";
  std::erase(crOnly, '\n'), std::erase(lfOnly, '\r');
  const std::tuple<std::string, std::string, int32_t> kCases[] = {
      {crOnly, kTriangleTables, 6},
      {lfOnly, kTriangleTables, 6},
      {kTriangleText + "\x1a" + "Tri-mesh, Vertices: 9 Faces: 9\r\n", kTriangleTables, 6},
      {"Tri-mesh, Vertices: 3 Faces: 1\x1a\r\nVertex 0: X: 1 Y: 1 Z: 1", unread, 1},
      {std::string("Tri-mesh, Vertices: 3\0 Faces: 1\r\n\0\x80\xff\x1a\r\n", 39), unread, 2}};
  for (const auto& [text, expected, lines] : kCases)
    EXPECT_EQ(tablesOfFile(text), expected + " @" + std::to_string(lines)) << text;
}

// Tabs stay (no header then); the last line has no terminator and still counts.
TEST_F(MeshFile, LinesAreUpperCasedAndStrippedOfBlanksOnly) {
  EXPECT_EQ(tablesOfFile("  named object: \"a\"  \r\n\ttri-mesh, vertices: 1 faces: 0\r\n"
                         "   tri-mesh, vertices: 1 faces: 0 \r\n   vertex 0: x: 5 y: 6 z: 7   "),
            "1 0 | 5,6,7 0,0,0 | - @4");
  EXPECT_TRUE(meshLines[0] == "NAMED OBJECT: \"A\"" && meshLines[2] == &meshLines[1][1]);
  EXPECT_EQ(meshLines[1], "\tTRI-MESH, VERTICES: 1 FACES: 0");
}

TEST_F(MeshFile, MissingEmptyOrDirectoryFileLeavesTheMeshEmpty) {
  const TemporaryFile empty("");
  for (const std::string& path :
       {std::string("/nonexistent/3d.asc"), empty.path(), empty.directory()}) {
    loadMeshFile(path, 0, 0, 0, 0);
    EXPECT_EQ(tables() + std::to_string(lastLineIndex), "0 0 | |0") << path;
  }
}

TEST_F(MeshFile, LoadsAppendWithTheirOffsetsAdded) {
  const TemporaryFile file(kTriangleText);
  loadMeshFile(file.path(), 0, 0, 0, 0);
  loadMeshFile(file.path(), 100, -20, 3, 0);
  EXPECT_EQ(tables(),
            "6 2 | 0,0,0 10,0,0 0,10,0 100,-20,3 110,-20,3 100,-10,3 0,0,0 | "
            "0,1,2#255 3,4,5#255 -");
}

static_assert(kMaxTableElements *
                  (2 * sizeof(Vertex) + sizeof(ScreenPoint) + sizeof(Face) + 2 * sizeof(double)) <=
              680'000'000);

// What later steps rely on: tables of one length, counts within them, lines within the buffer.
void expectSoundTables() {
  const size_t vertices = workingVertices.size(), faceSlots = faces.size();
  EXPECT_TRUE(modelVertices.size() == vertices && screenPoints.size() == vertices &&
              faceDepths.size() == faceSlots && faceOrder.size() == faceSlots);
  EXPECT_TRUE(int64_t(std::max(vertices, faceSlots)) <= kMaxTableElements && vertexCount >= 0 &&
              size_t(vertexCount) <= vertices && faceCount >= 0 && size_t(faceCount) <= faceSlots &&
              lastLineIndex >= 0 && lastLineIndex < kMeshLineEntries)
      << lastLineIndex;
}

void setVertices(const std::vector<Vertex>& vertices) {
  resizeMeshTables(static_cast<int64_t>(vertices.size()) + 1, 1);
  std::copy(vertices.begin(), vertices.end(), workingVertices.begin());
  vertexCount = static_cast<int32_t>(vertices.size());
}
std::vector<double> coordinates(const Table<Vertex>& table, size_t count) {
  std::vector<double> all;
  for (size_t i = 0; i < count; ++i) all.insert(all.end(), {table[i].x, table[i].y, table[i].z});
  return all;
}

// Rounded as roundToInt32 does; the running maximum is a float (2^24 + 1 is none, 1e300 infinite).
TEST_F(MeshExtent, LargestSignedCoordinateOfAnyAxis) {
  EXPECT_EQ(meshExtent(), 0);  // tables without storage
  const std::pair<std::vector<Vertex>, int32_t> kCases[] = {
      {{{-50, -20, 0}, {-1, -3, -4}}, 0},     {{{2.5, 0, 0}}, 2},
      {{{10, 20, 100}, {-500, 0, 0}}, 100},   {{{1e300, 0, 0}}, INT32_MAX},
      {{{281474976710655, 0, 0}}, INT32_MAX}, {{{16777217, 0, 0}}, 16777216}};
  for (const auto& [vertices, extent] : kCases)
    EXPECT_EQ((setVertices(vertices), meshExtent()), extent) << vertices[0].x;
}

// The box holding the origin: x -30 .. 10, y 0 .. 25, z -4 .. 0; both steps skip the spare.
TEST_F(MeshExtent, CentringShiftsTheBoxThatContainsTheOrigin) {
  setVertices({{-30, 5, -4}, {10, 25, -2}});
  centreMesh();
  workingVertices[2] = {7, 8, 9};
  commitVertices();
  EXPECT_EQ(coordinates(modelVertices, 3),
            (std::vector<double>{-20, -7.5, -2, 20, 12.5, 0, 0, 0, 0}));
  setVertices({{8, -6, 0}});
  workingVertices[1] = {7, 8, 9};
  centreMesh();
  EXPECT_EQ(coordinates(workingVertices, 2), (std::vector<double>{4, -3, 0, 7, 8, 9}));
}

// The largest object accepted (2^22 - 1 vertices and the spare); a later one past the cap is not.
TEST_F(HostileFile, TablesGrowToTheCapAndNoFurther) {
  for (const char* text : {"Tri-mesh, Vertices: 4194303 Faces: 0\r\nVertex 0: X: 5 Y: 0 Z: 0\r\n",
                           "Tri-mesh, Vertices: 1 Faces: 1\r\nVertex 0: X: 9 Y: 9 Z: 9\r\n"}) {
    loadMeshFile(TemporaryFile(text).path(), 0, 0, 0, 0);
    EXPECT_TRUE(int64_t(workingVertices.size()) == kMaxTableElements && faces.size() == 1u &&
                vertexCount == 4194303);  // the list never ended
    expectSoundTables();
  }
  releaseMeshTables();  // later tests should not carry hundreds of megabytes
}

// A header whose face count has 100 MB of leading zeros, without a line end.
TEST_F(HostileFile, LineOfOneHundredMegabytesWithoutALineEnd) {
  constexpr size_t kZeros = size_t{100} << 20;
  LargeFile file;
  file.append("Tri-mesh, Vertices: 2 Faces: "), file.appendRepeated('0', kZeros);
  file.append("1 x: 1 vertex 0"), file.close();
  loadMeshFile(file.path(), 0, 0, 0, 0);
  expectSoundTables();
  EXPECT_TRUE(lastLineIndex == 1 && vertexCount == 2 && faceCount == 1);
  EXPECT_EQ(meshLines[0].size(), 29 + kZeros + 15);
  MeshText().swap(meshLines[0]);
}

// The list's end and the face lie past the million lines kept: vertex 999998 is the last read.
TEST_F(HostileFile, TwoMillionShortLinesKeepTheFirstMillion) {
  LargeFile file;
  testing::writeTwoMillionLines(file);
  loadMeshFile(file.path(), 0, 0, 0, 0);
  expectSoundTables();
  EXPECT_TRUE(lastLineIndex == 1000000 && vertexCount == 1999999);
  EXPECT_EQ(std::vector<double>({workingVertices[998].x, workingVertices[999998].x,
                                 workingVertices[999999].x, double(faces[0].cornerCount)}),
            std::vector<double>({998, 998, 0, 0}));
  releaseMeshTables();
}

}  // namespace
}  // namespace corvath
