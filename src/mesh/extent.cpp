// Measuring and centring a freshly loaded mesh in the working vertex table, and framing models
// of any units and place.
#include <algorithm>
#include <array>
#include <cmath>

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

double startUpZoomForExtent(int32_t extent) {
  constexpr double kZoomScale = 600000;
  constexpr double kEmptyMeshZoom = 100;
  return extent == 0 ? kEmptyMeshZoom : kZoomScale / extent;
}

namespace {

// The framing of `count` points read through point(i) = {x, y, z}.
template <class PointAt>
Framing framingOfPoints(size_t count, PointAt point) {
  Framing framing;
  if (count == 0) return framing;
  double low[3], high[3];
  for (int axis = 0; axis < 3; ++axis) low[axis] = high[axis] = point(0)[axis];
  for (size_t i = 1; i < count; ++i) {
    const auto p = point(i);
    for (int axis = 0; axis < 3; ++axis) {
      low[axis] = std::min(low[axis], p[axis]);
      high[axis] = std::max(high[axis], p[axis]);
    }
  }
  // Halves first: the sum of two coordinates near the largest double would overflow.
  for (int axis = 0; axis < 3; ++axis) framing.centre[axis] = low[axis] / 2 + high[axis] / 2;
  double farthest = 0;
  for (size_t i = 0; i < count; ++i) {
    const auto p = point(i);
    farthest = std::max(farthest, std::hypot(p[0] - framing.centre[0], p[1] - framing.centre[1],
                                             p[2] - framing.centre[2]));
  }
  if (farthest > 0 && std::isfinite(farthest)) framing.scale = kFramedRadius / farthest;
  return framing;
}

}  // namespace

Framing framingOf(const double* xyz, size_t points) {
  return framingOfPoints(points, [xyz](size_t i) {
    const double* p = xyz + 3 * i;
    return std::array<double, 3>{p[0], p[1], p[2]};
  });
}

void applyFraming(const Framing& framing, double& x, double& y, double& z) {
  x = (x - framing.centre[0]) * framing.scale;
  y = (y - framing.centre[1]) * framing.scale;
  z = (z - framing.centre[2]) * framing.scale;
}

Framing frameMesh() {
  const int32_t count = std::min<int64_t>(vertexCount, workingVertices.size());
  const Framing framing = framingOfPoints(static_cast<size_t>(count), [](size_t i) {
    const Vertex& v = workingVertices[i];
    return std::array<double, 3>{v.x, v.y, v.z};
  });
  for (int32_t i = 0; i < count; ++i) {
    Vertex& v = workingVertices[i];
    applyFraming(framing, v.x, v.y, v.z);
  }
  return framing;
}

}  // namespace corvath
