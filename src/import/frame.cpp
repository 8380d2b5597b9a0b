// Placing objects as the viewer frames models of other formats, and foreseeing how the viewer
// started in a folder would place mesh text as it stands.
#include <algorithm>
#include <cmath>

#include "import/import.hpp"
#include "mesh/mesh.hpp"

namespace corvath {

void frameObjects(std::vector<MeshObject>& objects) {
  std::vector<double> all;
  for (const MeshObject& object : objects) {
    all.insert(all.end(), object.positions.begin(), object.positions.end());
  }
  const Framing framing = framingOf(all.data(), all.size() / 3);
  for (MeshObject& object : objects) {
    for (size_t at = 0; at + 2 < object.positions.size(); at += 3) {
      applyFraming(framing, object.positions[at], object.positions[at + 1],
                   object.positions[at + 2]);
    }
  }
}

PlainPlacement plainPlacement(const std::vector<MeshObject>& objects) {
  // The box around the vertices and the origin, whose middle becomes the centre of rotation; the
  // largest coordinate, never below 0, sets the zoom.
  double low[3] = {0, 0, 0};
  double high[3] = {0, 0, 0};
  for (const MeshObject& object : objects) {
    for (size_t at = 0; at + 2 < object.positions.size(); at += 3) {
      for (int axis = 0; axis < 3; ++axis) {
        low[axis] = std::min(low[axis], object.positions[at + axis]);
        high[axis] = std::max(high[axis], object.positions[at + axis]);
      }
    }
  }
  PlainPlacement placement;
  // The extent as meshExtent takes it: the largest coordinate as a float, rounded.
  const auto largest = static_cast<float>(std::max({high[0], high[1], high[2]}));
  placement.zoom = startUpZoomForExtent(roundToInt32(static_cast<double>(largest)));
  double farthest = 0;
  for (const MeshObject& object : objects) {
    for (size_t at = 0; at + 2 < object.positions.size(); at += 3) {
      const double* p = &object.positions[at];
      farthest = std::max(farthest, std::hypot(p[0] - (low[0] + high[0]) / 2,
                                               p[1] - (low[1] + high[1]) / 2,
                                               p[2] - (low[2] + high[2]) / 2));
    }
  }
  placement.radius = farthest;
  placement.pictureSpan = 2 * placement.zoom * farthest / kViewerEyeDistance;
  placement.reachesEye = farthest >= kViewerEyeDistance;
  return placement;
}

}  // namespace corvath
