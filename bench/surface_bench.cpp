// Painting speed of the triangle rasteriser on a desktop-sized surface.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cmath>
#include <random>
#include <vector>

#include "raster/raster.hpp"

namespace corvath {
namespace {

constexpr int32_t kWidth = 1920;
constexpr int32_t kHeight = 1080;

struct BenchTriangle {
  PixelPoint a, b, c;
  int32_t colour = 0;
};

int64_t doubleArea(const BenchTriangle& t) {
  return std::abs((t.b.x - t.a.x) * (t.c.y - t.a.y) - (t.b.y - t.a.y) * (t.c.x - t.a.x));
}

// Triangles with corners within +-spread of a random centre anywhere in the frame, keeping
// those at least minimumAcross pixels wide.
std::vector<BenchTriangle> trianglesAround(int count, uint32_t seed, int64_t spread, int64_t minimumAcross) {
  std::mt19937 random(seed);
  std::uniform_int_distribution<int64_t> x(0, kWidth - 1), y(0, kHeight - 1), d(-spread, spread);
  std::vector<BenchTriangle> triangles;
  while (static_cast<int>(triangles.size()) < count) {
    const PixelPoint centre{x(random), y(random)};
    BenchTriangle t{{centre.x + d(random), centre.y + d(random)},
                    {centre.x + d(random), centre.y + d(random)},
                    {centre.x + d(random), centre.y + d(random)},
                    static_cast<int32_t>(random() & 0xFFFFFF)};
    const int64_t across = std::max({t.a.x, t.b.x, t.c.x}) - std::min({t.a.x, t.b.x, t.c.x});
    if (across >= minimumAcross) triangles.push_back(t);
  }
  return triangles;
}

// A mesh seen from afar: triangles of a few pixels each, all over the frame.
std::vector<BenchTriangle> smallTriangles(int count) { return trianglesAround(count, 7, 3, 0); }

// Faces of a coarser mesh close up: 8 to 40 pixels across, past the small-face path.
std::vector<BenchTriangle> mediumTriangles(int count) { return trianglesAround(count, 13, 20, 8); }

// Close-up faces: each covers 5 to 20 percent of the frame.
std::vector<BenchTriangle> bigTriangles(int count) {
  std::mt19937 random(11);
  std::uniform_int_distribution<int64_t> x(-200, kWidth + 200), y(-200, kHeight + 200);
  const int64_t frame = int64_t{kWidth} * kHeight;
  std::vector<BenchTriangle> triangles;
  while (static_cast<int>(triangles.size()) < count) {
    BenchTriangle t{{x(random), y(random)},
                    {x(random), y(random)},
                    {x(random), y(random)},
                    static_cast<int32_t>(random() & 0xFFFFFF)};
    const int64_t area = doubleArea(t) / 2;
    if (area >= frame / 20 && area <= frame / 5) triangles.push_back(t);
  }
  return triangles;
}

void paintAll(benchmark::State& state, const std::vector<BenchTriangle>& triangles) {
  Surface surface;
  createSurface(surface, kWidth, kHeight, 0x808080);
  for (auto _ : state) {
    for (const BenchTriangle& t : triangles) paintTriangle(surface, t.a, t.b, t.c, t.colour);
    benchmark::DoNotOptimize(surface.pixels.data());
    benchmark::ClobberMemory();
  }
  state.SetItemsProcessed(state.iterations() * static_cast<int64_t>(triangles.size()));
}

void BM_PaintSmallTriangles(benchmark::State& state) {
  static const auto triangles = smallTriangles(16000);
  paintAll(state, triangles);
}
BENCHMARK(BM_PaintSmallTriangles)->Unit(benchmark::kMicrosecond);

void BM_PaintMediumTriangles(benchmark::State& state) {
  static const auto triangles = mediumTriangles(16000);
  paintAll(state, triangles);
}
BENCHMARK(BM_PaintMediumTriangles)->Unit(benchmark::kMicrosecond);

void BM_PaintBigTriangles(benchmark::State& state) {
  static const auto triangles = bigTriangles(2000);
  paintAll(state, triangles);
}
BENCHMARK(BM_PaintBigTriangles)->Unit(benchmark::kMillisecond);

// A clear of the frame, the floor for any full-frame fill.
void BM_FillSurface(benchmark::State& state) {
  Surface surface;
  createSurface(surface, kWidth, kHeight, 0x808080);
  for (auto _ : state) {
    fillSurface(surface, 0x123456);
    benchmark::DoNotOptimize(surface.pixels.data());
    benchmark::ClobberMemory();
  }
}
BENCHMARK(BM_FillSurface)->Unit(benchmark::kMicrosecond);

// The read-back for a saved picture of a desktop-sized frame.
void BM_BmpBytes(benchmark::State& state) {
  Surface surface;
  createSurface(surface, kWidth, kHeight, 0x808080);
  for (auto _ : state) benchmark::DoNotOptimize(bmpBytes(surface).data());
}
BENCHMARK(BM_BmpBytes)->Unit(benchmark::kMillisecond);

// The status line of one frame: font created, selected and deleted again, one line printed.
void BM_StatusLine(benchmark::State& state) {
  Surface surface;
  createSurface(surface, kWidth, kHeight, 0x808080);
  for (auto _ : state) {
    deleteFont(selectFont(surface, createFont("courier new", -16, 700)));
    setTextColour(surface, 255 + 256 * 255);
    setTransparentText(surface, true);
    moveTextPosition(surface, 0, 0);
    textOut(surface, "Zoom=1234 vertici=    8 x=210.000 y=  7.000 z= 90.000");
    benchmark::ClobberMemory();
  }
}
BENCHMARK(BM_StatusLine)->Unit(benchmark::kMicrosecond);

}  // namespace
}  // namespace corvath
