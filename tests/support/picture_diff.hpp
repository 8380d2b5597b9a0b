// Pictures compared pixel by pixel; a difference is placed and written out as BMP.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <string>
#include <vector>

#include "raster/raster.hpp"

namespace corvath::testing {

// Writes the picture as name.bmp in the tests' temporary folder, left there for a look.
inline std::string writePicture(const Surface& picture, const std::string& name) {
  const std::string path = ::testing::TempDir() + name + ".bmp";
  const std::vector<uint8_t> bytes = bmpBytes(picture);
  std::ofstream(path, std::ios::binary)
      .write(reinterpret_cast<const char*>(bytes.data()), bytes.size());
  return path;
}

// Fails with both sizes and the first differing pixel, both pictures written out.
inline ::testing::AssertionResult samePicture(const Surface& got, const Surface& expected,
                                              const std::string& name) {
  if (got.width == expected.width && got.pixels == expected.pixels) {
    return ::testing::AssertionSuccess();
  }
  const auto differs = std::mismatch(got.pixels.begin(), got.pixels.end(), expected.pixels.begin(),
                                     expected.pixels.end());
  const size_t first = differs.first - got.pixels.begin(), width = std::max(got.width, 1);
  return ::testing::AssertionFailure()
         << got.width << " x " << got.height << " pixels, expected " << expected.width << " x "
         << expected.height << "; the first difference at x " << first % width << ", y "
         << first / width << "; pictures: " << writePicture(got, name + "-got") << " and "
         << writePicture(expected, name + "-expected");
}

}  // namespace corvath::testing
