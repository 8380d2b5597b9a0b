// The mesh reader: the number rule, the line rules of files, objects, counts, colours and
// hostile input.
#include <gtest/gtest.h>

#include <cmath>
#include <fstream>
#include <limits>
#include <random>
#include <string>

#include "support/mesh_fixture.hpp"

namespace corvath {
namespace {

using testing::MeshTest;
using testing::parseText;
using testing::TemporaryFile;

// The smallest useful object: a right triangle in the z = 0 plane, coloured red.
const std::string kTriangleText =
    "Named Object: \"Tri\"\r\n"
    "Tri-mesh, Vertices: 3     Faces: 1\r\n"
    "Vertex 0: X: 0 Y: 0 Z: 0\r\n"
    "Vertex 1: X: 10 Y: 0 Z: 0\r\n"
    "Vertex 2: X: 0 Y: 10 Z: 0\r\n"
    "Face 0:   A:0 B:1 C:2 colore: 255\r\n";

void expectTriangleRead() {
  EXPECT_EQ(vertexCount, 3);
  EXPECT_EQ(faceCount, 1);
  ASSERT_EQ(workingVertices.size(), 4u);
  ASSERT_EQ(faces.size(), 2u);
  EXPECT_EQ(workingVertices[1].x, 10);
  EXPECT_EQ(workingVertices[2].y, 10);
  EXPECT_EQ(faces[0].cornerCount, 3);
  EXPECT_EQ(faces[0].a, 0);
  EXPECT_EQ(faces[0].b, 1);
  EXPECT_EQ(faces[0].c, 2);
  EXPECT_EQ(faces[0].red, 255);
  EXPECT_EQ(faces[0].green, 0);
  EXPECT_EQ(faces[0].blue, 0);
}

TEST(NumberRule, ReadsSignsPointsAndExponents) {
  EXPECT_EQ(readNumber("1.5"), 1.5);
  EXPECT_EQ(readNumber("-2"), -2);
  EXPECT_EQ(readNumber("+7"), 7);
  EXPECT_EQ(readNumber("3E2"), 300);
  EXPECT_EQ(readNumber("3D2"), 300);
  EXPECT_EQ(readNumber("2.5e-1"), 0.25);
  EXPECT_EQ(readNumber(" \t\n -.5"), -0.5);
  EXPECT_EQ(readNumber("5."), 5);
  EXPECT_EQ(readNumber("1.2.3"), 1.2);  // a second point ends the number
  EXPECT_EQ(readNumber("12E"), 12);     // an exponent letter without digits adds nothing
  EXPECT_EQ(readNumber("0.1"), 0.1);
  EXPECT_EQ(readNumber("4.33012723922729"), 4.33012723922729);
  EXPECT_EQ(readNumber("2.71050543121376E-19"), 2.71050543121376E-19);
  EXPECT_EQ(readNumber("123456789012345678901234567890"), 123456789012345678901234567890.0);
  EXPECT_EQ(readNumber("0.000000000000000000000000000012345"), 1.2345e-29);
}

// Plain decimal numbers of any length read as the correctly rounded value, whatever follows them
// on the line.
TEST(NumberRule, DecimalNumbersOfAnyLengthAreCorrectlyRounded) {
  std::mt19937_64 engine(77);
  const std::string followers[] = {"", " Y: 3", "x", ":", "/", "\x80\xff"};
  for (int i = 0; i < 100000; ++i) {
    std::string number = engine() % 4 == 0 ? "-" : "";
    const int wholeDigits = static_cast<int>(engine() % 22);
    const int fractionDigits = static_cast<int>(engine() % 22);
    for (int k = 0; k < wholeDigits; ++k) number += static_cast<char>('0' + engine() % 10);
    if (engine() % 3 != 0) {
      number += '.';
      for (int k = 0; k < fractionDigits; ++k) number += static_cast<char>('0' + engine() % 10);
    }
    if (engine() % 4 == 0) {
      number += 'E';
      number += std::to_string(static_cast<int>(engine() % 60) - 30);
    }
    const std::string follower = followers[engine() % std::size(followers)];
    const bool hasDigit = number.find_first_of("0123456789") < number.find('E');
    const double expected = hasDigit ? std::strtod(number.c_str(), nullptr) : 0.0;
    ASSERT_EQ(readNumber(number + follower), expected) << number + follower;
  }
}

TEST(NumberRule, TextWithoutDigitsGivesZero) {
  EXPECT_EQ(readNumber("12abc"), 12);
  EXPECT_EQ(readNumber("abc"), 0);
  EXPECT_EQ(readNumber(""), 0);
  EXPECT_EQ(readNumber("-"), 0);
  EXPECT_EQ(readNumber("."), 0);
  EXPECT_EQ(readNumber("E5"), 0);
  EXPECT_EQ(readNumber("- 5"), 0);
}

TEST(NumberRule, ExponentsClampAtNineThousandNineHundredNinetyNine) {
  EXPECT_EQ(readNumber("1E9999"), std::numeric_limits<double>::infinity());
  EXPECT_EQ(readNumber("-1E99999999999999999999"), -std::numeric_limits<double>::infinity());
  EXPECT_EQ(readNumber("1E-9999"), 0);
  // The clamp applies to the exponent alone: the digits can still bring the value back.
  EXPECT_EQ(readNumber("0.0000000001E99999"), std::numeric_limits<double>::infinity());
  EXPECT_EQ(readNumber("4.9E-324"), 4.9E-324);
}

TEST(NumberRule, AmpersandReadsIntegersInOtherBases) {
  EXPECT_EQ(readNumber("&H1F"), 31);
  EXPECT_EQ(readNumber("&hff"), 255);
  EXPECT_EQ(readNumber("&O17"), 15);
  EXPECT_EQ(readNumber("&Q17"), 15);
  EXPECT_EQ(readNumber("&B101"), 5);
  EXPECT_EQ(readNumber("&17"), 15);
  EXPECT_EQ(readNumber("&19"), 1);  // 9 is no octal digit
  EXPECT_EQ(readNumber("&HFFFFFFFFFFFF"), 281474976710655.0);
  EXPECT_EQ(readNumber("&"), 0);
  EXPECT_EQ(readNumber("-&H10"), 0);
}

TEST(Rounding, HalvesGoToTheEvenNeighbourAndLargeValuesClamp) {
  EXPECT_EQ(roundToInt32(2.5), 2);
  EXPECT_EQ(roundToInt32(3.5), 4);
  EXPECT_EQ(roundToInt32(-2.5), -2);
  EXPECT_EQ(roundToInt32(1e12), std::numeric_limits<int32_t>::max());
  EXPECT_EQ(roundToInt32(-1e12), std::numeric_limits<int32_t>::min());
  EXPECT_EQ(roundToInt32(std::numeric_limits<double>::infinity()), std::numeric_limits<int32_t>::max());
  EXPECT_EQ(roundToInt32(std::nan("")), 0);
}

using MeshReader = MeshTest;

TEST_F(MeshReader, ReadsTheSmallestObject) {
  parseText({"Tri-mesh, Vertices: 3     Faces: 1", "Vertex 0: X: 0 Y: 0 Z: 0",
             "Vertex 1: X: 10 Y: 0 Z: 0", "Vertex 2: X: 0 Y: 10 Z: 0",
             "Face 0:   A:0 B:1 C:2 colore: 255"});
  expectTriangleRead();
}

TEST_F(MeshReader, KeywordsMatchInAnyCase) {
  parseText({"tri-mesh, vertices: 3     faces: 1", "vertex 0: x: 0 y: 0 z: 0",
             "VERTEX 1: X: 10 Y: 0 Z: 0", "Vertex 2: x: 0 Y: 10 z: 0",
             "face 0:   a:0 b:1 c:2 COLORE: 255"});
  expectTriangleRead();
}

// Keywords are found by their first occurrence at any place of a long line, past near misses
// that share their first bytes.
TEST_F(MeshReader, FirstOccurrenceOfAKeywordWinsAnywhereInALongLine) {
  std::string padding;
  while (padding.size() < 48) padding += "cx ";
  for (size_t length = 0; length <= padding.size(); ++length) {
    const std::string pad = padding.substr(0, length);
    parseText({"Tri-mesh, Vertices: 3     Faces: 1", "Vertex 0: " + pad + "xx: 1 y:2 z:-3.5 Y: 9 colo",
               "Vertex 1: X: 10 Y: 0 Z: 0", "Vertex 2: X: 0 Y: 10 Z: 0",
               "Face 0:" + pad + " a:0 b:1 c:2 colore 7 Colore:258 c:1"});
    ASSERT_EQ(vertexCount, 3) << length;
    EXPECT_EQ(workingVertices[0].x, 1) << length;
    EXPECT_EQ(workingVertices[0].y, 2) << length;
    EXPECT_EQ(workingVertices[0].z, -3.5) << length;
    ASSERT_EQ(faceCount, 1) << length;
    EXPECT_EQ(faces[0].c, 2) << length;
    EXPECT_EQ(faces[0].red, 2) << length;
    EXPECT_EQ(faces[0].green, 1) << length;
    vertexCount = 0;
    faceCount = 0;
  }
}

TEST_F(MeshReader, NumbersWrittenRightAfterTheColon) {
  parseText({"Tri-mesh, Vertices: 1     Faces: 0", "Vertex 0: X:1.5 Y:-2 Z:3E2"});
  EXPECT_EQ(workingVertices[0].x, 1.5);
  EXPECT_EQ(workingVertices[0].y, -2);
  EXPECT_EQ(workingVertices[0].z, 300);
  EXPECT_EQ(vertexCount, 1);
}

TEST_F(MeshReader, ColoursSplitByQuotientAndRemainder) {
  parseText({"Tri-mesh, Vertices: 3     Faces: 4", "Face 0: A:0 B:1 C:2 colore: 65280",
             "Face 1: A:0 B:1 C:2 colore: 16711680", "Face 2: A:0 B:1 C:2 colore: -1",
             "Face 3: A:0 B:1 C:2"},
            0x123456);
  EXPECT_EQ(faces[0].green, 255);
  EXPECT_EQ(faces[0].red + faces[0].blue, 0);
  EXPECT_EQ(faces[1].blue, 255);
  EXPECT_EQ(faces[1].red + faces[1].green, 0);
  EXPECT_EQ(faces[2].red, 255);
  EXPECT_EQ(faces[2].green + faces[2].blue, 0);
  // No "colore:" takes the default colour.
  EXPECT_EQ(faces[3].red, 0x56);
  EXPECT_EQ(faces[3].green, 0x34);
  EXPECT_EQ(faces[3].blue, 0x12);
}

TEST_F(MeshReader, ObjectsAppendAndCornersBecomeAbsolute) {
  const std::initializer_list<std::string> text = {
      "Tri-mesh, Vertices: 3     Faces: 1", "Vertex 0: X: 0 Y: 0 Z: 0", "Vertex 1: X: 1 Y: 0 Z: 0",
      "Vertex 2: X: 0 Y: 1 Z: 0",           "Face 0: A:0 B:1 C:2",
      "Tri-mesh, Vertices: 4     Faces: 2", "Vertex 0: X: 5 Y: 0 Z: 0", "Vertex 1: X: 6 Y: 0 Z: 0",
      "Vertex 2: X: 6 Y: 1 Z: 0",           "Vertex 3: X: 5 Y: 1 Z: 0",
      "Face 0: A:0 B:1 C:2",                "Face 1: A:0 B:2 C:3"};
  parseText(text);
  EXPECT_EQ(vertexCount, 7);
  EXPECT_EQ(faceCount, 3);
  EXPECT_EQ(workingVertices.size(), 8u);
  EXPECT_EQ(workingVertices[3].x, 5);
  EXPECT_EQ(faces[1].a, 3);
  EXPECT_EQ(faces[2].c, 6);
  EXPECT_EQ(workingVertices[0].y, 0);  // the first object survives the second resize

  parseText(text);  // a second parse appends another copy
  EXPECT_EQ(vertexCount, 14);
  EXPECT_EQ(faceCount, 6);
  EXPECT_EQ(faces[4].a, 10);
}

TEST_F(MeshReader, VertexListEndsAtTheLastNumberWhereverItStands) {
  parseText({"Tri-mesh, Vertices: 3     Faces: 0", "Vertex 0: X: 1 Y: 0 Z: 0",
             "Vertex 2: X: 3 Y: 0 Z: 0", "Vertex 1: X: 2 Y: 0 Z: 0"});
  EXPECT_EQ(vertexCount, 3);            // vertex 2 = n - 1 ended the list...
  EXPECT_EQ(workingVertices[1].x, 0);   // ...so the later vertex 1 was skipped

  // A line beginning "Vertex 0" starts a list, again after the list ended, at the same base.
  parseText({"Tri-mesh, Vertices: 2     Faces: 0", "Vertex 1: X: 5 Y: 0 Z: 0",
             "Vertex 0: X: 6 Y: 0 Z: 0", "Vertex 1: X: 7 Y: 0 Z: 0",
             "Vertex 0: X: 8 Y: 0 Z: 0"});
  EXPECT_EQ(vertexCount, 5);
  EXPECT_EQ(workingVertices[3].x, 8);  // the last "Vertex 0" line restarted the list
  EXPECT_EQ(workingVertices[4].x, 7);
}

TEST_F(MeshReader, ListsNumberedFromOneAreNeverRead) {
  parseText({"Tri-mesh, Vertices: 2     Faces: 1", "Vertex 1: X: 1 Y: 1 Z: 1",
             "Vertex 2: X: 2 Y: 2 Z: 2", "Face 1: A:1 B:2 C:1"});
  EXPECT_EQ(vertexCount, 2);  // the announced counts over zero-filled elements
  EXPECT_EQ(faceCount, 1);
  EXPECT_EQ(workingVertices[1].x, 0);
  EXPECT_EQ(faces[0].cornerCount, 0);
}

TEST_F(MeshReader, ObjectWithoutFacesIsOverwrittenByTheNext) {
  parseText({"Tri-mesh, Vertices: 1     Faces: 0", "Vertex 0: X: 1 Y: 0 Z: 0",
             "Tri-mesh, Vertices: 1     Faces: 0", "Vertex 0: X: 2 Y: 0 Z: 0"});
  EXPECT_EQ(vertexCount, 1);
  EXPECT_EQ(workingVertices[0].x, 2);
}

TEST_F(MeshReader, HeaderWhileInFaceModeIsAlsoReadAsAFace) {
  // The second header contains "FACES:" and arrives while face mode is still on.
  parseText({"Tri-mesh, Vertices: 3     Faces: 2", "Face 0: A:0 B:1 C:2 colore: 1",
             "Tri-mesh, Vertices: 3     Faces: 1"});
  EXPECT_EQ(faceCount, 1);  // it ended the list as face 0 of the announced 1
  EXPECT_EQ(faces[0].a, 0);
  EXPECT_EQ(faces[0].red, 0);  // overwritten by the header read as a face line
}

TEST_F(MeshReader, FractionalCornersRoundTheSumWithTheBase) {
  parseText({"Tri-mesh, Vertices: 1     Faces: 1", "Vertex 0: X: 0 Y: 0 Z: 0",
             "Face 0: A:1.5 B:2.5 C:0", "Tri-mesh, Vertices: 1     Faces: 1",
             "Vertex 0: X: 0 Y: 0 Z: 0", "Face 0: A:1.5 B:0 C:0"});
  EXPECT_EQ(faces[0].a, 2);  // 1.5 -> 2
  EXPECT_EQ(faces[0].b, 2);  // 2.5 -> 2
  EXPECT_EQ(faces[1].a, 2);  // base 1 + 1.5 = 2.5 -> 2
}

TEST_F(MeshReader, LinesOutsideTheTablesAreSkipped) {
  // Before any header the tables have no storage.
  parseText({"Vertex 0: X: 1 Y: 1 Z: 1", "Face 0: A:0 B:0 C:0"});
  EXPECT_EQ(vertexCount, 0);
  EXPECT_TRUE(workingVertices.empty());

  parseText({"Tri-mesh, Vertices: 2     Faces: 1", "Vertex 0: X: 1 Y: 0 Z: 0",
             "Vertex 5: X: 9 Y: 9 Z: 9", "Vertex -7: X: 9 Y: 9 Z: 9",
             "Vertex 2: X: 3 Y: 0 Z: 0",  // the spare top element may be written
             "Vertex 1: X: 2 Y: 0 Z: 0", "Face 0: A:2147483647 B:-7 C:0",
             "Face 99999999999: A:0 B:0 C:0"});
  EXPECT_EQ(workingVertices.size(), 3u);
  EXPECT_EQ(workingVertices[2].x, 3);
  EXPECT_EQ(vertexCount, 2);
  EXPECT_EQ(faceCount, 1);
  EXPECT_EQ(faces[0].a, 2147483647);  // corners are stored unchanged; drawing guards them
  EXPECT_EQ(faces[0].b, -7);
}

TEST_F(MeshReader, ResetKeepsStorageAndTheNextHeaderResizes) {
  parseText({"Tri-mesh, Vertices: 5     Faces: 0", "Vertex 4: X: 4 Y: 0 Z: 0",
             "Vertex 0: X: 8 Y: 0 Z: 0", "Vertex 4: X: 4 Y: 0 Z: 0"});
  vertexCount = 0;
  faceCount = 0;
  parseText({"Tri-mesh, Vertices: 2     Faces: 0"});
  EXPECT_EQ(workingVertices.size(), 3u);  // shrunk to the new object's count + 1
  EXPECT_EQ(workingVertices[0].x, 8);     // surviving elements keep the old values
}

using MeshFile = MeshTest;

TEST_F(MeshFile, CarriageReturnsLineFeedsAndPairsEachEndOneLine) {
  for (const char* end : {"\r\n", "\r", "\n"}) {
    testing::resetMeshState();
    std::string text = kTriangleText;
    for (size_t at = text.find("\r\n"); at != std::string::npos; at = text.find("\r\n", at + 1)) {
      text.replace(at, 2, end);
    }
    TemporaryFile file(text);
    loadMeshFile(file.path(), 0, 0, 0, 0);
    SCOPED_TRACE(::testing::PrintToString(std::string(end)));
    EXPECT_EQ(lastLineIndex, 6);
    expectTriangleRead();
  }
}

TEST_F(MeshFile, LinesAreUpperCasedAndStrippedOfBlanksOnly) {
  TemporaryFile file("  named object: \"a\"  \r\n\ttri-mesh, vertices: 1 faces: 0\r\n"
                     "   tri-mesh, vertices: 1 faces: 0 \r\n   vertex 0: x: 5 y: 6 z: 7   ");
  loadMeshFile(file.path(), 0, 0, 0, 0);
  EXPECT_EQ(lastLineIndex, 4);  // the last line has no terminator and still counts
  EXPECT_EQ(meshLines[0], "NAMED OBJECT: \"A\"");
  EXPECT_EQ(meshLines[1], "\tTRI-MESH, VERTICES: 1 FACES: 0");  // tabs stay: not a header
  EXPECT_EQ(meshLines[2], "TRI-MESH, VERTICES: 1 FACES: 0");
  EXPECT_EQ(vertexCount, 1);
  EXPECT_EQ(workingVertices[0].z, 7);
}

TEST_F(MeshFile, ByteTwentySixEndsTheFile) {
  TemporaryFile file(kTriangleText + "\x1a" + "Tri-mesh, Vertices: 9 Faces: 9\r\n");
  loadMeshFile(file.path(), 0, 0, 0, 0);
  EXPECT_EQ(lastLineIndex, 6);
  expectTriangleRead();

  TemporaryFile cut("Tri-mesh, Vertices: 3 Faces: 1\x1a\r\nVertex 0: X: 1 Y: 1 Z: 1");
  testing::resetMeshState();
  loadMeshFile(cut.path(), 0, 0, 0, 0);
  EXPECT_EQ(lastLineIndex, 1);
  EXPECT_EQ(vertexCount, 3);
}

TEST_F(MeshFile, MissingOrEmptyFileLeavesTheMeshEmpty) {
  loadMeshFile("/nonexistent/3d.asc", 0, 0, 0, 0);
  EXPECT_EQ(lastLineIndex, 0);
  EXPECT_EQ(vertexCount, 0);
  TemporaryFile empty("");
  loadMeshFile(empty.path(), 0, 0, 0, 0);
  EXPECT_EQ(lastLineIndex, 0);
  EXPECT_EQ(faceCount, 0);
  loadMeshFile(empty.directory(), 0, 0, 0, 0);  // a directory reads as no lines
  EXPECT_EQ(lastLineIndex, 0);
}

TEST_F(MeshFile, OffsetsAreAddedToEveryCoordinate) {
  TemporaryFile file(kTriangleText);
  loadMeshFile(file.path(), 100, -20, 3, 0);
  EXPECT_EQ(workingVertices[1].x, 110);
  EXPECT_EQ(workingVertices[1].y, -20);
  EXPECT_EQ(workingVertices[2].z, 3);
}

TEST_F(MeshFile, RealWorldFilesReadTheirDeclaredCounts) {
  const char* shared = std::getenv("CORVATH_SHARED");
  const std::filesystem::path folder =
      std::filesystem::path(shared ? shared : "../shared") / "data" / "realworld";
  if (!std::filesystem::exists(folder / "tiny_3obj_crlf_pagefooter.asc")) {
    GTEST_SKIP() << "no sample files at " << folder;
  }
  struct Expected {
    const char* name;
    int32_t vertices;
    int32_t faces;
  };
  // Counts after the reader's rules; meshes separated by lights and cameras still append.
  for (const Expected& e : {Expected{"tiny_3obj_crlf_pagefooter.asc", 13, 9},
                            Expected{"cube_per_face_material.asc", 8, 12},
                            Expected{"sphere_482v_960f.asc", 482, 960},
                            Expected{"car_561v_573f_colour_materials.asc", 561, 573}}) {
    testing::resetMeshState();
    loadMeshFile((folder / e.name).string(), 0, 0, 0, 0x00FF00);
    EXPECT_EQ(vertexCount, e.vertices) << e.name;
    EXPECT_EQ(faceCount, e.faces) << e.name;
    for (int32_t f = 0; f < faceCount; ++f) {
      ASSERT_EQ(faces[f].cornerCount, 3) << e.name << " face " << f;
      ASSERT_LT(faces[f].c, vertexCount) << e.name << " face " << f;
    }
  }
}

}  // namespace
}  // namespace corvath
