// The surface as a PNG file, built in memory: 8-bit RGB, no interlacing, no ancillary chunks.
#include <png.h>

#include <algorithm>
#include <csetjmp>

#include "raster/raster.hpp"

namespace corvath {
namespace {

void appendBytes(png_structp png, png_bytep data, png_size_t length) {
  auto* bytes = static_cast<std::vector<uint8_t>*>(png_get_io_ptr(png));
  bytes->insert(bytes->end(), data, data + length);
}

void flushNothing(png_structp) {}

// The pixel rows, apart from the function that sets the jump target: values that live across a
// setjmp are a known weak point of optimising compilers (g++ 12 for 64-bit ARM fails on them).
[[gnu::noinline]] void writeRows(png_structp png, const Surface& surface, size_t width,
                                 size_t height, std::vector<uint8_t>& row) {
  for (size_t y = 0; y < height; ++y) {
    const uint32_t* source = surface.pixels.data() + y * width;
    for (size_t x = 0; x < width; ++x) {
      row[3 * x] = static_cast<uint8_t>(source[x] >> 16);
      row[3 * x + 1] = static_cast<uint8_t>(source[x] >> 8);
      row[3 * x + 2] = static_cast<uint8_t>(source[x]);
    }
    png_write_row(png, row.data());
  }
}

}  // namespace

std::vector<uint8_t> pngBytes(const Surface& surface) {
  const size_t width = static_cast<size_t>(std::max(surface.width, 0));
  const size_t height = static_cast<size_t>(std::max(surface.height, 0));
  // A PNG cannot have an empty side, and a surface whose pixels fall short has none to give.
  if (width == 0 || height == 0 || surface.pixels.size() < width * height) return {};

  std::vector<uint8_t> bytes;
  png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
  if (png == nullptr) return {};
  png_infop info = png_create_info_struct(png);
  // Declared before the jump target so that a failure longjmp-ing back leaves nothing to leak.
  std::vector<uint8_t> row(width * 3);
  if (info == nullptr || setjmp(png_jmpbuf(png))) {
    png_destroy_write_struct(&png, &info);
    return {};
  }
  png_set_write_fn(png, &bytes, appendBytes, flushNothing);
  png_set_IHDR(png, info, static_cast<png_uint_32>(width), static_cast<png_uint_32>(height), 8,
               PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT,
               PNG_FILTER_TYPE_DEFAULT);
  png_write_info(png, info);
  writeRows(png, surface, width, height, row);
  png_write_end(png, nullptr);
  png_destroy_write_struct(&png, &info);
  return bytes;
}

}  // namespace corvath
