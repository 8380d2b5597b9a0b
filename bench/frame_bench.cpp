// Frame speed on the three workloads at 1920 x 1080 with the viewer's own camera, whole frames
// and phase by phase, plus the load of the densest file and one frame-timer tick.
#include <benchmark/benchmark.h>

#include <cmath>
#include <filesystem>
#include <string>

#include "viewer/viewer.hpp"
#include "largest_scene.hpp"
#include "mesh/mesh.hpp"
#include "raster/raster.hpp"
#include "scene/scene.hpp"
#include "view/view.hpp"
#include "workloads.hpp"

namespace corvath {
namespace {

constexpr int32_t kWidth = 1920;
constexpr int32_t kHeight = 1080;
constexpr int32_t kGrey = 128 + 256 * 128 + 65536 * 128;

// Loads the workload as start-up does, with a 1920 x 1080 surface standing in for the desktop.
bool loadWorkload(const Workload& workload) {
  static const Workload* loaded = nullptr;
  if (loaded == &workload) return true;
  const std::string path = workloadPath(workload);
  if (path.empty() || !std::filesystem::exists(path)) return false;
  prepareViewer(path, kWidth, kHeight);
  createSurface(drawingSurface, kWidth, kHeight, kGrey);
  loaded = &workload;
  return true;
}

// The frame's angles: one degree more about each axis per frame.
struct Turn {
  double angle[3];
  explicit Turn(const Workload& workload) {
    for (int k = 0; k < 3; ++k) angle[k] = workload.startAngle[k];
  }
  void next() {
    for (double& a : angle) a += 1;
  }
};

// Every benchmark of a frame runs at one thread and at all the machine's threads, on every
// processor path it has: arguments (threads, path).
void threadsAndPaths(benchmark::internal::Benchmark* benchmark) {
  benchmark->ArgNames({"threads", "vectors"});
  const int32_t all = workerCount();
  for (const int32_t threads : {1, all}) {
    for (const VectorPath path : supportedVectorPaths()) {
      benchmark->Args({threads, static_cast<int64_t>(path)});
    }
    if (all == 1) break;
  }
}

void useThreadsAndPath(const benchmark::State& state) {
  setWorkerCount(static_cast<int32_t>(state.range(0)));
  setVectorPath(static_cast<VectorPath>(state.range(1)));
}

void wholeFrame(benchmark::State& state, const Workload& workload) {
  if (!loadWorkload(workload)) return state.SkipWithError("workload missing");
  useThreadsAndPath(state);
  Turn turn(workload);
  for (auto _ : state) {
    renderFrame(turn.angle[0], turn.angle[1], turn.angle[2]);
    turn.next();
  }
  state.counters["faces"] = faceCount;
}

enum class Phase { kClearAndStatus, kTransform, kOrder, kPaint };

// One phase of the frame timed alone; the phases before it run untimed, as in a real frame.
void framePhase(benchmark::State& state, const Workload& workload, Phase phase) {
  if (!loadWorkload(workload)) return state.SkipWithError("workload missing");
  useThreadsAndPath(state);
  Turn turn(workload);
  for (auto _ : state) {
    state.PauseTiming();
    // The clear follows a painted frame, as it always does: it repaints what that frame painted.
    if (phase == Phase::kClearAndStatus) renderFrame(turn.angle[0], turn.angle[1], turn.angle[2]);
    if (phase != Phase::kClearAndStatus) {
      fillSurface(drawingSurface, kGrey);
      drawStatusLine(turn.angle[0], turn.angle[1], turn.angle[2]);
    }
    if (phase > Phase::kTransform) {
      turnAndProjectView(turn.angle[0], turn.angle[1], turn.angle[2]);
    }
    if (phase > Phase::kOrder) turnShadeAndOrderFaces();
    state.ResumeTiming();
    switch (phase) {
      case Phase::kClearAndStatus:
        fillSurface(drawingSurface, kGrey);
        moveTextPosition(drawingSurface, 0, 0);
        drawStatusLine(turn.angle[0], turn.angle[1], turn.angle[2]);
        break;
      case Phase::kTransform:
        turnAndProjectView(turn.angle[0], turn.angle[1], turn.angle[2]);
        break;
      case Phase::kOrder:
        turnShadeAndOrderFaces();
        break;
      case Phase::kPaint:
        paintFaces();
        break;
    }
    turn.next();
  }
}

// Wall-clock time: with several threads the process's CPU time is not the frame's time.
#define CORVATH_WORKLOAD_BENCHMARKS(name, workload)                                              \
  BENCHMARK_CAPTURE(wholeFrame, name, workload)                                                  \
      ->Apply(threadsAndPaths)                                                                   \
      ->Unit(benchmark::kMillisecond)                                                            \
      ->UseRealTime();                                                                           \
  /* A whole frame runs untimed before each clear, so a fixed count keeps the run short. */    \
  BENCHMARK_CAPTURE(framePhase, name##_clear_and_status, workload, Phase::kClearAndStatus)     \
      ->Apply(threadsAndPaths)                                                                   \
      ->Unit(benchmark::kMillisecond)                                                            \
      ->UseRealTime()                                                                            \
      ->Iterations(200);                                                                         \
  BENCHMARK_CAPTURE(framePhase, name##_transform, workload, Phase::kTransform)                 \
      ->Apply(threadsAndPaths)                                                                   \
      ->Unit(benchmark::kMillisecond)                                                            \
      ->UseRealTime();                                                                           \
  BENCHMARK_CAPTURE(framePhase, name##_keys_and_order, workload, Phase::kOrder)                \
      ->Apply(threadsAndPaths)                                                                   \
      ->Unit(benchmark::kMillisecond)                                                            \
      ->UseRealTime();                                                                           \
  BENCHMARK_CAPTURE(framePhase, name##_shade_and_paint, workload, Phase::kPaint)               \
      ->Apply(threadsAndPaths)                                                                   \
      ->Unit(benchmark::kMillisecond)                                                            \
      ->UseRealTime()

CORVATH_WORKLOAD_BENCHMARKS(city, kCity);
CORVATH_WORKLOAD_BENCHMARKS(big, kBig);
CORVATH_WORKLOAD_BENCHMARKS(dense, kDense);

// The load of the densest file, from an empty mesh.
void loadDense(benchmark::State& state) {
  const std::string path = workloadPath(kDense);
  if (path.empty()) return state.SkipWithError("dense.asc could not be generated");
  if (meshLines.empty()) createMeshLines();
  for (auto _ : state) {
    vertexCount = 0;
    faceCount = 0;
    loadMeshFile(path, 0, 0, 0, 0);
  }
  state.counters["faces"] = faceCount;
}
BENCHMARK(loadDense)->Unit(benchmark::kMillisecond)->UseRealTime();

// One frame-timer tick of the largest scene: built through the builders, committed, normals,
// and its frame.
void tickLargestScene(benchmark::State& state) {
  if (!loadWorkload(kCity)) return state.SkipWithError("workload missing");
  double frameCounter = 0;
  for (auto _ : state) {
    frameCounter = std::fmod(frameCounter + 1, 360.0);
    buildLargestScene();
    prepareMesh();
    const double zero = 0;
    renderFrame(zero, frameCounter, frameCounter);
  }
  state.counters["faces"] = faceCount;
}
BENCHMARK(tickLargestScene)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace
}  // namespace corvath
