// The surface's size and drawing state, the window hooks and the mouse-button query.
#include <gtest/gtest.h>

#include <string>
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

TEST(Hooks, WithoutFunctionsRefreshAndMessageBoxReturnAtOnce) {
  setRefreshFunction(nullptr);
  setMessageBoxFunction(nullptr);
  refreshDrawingSurface();
  showMessageBox("Errore. 5");
}

TEST(Hooks, FunctionsAreCalled) {
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
