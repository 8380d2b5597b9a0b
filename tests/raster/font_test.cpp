// Fonts: matching a fixed-pitch bold face, its metrics and handles, and text drawn on a surface.
#include <gtest/gtest.h>

#include <cstdlib>
#include <new>
#include <string>
#include <string_view>
#include <tuple>

#include "raster/raster.hpp"

// Counts allocations so a test can tell that a warm frame allocates nothing.
namespace {
size_t allocationCount = 0;
}  // namespace

// None of the replacements inlined: g++ would then see malloc() and free() meet the operators
// and warn of a mismatch.
[[gnu::noinline]] void* operator new(size_t size) {
  ++allocationCount;
  if (void* memory = std::malloc(size == 0 ? 1 : size)) return memory;
  throw std::bad_alloc();
}
[[gnu::noinline]] void operator delete(void* memory) noexcept {
  std::free(memory);
}
[[gnu::noinline]] void operator delete(void* memory, size_t) noexcept {
  std::free(memory);
}

namespace corvath {
namespace {

constexpr int32_t kGrey = 0x808080;
constexpr int32_t kYellow = 0x00FFFF;

int32_t statusFont() {
  return createFont("courier new", -16, 700);
}

// The text at (x, y) in yellow on grey with the font, over a transparent or opaque background.
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

// Fixed pitch: every printable character advances the pen equally.
TEST(Fonts, AnyFamilyResolvesToAFixedPitchFace) {
  for (const char* name : {"courier new", "no such family anywhere"}) {
    const int32_t font = createFont(name, -16, 700);
    ASSERT_GE(font, 0) << name;
    Surface surface;
    selectFont(surface, font);
    const int32_t narrow = textWidth(surface, "iiii");
    EXPECT_GT(narrow, 0) << name;
    EXPECT_EQ(narrow, textWidth(surface, "WWWW")) << name << " resolves to " << fontFamily(font);
    EXPECT_EQ(narrow, 4 * fontMetrics(surface).averageCharWidth) << name;
  }
}

// More ink than the same family at weight 400 (over grey, red rises as blue falls).
TEST(Fonts, StatusFontIsBold) {
  const auto ink = [](int32_t font) {
    int64_t sum = 0;
    for (const uint32_t p : drawText(font, "WWWW", 100, 30, 0, 0).pixels)
      sum += static_cast<int64_t>((p >> 16) & 0xFF) - (p & 0xFF);
    return sum;
  };
  EXPECT_GT(ink(statusFont()), ink(createFont("courier new", -16, 400)) * 11 / 10);
}

TEST(Fonts, LiberationMonoBoldMetricsAtEveryWayOfGivingItsHeight) {
  if (fontFamily(statusFont()) != "Liberation Mono") GTEST_SKIP() << "no Liberation Mono here";
  Surface surface;
  selectFont(surface, statusFont());
  const FontMetrics m = fontMetrics(surface);
  // The status line's line height is height + externalLeading.
  EXPECT_EQ(std::tuple(m.ascent, m.descent, m.height, m.externalLeading, m.averageCharWidth),
            std::tuple(13, 5, 18, 0, 10));
  // Negative: the character height; 0: 16 pixels; positive: the cell.
  for (const int32_t height : {-16, 0, 18}) {
    selectFont(surface, createFont("courier new", height, 700));
    EXPECT_EQ(fontMetrics(surface).height, 18) << height;
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
  EXPECT_GT(fontMetrics(surface).height, 0);
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

TEST(TextOut, PaintsOnlyItsCellOverTheBackgroundOrOverWhite) {
  for (const bool transparent : {true, false}) {
    SCOPED_TRACE(transparent ? "transparent" : "opaque");
    const Surface surface = drawText(statusFont(), "Zoom", 120, 40, 7, 5, transparent);
    const FontMetrics metrics = fontMetrics(surface);
    const int32_t right = 7 + 4 * metrics.averageCharWidth, bottom = 5 + metrics.height;
    EXPECT_EQ(std::tuple(surface.textX, surface.textY), std::tuple(right, 5));
    int yellow = 0, grey = 0;
    for (int32_t y = 0; y < surface.height; ++y) {
      for (int32_t x = 0; x < surface.width; ++x) {
        const uint32_t pixel = surface.pixels[y * surface.width + x];
        if (pixel == pixelFromColour(kGrey)) {
          grey += x >= 7 && x < right && y >= 5 && y < bottom;
          continue;
        }
        // Yellow blended over grey or white: red and green rise together above the blue. A
        // glyph may overhang its cell by a pixel.
        const uint32_t red = (pixel >> 16) & 0xFF, green = (pixel >> 8) & 0xFF, blue = pixel & 0xFF;
        EXPECT_TRUE(red == green && (red > blue || pixel == 0xFFFFFF)) << x << "," << y;
        EXPECT_TRUE(x >= 6 && x <= right && y >= 5 && y < bottom) << x << "," << y;
        yellow += pixel == pixelFromColour(kYellow);
      }
    }
    EXPECT_GT(yellow, 20);
    // Inside the "o" and between the letters the background stays, or the cell is all white.
    EXPECT_TRUE(transparent ? grey > metrics.height * metrics.averageCharWidth : grey == 0) << grey;
  }
}

TEST(TextOut, TextPartlyOrWhollyOutsideIsClipped) {
  const int32_t places[][2] = {{-15, -7},    {100, 30},       {-1000, 0},
                               {0, 1000000}, {2147483000, 0}, {-2147483000, -2147483000}};
  for (const auto& [x, y] : places)
    EXPECT_EQ(drawText(statusFont(), "Zoom", 110, 35, x, y).pixels.size(), 110u * 35u);
  const Surface corner = drawText(statusFont(), "Zoom", 110, 35, -15, -7);
  EXPECT_NE(corner.pixels, std::vector<uint32_t>(110 * 35, pixelFromColour(kGrey)));
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
