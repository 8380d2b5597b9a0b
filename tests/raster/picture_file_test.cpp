// The surface as BMP and PNG bytes.
#include <gtest/gtest.h>
#include <png.h>

#include <string>
#include <tuple>
#include <vector>

#include "raster/raster.hpp"

namespace corvath {
namespace {

// An "F" in red on white, its top-left pixel blue.
const char* const kLetterF[] = {"BRRRR.", ".R....", ".RRR..", ".R....", ".R...."};

Surface letterF() {
  Surface surface;
  createSurface(surface, 6, 5, 0xFFFFFF);
  for (int32_t i = 0; i < 30; ++i) {
    const char c = kLetterF[i / 6][i % 6];
    // Blue with a high byte, which a colour leaves out of its pixel.
    if (c != '.') surface.pixels[i] = pixelFromColour(c == 'R' ? 0x0000FF : -0x10000);
  }
  markSurfaceChanged(surface);
  return surface;
}

TEST(BmpBytes, LayoutOfAnOddWidthPicture) {
  std::vector<uint8_t> expected = {'B', 'M', 154, 0, 0, 0, 0, 0, 0, 0, 54, 0, 0, 0,  40,
                                   0,   0,   0,   6, 0, 0, 0, 5, 0, 0, 0,  1, 0, 24, 0};
  expected.resize(54);
  // Rows of 18 bytes and 2 of padding, the bottom row first.
  for (int32_t row = 4; row >= 0; --row) {
    for (const char c : std::string(kLetterF[row]))
      expected.insert(expected.end(), {uint8_t(c != 'R' ? 255 : 0), uint8_t(c == '.' ? 255 : 0),
                                       uint8_t(c != 'B' ? 255 : 0)});
    expected.insert(expected.end(), {0, 0});
  }
  EXPECT_EQ(bmpBytes(letterF()), expected);
  for (const auto& [width, size] : {std::pair{0, 54u}, {1366, 54u + 4100}, {1920, 54u + 5760}}) {
    Surface surface;
    createSurface(surface, width, 1, 0x123456);
    EXPECT_EQ(bmpBytes(surface).size(), size) << width;
  }
}

TEST(PngBytes, DecodesToTheSurfacePixels) {
  Surface surface = letterF();
  surface.pixels[29] = pixelFromColour(0x123456);  // every channel different
  const std::vector<uint8_t> bytes = pngBytes(surface);
  png_image image{};
  image.version = PNG_IMAGE_VERSION;
  ASSERT_TRUE(png_image_begin_read_from_memory(&image, bytes.data(), bytes.size()));
  ASSERT_EQ(std::tuple(image.width, image.height), std::tuple(6u, 5u));
  image.format = PNG_FORMAT_BGRA;  // 0xAARRGGBB on a little-endian machine
  std::vector<uint32_t> pixels(30);
  ASSERT_TRUE(png_image_finish_read(&image, nullptr, pixels.data(), 0, nullptr));
  for (uint32_t& pixel : surface.pixels) pixel |= 0xFF000000u;
  EXPECT_EQ(pixels, surface.pixels);
}

TEST(PngBytes, NothingForAnEmptyOrShortSurface) {
  Surface empty;
  createSurface(empty, 0, 4, 0);
  EXPECT_TRUE(pngBytes(empty).empty());
  Surface shortOfPixels = letterF();
  shortOfPixels.pixels.pop_back();
  EXPECT_TRUE(pngBytes(shortOfPixels).empty());
}

}  // namespace
}  // namespace corvath
