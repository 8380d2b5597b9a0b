// The surface and its fill, and the worker threads that share a frame (under ThreadSanitizer).
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <random>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include "raster/raster.hpp"
#include "support/variants.hpp"

namespace corvath {
namespace {

TEST(Surface, CreateTakesNoNegativeWidthAndKeepsThePen) {
  Surface surface;
  moveTextPosition(surface, 12, -3);
  createSurface(surface, -4, 7, 0);
  EXPECT_EQ(std::tuple(surface.width, surface.height, surface.pixels.size(), surface.textY),
            std::tuple(0, 7, 0u, -3));
}

// A fill repaints only what was painted since the last one: whatever triangles or text painted
// before it, in or beyond the surface, every pixel must take its colour. Widths leave every
// remainder to a vector fill; a last column or row alone in its 64-pixel tile; over 64 tiles.
TEST(Surface, FillLeavesEveryPixelTheColourWhateverWasPaintedBefore) {
  constexpr int32_t kGrey = 0x808080;
  const int32_t font = createFont("courier new", -16, 700);
  const std::pair<int32_t, int32_t> sizes[] = {{1, 1},   {2, 3},     {3, 3},    {5, 3},
                                               {7, 3},   {13, 3},    {65, 130}, {300, 65},
                                               {64, 64}, {4100, 70}, {9000, 3}};
  testing::onSeveralThreadCounts([&] {
    std::mt19937 random(20261207);
    const auto draw = [&](int32_t low, int32_t high) {
      return std::uniform_int_distribution<int32_t>(low, high)(random);
    };
    for (const auto& [width, height] : sizes) {
      SCOPED_TRACE(std::to_string(width) + "x" + std::to_string(height));
      Surface surface;
      createSurface(surface, width, height, kGrey);
      selectFont(surface, font);
      for (int round = 0; round < 30; ++round) {
        for (int32_t k = draw(0, 6); k > 0; --k) {
          const int32_t spread = random() % 4 == 0 ? std::max(width, height) : 10;
          const int32_t x = draw(-20, width + 20), y = draw(-20, height + 20);
          const auto corner = [&] {
            return PixelPoint{x + draw(-spread, spread), y + draw(-spread, spread)};
          };
          if (random() % 5 == 0) {
            moveTextPosition(surface, x, y);
            setTransparentText(surface, random() % 2 == 0);
            textOut(surface, "x=210.000");
          } else {
            paintTriangle(surface, corner(), corner(), corner(), draw(0, 0xFFFFFF));
          }
        }
        if (random() % 6 == 0) {  // written directly, as a caller may
          surface.pixels[random() % surface.pixels.size()] = 0x123456;
          markSurfaceChanged(surface);
        }
        const int32_t colour = round == 0 || random() % 5 == 0 ? draw(0, 0xFFFFFF) : kGrey;
        fillSurface(surface, colour);
        ASSERT_EQ(surface.pixels,
                  std::vector<uint32_t>(surface.pixels.size(), pixelFromColour(colour)))
            << "round " << round;
      }
      // A copy fills its own pixels, whatever the original's record says.
      paintTriangle(surface, {0, 0}, {width, 0}, {0, height}, 0x00FF00);
      Surface copy = surface;
      fillSurface(surface, kGrey);
      fillSurface(copy, kGrey);
      EXPECT_EQ(copy.pixels, surface.pixels);
    }
  });
}

TEST(Workers, EveryPartRunsExactlyOnceOnAnyThreadCount) {
  const int32_t kept = workerCount();
  EXPECT_EQ(setWorkerCount(0), 1);
  EXPECT_EQ(setWorkerCount(kMostWorkers + 5), kMostWorkers);
  for (const int32_t threads : {1, 2, 3, kMostWorkers}) {
    if (threads > testing::mostTestThreads()) break;
    EXPECT_EQ(setWorkerCount(threads), threads);
    for (const int32_t parts : {0, 1, 2, 7, 1000}) {
      std::vector<std::atomic<int32_t>> runs(static_cast<size_t>(parts));
      runParts(parts, [&](int32_t part) { runs[static_cast<size_t>(part)].fetch_add(1); });
      EXPECT_EQ(std::count(runs.begin(), runs.end(), 1), parts) << parts << " on " << threads;
    }
  }
  setWorkerCount(kept);
}

// A part that ran late, after its batch returned, would find the next batch's number.
TEST(Workers, ManyShortBatchesInARowEachFinishBeforeTheNext) {
  if (testing::mostTestThreads() == 1) GTEST_SKIP() << "CORVATH_THREADS=1: no second thread";
  const int32_t kept = workerCount();
  setWorkerCount(4);
  std::vector<int32_t> slots(8, -1);
  for (int32_t batch = 0; batch < 3000; ++batch) {
    runParts(8, [&](int32_t part) { slots[static_cast<size_t>(part)] = batch; });
    for (const int32_t slot : slots) ASSERT_EQ(slot, batch);
  }
#if !defined(__SANITIZE_THREAD__) && !defined(__SANITIZE_ADDRESS__)
  // A process forked while they are parked (SDL's box helper) ends by exit() without them. Not
  // under the sanitizers: a worker may hold their allocator's lock at the fork.
  EXPECT_EXIT(std::exit(0), ::testing::ExitedWithCode(0), "");
#endif
  setWorkerCount(kept);
}

}  // namespace
}  // namespace corvath
