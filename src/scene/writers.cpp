// The primitive writers: triangle, parallelogram, box and pyramid composed as mesh text in the
// line buffer and appended to the mesh by the reader.
#include <bit>
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>

#include "mesh/mesh.hpp"
#include "scene/scene.hpp"

namespace corvath {

namespace {

constexpr std::string_view kTriangleName = "Named Object: \"Triangolo\"";
constexpr std::string_view kRectangleName = "Named Object: \"Rettangolo\"";
constexpr std::string_view kBoxName = "Named Object: \"Parallelepipedo\"";
constexpr std::string_view kPyramidName = "Named Object: \"Piramide\"";

constexpr std::string_view kTriangleHeader = "Tri-mesh, Vertices: 3     Faces:";
constexpr std::string_view kRectangleHeader = "Tri-mesh, Vertices: 4     Faces:";
constexpr std::string_view kBoxHeader = "Tri-mesh, Vertices: 8     Faces:";
constexpr std::string_view kPyramidHeader = "Tri-mesh, Vertices: 5     Faces:";

constexpr std::string_view kTriangleFaces[] = {
    "Face 0:   A:0 B:1 C:2 colore:",
    "Face 1:   A:2 B:1 C:0 colore:",
};

constexpr std::string_view kRectangleFaces[] = {
    "Face 0:   A:0 B:1 C:2 colore:",
    "Face 1:   A:2 B:1 C:0 colore:",
    "Face 2:   A:0 B:2 C:3 colore:",
    "Face 3:   A:0 B:3 C:2 colore:",
};

constexpr std::string_view kBoxFaces[] = {
    "Face 0:   A:1 B:0 C:3 colore:", "Face 1:   A:2 B:1 C:3 colore:",
    "Face 2:   A:5 B:1 C:2 colore:", "Face 3:   A:4 B:5 C:2 colore:",
    "Face 4:   A:5 B:4 C:7 colore:", "Face 5:   A:5 B:7 C:6 colore:",
    "Face 6:   A:6 B:3 C:0 colore:", "Face 7:   A:6 B:7 C:3 colore:",
    "Face 8:   A:0 B:1 C:6 colore:", "Face 9:   A:1 B:5 C:6 colore:",
    "Face 10:  A:3 B:7 C:2 colore:", "Face 11:  A:4 B:2 C:7 colore:",
};

constexpr std::string_view kPyramidFaces[] = {
    "Face 0:   A:1 B:0 C:2 colore:", "Face 1:   A:2 B:0 C:3 colore:",
    "Face 2:   A:1 B:2 C:4 colore:", "Face 3:   A:2 B:3 C:4 colore:",
    "Face 4:   A:3 B:0 C:4 colore:", "Face 5:   A:0 B:1 C:4 colore:",
};

// A line composed on the stack and stored in one assignment into the existing entry, whose
// storage is reused from call to call: a scene writes thousands of objects and none of them
// should allocate per line.
class LineText {
 public:
  LineText& put(std::string_view part) {
    std::memcpy(text_ + length_, part.data(), part.size());
    length_ += part.size();
    return *this;
  }
  LineText& putNumber(double value);
  void store(int32_t index) const {
    if (meshLines.empty()) createMeshLines();
    meshLines[static_cast<size_t>(index)].assign(text_, length_);
  }

