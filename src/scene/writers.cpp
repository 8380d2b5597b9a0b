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

// Vertex lines 0 .. count - 1 of the corners from `line` on; returns the index of the next line.
int32_t storeVertexLines(int32_t line, const Point3 corners[], int32_t count) {
  for (int32_t i = 0; i < count; ++i) {
    const Point3& corner = corners[i];
    LineText()
        .put("Vertex")
        .putNumber(i)
        .put(": X:")
        .putNumber(corner.x)
        .put(" Y:")
        .putNumber(corner.y)
        .put(" Z:")
        .putNumber(corner.z)
        .store(line + i);
  }
  return line + count;
}

void storeFaceLine(int32_t line, std::string_view literal, int32_t colour) {
  LineText().put(literal).putNumber(colour).store(line);
}

// The corner opposite `middle` in the parallelogram through first, middle, last: (last + first)
// − middle per coordinate, with the extended intermediate of the arithmetic and the result kept
// as a double.
double oppositeCoordinate(double last, double first, double middle) {
  return static_cast<double>((Extended(last) + first) - middle);
}

Point3 oppositeCorner(const Point3& last, const Point3& first, const Point3& middle) {
  return {oppositeCoordinate(last.x, first.x, middle.x),
          oppositeCoordinate(last.y, first.y, middle.y),
          oppositeCoordinate(last.z, first.z, middle.z)};
}

void readBack(int32_t lastLine, int32_t defaultColour) {
  lastLineIndex = lastLine;
  parseMeshLines(0, 0, 0, defaultColour);
}

}  // namespace

void writeTriangle(const Point3 points[3], int32_t frontColour, int32_t backColour) {
  int32_t line = storeHead(kTriangleName, kTriangleHeader, 2);
  line = storeVertexLines(line, points, 3);
  storeFaceLine(line++, kTriangleFaces[0], frontColour);
  storeFaceLine(line, kTriangleFaces[1], backColour);
  readBack(line, frontColour);
}

void writeRectangle(const Point3 points[3], int32_t frontColour, int32_t backColour) {
  const Point3 corners[4] = {points[0], points[1], points[2],
                             oppositeCorner(points[2], points[0], points[1])};
  int32_t line = storeHead(kRectangleName, kRectangleHeader, 4);
  line = storeVertexLines(line, corners, 4);
  storeFaceLine(line++, kRectangleFaces[0], frontColour);
  storeFaceLine(line++, kRectangleFaces[1], backColour);
  storeFaceLine(line++, kRectangleFaces[2], frontColour);
  storeFaceLine(line, kRectangleFaces[3], backColour);
  readBack(line, frontColour);
}

void writeBox(const Point3 points[4], int32_t colour) {
  Point3 corners[8];
  corners[0] = points[0];
  corners[1] = points[1];
  corners[2] = points[2];
  corners[4] = points[3];
  // Each corner depends on the ones before it, so the order of these statements is fixed.
  corners[3] = oppositeCorner(corners[2], corners[0], corners[1]);
  corners[5] = oppositeCorner(corners[1], corners[4], corners[2]);
  corners[6] = oppositeCorner(corners[5], corners[0], corners[1]);
  corners[7] = oppositeCorner(corners[4], corners[6], corners[5]);

  int32_t line = storeHead(kBoxName, kBoxHeader, 12);
  line = storeVertexLines(line, corners, 8);
  for (const std::string_view face : kBoxFaces) storeFaceLine(line++, face, colour);
  readBack(line - 1, colour);
}

void writePyramid(const Point3 points[5], int32_t sideColour, int32_t baseColour) {
  int32_t line = storeHead(kPyramidName, kPyramidHeader, 6);
  line = storeVertexLines(line, points, 5);
  storeFaceLine(line++, kPyramidFaces[0], baseColour);
  storeFaceLine(line++, kPyramidFaces[1], baseColour);
  for (int32_t k = 2; k < 6; ++k) storeFaceLine(line++, kPyramidFaces[k], sideColour);
  readBack(line - 1, sideColour);
}

}  // namespace corvath
