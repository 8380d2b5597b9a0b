// The workload as this program loads and draws it, and the plain copy the other renderers take.
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <filesystem>
#include <numbers>
#include <string>
#include <vector>

#include "comparison.hpp"
#include "mesh/mesh.hpp"
#include "raster/raster.hpp"
#include "renderers.hpp"
#include "view/view.hpp"
#include "viewer/viewer.hpp"

namespace corvath {

bool loadWorkload(const Workload& workload) {
  const std::string path = workloadPath(workload);
  if (path.empty() || !std::filesystem::exists(path)) return false;
  prepareViewer(path, kWidth, kHeight);
  createSurface(drawingSurface, kWidth, kHeight, kGrey);
  statusLineShown = false;
  return true;
}

PlainMesh copyLoadedMesh() {
  PlainMesh mesh;
  mesh.camera = {zoom, cameraDistance, screenCentreX, screenCentreY};
  double farthest = 0;
  for (int32_t i = 0; i < vertexCount; ++i) {
    const Vertex& v = modelVertices[i];
    mesh.vertices.push_back(
        {static_cast<float>(v.x), static_cast<float>(v.y), static_cast<float>(v.z)});
    farthest = std::max(farthest, v.x * v.x + v.y * v.y + v.z * v.z);
  }
  mesh.radius = std::sqrt(farthest);
  const auto inMesh = [&](int32_t corner) { return corner >= 0 && corner < vertexCount; };
  for (int32_t f = 0; f < faceCount; ++f) {
    const Face& face = faces[f];
    if (face.cornerCount != 3 || !inMesh(face.a) || !inMesh(face.b) || !inMesh(face.c)) continue;
    mesh.faces.push_back({face.a, face.b, face.c, face.red, face.green, face.blue});
  }
  return mesh;
}

std::vector<uint32_t> programPicture(const Workload& workload) {
  renderFrame(workload.startAngle[0], workload.startAngle[1], workload.startAngle[2]);
  return drawingSurface.pixels;
}

Rotation rotationFor(const Angles& angles) {
  const double toRadians = std::numbers::pi / 180;
  const double sx = std::sin(angles.x * toRadians), cx = std::cos(angles.x * toRadians);
  const double sy = std::sin(angles.y * toRadians), cy = std::cos(angles.y * toRadians);
  const double sz = std::sin(angles.z * toRadians), cz = std::cos(angles.z * toRadians);
  return {{{cy * cz, cy * sz, -sy},
           {sy * cz * sx - cx * sz, sy * sz * sx + cz * cx, cy * sx},
           {sy * cz * cx + sx * sz, sy * sz * cx - sx * cz, cy * cx}}};
}

}  // namespace corvath
