// The largest scene the composer can make, built directly through the builders: 121 cells, each
// a 22-segment cylinder under a 22-segment cone (18,634 vertices, 15,972 faces, 5,324 objects
// written as text and read back).
#pragma once

#include <cstdint>

#include "mesh/mesh.hpp"
#include "scene/scene.hpp"

namespace corvath {

inline void buildLargestScene() {
  vertexCount = 0;
  faceCount = 0;
  for (int32_t row = 0; row < 11; ++row) {
    const float y = -100.0f + static_cast<float>(row) * 20;
    for (int32_t column = 0; column < 11; ++column) {
      const float x = -100.0f + static_cast<float>(column) * 20;
      buildCylinder(x, y, 0, 10, 22, 34, 255, 65280);
      buildCone(x, y, 34, 10, 22, 34, 16711680, 8421504);
    }
  }
}

}  // namespace corvath
