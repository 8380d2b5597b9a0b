// The scalar filler: the plain frame painted triangle by triangle, farthest first, by testing
// every pixel of each triangle's box against its three edges.
#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <utility>
#include <vector>

#include "numbers/numbers.hpp"
#include "plain_frame.hpp"
#include "raster/raster.hpp"
#include "renderers.hpp"

namespace corvath {
namespace {

// Which side of the line p -> q the point (x, y) lies on, times twice the triangle's area.
float edge(float px, float py, float qx, float qy, float x, float y) {
  return (qx - px) * (y - py) - (qy - py) * (x - px);
}

// Every pixel whose point (x, y) lies inside the triangle, edges included. The program's
// pixel (x, y) also stands for the point (x, y), so the two pictures line up.
void fillTriangle(const ScreenTriangle& t, std::vector<uint32_t>& pixels) {
  float ax = t.x[0], ay = t.y[0], bx = t.x[1], by = t.y[1], cx = t.x[2], cy = t.y[2];
  const float area = edge(ax, ay, bx, by, cx, cy);
  if (area == 0) return;
  // Front faces run counter-clockwise on screen, which makes this negative; with b and c
  // swapped, the inside is where all three edge values are at least 0.
  if (area < 0) {
    std::swap(bx, cx);
    std::swap(by, cy);
  }
  const float left = std::max(0.0f, std::ceil(std::min({ax, bx, cx})));
  const float right = std::min(static_cast<float>(kWidth - 1), std::floor(std::max({ax, bx, cx})));
  const float top = std::max(0.0f, std::ceil(std::min({ay, by, cy})));
  const float bottom =
      std::min(static_cast<float>(kHeight - 1), std::floor(std::max({ay, by, cy})));
  if (!(left <= right && top <= bottom)) return;
  const uint32_t pixel = pixelFromColour(packColour(t.red, t.green, t.blue));
  for (auto y = static_cast<int32_t>(top); y <= static_cast<int32_t>(bottom); ++y) {
    uint32_t* row = pixels.data() + static_cast<size_t>(y) * kWidth;
    const auto py = static_cast<float>(y);
    for (auto x = static_cast<int32_t>(left); x <= static_cast<int32_t>(right); ++x) {
      const auto px = static_cast<float>(x);
      if (edge(ax, ay, bx, by, px, py) >= 0 && edge(bx, by, cx, cy, px, py) >= 0 &&
          edge(cx, cy, ax, ay, px, py) >= 0) {
        row[x] = pixel;
      }
    }
  }
}

class ScalarFiller final : public Renderer {
 public:
  explicit ScalarFiller(const PlainMesh& mesh) : mesh_(mesh) {}

  void drawFrame(const Angles& angles) override {
    prepareFrame(mesh_, angles, frame_);
    pixels_.assign(static_cast<size_t>(kWidth) * kHeight, pixelFromColour(kGrey));
    for (const ScreenTriangle& triangle : frame_.triangles) fillTriangle(triangle, pixels_);
  }

  PixelRows pixels() const override { return {pixels_.data(), kWidth}; }

 private:
  const PlainMesh& mesh_;
  PlainFrame frame_;
  std::vector<uint32_t> pixels_;
};

}  // namespace

std::unique_ptr<Renderer> makeScalarFiller(const PlainMesh& mesh) {
  return std::make_unique<ScalarFiller>(mesh);
}

}  // namespace corvath
