// The surface's size and drawing state, the window hooks and the mouse-button query.
#include <gtest/gtest.h>

#include <random>
#include <string>
#include <utility>
#include <vector>

#include "platform/platform.hpp"

namespace corvath {
namespace {

TEST(Surface, ColoursPackRedFirstAndPixelsRedHigh) {
  EXPECT_EQ(pixelFromColour(0x123456), 0x563412u);
  EXPECT_EQ(colourFromPixel(0x563412u), 0x123456);
  EXPECT_EQ(pixelFromColour(static_cast<int32_t>(0xFF123456u)), 0x563412u);  // high byte ignored
}

TEST(Surface, CreateGivesSizeAndColour) {
  Surface surface;
  createSurface(surface, 3, 2, 0x0000FF);  // red
  EXPECT_EQ(surface.width, 3);
  EXPECT_EQ(surface.height, 2);
  EXPECT_EQ(surface.pixels, std::vector<uint32_t>(6, 0xFF0000u));
  createSurface(surface, -4, 7, 0);
  EXPECT_EQ(surface.width, 0);
  EXPECT_EQ(surface.height, 7);
  EXPECT_TRUE(surface.pixels.empty());
}

TEST(Surface, FillCoversEveryPixelWhateverTheCount) {
  for (const int32_t width : {1, 2, 3, 4, 5, 7, 8, 13}) {
    Surface surface;
    createSurface(surface, width, 3, 0);
    fillSurface(surface, 0x808080);
    EXPECT_EQ(surface.pixels, std::vector<uint32_t>(width * 3, 0x808080u)) << width;
  }
  Surface empty;
  fillSurface(empty, 0x808080);
  EXPECT_TRUE(empty.pixels.empty());
}

// A fill repaints only what was painted since the last one: whatever was painted before it,
// by triangles or text, in or beyond the surface, the fill must leave every pixel its colour.
TEST(Surface, FillAfterPaintingLeavesEveryPixelTheColour) {
  constexpr int32_t kGrey = 128 + 256 * 128 + 65536 * 128;
  std::mt19937 random(20261207);
  const int32_t font = createFont("courier new", -16, 700);
  // Sizes with one tile, partial tiles at the edges (a last column or row alone in its tile),
  // and more than 64 tiles of 64 pixels a row.
  for (const auto& [width, height] : std::vector<std::pair<int32_t, int32_t>>{
           {1, 1}, {64, 64}, {65, 130}, {300, 65}, {300, 200}, {4100, 70}, {9000, 3}}) {
    Surface surface;
    createSurface(surface, width, height, kGrey);
    selectFont(surface, font);
    for (int round = 0; round < 30; ++round) {
      const int32_t shapes = std::uniform_int_distribution<int32_t>(0, 6)(random);
      for (int32_t k = 0; k < shapes; ++k) {
        // Mostly small shapes somewhere on the surface, some large ones reaching beyond it.
        const bool large = random() % 4 == 0;
        const int32_t spread = large ? std::max(width, height) : 10;
        const int32_t centreX = std::uniform_int_distribution<int32_t>(-20, width + 20)(random);
        const int32_t centreY = std::uniform_int_distribution<int32_t>(-20, height + 20)(random);
        std::uniform_int_distribution<int32_t> offset(-spread, spread);
        const auto corner = [&] {
          return PixelPoint{centreX + offset(random), centreY + offset(random)};
        };
        const int32_t colour = static_cast<int32_t>(random() & 0xFFFFFF);
        if (random() % 5 == 0) {
          moveTextPosition(surface, centreX, centreY);
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
      const int32_t colour = random() % 5 == 0 ? static_cast<int32_t>(random() & 0xFFFFFF) : kGrey;
      fillSurface(surface, colour);
      ASSERT_EQ(surface.pixels,
                std::vector<uint32_t>(surface.pixels.size(), pixelFromColour(colour)))
          << width << "x" << height << " round " << round;
    }
    // A copy paints and fills its own pixels, whatever the original's record says.
    paintTriangle(surface, {0, 0}, {width, 0}, {0, height}, 0x00FF00);
    Surface copy = surface;
    fillSurface(surface, kGrey);
    fillSurface(copy, kGrey);
    EXPECT_EQ(copy.pixels, surface.pixels);
  }
}

TEST(Surface, DrawingStateIsKept) {
  Surface surface;
  moveTextPosition(surface, 12, -3);
  setTextColour(surface, 255 + 256 * 255);
  setTransparentText(surface, true);
  setPenWidth(surface, 0);
  createSurface(surface, 4, 4, 0);  // a new size keeps the state
  EXPECT_EQ(surface.textX, 12);
  EXPECT_EQ(surface.textY, -3);
  EXPECT_EQ(surface.textColour, 255 + 256 * 255);
  EXPECT_TRUE(surface.transparentText);
  EXPECT_EQ(surface.penWidth, 0);
}

TEST(Hooks, FunctionsAreCalledUntilCleared) {
  int refreshes = 0;
  std::vector<std::string> messages;
  setRefreshFunction([&] { ++refreshes; });
  setMessageBoxFunction([&](const std::string& text) { messages.push_back(text); });
  refreshDrawingSurface();
  refreshDrawingSurface();
  showMessageBox("Errore. 5");
  setRefreshFunction(nullptr);
  setMessageBoxFunction(nullptr);
  refreshDrawingSurface();
  showMessageBox("again");
  EXPECT_EQ(refreshes, 2);
  EXPECT_EQ(messages, std::vector<std::string>{"Errore. 5"});
}

TEST(MouseButtons, HeldCountsOnlyAfterTheFirstQuery) {
  resetMouseButtons();
  EXPECT_EQ(asyncButtonState(kLeftButton), 0);
  noteMouseButton(kLeftButton, true);
  EXPECT_EQ(asyncButtonState(kLeftButton), -32767);  // newly pressed
  EXPECT_EQ(asyncButtonState(kLeftButton), -32768);  // held
  noteMouseButton(kLeftButton, true);                // a repeated press event changes nothing
  EXPECT_EQ(asyncButtonState(kLeftButton), -32768);
  EXPECT_EQ(asyncButtonState(kRightButton), 0);
  noteMouseButton(kLeftButton, false);
  EXPECT_EQ(asyncButtonState(kLeftButton), 0);
}

TEST(MouseButtons, PressAndReleaseBetweenQueriesShowsOnce) {
  resetMouseButtons();
  noteMouseButton(kRightButton, true);
  noteMouseButton(kRightButton, false);
  EXPECT_EQ(asyncButtonState(kRightButton), 1);
  EXPECT_EQ(asyncButtonState(kRightButton), 0);
}

TEST(MouseButtons, ButtonsAreIndependentAndResettable) {
  resetMouseButtons();
  noteMouseButton(kLeftButton, true);
  noteMouseButton(kRightButton, true);
  asyncButtonState(kLeftButton);
  EXPECT_EQ(asyncButtonState(kRightButton), -32767);
  EXPECT_EQ(asyncButtonState(kLeftButton), -32768);
  noteMouseButton(3, true);  // other buttons are not tracked
  EXPECT_EQ(asyncButtonState(3), 0);
  EXPECT_EQ(asyncButtonState(-1), 0);
  resetMouseButtons();
  EXPECT_EQ(asyncButtonState(kLeftButton), 0);
  EXPECT_EQ(asyncButtonState(kRightButton), 0);
}

}  // namespace
}  // namespace corvath
