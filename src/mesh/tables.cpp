// The process-wide mesh tables, their counts and sizing, and the mesh line buffer.
#include <algorithm>
#include <new>
#include <stdexcept>

#include "mesh/mesh.hpp"

namespace corvath {

// ---------------------------------------------------------------------------------------------
// Tables and globals
// ---------------------------------------------------------------------------------------------

// Vertex-indexed: resized together at every accepted object header to vertex base + n + 1.
Table<Vertex> modelVertices;
Table<Vertex> workingVertices;
Table<ScreenPoint> screenPoints;

// Face-indexed: resized together to face base + m + 1.
Table<Face> faces;
Table<double> faceDepths;
Table<double> faceOrder;

int32_t vertexCount = 0;
int32_t faceCount = 0;

Table<MeshText> meshLines;
int32_t lastLineIndex = 0;

// ---------------------------------------------------------------------------------------------
// Operations
// ---------------------------------------------------------------------------------------------

void createMeshLines() {
  meshLines.assign(kMeshLineEntries, MeshText());
  lastLineIndex = 0;
}

void commitVertices() {
  const int32_t count = std::min<int64_t>(vertexCount, workingVertices.size());
  for (int32_t i = 0; i < count; ++i) modelVertices[i] = workingVertices[i];
}

bool resizeMeshTables(int64_t vertexTotal, int64_t faceTotal) {
  if (vertexTotal < 0 || faceTotal < 0) return false;
  if (vertexTotal > kMaxTableElements || faceTotal > kMaxTableElements) return false;
  try {
    // Reserve everything first so that a failed allocation leaves all six tables as they were.
    // Capacity grows geometrically: a scene of thousands of small objects resizes at every
    // header, and exact reservations would copy the whole mesh each time.
    const auto grown = [](int64_t wanted, size_t capacity) -> size_t {
      if (static_cast<size_t>(wanted) <= capacity) return capacity;
      return static_cast<size_t>(
          std::min(std::max<int64_t>(wanted, 2 * capacity), kMaxTableElements));
    };
    modelVertices.reserve(grown(vertexTotal, modelVertices.capacity()));
    workingVertices.reserve(grown(vertexTotal, workingVertices.capacity()));
    screenPoints.reserve(grown(vertexTotal, screenPoints.capacity()));
    faces.reserve(grown(faceTotal, faces.capacity()));
    faceDepths.reserve(grown(faceTotal, faceDepths.capacity()));
    faceOrder.reserve(grown(faceTotal, faceOrder.capacity()));
  } catch (const std::bad_alloc&) {
    return false;
  } catch (const std::length_error&) {
    return false;
  }
  modelVertices.resize(vertexTotal);
  workingVertices.resize(vertexTotal);
  screenPoints.resize(vertexTotal);
  faces.resize(faceTotal);
  faceDepths.resize(faceTotal);
  faceOrder.resize(faceTotal);
  return true;
}

void releaseMeshTables() {
  Table<Vertex>().swap(modelVertices);
  Table<Vertex>().swap(workingVertices);
  Table<ScreenPoint>().swap(screenPoints);
  Table<Face>().swap(faces);
  Table<double>().swap(faceDepths);
  Table<double>().swap(faceOrder);
}

}  // namespace corvath
