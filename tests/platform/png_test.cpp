// PNG bytes of a surface, decoded again with libpng.
#include <gtest/gtest.h>
#include <png.h>

#include <vector>

#include "platform/platform.hpp"

namespace corvath {
namespace {

// The pixels of a PNG file as 0x00RRGGBB, or nothing when libpng cannot read it.
std::vector<uint32_t> decodePng(const std::vector<uint8_t>& bytes, int32_t& width,
                                int32_t& height) {
  png_image image{};
  image.version = PNG_IMAGE_VERSION;
  if (!png_image_begin_read_from_memory(&image, bytes.data(), bytes.size())) return {};
  image.format = PNG_FORMAT_RGB;
  std::vector<uint8_t> rgb(PNG_IMAGE_SIZE(image));
  if (!png_image_finish_read(&image, nullptr, rgb.data(), 0, nullptr)) return {};
  width = static_cast<int32_t>(image.width);
  height = static_cast<int32_t>(image.height);
  std::vector<uint32_t> pixels(rgb.size() / 3);
  for (size_t i = 0; i < pixels.size(); ++i) {
    pixels[i] = uint32_t{rgb[3 * i]} << 16 | uint32_t{rgb[3 * i + 1]} << 8 | rgb[3 * i + 2];
  }
  return pixels;
}

// A 7 x 3 picture with no symmetry, every channel of every pixel different:
//   pixel (x, y) = red 36x + y, green 200 - 9y - x, blue 3x * y + 17
Surface oddPicture() {
  Surface surface;
  createSurface(surface, 7, 3, 0);
  for (int32_t y = 0; y < 3; ++y) {
    for (int32_t x = 0; x < 7; ++x) {
      surface.pixels[y * 7 + x] =
          pixelFromColour((36 * x + y) + 256 * (200 - 9 * y - x) + 65536 * (3 * x * y + 17));
    }
  }
  markSurfaceChanged(surface);
  return surface;
}

TEST(PngBytes, DecodesToTheSurfacePixels) {
  const Surface surface = oddPicture();
  const std::vector<uint8_t> bytes = pngBytes(surface);
  ASSERT_GE(bytes.size(), 8u);
  EXPECT_EQ(png_sig_cmp(bytes.data(), 0, 8), 0);
  int32_t width = 0;
  int32_t height = 0;
  EXPECT_EQ(decodePng(bytes, width, height), surface.pixels);
  EXPECT_EQ(width, 7);
  EXPECT_EQ(height, 3);
}

TEST(PngBytes, SamePixelsAsTheBmp) {
  // The BMP stores rows bottom-up in blue-green-red order, padded to 4 bytes.
  const Surface surface = oddPicture();
  const std::vector<uint8_t> bmp = bmpBytes(surface);
  int32_t width = 0;
  int32_t height = 0;
  const std::vector<uint32_t> png = decodePng(pngBytes(surface), width, height);
  ASSERT_EQ(png.size(), 21u);
  const size_t stride = 24;
  for (int32_t y = 0; y < 3; ++y) {
    for (int32_t x = 0; x < 7; ++x) {
      const uint8_t* bgr = bmp.data() + 54 + (2 - y) * stride + 3 * x;
      EXPECT_EQ(png[y * 7 + x], uint32_t{bgr[2]} << 16 | uint32_t{bgr[1]} << 8 | bgr[0]);
    }
  }
}

TEST(PngBytes, NothingForAnEmptyOrShortSurface) {
  Surface empty;
  createSurface(empty, 0, 4, 0);
  EXPECT_TRUE(pngBytes(empty).empty());
  Surface shortOfPixels = oddPicture();
  shortOfPixels.pixels.pop_back();
  EXPECT_TRUE(pngBytes(shortOfPixels).empty());
}

}  // namespace
}  // namespace corvath
