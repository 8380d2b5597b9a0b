// Scene speed: a composed scene made ready for drawing, and the largest scene the composer can
// make.
#include <benchmark/benchmark.h>

#include <cstdint>

#include "largest_scene.hpp"
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
    buildLargestScene();
    benchmark::DoNotOptimize(faces.data());
  }
  state.counters["vertices"] = vertexCount;
  state.counters["faces"] = faceCount;
}
BENCHMARK(BM_LargestScene)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace corvath
