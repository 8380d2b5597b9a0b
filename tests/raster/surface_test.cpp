// The surface's size, fill and drawing state, the worker threads that share a frame (under
// ThreadSanitizer too), the window hooks and the mouse-button query.
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
#include "support/thread_counts.hpp"
#include "view/view.hpp"
#include "window/window.hpp"

namespace corvath {
namespace {

TEST(Surface, ColoursPackRedFirstAndPixelsRedHigh) {
  EXPECT_EQ(pixelFromColour(0x123456), 0x563412u);
  EXPECT_EQ(colourFromPixel(0x563412u), 0x123456);
  EXPECT_EQ(pixelFromColour(static_cast<int32_t>(0xFF123456u)), 0x563412u);  // high byte ignored
}

TEST(Surface, CreateGivesSizeAndColourAndKeepsTheDrawingState) {
  Surface surface;
  moveTextPosition(surface, 12, -3);
  setTextColour(surface, 0xFFFF);
  setTransparentText(surface, true);
  setPenWidth(surface, 0);
  createSurface(surface, 3, 2, 0x0000FF);  // red
  EXPECT_EQ(std::tuple(surface.width, surface.height), std::tuple(3, 2));
  EXPECT_EQ(surface.pixels, std::vector<uint32_t>(6, 0xFF0000u));
  EXPECT_EQ(std::tuple(surface.textX, surface.textY, surface.textColour, surface.transparentText,
                       surface.penWidth),
            std::tuple(12, -3, 0xFFFF, true, 0));
  createSurface(surface, -4, 7, 0);
  EXPECT_EQ(std::tuple(surface.width, surface.height), std::tuple(0, 7));
  EXPECT_TRUE(surface.pixels.empty());
}

// A fill repaints only what was painted since the last one: whatever was painted before it, by
// triangles or text, in or beyond the surface, the fill must leave every pixel its colour.
TEST(Surface, FillLeavesEveryPixelTheColourWhateverWasPaintedBefore) {
  constexpr int32_t kGrey = 0x808080;
  const int32_t font = createFont("courier new", -16, 700);
  // Widths that leave every remainder to a vector fill; one tile, partial tiles at the edges (a
  // last column or row alone in its tile), and more than 64 tiles of 64 pixels a row.
  const std::pair<int32_t, int32_t> sizes[] = {{1, 1},    {2, 3},     {3, 3},     {5, 3},
                                               {7, 3},    {13, 3},    {64, 64},   {65, 130},
                                               {300, 65}, {300, 200}, {4100, 70}, {9000, 3}};
  testing::onSeveralThreadCounts([&] {
    std::mt19937 random(20261207);
    for (const auto& [width, height] : sizes) {
      SCOPED_TRACE(std::to_string(width) + "x" + std::to_string(height));
      Surface surface;
      createSurface(surface, width, height, kGrey);
      selectFont(surface, font);
      for (int round = 0; round < 30; ++round) {
        for (int32_t k = std::uniform_int_distribution<int32_t>(0, 6)(random); k > 0; --k) {
          // Mostly small shapes somewhere on the surface, some large ones reaching beyond it.
          const int32_t spread = random() % 4 == 0 ? std::max(width, height) : 10;
          const int32_t x = std::uniform_int_distribution<int32_t>(-20, width + 20)(random);
          const int32_t y = std::uniform_int_distribution<int32_t>(-20, height + 20)(random);
          std::uniform_int_distribution<int32_t> offset(-spread, spread);
          const auto corner = [&] { return PixelPoint{x + offset(random), y + offset(random)}; };
          const int32_t colour = static_cast<int32_t>(random() & 0xFFFFFF);
          if (random() % 5 == 0) {
            moveTextPosition(surface, x, y);
            setTextColour(surface, colour);
            setTransparentText(surface, random() % 2 == 0);
            textOut(surface, "x=210.000");
          } else {
            paintTriangle(surface, corner(), corner(), corner(), colour);
          }
        }
        if (random() % 6 == 0) {  // written directly, as a caller may
          surface.pixels[random() % surface.pixels.size()] = 0x123456;
          markSurfaceChanged(surface);
        }
        // Mostly the same colour, as frames clear; now and then another.
        const int32_t colour =
            round == 0 || random() % 5 == 0 ? static_cast<int32_t>(random() & 0xFFFFFF) : kGrey;
        fillSurface(surface, colour);
        ASSERT_EQ(surface.pixels,
                  std::vector<uint32_t>(surface.pixels.size(), pixelFromColour(colour)))
            << "round " << round;
      }
      // A copy paints and fills its own pixels, whatever the original's record says.
      paintTriangle(surface, {0, 0}, {width, 0}, {0, height}, 0x00FF00);
      Surface copy = surface;
      fillSurface(surface, kGrey);
      fillSurface(copy, kGrey);
      EXPECT_EQ(copy.pixels, surface.pixels);
    }
  });
  Surface empty;
  fillSurface(empty, kGrey);
  EXPECT_TRUE(empty.pixels.empty());
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
      EXPECT_EQ(std::count_if(runs.begin(), runs.end(), [](auto& count) { return count == 1; }),
                parts)
          << parts << " parts on " << threads << " threads";
    }
  }
  setWorkerCount(kept);
}

TEST(Workers, ManyShortBatchesInARowEachFinishBeforeTheNext) {
  if (testing::mostTestThreads() == 1) GTEST_SKIP() << "CORVATH_THREADS=1: no second thread";
  const int32_t kept = workerCount();
  setWorkerCount(4);
  // Each batch writes its own slots; a part that ran late, after its batch returned, would
  // find the next batch's number there.
  std::vector<int32_t> slots(8, -1);
  for (int32_t batch = 0; batch < 3000; ++batch) {
    runParts(8, [&](int32_t part) { slots[static_cast<size_t>(part)] = batch; });
    for (const int32_t slot : slots) ASSERT_EQ(slot, batch);
  }
#if !defined(__SANITIZE_THREAD__) && !defined(__SANITIZE_ADDRESS__)
  // A process forked while they are parked (SDL's box helper) ends by exit() without them.
  // Not under the sanitizers: a worker may hold their allocator's lock at the fork, and the
  // leak check that exit() runs in the child would wait on it for ever.
  EXPECT_EXIT(std::exit(0), ::testing::ExitedWithCode(0), "");
#endif
  setWorkerCount(kept);
}

}  // namespace
}  // namespace corvath