 private:
  char text_[192];  // the longest line: a vertex line of three 25-byte numbers
  size_t length_ = 0;
};

// The number texts written last, by value. A cell's ring points are written six times each (two
// corners of a cylinder wall twice, and again in the cone on the same ring), and their text is
// the costly part of a line.
struct CachedNumberText {
  uint64_t bits = 0;
  uint8_t length = 0;  // 0 while the entry is empty: every number text has a sign and a digit
  char text[23] = {};
};
CachedNumberText numberTextCache[256];

LineText& LineText::putNumber(double value) {
  const auto bits = std::bit_cast<uint64_t>(value);
  CachedNumberText& entry = numberTextCache[(bits * 0x9E3779B97F4A7C15u) >> 56];
  if (entry.length == 0 || entry.bits != bits) {
    char text[32];
    const size_t length = writeNumberText(text, value);
    if (length > sizeof entry.text) {
      std::memcpy(text_ + length_, text, length);
      length_ += length;
      return *this;
    }
    entry.bits = bits;
    entry.length = static_cast<uint8_t>(length);
    std::memcpy(entry.text, text, length);
  }
  std::memcpy(text_ + length_, entry.text, sizeof entry.text);
  length_ += entry.length;
  return *this;
}

// Lines 0 and 1: the object's name and its header; returns the index of the next line.
int32_t storeHead(std::string_view nameLine, std::string_view header, int32_t faceTotal) {
  LineText().put(nameLine).store(0);
  LineText().put(header).putNumber(faceTotal).store(1);
  return 2;
}

void storeVertexLine(int32_t line, int32_t vertex, double x, double y, double z) {
  LineText()
      .put("Vertex")
      .putNumber(vertex)
      .put(": X:")
      .putNumber(x)
      .put(" Y:")
      .putNumber(y)
      .put(" Z:")
      .putNumber(z)
      .store(line);
}

void storeFaceLine(int32_t line, std::string_view literal, int32_t colour) {
  LineText().put(literal).putNumber(colour).store(line);
}

// The corner opposite `middle` in the parallelogram through first, middle, last: (last + first)
// − middle, with the extended intermediate of the arithmetic and the result kept as a double.
double oppositeCorner(double last, double first, double middle) {
  return static_cast<double>((static_cast<long double>(last) + first) - middle);
}

void readBack(int32_t lastLine, int32_t defaultColour) {
  lastLineIndex = lastLine;
  parseMeshLines(0, 0, 0, defaultColour);
}

}  // namespace

void writeTriangle(const Point3 points[3], int32_t frontColour, int32_t backColour) {
  int32_t line = storeHead(kTriangleName, kTriangleHeader, 2);
  for (int32_t i = 0; i < 3; ++i) {
    storeVertexLine(line++, i, points[i].x, points[i].y, points[i].z);
  }
  storeFaceLine(line++, kTriangleFaces[0], frontColour);
  storeFaceLine(line, kTriangleFaces[1], backColour);
  readBack(line, frontColour);
}

void writeRectangle(const Point3 points[3], int32_t frontColour, int32_t backColour) {
  double x[4];
  double y[4];
  double z[4];
  for (int32_t i = 0; i < 3; ++i) {
    x[i] = points[i].x;
    y[i] = points[i].y;
    z[i] = points[i].z;
  }
  x[3] = oppositeCorner(x[2], x[0], x[1]);
  y[3] = oppositeCorner(y[2], y[0], y[1]);
  z[3] = oppositeCorner(z[2], z[0], z[1]);

  int32_t line = storeHead(kRectangleName, kRectangleHeader, 4);
  for (int32_t i = 0; i < 4; ++i) storeVertexLine(line++, i, x[i], y[i], z[i]);
  storeFaceLine(line++, kRectangleFaces[0], frontColour);
  storeFaceLine(line++, kRectangleFaces[1], backColour);
  storeFaceLine(line++, kRectangleFaces[2], frontColour);
  storeFaceLine(line, kRectangleFaces[3], backColour);
  readBack(line, frontColour);
}

void writeBox(const Point3 points[4], int32_t colour) {
  double x[8];
  double y[8];
  double z[8];
  for (int32_t i = 0; i < 3; ++i) {
    x[i] = points[i].x;
    y[i] = points[i].y;
    z[i] = points[i].z;
  }
  x[4] = points[3].x;
  y[4] = points[3].y;
  z[4] = points[3].z;
  // Each corner depends on the ones before it, so the order of these statements is fixed.
  x[3] = oppositeCorner(x[2], x[0], x[1]);
  y[3] = oppositeCorner(y[2], y[0], y[1]);
  z[3] = oppositeCorner(z[2], z[0], z[1]);
  x[5] = oppositeCorner(x[1], x[4], x[2]);
  y[5] = oppositeCorner(y[1], y[4], y[2]);
  z[5] = oppositeCorner(z[1], z[4], z[2]);
  x[6] = oppositeCorner(x[5], x[0], x[1]);
  y[6] = oppositeCorner(y[5], y[0], y[1]);
  z[6] = oppositeCorner(z[5], z[0], z[1]);
  x[7] = oppositeCorner(x[4], x[6], x[5]);
  y[7] = oppositeCorner(y[4], y[6], y[5]);
  z[7] = oppositeCorner(z[4], z[6], z[5]);

  int32_t line = storeHead(kBoxName, kBoxHeader, 12);
  for (int32_t i = 0; i < 8; ++i) storeVertexLine(line++, i, x[i], y[i], z[i]);
  for (const std::string_view face : kBoxFaces) storeFaceLine(line++, face, colour);
  readBack(line - 1, colour);
}

void writePyramid(const Point3 points[5], int32_t sideColour, int32_t baseColour) {
  double x[5];
  double y[5];
  double z[5];
  for (int32_t i = 0; i < 5; ++i) {
    x[i] = points[i].x;
    y[i] = points[i].y;
    z[i] = points[i].z;
  }

  int32_t line = storeHead(kPyramidName, kPyramidHeader, 6);
  for (int32_t i = 0; i < 5; ++i) storeVertexLine(line++, i, x[i], y[i], z[i]);
  storeFaceLine(line++, kPyramidFaces[0], baseColour);
  storeFaceLine(line++, kPyramidFaces[1], baseColour);
  for (int32_t k = 2; k < 6; ++k) storeFaceLine(line++, kPyramidFaces[k], sideColour);
  readBack(line - 1, sideColour);
}

}  // namespace corvath
