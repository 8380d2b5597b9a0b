// Pictures compared pixel by pixel; a difference is counted, bounded and written out as BMP
// files, so that a failing test shows what moved.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <fstream>
#include <string>
#include <vector>

#include "raster/raster.hpp"

namespace corvath::testing {

// Writes the picture as name.bmp in the tests' temporary folder (left there for a look) and
// returns the file's path.
inline std::string writePicture(const Surface& picture, const std::string& name) {
  const std::string path = ::testing::TempDir() + name + ".bmp";
  const std::vector<uint8_t> bytes = bmpBytes(picture);
  std::ofstream(path, std::ios::binary)
      .write(reinterpret_cast<const char*>(bytes.data()),
             static_cast<std::streamsize>(bytes.size()));
  return path;
}

// Success when both pictures have the same size and pixels. Otherwise the count of differing
// pixels and the box that holds them, and both pictures written as name-got and name-expected.
inline ::testing::AssertionResult samePicture(const Surface& got, const Surface& expected,
                                              const std::string& name) {
  auto failure = ::testing::AssertionFailure();
  if (got.width != expected.width || got.height != expected.height) {
    failure << "got " << got.width << " x " << got.height << " pixels, expected " << expected.width
            << " x " << expected.height;
  } else {
    int64_t differing = 0;
    int32_t left = got.width, top = got.height, right = -1, bottom = -1;
    for (int32_t y = 0; y < got.height; ++y) {
      for (int32_t x = 0; x < got.width; ++x) {
        const size_t at = static_cast<size_t>(y) * got.width + x;
        if (got.pixels[at] == expected.pixels[at]) continue;
        ++differing;
        std::tie(left, right) = std::tuple(std::min(left, x), std::max(right, x));
        std::tie(top, bottom) = std::tuple(std::min(top, y), std::max(bottom, y));
      }
    }
    if (differing == 0) return ::testing::AssertionSuccess();
    failure << differing << " pixels differ, within x " << left << " .. " << right << ", y " << top
            << " .. " << bottom;
  }
  return failure << "; pictures: " << writePicture(got, name + "-got") << " and "
                 << writePicture(expected, name + "-expected");
}

}  // namespace corvath::testing
