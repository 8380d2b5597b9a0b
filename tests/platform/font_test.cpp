// Fonts: matching a fixed-pitch bold face, its metrics, and text drawn on a surface.
#include <gtest/gtest.h>

#include <cstdlib>
#include <iostream>
#include <new>
#include <string>
#include <utility>

#include "platform/platform.hpp"

// Counts allocations so a test can tell that a warm frame allocates nothing.
namespace {
size_t allocationCount = 0;
}  // namespace

void* operator new(size_t size) {
  ++allocationCount;
  if (void* memory = std::malloc(size == 0 ? 1 : size)) return memory;
  throw std::bad_alloc();
}
void operator delete(void* memory) noexcept {
  std::free(memory);
}
void operator delete(void* memory, size_t) noexcept {
  std::free(memory);
}

namespace corvath {
namespace {

constexpr int32_t kGrey = 128 + 256 * 128 + 65536 * 128;
constexpr int32_t kYellow = 255 + 256 * 255;

bool isYellowish(uint32_t pixel) {
  // Blended over grey: red and green rise together above the blue, which falls.
  const uint32_t red = (pixel >> 16) & 0xFF, green = (pixel >> 8) & 0xFF, blue = pixel & 0xFF;
  return red == green && red > blue;
}

int32_t statusFont() {
  return createFont("courier new", -16, 700);
}

bool liberationMono() {
  return fontFamily(statusFont()) == "Liberation Mono";
}

// Advances of "iiii" and "WWWW" with the font: equal for a fixed-pitch face.
std::pair<int32_t, int32_t> narrowAndWide(int32_t font) {
  Surface surface;
  selectFont(surface, font);
  textOut(surface, "iiii");
  const int32_t narrow = surface.textX;
  moveTextPosition(surface, 0, 0);
  textOut(surface, "WWWW");
  return {narrow, surface.textX};
}

// Total red of "WWWW" drawn in yellow on black: how much ink the face lays down.
int64_t inkOf(int32_t font) {
  Surface surface;
  createSurface(surface, 100, 30, 0);
  selectFont(surface, font);
  setTextColour(surface, kYellow);
  setTransparentText(surface, true);
  textOut(surface, "WWWW");
  int64_t ink = 0;
  for (const uint32_t pixel : surface.pixels) ink += (pixel >> 16) & 0xFF;
  return ink;
}

TEST(Fonts, CourierNewResolvesToAMonospaceBoldFace) {
  const int32_t font = statusFont();
  ASSERT_GE(font, 0);
  const std::string family = fontFamily(font);
  EXPECT_FALSE(family.empty());
  RecordProperty("family", family);
  std::cout << "\"courier new\" bold resolves to " << family << "\n";
  // Fixed pitch: every printable character advances the pen equally.
  const auto [narrow, wide] = narrowAndWide(font);
  EXPECT_EQ(narrow, wide);
  Surface surface;
  selectFont(surface, font);
  EXPECT_EQ(narrow, 4 * fontMetrics(surface).averageCharWidth);
  // Bold: heavier strokes than the same family at weight 400.
  EXPECT_GT(inkOf(font), inkOf(createFont("courier new", -16, 400)) * 11 / 10);
}

TEST(Fonts, UnknownFamilyFallsBackToAFixedPitchFace) {
  const int32_t font = createFont("no such family anywhere", -16, 700);
  ASSERT_GE(font, 0);
  const auto [narrow, wide] = narrowAndWide(font);
  EXPECT_EQ(narrow, wide) << fontFamily(font);
  EXPECT_GT(narrow, 0);
}

TEST(Fonts, LiberationMonoBoldMetricsAtSixteenPixels) {
  if (!liberationMono()) GTEST_SKIP() << "Liberation Mono is not installed";
  Surface surface;
  selectFont(surface, statusFont());
  const FontMetrics metrics = fontMetrics(surface);
  EXPECT_EQ(metrics.ascent, 13);
  EXPECT_EQ(metrics.descent, 5);
  EXPECT_EQ(metrics.height, 18);
  EXPECT_EQ(metrics.height + metrics.externalLeading, 18);  // the status line's line height
  EXPECT_EQ(metrics.averageCharWidth, 10);
}

TEST(Fonts, PositiveHeightAsksForTheCell) {
  if (!liberationMono()) GTEST_SKIP() << "Liberation Mono is not installed";
  Surface surface;
  selectFont(surface, createFont("courier new", 18, 700));
  EXPECT_EQ(fontMetrics(surface).height, 18);
}

TEST(Fonts, TheSameRequestIsCachedUnderOneHandle) {
  const int32_t first = statusFont();
  deleteFont(first);
  EXPECT_EQ(statusFont(), first);
  // The name is cut after 31 characters, as a font record holds it.
  EXPECT_EQ(createFont("courier new" + std::string(20, ' ') + "X", -16, 700),
            createFont("courier new" + std::string(20, ' ') + "Y", -16, 700));
}

TEST(Fonts, MissingFontKeepsThePreviousSelection) {
  Surface surface;
  const int32_t font = statusFont();
  EXPECT_EQ(selectFont(surface, font), -1);              // nothing was selected before
  EXPECT_EQ(createFont("courier new", -5000, 700), -1);  // beyond the largest size
  EXPECT_EQ(selectFont(surface, -1), -1);
  EXPECT_EQ(selectFont(surface, 123456), -1);
  EXPECT_EQ(surface.font, font);
  EXPECT_GT(fontMetrics(surface).height, 0);
}

TEST(Fonts, NoSelectedFontHasZeroMetricsAndDrawsNothing) {
  Surface surface;
  createSurface(surface, 50, 20, kGrey);
  EXPECT_EQ(fontMetrics(surface).height, 0);
  textOut(surface, "Zoom");
  EXPECT_EQ(surface.textX, 0);
  EXPECT_EQ(surface.pixels, std::vector<uint32_t>(1000, pixelFromColour(kGrey)));
}

TEST(Fonts, AWarmStatusLineFrameAllocatesNothing) {
  // What every frame does: create and select the font, read its metrics, print, delete the
  // old font. After the first frame the caches hold everything.
  Surface surface;
  createSurface(surface, 640, 40, kGrey);
  const auto frame = [&] {
    deleteFont(selectFont(surface, createFont("courier new", -16, 700)));
    const FontMetrics metrics = fontMetrics(surface);
    setTextColour(surface, kYellow);
    setTransparentText(surface, true);
    moveTextPosition(surface, 0, 0);
    textOut(surface, "Zoom=1234 vertici=    8 x=210.000 y=  7.000 z= 90.000");
    moveTextPosition(surface, 0, surface.textY + metrics.height + metrics.externalLeading);
  };
  frame();
  const size_t before = allocationCount;
  for (int i = 0; i < 10; ++i) frame();
  EXPECT_EQ(allocationCount, before);
}

// Draws "Zoom" at (x, y) in yellow on grey with a transparent background.
Surface drawZoom(int32_t width, int32_t height, int32_t x, int32_t y) {
  Surface surface;
  createSurface(surface, width, height, kGrey);
  selectFont(surface, statusFont());
  setTextColour(surface, kYellow);
  setTransparentText(surface, true);
  moveTextPosition(surface, x, y);
  textOut(surface, "Zoom");
  return surface;
}

TEST(TextOut, PaintsYellowOnlyInsideTheTextBox) {
  const Surface surface = drawZoom(120, 40, 7, 5);
  const FontMetrics metrics = fontMetrics(surface);
  const int32_t advance = metrics.averageCharWidth;
  EXPECT_EQ(surface.textX, 7 + 4 * advance);
  EXPECT_EQ(surface.textY, 5);
  int yellow = 0;
  for (int32_t y = 0; y < surface.height; ++y) {
    for (int32_t x = 0; x < surface.width; ++x) {
      const uint32_t pixel = surface.pixels[y * surface.width + x];
      if (pixel == pixelFromColour(kGrey)) continue;
      EXPECT_TRUE(isYellowish(pixel)) << x << "," << y;
      EXPECT_GE(x, 7 - 1);  // a glyph may overhang its cell by a pixel
      EXPECT_LT(x, 7 + 4 * advance + 1);
      EXPECT_GE(y, 5);
      EXPECT_LT(y, 5 + metrics.height);
      yellow += pixel == pixelFromColour(kYellow);
    }
  }
  EXPECT_GT(yellow, 20);
}

TEST(TextOut, TransparentBackgroundKeepsThePixelsBetweenGlyphs) {
  // Inside the "o" (its counter) and in the gap between two letters the grey stays.
  const Surface surface = drawZoom(120, 40, 0, 0);
  const FontMetrics metrics = fontMetrics(surface);
  int grey = 0;
  for (int32_t y = 0; y < metrics.height; ++y) {
    for (int32_t x = 0; x < 4 * metrics.averageCharWidth; ++x) {
      grey += surface.pixels[y * surface.width + x] == pixelFromColour(kGrey);
    }
  }
  EXPECT_GT(grey, metrics.height * metrics.averageCharWidth);
}

TEST(TextOut, OpaqueBackgroundFillsTheCell) {
  Surface surface;
  createSurface(surface, 60, 30, kGrey);
  selectFont(surface, statusFont());
  setTextColour(surface, kYellow);
  setTransparentText(surface, false);
  textOut(surface, " ");
  const FontMetrics metrics = fontMetrics(surface);
  EXPECT_EQ(surface.pixels[0], 0xFFFFFFu);
  EXPECT_EQ(surface.pixels[(metrics.height - 1) * 60 + metrics.averageCharWidth - 1], 0xFFFFFFu);
  EXPECT_EQ(surface.pixels[metrics.height * 60], pixelFromColour(kGrey));
  EXPECT_EQ(surface.pixels[metrics.averageCharWidth], pixelFromColour(kGrey));
}

TEST(TextOut, TextPartlyOrWhollyOutsideIsClipped) {
  for (const auto& [x, y] : {std::pair{-15, -7},
                             {100, 30},
                             {-1000, 0},
                             {0, 1000000},
                             {2147483000, 0},
                             {-2147483000, -2147483000}}) {
    const Surface surface = drawZoom(110, 35, x, y);
    EXPECT_EQ(surface.pixels.size(), 110u * 35u);
  }
  const Surface corner = drawZoom(110, 35, -15, -7);
  bool drawn = false;
  for (const uint32_t pixel : corner.pixels) drawn |= pixel != pixelFromColour(kGrey);
  EXPECT_TRUE(drawn);
  // Bytes beyond ASCII and control bytes are characters like any other.
  Surface other = drawZoom(110, 35, 3, 3);
  textOut(other, "\xE8\x01\xFF\x7F");
  EXPECT_EQ(other.textX, 3 + 8 * fontMetrics(other).averageCharWidth);
  // A surface whose size its pixels do not match moves the pen and draws nothing.
  Surface broken = drawZoom(10, 10, 0, 0);
  broken.width = 1000;
  moveTextPosition(broken, 0, 0);
  setTransparentText(broken, false);
  textOut(broken, "Zoom");
  EXPECT_EQ(broken.textX, 4 * fontMetrics(broken).averageCharWidth);
  // The pen saturates instead of wrapping around.
  EXPECT_EQ(drawZoom(10, 10, 2147483640, 0).textX, 2147483647);
}

}  // namespace
}  // namespace corvath
