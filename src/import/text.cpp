// Mesh text for the converter: reading it with the viewer's reader, writing it, and the progress
// hook.
#include <algorithm>
#include <cassert>
#include <charconv>
#include <cmath>
#include <cstring>

#include "files/files.hpp"
#include "import/import.hpp"
#include "mesh/mesh.hpp"

namespace corvath {

namespace {

// ---------------------------------------------------------------------------------------------
// Records, tables and globals
// ---------------------------------------------------------------------------------------------

ProgressFunction progressFunction;

// ---------------------------------------------------------------------------------------------
// Local helpers
// ---------------------------------------------------------------------------------------------

constexpr int32_t kProgressStep = 1 << 16;  // elements between progress reports

void appendWhole(std::string& out, uint64_t value) {
  char text[24];
  out.append(text, std::to_chars(text, text + sizeof text, value).ptr);
}

void appendCoordinate(std::string& out, double value) {
  char text[32];
  auto end = std::to_chars(text, text + sizeof text, value).ptr;
  // The shortest form reads back exactly by any correctly rounding reader, which the viewer's
  // number rule is; 17 significant digits are the fallback that always does.
  if (readNumber(std::string_view(text, end - text)) != value) {
    end = std::to_chars(text, text + sizeof text, value, std::chars_format::scientific, 16).ptr;
  }
  out.append(text, end);
}

// "Vertex 7:  X: 1  Y: 2  Z: 3" or "Face 7:    A:0 B:1 C:2": a numbered element's three fields.
template <typename Value, typename AppendValue>
void appendNumberedFields(std::string& out, const char* head, size_t number,
                          const char* const (&labels)[3], const Value* values,
                          AppendValue appendValue) {
  out += head;
  appendWhole(out, number);
  for (int i = 0; i < 3; ++i) {
    out += labels[i];
    appendValue(out, values[i]);
  }
}

std::string fileStem(const std::string& path) {
  const size_t slash = path.rfind('/');
  std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
  const size_t point = name.rfind('.');
  if (point != std::string::npos && point > 0) name.erase(point);
  return name;
}

}  // namespace

// ---------------------------------------------------------------------------------------------
// Operations
// ---------------------------------------------------------------------------------------------

void setProgressFunction(ProgressFunction report) {
  progressFunction = std::move(report);
}

void reportProgress(std::string_view stage, double done) {
  if (progressFunction) progressFunction(stage, done);
}

std::string coordinateText(double value) {
  assert(std::isfinite(value));
  std::string text;
  appendCoordinate(text, value);
  return text;
}

bool readMeshText(const std::string& path, std::vector<MeshObject>& objects, std::string& error) {
  objects.clear();
  if (!readableFile(path, error)) return false;
  // Faces without `colore:` take the default colour; reading the lines twice with two defaults
  // that differ in red tells them from faces that give their colour.
  vertexCount = 0;
  faceCount = 0;
  loadMeshFile(path, 0, 0, 0, 0);
  std::vector<uint8_t> redWithDefault0(static_cast<size_t>(faceCount));
  for (int32_t f = 0; f < faceCount; ++f) redWithDefault0[f] = faces[f].red;
  vertexCount = 0;
  faceCount = 0;
  parseMeshLines(0, 0, 0, 1);

  MeshObject object;
  object.name = fileStem(path);
  object.positions.reserve(static_cast<size_t>(vertexCount) * 3);
  for (int32_t v = 0; v < vertexCount; ++v) {
    object.positions.push_back(workingVertices[v].x);
    object.positions.push_back(workingVertices[v].y);
    object.positions.push_back(workingVertices[v].z);
  }
  const auto inMesh = [](int32_t corner) { return corner >= 0 && corner < vertexCount; };
  for (int32_t f = 0; f < faceCount; ++f) {
    const Face& face = faces[f];
    // Faces the viewer does not draw: announced but never described, or naming no vertex.
    if (face.cornerCount != 3 || !inMesh(face.a) || !inMesh(face.b) || !inMesh(face.c)) continue;
    object.corners.push_back(static_cast<uint32_t>(face.a));
    object.corners.push_back(static_cast<uint32_t>(face.b));
    object.corners.push_back(static_cast<uint32_t>(face.c));
    const bool coloured = face.red == redWithDefault0[f];
    object.colours.push_back(coloured ? face.red + 256 * face.green + 65536 * face.blue
                                      : kNoColour);
  }
  if (object.faceTotal() == 0) {
    error = "holds no faces";
    return false;
  }
  objects.push_back(std::move(object));
  return true;
}

std::string meshText(const std::vector<MeshObject>& objects) {
  std::string text;
  size_t names = 0;
  for (const MeshObject& object : objects) names += object.name.size();
  const auto vertices = static_cast<size_t>(vertexSum(objects));
  const auto faceTotal = static_cast<size_t>(faceSum(objects));
  const size_t total = vertices + faceTotal;
  text.reserve(100 * objects.size() + names + 70 * vertices + 48 * faceTotal);
  size_t done = 0;
  for (const MeshObject& object : objects) {
    text += "Named Object: \"";
    text += object.name;
    text += "\"\nTri-mesh, Vertices: ";
    appendWhole(text, object.vertexTotal());
    text += "     Faces: ";
    appendWhole(text, object.faceTotal());
    text += "\nVertex list:\n";
    for (size_t v = 0; v < object.vertexTotal(); ++v) {
      appendNumberedFields(text, "Vertex ", v, {":  X: ", "  Y: ", "  Z: "},
                           &object.positions[3 * v], appendCoordinate);
      text += '\n';
      if (++done % kProgressStep == 0)
        reportProgress("writing", static_cast<double>(done) / static_cast<double>(total));
    }
    text += "Face list:\n";
    for (size_t f = 0; f < object.faceTotal(); ++f) {
      appendNumberedFields(text, "Face ", f, {":    A:", " B:", " C:"}, &object.corners[3 * f],
                           appendWhole);
      if (object.colours[f] != kNoColour) {
        text += " colore: ";
        appendWhole(text, static_cast<uint64_t>(object.colours[f]));
      }
      text += '\n';
      if (++done % kProgressStep == 0)
        reportProgress("writing", static_cast<double>(done) / static_cast<double>(total));
    }
  }
  return text;
}

}  // namespace corvath
