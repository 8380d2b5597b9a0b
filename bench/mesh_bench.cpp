// Reader and number text speed: a generated file of 1,000,000 lines, and numberText.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <fstream>
#include <random>
#include <string>

#include "mesh/mesh.hpp"

namespace corvath {
namespace {

// About a quarter million vertices and a quarter million faces in objects of 100 vertices and
// 100 faces, with CR LF line ends: 1,000,000 lines in all.
const std::string& generatedFile() {
  static const std::string path = [] {
    std::string name = "/tmp/corvath-bench-1m-v2.asc";
    std::ofstream out(name, std::ios::binary);
    std::mt19937 engine(7);
    std::uniform_real_distribution<double> coordinate(-500, 500);
    int lines = 0;
    // Whole objects of 204 lines, then blank lines up to the million.
    for (int object = 0; lines + 204 <= 1000000; ++object) {
      out << "Named Object: \"Obj" << object << "\"\r\n";
      out << "Tri-mesh, Vertices: 100     Faces: 100\r\n";
      out << "Vertex list:\r\n";
      lines += 3;
      for (int v = 0; v < 100; ++v, ++lines) {
        out << "Vertex " << v << ":  X: " << coordinate(engine) << "     Y: " << coordinate(engine)
            << "     Z: " << coordinate(engine) << "\r\n";
      }
      out << "Face list:\r\n";
      ++lines;
      for (int f = 0; f < 100; ++f, ++lines) {
        out << "Face " << f << ":    A:" << f << " B:" << (f + 1) % 100 << " C:" << (f + 2) % 100
            << " colore: " << (f * 2654435761u % 16777216) << "\r\n";
      }
    }
    for (; lines < 1000000; ++lines) out << "\r\n";
    return name;
  }();
  return path;
}

void loadOneMillionLines(benchmark::State& state) {
  const std::string& path = generatedFile();
  createMeshLines();
  for (auto _ : state) {
    vertexCount = 0;
    faceCount = 0;
    loadMeshFile(path, 0, 0, 0, 0);
    benchmark::DoNotOptimize(faces.data());
  }
  state.counters["vertices"] = vertexCount;
  state.counters["faces"] = faceCount;
}
BENCHMARK(loadOneMillionLines)->Unit(benchmark::kMillisecond);

void numberTextOfRandomDoubles(benchmark::State& state) {
  std::mt19937_64 engine(3);
  std::vector<double> values(4096);
  for (double& v : values) v = std::uniform_real_distribution<double>(-1e4, 1e4)(engine);
  std::string text;
  size_t i = 0;
  for (auto _ : state) {
    text.clear();
    appendNumberText(text, values[i++ & 4095]);
    benchmark::DoNotOptimize(text.data());
  }
}
BENCHMARK(numberTextOfRandomDoubles);

}  // namespace
}  // namespace corvath
