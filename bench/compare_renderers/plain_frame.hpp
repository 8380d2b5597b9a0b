// The plain frame shared by the scalar filler and cairo: transform, cull, shade and sort.
#pragma once

#include <cstdint>
#include <vector>

#include "renderers.hpp"

namespace corvath {

struct ScreenTriangle {
  float x[3];
  float y[3];
  float depth;  // sum of the corners' view z: larger is farther
  uint8_t red, green, blue;
};

struct PlainFrame {
  std::vector<PlainVertex> view;  // rotated vertices
  std::vector<float> screenX;
  std::vector<float> screenY;
  std::vector<ScreenTriangle> triangles;  // front faces, farthest first
};

// Refills `frame` for the mesh turned by `angles`, reusing its storage from frame to frame.
void prepareFrame(const PlainMesh& mesh, const Angles& angles, PlainFrame& frame);

}  // namespace corvath
