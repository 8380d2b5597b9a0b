// Measuring and centring a freshly loaded mesh in the working vertex table.
#include <algorithm>

#include "mesh/mesh.hpp"

namespace corvath {

int32_t meshExtent() {
  // The running maximum is a 32-bit float, rounded after every element; signed values, so
  // negative coordinates never raise it.
  float largest = 0;
  const int32_t count = std::min<int64_t>(vertexCount, workingVertices.size());
  for (int32_t i = 0; i < count; ++i) {
    const Vertex& v = workingVertices[i];
    double m = largest;
    if (v.x > m) m = v.x;
    if (v.y > m) m = v.y;
    if (v.z > m) m = v.z;
    largest = static_cast<float>(m);
  }
  return roundToInt32(largest);
}

void centreMesh() {
  // The bounds start at 0, not at the first vertex, so the box always contains the origin.
  double lowX = 0, highX = 0, lowY = 0, highY = 0, lowZ = 0, highZ = 0;
  const int32_t count = std::min<int64_t>(vertexCount, workingVertices.size());
  for (int32_t i = 0; i < count; ++i) {
    const Vertex& v = workingVertices[i];
    highX = std::max(highX, v.x);
    lowX = std::min(lowX, v.x);
    highY = std::max(highY, v.y);
    lowY = std::min(lowY, v.y);
    highZ = std::max(highZ, v.z);
    lowZ = std::min(lowZ, v.z);
  }
  for (int32_t i = 0; i < count; ++i) {
    Vertex& v = workingVertices[i];
    v.x = static_cast<double>(v.x - (Extended(lowX) + highX) / 2);
    v.y = static_cast<double>(v.y - (Extended(lowY) + highY) / 2);
    v.z = static_cast<double>(v.z - (Extended(lowZ) + highZ) / 2);
  }
}

}  // namespace corvath
