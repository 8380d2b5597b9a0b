// Mesh text: the number rule and the 15-digit number text, and the reader's rules for files,
// objects, counts and colours.
#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <random>
#include <sstream>
#include <string>
#include <tuple>
#include <utility>

#include "numbers/decimal_digits.hpp"
#include "support/mesh_fixture.hpp"

namespace corvath {
namespace {

using testing::MeshTest;
using testing::TemporaryFile;

// Each case is a text, "=", and the value it reads as, written for strtod.
void expectReads(std::initializer_list<std::string> cases) {
  for (const std::string& c : cases) {
    const size_t at = c.rfind('=');
    EXPECT_EQ(readNumber(c.substr(0, at)), std::strtod(c.c_str() + at + 1, nullptr)) << c;
  }
}

// A second point ends the number; an exponent letter without digits adds nothing; text without
// digits gives 0. The exponent clamps at 9999, but the digits can still bring the value back.
TEST(NumberRule, ReadsSignsPointsAndClampedExponents) {
  expectReads({"1.5=1.5", "-2=-2", "+7=7", "3E2=300", "3D2=300", "2.5e-1=0.25", " \t\n -.5=-0.5",
               "5.=5", "1.2.3=1.2", "12E=12", "0.1=0.1", "4.33012723922729=4.33012723922729",
               "2.71050543121376E-19=2.71050543121376E-19",
               "123456789012345678901234567890=123456789012345678901234567890",
               "0.000000000000000000000000000012345=1.2345e-29", "1.5E+16=1.5e16"});
  expectReads({"12abc=12", "abc=0", "=0", "-=0", ".=0", "E5=0", "- 5=0", "1E9999=inf",
               "-1E99999999999999999999=-inf", "1E-9999=0", "0.0000000001E99999=inf",
               "4.9E-324=4.9E-324"});
}

TEST(NumberRule, AmpersandReadsIntegersInOtherBases) {
  // 9 is no octal digit; a sign before the ampersand is no number.
  expectReads({"&H1F=31", "&hff=255", "&O17=15", "&Q17=15", "&B101=5", "&17=15", "&19=1",
               "&HFFFFFFFFFFFF=281474976710655", "&=0", "-&H10=0"});
}

// Plain decimal numbers of any length read as the correctly rounded value, whatever follows them
// on the line.
TEST(NumberRule, DecimalNumbersOfAnyLengthAreCorrectlyRounded) {
  std::mt19937_64 engine(77);
  const std::string followers[] = {"", " Y: 3", "x", ":", "/", "\x80\xff"};
  const auto digits = [&](std::string& number) {
    for (auto k = engine() % 22; k > 0; --k) number += static_cast<char>('0' + engine() % 10);
  };
  for (int i = 0; i < 100000; ++i) {
    std::string number = engine() % 4 == 0 ? "-" : "";
    digits(number);
    if (engine() % 3 != 0) digits(number += '.');
    if (engine() % 4 == 0) {
      number.append("E").append(std::to_string(static_cast<int>(engine() % 60) - 30));
    }
    const std::string follower = followers[engine() % std::size(followers)];
    const bool hasDigit = number.find_first_of("0123456789") < number.find('E');
    const double expected = hasDigit ? std::strtod(number.c_str(), nullptr) : 0.0;
    ASSERT_EQ(readNumber(number + follower), expected) << number + follower;
  }
}

// Each case is a value written for strtod, "=", and its text.
void expectTexts(std::initializer_list<std::string> cases) {
  for (const std::string& c : cases) {
    const size_t at = c.find('=');
    EXPECT_EQ(numberText(std::strtod(c.c_str(), nullptr)), c.substr(at + 1)) << c;
  }
}

// Integers carry a sign character, fractions no zero before the point; sixteen integer digits or
// more than sixteen decimals take the exponent form.
TEST(NumberText, SignCharacterNoLeadingZeroAndExponentPastFifteenDigits) {
  expectTexts({"10= 10", "-105=-105", "65280= 65280", "0= 0", "-0= 0", "0.5= .5", "-0.5=-.5",
               "-0.25=-.25", "12.25= 12.25", "0.1= .1", "-4.330127239227295=-4.33012723922729",
               "123456789012345= 123456789012345", "1e15= 1E+15", "1e-16= .0000000000000001",
               "1.5e-17= 1.5E-17", "1.5e16= 1.5E+16",
               "2.7105054312137611e-19= 2.71050543121376E-19"});
  EXPECT_EQ(numberText(int32_t{0}) + numberText(int32_t{12}) + numberText(INT32_MIN),
            " 0 12-2147483648");
}

// To 18 digits, 0.1 + 0.2 is .300000000000000044, 2/3 .666666666666666630 and 1.0000000000000004
// 1.00000000000000044. A carry through every digit raises the exponent. Integers are exact, so
// their digits carry a tie as it stands: 1234567890123425 (2 even: down), 1234567890123435 (3 odd:
// up), and 12345678901234251, whose 17th and 18th digits are not looked at.
TEST(NumberText, SixteenthDigitAloneDecidesTheRoundingWithTiesToEven) {
  expectTexts({"0.30000000000000004= .3", "0.66666666666666663= .666666666666667",
               "1.0000000000000004= 1", "9.9999999999999995= 10", "999999999999999.9= 1E+15",
               "4000000000000010= 4.00000000000001E+15", "1234567890123425= 1.23456789012342E+15",
               "1234567890123435= 1.23456789012344E+15",
               "12345678901234251= 1.23456789012342E+16"});
}

// The exact digits of short binary fractions must be the correctly rounded ones in every case the
// exact path takes, ties at the 18th digit included.
TEST(NumberText, ExactDigitsAgreeWithTheGeneralFormatter) {
  std::mt19937_64 engine(2026);
  int exactCount = 0;
  const auto check = [&](double magnitude) {
    char exact[kRoundedDigits], rounded[kRoundedDigits];
    int exactExponent = 0, roundedExponent = 0;
    if (!exactDecimalDigits(magnitude, exact, exactExponent)) return;
    ++exactCount;
    roundedDecimalDigits(magnitude, rounded, roundedExponent);
    ASSERT_EQ(std::string(exact, kRoundedDigits) + 'e' + std::to_string(exactExponent),
              std::string(rounded, kRoundedDigits) + 'e' + std::to_string(roundedExponent))
        << magnitude;
  };
  for (int i = 0; i < 300000; ++i) {
    // Any 32-bit float, as the scene's ring points are.
    const float single = std::bit_cast<float>(static_cast<uint32_t>(engine()) & 0x7fffffffu);
    if (std::isfinite(single) && single != 0) check(single);
    // Wide odd mantissas over few halvings: 19 or more digits, many of them exact ties.
    const uint64_t mantissa = (engine() >> 11) | 1;
    check(std::ldexp(static_cast<double>(mantissa), -static_cast<int>(engine() % 60)));
    // Values just below a power of ten, where rounding carries into a new first digit.
    check(std::nextafter(std::pow(10.0, static_cast<double>(engine() % 30) - 15), 0.0));
  }
  EXPECT_GT(exactCount, 250000);
}

TEST(Rounding, HalvesGoToTheEvenNeighbourAndLargeValuesClamp) {
  const std::pair<double, int32_t> kCases[] = {{2.5, 2},           {3.5, 4},
                                               {-2.5, -2},         {1e12, INT32_MAX},
                                               {-1e12, INT32_MIN}, {HUGE_VAL, INT32_MAX},
                                               {std::nan(""), 0}};
  for (const auto& [value, rounded] : kCases) EXPECT_EQ(roundToInt32(value), rounded) << value;
}

// The counts, then every element of the vertex and face tables: "-" for a face never read, "!"
// before one whose corners are not all in the tables (stored as given; the drawing checks them).
std::string tables() {
  std::ostringstream out;
  out << vertexCount << ' ' << faceCount << " |";
  for (const Vertex& v : workingVertices) out << ' ' << v.x << ',' << v.y << ',' << v.z;
  out << " |";
  for (const Face& f : faces) {
    out << ' ' << (f.cornerCount != 3 ? "-" : faceCornersInTables(f) ? "" : "!");
    if (f.cornerCount == 3) {
      out << f.a << ',' << f.b << ',' << f.c << '#' << packColour(f.red, f.green, f.blue);
    }
  }
  return out.str();
}

// Stores the lines of the text from entry 0, as a writer does, and parses them.
void parse(const std::string& text, int32_t defaultColour = 0) {
  std::istringstream in(text);
  lastLineIndex = -1;
  for (std::string line; std::getline(in, line);) meshLines[++lastLineIndex] = line;
  parseMeshLines(0, 0, 0, defaultColour);
}

// The smallest useful object: a right triangle in the z = 0 plane, coloured red.
const std::string kTriangleText =
    "Named Object: \"Tri\"\r\n"
    "Tri-mesh, Vertices: 3     Faces: 1\r\n"
    "Vertex 0: X: 0 Y: 0 Z: 0\r\nVertex 1: X: 10 Y: 0 Z: 0\r\nVertex 2: X: 0 Y: 10 Z: 0\r\n"
    "Face 0:   A:0 B:1 C:2 colore: 255\r\n";
const char kTriangleTables[] = "3 1 | 0,0,0 10,0,0 0,10,0 0,0,0 | 0,1,2#255 -";

using MeshReader = MeshTest;

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
  };
  for (const auto& c : kCases) {
    testing::resetMeshState();
    parse(c.text, c.defaultColour);
    EXPECT_EQ(tables(), c.tables) << c.rule;
  }
}

