// Opening a model of another format: the import alone, the import in its own process, and the
// viewer's whole way from the file to the first frame, on a generated glb of 650,000 faces.
#include <benchmark/benchmark.h>
#include <malloc.h>

#include <cmath>
#include <fstream>
#include <string>
#include <vector>

#include "viewer/viewer.hpp"
#include "import/import.hpp"
#include "mesh/mesh.hpp"
#include "raster/raster.hpp"
#include "view/view.hpp"

namespace corvath {
namespace {

constexpr int32_t kWidth = 1920;
constexpr int32_t kHeight = 1080;

// A torus of 650 x 500 quads cut in two, coloured in bands: 325,000 vertices, 650,000 faces.
const std::string& generatedModel() {
  static const std::string path = [] {
    constexpr int kAround = 650;
    constexpr int kAcross = 500;
    MeshObject torus;
    torus.name = "torus";
    for (int i = 0; i < kAround; ++i) {
      for (int j = 0; j < kAcross; ++j) {
        const double u = 2 * M_PI * i / kAround;
        const double v = 2 * M_PI * j / kAcross;
        torus.positions.push_back((3 + std::cos(v)) * std::cos(u));
        torus.positions.push_back((3 + std::cos(v)) * std::sin(u));
        torus.positions.push_back(std::sin(v));
      }
    }
    const auto id = [](int i, int j) {
      return static_cast<uint32_t>((i % kAround) * kAcross + (j % kAcross));
    };
    for (int i = 0; i < kAround; ++i) {
      for (int j = 0; j < kAcross; ++j) {
        torus.corners.insert(torus.corners.end(), {id(i, j), id(i + 1, j), id(i + 1, j + 1)});
        torus.corners.insert(torus.corners.end(), {id(i, j), id(i + 1, j + 1), id(i, j + 1)});
        const int32_t colour = 255 * (i % 2) + 65280 * (j / 50 % 2);
        torus.colours.insert(torus.colours.end(), {colour, colour});
      }
    }
    const std::string name = "/tmp/corvath-bench-torus-650k.glb";
    std::vector<OutputFile> files;
    std::string error;
    if (exportMeshes({torus}, name, files, error)) {
      for (const OutputFile& file : files) {
        std::ofstream(file.path, std::ios::binary) << file.bytes;
      }
    }
    return name;
  }();
  return path;
}

// Imports the model on every round, each time as the first import of a process: the memory the
// last one freed goes back to the system first, as a viewer that starts has none to reuse.
template <class Import>
void importEachRound(benchmark::State& state, Import import) {
  const std::string& path = generatedModel();
  std::vector<MeshObject> objects;
  std::string error;
  for (auto _ : state) {
    state.PauseTiming();
    std::vector<MeshObject>().swap(objects);
    malloc_trim(0);
    state.ResumeTiming();
    if (!import(path, objects, error)) state.SkipWithError(error.c_str());
    benchmark::DoNotOptimize(objects.data());
  }
  size_t faceTotal = 0;
  for (const MeshObject& object : objects) faceTotal += object.faceTotal();
  state.counters["faces"] = static_cast<double>(faceTotal);
}

void importAlone(benchmark::State& state) {
  importEachRound(state, importScene);
}
BENCHMARK(importAlone)->Unit(benchmark::kMillisecond)->UseRealTime();

void importInItsOwnProcess(benchmark::State& state) {
  importEachRound(state, importSceneIsolated);
}
BENCHMARK(importInItsOwnProcess)->Unit(benchmark::kMillisecond)->UseRealTime();

// What the viewer does between its start and its first frame, less the window: the model
// opened, framed and prepared, and the frame drawn on a surface of the screen's size.
void openToFirstFrame(benchmark::State& state) {
  const std::string& path = generatedModel();
  createSurface(drawingSurface, kWidth, kHeight, kButtonFaceColour);
  for (auto _ : state) {
    std::string error;
    if (!prepareViewer(path, kWidth, kHeight, &error)) state.SkipWithError(error.c_str());
    renderFrame(210, 7, 90);
  }
  state.counters["faces"] = faceCount;
}
BENCHMARK(openToFirstFrame)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace
}  // namespace corvath
