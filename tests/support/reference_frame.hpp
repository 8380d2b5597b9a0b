// A frame drawn plainly, step by step, from the references of each stage: the picture
// renderFrame must give, bit for bit, without the status line; and pictures compared pixel by
// pixel, a difference placed and written out as BMP.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <fstream>
#include <numeric>
#include <string>
#include <vector>

#include "mesh/mesh.hpp"
#include "raster/raster.hpp"
#include "view/view.hpp"

namespace corvath::testing {

// A colour component times the shade, rounded half to even into 0 .. 255; 0 if undefined.
inline int32_t shadedComponent(float shade, uint8_t component) {
  const double product = std::nearbyint(static_cast<double>(shade) * component);
  return std::isnan(product) ? 0 : static_cast<int32_t>(std::clamp(product, 0.0, 255.0));
}

// paintTriangleReference, which tests every pixel, on the triangle's box alone, painted apart
// and copied back: the rule holds for a triangle moved by whole pixels. The box starts at 0 or
// at the least corner, so moved corners stay within kMaxCorner.
inline void paintTriangleInBox(Surface& surface, const PixelPoint (&p)[3], int32_t colour) {
  const int64_t left = std::max<int64_t>(0, std::min({p[0].x, p[1].x, p[2].x}));
  const int64_t top = std::max<int64_t>(0, std::min({p[0].y, p[1].y, p[2].y}));
  const int64_t right = std::min<int64_t>(surface.width - 1, std::max({p[0].x, p[1].x, p[2].x}));
  const int64_t bottom = std::min<int64_t>(surface.height - 1, std::max({p[0].y, p[1].y, p[2].y}));
  if (left > right || top > bottom) return;
  const PixelPoint moved[3] = {
      {p[0].x - left, p[0].y - top}, {p[1].x - left, p[1].y - top}, {p[2].x - left, p[2].y - top}};
  Surface box;
  createSurface(box, static_cast<int32_t>(right - left + 1), static_cast<int32_t>(bottom - top + 1),
                colour ^ 1);
  paintTriangleReference(box, moved[0], moved[1], moved[2], colour);
  const uint32_t pixel = pixelFromColour(colour);
  for (size_t at = 0; at < box.pixels.size(); ++at) {
    if (box.pixels[at] != pixel) continue;
    surface.pixels[(top + at / box.width) * surface.width + left + at % box.width] = pixel;
  }
}

// The frame at these angles: grey; rotateView and projectVertices; faces keyed by
// faceKeyReference, sorted by sortFaceOrderReference and painted in that order when lit (shade
// above 0, or undefined), corners rounded half to even, a corner beyond kMaxCorner dropping it.
inline Surface referenceFrame(double angleX, double angleY, double angleZ) {
  Surface frame;
  createSurface(frame, drawingSurface.width, drawingSurface.height, packColour(128, 128, 128));
  rotateView(angleX, angleY, angleZ);
  projectVertices();
  const auto count = static_cast<int32_t>(std::min<int64_t>(faceCount, faces.size()));
  std::vector<double> keys(count), order(count);
  std::iota(order.begin(), order.end(), 0.0);
  for (int32_t f = 0; f < count; ++f) keys[f] = faceKeyReference(f);
  sortFaceOrderReference(keys, order);
  for (const double place : order) {
    const Face& face = faces[static_cast<int32_t>(place)];
    const float shade = faceShade(static_cast<int32_t>(place));
    if (face.cornerCount != 3 || shade <= 0 || !faceCornersInTables(face)) continue;
    PixelPoint corners[3];
    bool drawable = true;
    for (const int32_t k : {0, 1, 2}) {
      const ScreenPoint& point = screenPoints[k == 0 ? face.a : k == 1 ? face.b : face.c];
      drawable = drawable && std::fabs(point.x) <= kMaxCorner && std::fabs(point.y) <= kMaxCorner;
      if (drawable) corners[k] = {std::llrint(point.x), std::llrint(point.y)};
    }
    if (!drawable) continue;
    paintTriangleInBox(
        frame, corners,
        packColour(shadedComponent(shade, face.red), shadedComponent(shade, face.green),
                   shadedComponent(shade, face.blue)));
  }
  return frame;
}

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