// Keywords are found by their first occurrence at any place of a long line, past near misses
// that share their first bytes; numbers may follow the colon directly.
TEST_F(MeshReader, FirstOccurrenceOfAKeywordWinsAnywhereInALongLine) {
  const std::string padding = "cx cx cx cx cx cx cx cx cx cx cx cx cx cx cx cx ";
  for (size_t length = 0; length <= padding.size(); ++length) {
    const std::string pad = padding.substr(0, length);
    testing::resetMeshState();
    parse("Tri-mesh, Vertices: 3 Faces: 1\nVertex 0: " + pad + "xx: 1 y:2 z:-3.5 Y: 9 colo\n" +
          "Vertex 1: X: 10 Y: 0 Z: 0\nVertex 2: X: 0 Y: 10 Z: 0\nFace 0:" + pad +
          " a:0 b:1 c:2 colore 7 Colore:258 c:1");
    ASSERT_EQ(tables(), "3 1 | 1,2,-3.5 10,0,0 0,10,0 0,0,0 | 0,1,2#258 -") << length;
  }
}

using MeshFile = MeshTest;

TEST_F(MeshFile, CarriageReturnsLineFeedsAndPairsEachEndOneLine) {
  for (const char* end : {"\r\n", "\r", "\n"}) {
    SCOPED_TRACE(::testing::PrintToString(std::string(end)));
    testing::resetMeshState();
    std::string text = kTriangleText;
    for (size_t at = 0; (at = text.find("\r\n", at)) != std::string::npos; at += strlen(end)) {
      text.replace(at, 2, end);
    }
    TemporaryFile file(text);
    loadMeshFile(file.path(), 0, 0, 0, 0);
    EXPECT_EQ(lastLineIndex, 6);
    EXPECT_EQ(tables(), kTriangleTables);
  }
}

