// The surface as a 24-bit BMP file.
#include <algorithm>

#include "raster/raster.hpp"

namespace corvath {
namespace {

constexpr size_t kBmpHeaderSize = 54;  // 14-byte file header and 40-byte information header

void putU16(uint8_t* at, uint32_t value) {
  at[0] = static_cast<uint8_t>(value);
  at[1] = static_cast<uint8_t>(value >> 8);
}

void putU32(uint8_t* at, uint32_t value) {
  putU16(at, value & 0xFFFF);
  putU16(at + 2, value >> 16);
}

}  // namespace

std::vector<uint8_t> bmpBytes(const Surface& surface) {
  const size_t width = static_cast<size_t>(std::max(surface.width, 0));
  const size_t height = static_cast<size_t>(std::max(surface.height, 0));
  const size_t stride = (width * 3 + 3) & ~size_t{3};
  std::vector<uint8_t> bytes(kBmpHeaderSize + stride * height, 0);  // padding stays 0
  uint8_t* header = bytes.data();
  header[0] = 'B';
  header[1] = 'M';
  putU32(header + 2, static_cast<uint32_t>(bytes.size()));
  putU32(header + 10, kBmpHeaderSize);
  putU32(header + 14, 40);
  putU32(header + 18, static_cast<uint32_t>(width));
  putU32(header + 22, static_cast<uint32_t>(height));
  putU16(header + 26, 1);
  putU16(header + 28, 24);
  // Compression, image size, resolutions and colour counts: all 0, as zero-filled.
  const size_t rowsWithPixels = width == 0 ? 0 : std::min(height, surface.pixels.size() / width);
  for (size_t row = 0; row < rowsWithPixels; ++row) {
    const uint32_t* source = surface.pixels.data() + row * width;
    uint8_t* target = bytes.data() + kBmpHeaderSize + (height - 1 - row) * stride;
    for (size_t column = 0; column < width; ++column) {
      const uint32_t pixel = source[column];
      target[0] = static_cast<uint8_t>(pixel);
      target[1] = static_cast<uint8_t>(pixel >> 8);
      target[2] = static_cast<uint8_t>(pixel >> 16);
      target += 3;
    }
  }
  return bytes;
}

}  // namespace corvath
