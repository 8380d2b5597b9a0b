// Scene speed: a composed scene made ready for drawing, and the largest scene the composer can
// make.
#include <benchmark/benchmark.h>

#include <cstdint>

#include "mesh/mesh.hpp"
#include "scene/scene.hpp"
#include "view/view.hpp"

namespace corvath {
namespace {

double fixedClock() {
  return 45296.789;
}  // 12:34:56.789

void prepareMesh() {
  if (meshLines.empty()) createMeshLines();
  vertexCount = 0;
  faceCount = 0;
}

// What one frame-timer tick does before drawing: compose, commit, face normals.
void BM_ComposeScene(benchmark::State& state) {
  prepareMesh();
  setTimeOfDayClock(fixedClock);
  for (auto _ : state) {
    vertexCount = 0;
    faceCount = 0;
    composeScene();
    commitVertices();
    computeFaceNormals();
    benchmark::DoNotOptimize(faces.data());
  }
  state.counters["vertices"] = vertexCount;
  state.counters["faces"] = faceCount;
  setTimeOfDayClock(nullptr);
}
BENCHMARK(BM_ComposeScene)->Unit(benchmark::kMillisecond);

// 121 cells, each a 22-segment cylinder under a 22-segment cone: 18,634 vertices, 15,972 faces,
// 5,324 objects written as text and read back.
void BM_LargestScene(benchmark::State& state) {
  prepareMesh();
  for (auto _ : state) {
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
    benchmark::DoNotOptimize(faces.data());
  }
  state.counters["vertices"] = vertexCount;
  state.counters["faces"] = faceCount;
}
BENCHMARK(BM_LargestScene)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace corvath
