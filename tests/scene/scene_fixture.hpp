// Shared fixture of the scene tests: an emptied mesh, the system clock and generator restored.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>

#include "mesh/mesh.hpp"
#include "scene/scene.hpp"

namespace corvath {

class EmptiedMesh : public ::testing::Test {
 protected:
  void SetUp() override {
    if (meshLines.empty()) createMeshLines();
    vertexCount = 0;
    faceCount = 0;
    lastLineIndex = 0;
    setTimeOfDayClock(nullptr);
    setRandomDrawSource(nullptr);
  }
  void TearDown() override {
    setTimeOfDayClock(nullptr);
    setRandomDrawSource(nullptr);
  }
};

struct Direction {
  double x;
  double y;
  double z;
};

// (b − a) × (c − a) of face f in the working table: counter-clockwise seen from where it points.
inline Direction faceNormal(int32_t f) {
  const Vertex& a = workingVertices[faces[f].a];
  const Vertex& b = workingVertices[faces[f].b];
  const Vertex& c = workingVertices[faces[f].c];
  const double ux = b.x - a.x, uy = b.y - a.y, uz = b.z - a.z;
  const double vx = c.x - a.x, vy = c.y - a.y, vz = c.z - a.z;
  return {uy * vz - uz * vy, uz * vx - ux * vz, ux * vy - uy * vx};
}

// Normal of face f dotted with the direction from `inside` to the face's centroid: positive when
// the face is wound outward as seen from that inner point.
inline double outwardness(int32_t f, double insideX, double insideY, double insideZ) {
  const Vertex& a = workingVertices[faces[f].a];
  const Vertex& b = workingVertices[faces[f].b];
  const Vertex& c = workingVertices[faces[f].c];
  const Direction n = faceNormal(f);
  return n.x * ((a.x + b.x + c.x) / 3 - insideX) + n.y * ((a.y + b.y + c.y) / 3 - insideY) +
         n.z * ((a.z + b.z + c.z) / 3 - insideZ);
}

inline int32_t faceColour(int32_t f) {
  return faces[f].red + 256 * faces[f].green + 65536 * faces[f].blue;
}

}  // namespace corvath
