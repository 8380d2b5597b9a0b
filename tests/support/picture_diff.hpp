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

// Fails with the count of differing pixels and the box around them (or both sizes when they
// differ), both pictures written out.
inline ::testing::AssertionResult samePicture(const Surface& got, const Surface& expected,
                                              const std::string& name) {
  if (got.width == expected.width && got.pixels == expected.pixels) {
    return ::testing::AssertionSuccess();
  }
  auto failure = ::testing::AssertionFailure();
  if (got.width != expected.width || got.height != expected.height) {
    failure << got.width << " x " << got.height << " pixels, expected " << expected.width << " x "
            << expected.height;
  } else {
    int64_t count = 0;
    int32_t left = got.width, right = -1, top = got.height, bottom = -1;
    for (int32_t y = 0; y < got.height; ++y) {
      for (int32_t x = 0; x < got.width; ++x) {
        const size_t at = static_cast<size_t>(y) * got.width + x;
        if (got.pixels[at] == expected.pixels[at]) continue;
        ++count;
        left = std::min(left, x), right = std::max(right, x);
        top = std::min(top, y), bottom = std::max(bottom, y);
      }
    }
    failure << count << " pixels differ, within x " << left << " .. " << right << ", y " << top
            << " .. " << bottom;
  }
  return failure << "; pictures: " << writePicture(got, name + "-got") << " and "
                 << writePicture(expected, name + "-expected");
}

}  // namespace corvath::testing
