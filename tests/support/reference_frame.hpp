// A frame drawn plainly, step by step, from the references of each stage: the picture
// renderFrame must give, bit for bit, without the status line.
#pragma once

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <numeric>
#include <vector>

#include "mesh/mesh.hpp"
#include "raster/raster.hpp"
#include "view/view.hpp"

namespace corvath::testing {

// One colour component times the shade, rounded half to even and kept to 0 .. 255; 0 for an
// undefined shade.
inline int32_t shadedComponent(float shade, uint8_t component) {
  const double product = static_cast<double>(shade) * component;
  return std::isnan(product)
             ? 0
             : static_cast<int32_t>(std::clamp(std::nearbyint(product), 0.0, 255.0));
}

// paintTriangleReference, which tests every pixel of the surface, on the triangle's box alone:
// the rule is the same for a triangle moved by whole pixels, so the box is painted on a surface
// of its own, filled with another colour, and the pixels the triangle took copied back.
inline void paintTriangleInBox(Surface& surface, const PixelPoint (&p)[3], int32_t colour) {
  const int64_t left = std::max<int64_t>(0, std::min({p[0].x, p[1].x, p[2].x}));
  const int64_t top = std::max<int64_t>(0, std::min({p[0].y, p[1].y, p[2].y}));
  const int64_t right = std::min<int64_t>(surface.width - 1, std::max({p[0].x, p[1].x, p[2].x}));
  const int64_t bottom = std::min<int64_t>(surface.height - 1, std::max({p[0].y, p[1].y, p[2].y}));
  if (left > right || top > bottom) return;
  PixelPoint moved[3];
  for (int k = 0; k < 3; ++k) {
    moved[k] = {p[k].x - left, p[k].y - top};
    // Where moving would take a corner past the limit, the whole surface is tested.
    if (std::abs(moved[k].x) > kMaxCorner || std::abs(moved[k].y) > kMaxCorner) {
      return paintTriangleReference(surface, p[0], p[1], p[2], colour);
    }
  }
  Surface box;
  createSurface(box, static_cast<int32_t>(right - left + 1), static_cast<int32_t>(bottom - top + 1),
                colour ^ 1);
  paintTriangleReference(box, moved[0], moved[1], moved[2], colour);
  const uint32_t pixel = pixelFromColour(colour);
  for (int64_t y = 0; y < box.height; ++y) {
    for (int64_t x = 0; x < box.width; ++x) {
      if (box.pixels[y * box.width + x] != pixel) continue;
      surface.pixels[(top + y) * surface.width + left + x] = pixel;
    }
  }
}

// The frame at these angles on a surface the drawing surface's size: the grey background; the
// view by rotateView and projectVertices; every face keyed by faceKeyReference and sorted by
// sortFaceOrderReference; then, in that order, each triangle lit by the light (shade above 0,
// or undefined) painted in its shaded colour, corners rounded to whole pixels half to even and
// faces with a corner beyond the drawable range dropped.
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

}  // namespace corvath::testing
