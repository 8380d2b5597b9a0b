// The plain frame shared by the scalar filler and cairo: transform, cull, shade and sort.
#include "plain_frame.hpp"

#include <algorithm>
#include <cmath>
#include <cstddef>

namespace corvath {
namespace {

uint8_t shaded(uint8_t component, float shade) {
  return static_cast<uint8_t>(static_cast<float>(component) * shade + 0.5f);
}

}  // namespace

void prepareFrame(const PlainMesh& mesh, const Angles& angles, PlainFrame& frame) {
  const Rotation rotation = rotationFor(angles);
  float r[3][3];
  for (int i = 0; i < 3; ++i) {
    for (int j = 0; j < 3; ++j) r[i][j] = static_cast<float>(rotation.m[i][j]);
  }
  const Camera& camera = mesh.camera;
  const auto scale = static_cast<float>(camera.scale);
  const auto distance = static_cast<float>(camera.distance);
  const auto centreX = static_cast<float>(camera.centreX);
  const auto centreY = static_cast<float>(camera.centreY);
  const size_t count = mesh.vertices.size();
  frame.view.resize(count);
  frame.screenX.resize(count);
  frame.screenY.resize(count);
  for (size_t i = 0; i < count; ++i) {
    const PlainVertex& v = mesh.vertices[i];
    PlainVertex& out = frame.view[i];
    out.x = r[0][0] * v.x + r[0][1] * v.y + r[0][2] * v.z;
    out.y = r[1][0] * v.x + r[1][1] * v.y + r[1][2] * v.z;
    out.z = r[2][0] * v.x + r[2][1] * v.y + r[2][2] * v.z;
    frame.screenX[i] = scale * out.x / (distance + out.z) + centreX;
    frame.screenY[i] = scale * out.y / (distance + out.z) + centreY;
  }

  frame.triangles.clear();
  for (const PlainFace& face : mesh.faces) {
    const PlainVertex& a = frame.view[face.a];
    const PlainVertex& b = frame.view[face.b];
    const PlainVertex& c = frame.view[face.c];
    // At or behind the eye the projection is meaningless; the program drops such faces too.
    if (distance + a.z <= 0 || distance + b.z <= 0 || distance + c.z <= 0) continue;
    const float ax = frame.screenX[face.a], ay = frame.screenY[face.a];
    const float bx = frame.screenX[face.b], by = frame.screenY[face.b];
    const float cx = frame.screenX[face.c], cy = frame.screenY[face.c];
    // y grows downward: a positive cross product means counter-clockwise as the viewer sees it.
    if ((cy - by) * (ax - bx) - (cx - bx) * (ay - by) <= 0) continue;
    const float ux = b.x - a.x, uy = b.y - a.y, uz = b.z - a.z;
    const float vx = c.x - a.x, vy = c.y - a.y, vz = c.z - a.z;
    const float nx = uy * vz - uz * vy;
    const float ny = uz * vx - ux * vz;
    const float nz = ux * vy - uy * vx;
    // The light shines from the viewer along +z: the cosine against -z.
    const float shade = -nz / std::sqrt(nx * nx + ny * ny + nz * nz);
    // Front faces whose normal still points away (seen at a grazing angle) stay unpainted, as
    // in the program.
    if (!(shade > 0)) continue;
    frame.triangles.push_back({{ax, bx, cx},
                               {ay, by, cy},
                               a.z + b.z + c.z,
                               shaded(face.red, shade),
                               shaded(face.green, shade),
                               shaded(face.blue, shade)});
  }
  std::sort(frame.triangles.begin(), frame.triangles.end(),
            [](const ScreenTriangle& p, const ScreenTriangle& q) { return p.depth > q.depth; });
}

}  // namespace corvath