TEST_F(MeshFile, LinesAreUpperCasedAndStrippedOfBlanksOnly) {
  TemporaryFile file(
      "  named object: \"a\"  \r\n\ttri-mesh, vertices: 1 faces: 0\r\n"
      "   tri-mesh, vertices: 1 faces: 0 \r\n   vertex 0: x: 5 y: 6 z: 7   ");
  loadMeshFile(file.path(), 0, 0, 0, 0);
  EXPECT_EQ(lastLineIndex, 4);  // the last line has no terminator and still counts
  EXPECT_EQ(meshLines[0], "NAMED OBJECT: \"A\"");
  EXPECT_EQ(meshLines[1], "\tTRI-MESH, VERTICES: 1 FACES: 0");  // tabs stay: not a header
  EXPECT_EQ(meshLines[2], "TRI-MESH, VERTICES: 1 FACES: 0");
  EXPECT_EQ(tables(), "1 0 | 5,6,7 0,0,0 | -");
}

TEST_F(MeshFile, ByteTwentySixEndsTheFileAndALineOpenBeforeItStillCounts) {
  const std::pair<std::string, int32_t> kCases[] = {
      {kTriangleText + "\x1a" + "Tri-mesh, Vertices: 9 Faces: 9\r\n", 6},
      {"Tri-mesh, Vertices: 3 Faces: 1\x1a\r\nVertex 0: X: 1 Y: 1 Z: 1", 1}};
  for (const auto& [text, lines] : kCases) {
    testing::resetMeshState();
    TemporaryFile file(text);
    loadMeshFile(file.path(), 0, 0, 0, 0);
    EXPECT_EQ(lastLineIndex, lines);
    EXPECT_EQ(vertexCount, 3);
  }
}

TEST_F(MeshFile, MissingEmptyOrDirectoryFileLeavesTheMeshEmpty) {
  TemporaryFile empty("");
  for (const std::string& path :
       {std::string("/nonexistent/3d.asc"), empty.path(), empty.directory()}) {
    loadMeshFile(path, 0, 0, 0, 0);
    EXPECT_EQ(lastLineIndex, 0) << path;
    EXPECT_TRUE(workingVertices.empty()) << path;
  }
}

// A second load appends after the mesh, with its own offsets added to every coordinate.
TEST_F(MeshFile, LoadsAppendWithTheirOffsetsAdded) {
  TemporaryFile file(kTriangleText);
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
  if (!std::filesystem::exists(folder / "tiny_3obj_crlf_pagefooter.asc")) {
    GTEST_SKIP() << "no sample files at " << folder;
  }
  for (const auto& [name, vertices, faceTotal] :
       {std::tuple{"tiny_3obj_crlf_pagefooter.asc", 13, 9},
        {"cube_per_face_material.asc", 8, 12},
        {"sphere_482v_960f.asc", 482, 960},
        {"car_561v_573f_colour_materials.asc", 561, 573}}) {
    testing::resetMeshState();
    loadMeshFile((folder / name).string(), 0, 0, 0, 0x00FF00);
    EXPECT_EQ(vertexCount, vertices) << name;
    EXPECT_EQ(faceCount, faceTotal) << name;
    for (int32_t f = 0; f < faceCount; ++f) {
      ASSERT_TRUE(faces[f].cornerCount == 3 && faces[f].c < vertexCount) << name << " face " << f;
    }
  }
}

}  // namespace
}  // namespace corvath
