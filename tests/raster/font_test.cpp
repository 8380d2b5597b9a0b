// Fonts: matching a fixed-pitch bold face, its metrics and handles, and text drawn on a surface.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <string_view>
#include <tuple>

#include "raster/raster.hpp"

namespace corvath {
namespace {

constexpr int32_t kGrey = 0x808080;
constexpr int32_t kYellow = 0x00FFFF;

int32_t statusFont() {
  return createFont("courier new", -16, 700);
}

Surface drawText(int32_t font, std::string_view text, int32_t width, int32_t height, int32_t x,
                 int32_t y, bool transparent = true) {
  Surface surface;
  createSurface(surface, width, height, kGrey);
  selectFont(surface, font);
  setTextColour(surface, kYellow);
  setTransparentText(surface, transparent);
  moveTextPosition(surface, x, y);
  textOut(surface, text);
  return surface;
}

TEST(Fonts, AnyFamilyResolvesToAFixedPitchFace) {
  for (const char* name : {"courier new", "no such family anywhere"}) {
    const int32_t font = createFont(name, -16, 700);
    ASSERT_GE(font, 0) << name;
    Surface surface;
    selectFont(surface, font);
    const int32_t narrow = textWidth(surface, "iiii");
    EXPECT_GT(narrow, 0) << name;
    EXPECT_EQ(narrow, textWidth(surface, "WWWW")) << name;
    EXPECT_EQ(narrow, 4 * fontMetrics(surface).averageCharWidth) << name;
  }
}

TEST(Fonts, RequestsAreCached) {
  const int32_t font = statusFont();
  deleteFont(font);
  EXPECT_EQ(statusFont(), font);
  // The name is cut after 31 characters, as a font record holds it.
  const std::string name = "courier new" + std::string(20, ' ');
  EXPECT_EQ(createFont(name + "X", -16, 700), createFont(name + "Y", -16, 700));
  EXPECT_EQ(createFont("courier new", -5000, 700), -1);  // beyond the largest size
}

TEST(Fonts, WithoutAValidFontNothingIsMeasuredOrDrawn) {
  Surface surface = drawText(-1, "Zoom", 50, 20, 0, 0, false);
  EXPECT_EQ(std::tuple(fontMetrics(surface).height, textWidth(surface, "Zoom"), surface.textX),
            std::tuple(0, 0, 0));
  EXPECT_EQ(surface.pixels, std::vector<uint32_t>(1000, pixelFromColour(kGrey)));
  EXPECT_EQ(selectFont(surface, statusFont()), -1);  // nothing was selected before
  EXPECT_EQ(selectFont(surface, -1), -1);
  EXPECT_EQ(selectFont(surface, 123456), -1);
  EXPECT_EQ(surface.font, statusFont());
}

// Transparent text the frames hold; opaque text paints its cell white under the glyphs (which
// may overhang it by a pixel) and nothing outside.
TEST(TextOut, OpaqueTextPaintsItsCellAndNothingElse) {
  const Surface surface = drawText(statusFont(), "Zoom", 120, 40, 7, 5, false);
  const int32_t right = 7 + 4 * fontMetrics(surface).averageCharWidth;
  const int32_t bottom = 5 + fontMetrics(surface).height;
  ASSERT_EQ(std::tuple(surface.textX, surface.textY), std::tuple(right, 5));
  for (int32_t i = 0; i < 120 * 40; ++i) {
    const int32_t x = i % 120, y = i / 120;
    if (x == 6 || x == right) continue;
    const bool inCell = x > 6 && x < right && y >= 5 && y < bottom;
    EXPECT_EQ(surface.pixels[i] != pixelFromColour(kGrey), inCell) << x << "," << y;
  }
  EXPECT_NE(std::count(surface.pixels.begin(), surface.pixels.end(), 0xFFFFFFu), 0);
}

TEST(TextOut, TextPartlyOrWhollyOutsideIsClipped) {
  const int32_t places[][2] = {{-15, -7},    {100, 30},       {-1000, 0},
                               {0, 1000000}, {2147483000, 0}, {-2147483000, -2147483000}};
  for (const auto& [x, y] : places)
    EXPECT_EQ(drawText(statusFont(), "Zoom", 110, 35, x, y).pixels.size(), 110u * 35u);
  EXPECT_NE(drawText(statusFont(), "Zoom", 110, 35, -15, -7).pixels,
            std::vector<uint32_t>(110 * 35, pixelFromColour(kGrey)));
  // Glyph edges blend the ink into the grey below, channel by channel.
  for (const uint32_t pixel : drawText(statusFont(), "Zoom", 110, 35, 3, 3).pixels)
    ASSERT_TRUE(pixel >> 16 >= 128 && (pixel >> 8 & 0xFF) >= 128 && (pixel & 0xFF) <= 128) << pixel;
  // Bytes beyond ASCII and control bytes are characters like any other.
  const Surface other = drawText(statusFont(), "Zo\xE8\x01\xFF\x7F", 110, 35, 3, 3);
  EXPECT_EQ(other.textX, 3 + 6 * fontMetrics(other).averageCharWidth);
  // A surface whose size its pixels do not match moves the pen and draws nothing.
  Surface broken = drawText(statusFont(), "", 10, 10, 0, 0, false);
  broken.width = 1000;
  textOut(broken, "Zoom");
  EXPECT_EQ(broken.textX, 4 * fontMetrics(broken).averageCharWidth);
  // The pen saturates instead of wrapping around.
  EXPECT_EQ(drawText(statusFont(), "Zoom", 10, 10, 2147483640, 0).textX, 2147483647);
}

}  // namespace
}  // namespace corvath
